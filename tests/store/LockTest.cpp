// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/store/StoreTestUtil.h"
#include "tests/support/OtherProcess.h"

using namespace quil;
using namespace quil::test;

TEST_F(StoreTest, ExclusiveReopenRefusedWhileAnotherProcessHasTheTableOpen) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A")});
    {
        // The child starts before this process opens the file: a connection
        // must not be carried across a fork.
        OtherProcess other(dir, 'S');
        ASSERT_EQ(other.report(), 'R');
        t->open();
        EXPECT_EQ(t->recordCount(), 1) << "shared use by two processes is allowed";
        QString err = errorOf([&] { t->openExclusive(); });
        EXPECT_TRUE(err.contains(QStringLiteral("排他"))) << err.toStdString();
        EXPECT_FALSE(t->active()) << "the table stays closed";
        EXPECT_EQ(errorOf([&] { t->first(); }), QStringLiteral("データセットが閉じています"));
        other.finish();
    }
    t->openExclusive();
    EXPECT_TRUE(t->exclusive());

    OtherProcess late(dir, 'T');
    EXPECT_EQ(late.report(), 'E') << "nobody else opens a table held exclusively";
    late.finish();
    t->close();

    OtherProcess after(dir, 'T');
    EXPECT_EQ(after.report(), 'O') << "closing lets go of the lock";
}
