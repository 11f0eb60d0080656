// SPDX-License-Identifier: GPL-3.0-or-later
// Deleting the cancelled records while notices are on: a notice and its
// deletion stand or fall together, whatever stops the walk; no lock is held
// while a box waits for the reader; a failed commit leaves the cursor as the
// file is.
#include "app/core/RegisterCommands.h"
#include "cancel/core/NoticeWriter.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "tests/support/OtherProcess.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TestEnv.h"
#include "text/Cp932.h"

#include <QRandomGenerator>

#include <csignal>
#include <sqlite3.h>

using namespace quil;
using namespace quil::test;

namespace {

const QDate kToday(2026, 12, 9);

class DeletionNoticesTest : public EnvTest {
protected:
    void SetUp() override {
        EnvTest::SetUp();
        makeModules();
    }
    void TearDown() override {
        MessageBox::setBackend(nullptr);
        dropModules();
        EnvTest::TearDown();
    }
    void makeModules() {
        magazines = std::make_unique<TDataModule1>();
        systems = std::make_unique<TMMagSysDataModule>();
    }
    void dropModules() {
        systems.reset();
        magazines.reset();
    }

    Table &t() { return *magazines->Table1; }
    QString file() const { return env->dataDir() + QStringLiteral("/MMagaInfo.DB"); }

    void notices(bool on) {
        if (on)
            magazines->writeCancelNotice = [this] { writeCancelNotice(t(), kToday); };
        else
            magazines->writeCancelNotice = nullptr;
    }

    void add(const QStringList &names, const QString &state) {
        for (const QString &n : names) {
            t().append();
            magazines->Table1PublishingSF->setAsString(QStringLiteral("まぐまぐ"));
            magazines->Table1MBNameSF->setAsString(n);
            magazines->Table1DeleteStateSF->setAsString(state);
            t().post();
        }
    }

    QStringList stored() {
        QStringList out;
        sqlite3 *db = nullptr;
        sqlite3_open_v2(QFile::encodeName(file()).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db, "SELECT \"メールマガジン名\" FROM MMagaInfo ORDER BY _sort_key", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            out << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }

    // How many notices name the record.
    int noticesFor(const QString &name) {
        const QByteArray text = env->readFile(QStringLiteral("CMag2.txt"));
        return int(text.count(cp932::encode(QStringLiteral("●登録メールマガジン:\r\n") + name + QStringLiteral("\r\n"))));
    }

    void rawExec(const char *sql) {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(file()).constData(), &db), SQLITE_OK);
        char *err = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
        sqlite3_free(err);
        sqlite3_close(db);
    }

    // Runs the deletion in a child process, which `prepare` may arrange to
    // kill itself, or which is killed `killAfterUs` after it began; returns
    // how it ended. No connection is open here while it runs.
    template <typename Prepare>
    int deleteInChild(Prepare prepare, int killAfterUs = -1) {
        t().close();
        int toParent[2];
        if (::pipe(toParent) != 0)
            return -1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(toParent[0]);
            int code = 0;
            try {
                t().open();
                notices(true);
                prepare();
                writeByte(toParent[1], 'S');
                deleteCancelledRecords(t());
            } catch (...) {
                code = 2;
            }
            ::_exit(code);
        }
        ::close(toParent[1]);
        char c;
        readByte(toParent[0], c);
        if (killAfterUs >= 0) {
            ::usleep(useconds_t(killAfterUs));
            ::kill(pid, SIGKILL); // not reaped yet, so the id is still the child's
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(toParent[0]);
        t().open();
        return status;
    }

    std::unique_ptr<TDataModule1> magazines;
    std::unique_ptr<TMMagSysDataModule> systems;
};

} // namespace

TEST_F(DeletionNoticesTest, NoLockIsHeldWhileANoticeBoxWaitsForTheReader) {
    t().open();
    add({"A", "B", "C"}, state::Cancelled);
    notices(true);
    // Another program writes while each box stands, without waiting at all.
    QStringList refused;
    MessageBox::setTestMode(false);
    MessageBox::setBackend([&](const ShownMessage &box) {
        if (box.caption != QStringLiteral("発行媒体確認"))
            return MsgAnswer::Ok;
        sqlite3 *db = nullptr;
        sqlite3_open(QFile::encodeName(file()).constData(), &db);
        if (sqlite3_exec(db, "BEGIN IMMEDIATE; ROLLBACK", nullptr, nullptr, nullptr) != SQLITE_OK)
            refused << box.text + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return MsgAnswer::Ok;
    });
    EXPECT_EQ(deleteCancelledRecords(t()), 3);
    EXPECT_TRUE(refused.isEmpty()) << refused.join(u'\n').toStdString();
    EXPECT_EQ(stored(), QStringList{});
}

TEST_F(DeletionNoticesTest, AWalkKilledAtABoxLeavesEveryNoticeWithItsDeletion) {
    t().open();
    add({"A", "B"}, state::Cancelled);
    add({"keep"}, state::Subscribed);
    add({"C", "D", "E"}, state::Cancelled);
    // Killed while the fourth notice's box stands: A, B and C are noticed.
    const int status = deleteInChild([] {
        MessageBox::setTestMode(false);
        auto boxes = std::make_shared<int>(0);
        MessageBox::setBackend([boxes](const ShownMessage &box) {
            if (box.caption == QStringLiteral("発行媒体確認") && ++*boxes == 4)
                ::raise(SIGKILL);
            return MsgAnswer::Ok;
        });
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(stored(), (QStringList{"keep", "D", "E"})) << "each noticed record's deletion is stored";
    for (const char *name : {"A", "B", "C"})
        EXPECT_EQ(noticesFor(QString::fromLatin1(name)), 1) << name;
    EXPECT_EQ(noticesFor(QStringLiteral("D")), 0);

    notices(true);
    EXPECT_EQ(deleteCancelledRecords(t()), 2);
    EXPECT_EQ(stored(), QStringList{"keep"});
    for (const char *name : {"A", "B", "C", "D", "E"})
        EXPECT_EQ(noticesFor(QString::fromLatin1(name)), 1) << name;
}

TEST_F(DeletionNoticesTest, ARecordWhoseNoticeWasWrittenGetsNoSecondNotice) {
    t().open();
    add({"A", "B", "C"}, state::Cancelled);
    t().close();
    // B's deletion fails after its notice is on disk, as a kill between the
    // two would leave it.
    rawExec("CREATE TRIGGER refuse_b BEFORE DELETE ON MMagaInfo WHEN old.\"メールマガジン名\" = 'B' "
            "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    t().open();
    notices(true);
    EXPECT_FALSE(errorOf([&] { deleteCancelledRecords(t()); }).isEmpty());
    EXPECT_EQ(stored(), (QStringList{"B", "C"}));
    EXPECT_EQ(noticesFor(QStringLiteral("B")), 1);

    t().close();
    rawExec("DROP TRIGGER refuse_b");
    t().open();
    EXPECT_EQ(deleteCancelledRecords(t()), 2);
    EXPECT_EQ(stored(), QStringList{});
    for (const char *name : {"A", "B", "C"})
        EXPECT_EQ(noticesFor(QString::fromLatin1(name)), 1) << name;

    // Another record of the same content is another record: it gets its own.
    add({"A"}, state::Cancelled);
    EXPECT_EQ(deleteCancelledRecords(t()), 1);
    EXPECT_EQ(noticesFor(QStringLiteral("A")), 2);
}

TEST_F(DeletionNoticesTest, KillsAtRandomMomentsNeverLeaveANoticeWithoutItsDeletion) {
    QStringList names;
    for (int i = 0; i < 30; ++i)
        names << QStringLiteral("M%1").arg(i, 2, 10, QLatin1Char('0'));
    QRandomGenerator random(20261209);
    // About as long as the walk takes here, so that most kills land inside it.
    const int kWalkUs = 12000;
    for (int round = 0; round < 6; ++round) {
        t().open();
        add(names, state::Cancelled);
        add({"keep"}, state::Subscribed);
        const int status = deleteInChild([] {}, int(random.bounded(0, kWalkUs)));
        const QStringList left = stored();
        int noticedButKept = 0;
        for (const QString &n : names) {
            const int count = noticesFor(n);
            ASSERT_LE(count, 1) << n.toStdString() << " in round " << round;
            if (!left.contains(n))
                EXPECT_EQ(count, 1) << "deleted without its notice: " << n.toStdString();
            else if (count == 1)
                ++noticedButKept;
        }
        EXPECT_LE(noticedButKept, 1) << "round " << round << ", status " << status;

        // The next run finishes the work: every record noticed exactly once.
        notices(true);
        deleteCancelledRecords(t());
        EXPECT_EQ(stored(), QStringList{"keep"});
        for (const QString &n : names)
            EXPECT_EQ(noticesFor(n), 1) << n.toStdString();
        t().close();
        rawExec("DELETE FROM MMagaInfo");
        QFile::remove(env->cwd() + QStringLiteral("/CMag2.txt"));
    }
}

TEST_F(DeletionNoticesTest, AFailedCommitLeavesTheCursorOnTheRecordsTheFileHolds) {
    dropModules();
    SmallDisk disk(env->dataDir(), 512);
    if (!disk.mounted())
        GTEST_SKIP() << disk.reason();
    makeModules();
    t().open();
    add({"A"}, state::Cancelled);
    add({"B"}, state::Subscribed);
    add({"C"}, state::Cancelled);
    add({"D"}, state::Subscribed);
    disk.fill();

    const QString err = errorOf([&] { deleteCancelledRecords(t()); });
    EXPECT_TRUE(err.startsWith(QStringLiteral("ディスクに空きがないため"))) << err.toStdString();
    EXPECT_EQ(t().recordCount(), 4) << "nothing was deleted in the file, so nothing is in the cursor";
    EXPECT_EQ(magazines->Table1MBNameSF->asString(), QStringLiteral("D")) << "back on the reader's record";
    t().first();
    EXPECT_TRUE(findNextInState(t(), state::Cancelled).empty()) << "the state search still finds C";
    EXPECT_EQ(magazines->Table1MBNameSF->asString(), QStringLiteral("C"));

    disk.release();
    EXPECT_EQ(deleteCancelledRecords(t()), 2) << "the command, repeated, does its work";
    EXPECT_EQ(stored(), (QStringList{"B", "D"}));
}
