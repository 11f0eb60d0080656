// SPDX-License-Identifier: GPL-3.0-or-later
// The register commands without a window, on the real data modules.
#include "app/core/RegisterCommands.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "tests/support/OtherProcess.h"
#include "tests/support/TestEnv.h"

using namespace quil;
using namespace quil::test;

namespace {

class RegisterCommandsTest : public EnvTest {
protected:
    void SetUp() override {
        EnvTest::SetUp();
        magazines = std::make_unique<TDataModule1>();
        systems = std::make_unique<TMMagSysDataModule>();
    }
    void TearDown() override {
        systems.reset();
        magazines.reset();
        EnvTest::TearDown();
    }

    Table &t() { return *magazines->Table1; }

    void add(const QStringList &names, const QString &state = state::Subscribed) {
        for (const QString &n : names) {
            t().append();
            magazines->Table1MBNameSF->setAsString(n);
            magazines->Table1DeleteStateSF->setAsString(state);
            t().post();
        }
    }

    QStringList states() {
        QStringList out;
        for (int i = 0; i < t().recordCount(); ++i)
            out << t().recordAt(i)[12].toString();
        return out;
    }

    QString current() { return magazines->Table1MBNameSF->asString(); }

    std::unique_ptr<TDataModule1> magazines;
    std::unique_ptr<TMMagSysDataModule> systems;
};

} // namespace

TEST_F(RegisterCommandsTest, EmptyingFailsClearlyWhileAnotherQuilletHoldsTheTable) {
    t().open();
    add({"A", "B"});
    t().close();
    {
        // The other program opens first: no connection is carried across the fork.
        OtherProcess other(t().directory(), 'S');
        ASSERT_EQ(other.report(), 'R');
        t().open();
        const QString err = errorOf([&] { emptyRegister(t()); });
        EXPECT_TRUE(err.contains(QStringLiteral("他のプロセスが使用中"))) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("MMagaInfo.DB"))) << err.toStdString();
        EXPECT_FALSE(t().active());
        EXPECT_EQ(errorOf([&] { findNextInState(t(), state::Cancelled); }),
                  QStringLiteral("データセットが閉じています"));
        other.finish();
    }
    t().open();
    EXPECT_EQ(t().recordCount(), 2) << "nothing was removed";
}

TEST_F(RegisterCommandsTest, ANewRecordIsPartOfTheWalkOnlyOnceTyped) {
    t().open();
    add({"A", "B", "C"});
    t().first();
    t().edit();
    // Untouched and appended: nothing follows it, and it stays as it is.
    t().append();
    EXPECT_EQ(findNextInState(t(), state::Subscribed).text, notFoundNotice().text);
    EXPECT_EQ(t().state(), DataSetState::Insert);
    setStateFromCurrent(t(), state::CancelCandidate);
    EXPECT_EQ(states(), (QStringList{state::Subscribed, state::Subscribed, state::Subscribed}));
    EXPECT_EQ(t().recordCount(), 3) << "no empty record was stored";

    // Untouched and inserted before B: the walk begins with B.
    t().first();
    t().next();
    t().insert();
    setStateFromCurrent(t(), state::CancelCandidate);
    EXPECT_EQ(states(), (QStringList{state::Subscribed, state::CancelCandidate, state::CancelCandidate}));
    EXPECT_EQ(current(), "B");
    t().insert();
    EXPECT_TRUE(findNextInState(t(), state::CancelCandidate).empty());
    EXPECT_EQ(current(), "B") << "the record after the untouched one is tested";

    // Typed into: stored where it stands, changed with the rest, returned to.
    t().first();
    t().insert();
    magazines->Table1MBNameSF->setAsString("new");
    setStateFromCurrent(t(), state::Cancelled);
    EXPECT_EQ(t().recordCount(), 4);
    EXPECT_EQ(current(), "new");
    EXPECT_EQ(states(), QStringList(4, state::Cancelled));
}

TEST_F(RegisterCommandsTest, DeletingTheCurrentCancelledRecordEndsOnTheFirst) {
    t().open();
    add({"A"}, state::Subscribed);
    add({"B"}, state::Cancelled);
    add({"C"}, state::Subscribed);
    t().first();
    t().next();
    EXPECT_EQ(deleteCancelledRecords(t()), 1);
    EXPECT_EQ(current(), "A");
    EXPECT_EQ(t().state(), DataSetState::Edit);
    // Nothing to delete on an empty register either.
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    t().first();
    EXPECT_EQ(deleteCancelledRecords(t()), 0);
    MessageBox::setNextAnswer(MsgAnswer::Cancel);
    EXPECT_EQ(deleteCancelledRecords(t()), -1);
}
