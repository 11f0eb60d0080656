// SPDX-License-Identifier: GPL-3.0-or-later
// What the engine does when the file refuses a change: a full disk, a failed
// commit, another program holding the write lock.
#include "tests/store/StoreTestUtil.h"
#include "tests/support/OtherProcess.h"
#include "tests/support/SmallDisk.h"

#include <QElapsedTimer>

using namespace quil;
using namespace quil::test;

namespace {

QStringList cursorNames(Table &t) {
    QStringList names;
    t.first();
    while (!t.eof()) {
        names << t.fieldByName(col::MBName).asString();
        t.next();
    }
    return names;
}

class FullDiskTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        disk = std::make_unique<SmallDisk>(dir, 512);
        if (!disk->mounted())
            GTEST_SKIP() << disk->reason();
    }
    void TearDown() override {
        disk.reset();
        StoreTest::TearDown();
    }
    QString file() const { return dir + QStringLiteral("/MMagaInfo.DB"); }
    std::unique_ptr<SmallDisk> disk;
};

} // namespace

TEST_F(FullDiskTest, AFailedCommitIsAnErrorAndTheCursorShowsWhatTheFileHolds) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
    t->open();
    t->last();
    disk->fill();

    QString err;
    {
        Table::Walk walk(*t);
        t->first();
        t->remove();
        t->remove();
        EXPECT_EQ(t->recordCount(), 2);
        err = errorOf([&] { walk.end(); });
    }
    EXPECT_TRUE(err.startsWith(QStringLiteral("ディスクに空きがないため"))) << err.toStdString();
    EXPECT_TRUE(err.contains(file())) << "the message names the file: " << err.toStdString();
    EXPECT_EQ(t->recordCount(), 4) << "the cursor reads the rows anew";
    EXPECT_EQ(t->fieldByName(col::MBName).asString(), QStringLiteral("C")) << "still on the record it stood on";
    EXPECT_EQ(cursorNames(*t), (QStringList{"A", "B", "C", "D"}));

    // A walk that an error ends commits in its destructor; the failure of
    // that commit must neither end the program nor leave a false cursor.
    try {
        Table::Walk walk(*t);
        t->last();
        t->remove();
        throw Error(QStringLiteral("途中のエラー"));
    } catch (const Error &e) {
        EXPECT_EQ(e.message(), QStringLiteral("途中のエラー")) << "the error on its way is the one reported";
    }
    EXPECT_EQ(cursorNames(*t), (QStringList{"A", "B", "C", "D"}));

    // A single store outside a walk says the same.
    t->first();
    t->edit();
    t->fieldByName(col::MBName).setAsString(QString(200, u'長'));
    err = errorOf([&] { t->post(); });
    EXPECT_TRUE(err.startsWith(QStringLiteral("ディスクに空きがないため"))) << err.toStdString();

    disk->release();
    t->cancel();
    t->close();
    EXPECT_EQ(rawColumn(file(), QStringLiteral("SELECT \"メールマガジン名\" FROM MMagaInfo ORDER BY _sort_key")),
              (QStringList{"A", "B", "C", "D"}));
    EXPECT_EQ(rawColumn(file(), QStringLiteral("PRAGMA integrity_check")), QStringList{"ok"});
}

TEST_F(FullDiskTest, TheRegisterIsReadOnAFullDisk) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A"), QStringLiteral("B")});
    t.reset(); // no connection left: the engine's shared-memory file is gone too
    ASSERT_FALSE(QFile::exists(file() + QStringLiteral("-shm")));
    disk->fill();

    Table reader(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
    reader.setDirectory(dir);
    EXPECT_FALSE(reader.createIfMissing());
    reader.open();
    EXPECT_EQ(reader.recordCount(), 2);
    EXPECT_EQ(cursorNames(reader), (QStringList{"A", "B"}));
    EXPECT_EQ(reader.columnTexts(col::MBName), (QStringList{"A", "B"}));

    reader.append();
    reader.fieldByName(col::MBName).setAsString(QStringLiteral("C"));
    const QString err = errorOf([&] { reader.post(); });
    EXPECT_TRUE(err.startsWith(QStringLiteral("ディスクに空きがないため"))) << err.toStdString();
    reader.cancel();
    reader.close();
}

namespace {

// Another program that takes the write lock of the file and holds it until
// told: the raw engine, as any tool would.
class LockHolder {
public:
    explicit LockHolder(const QString &path) {
        if (::pipe(m_toParent) != 0 || ::pipe(m_toChild) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            sqlite3 *db = nullptr;
            char ok = 'E';
            if (sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK
                && sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK)
                ok = 'R';
            writeByte(m_toParent[1], ok);
            char c;
            readByte(m_toChild[0], c);
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db);
            ::_exit(0);
        }
        ::close(m_toParent[1]);
        ::close(m_toChild[0]);
    }
    ~LockHolder() { release(); }
    pid_t pid() const { return m_pid; }
    char report() {
        char c = '?';
        return readByte(m_toParent[0], c) ? c : '?';
    }
    void release() {
        if (m_pid <= 0)
            return;
        writeByte(m_toChild[1], 'Q');
        ::close(m_toChild[1]);
        ::close(m_toParent[0]);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_toParent[2] = {-1, -1};
    int m_toChild[2] = {-1, -1};
};

} // namespace

TEST_F(StoreTest, AWriteLockHeldElsewhereIsWaitedForBrieflyAndNamed) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A")});
    const QString file = dir + QStringLiteral("/MMagaInfo.DB");
    {
        // The holder opens the file before this process does: no connection
        // is carried across the fork.
        LockHolder holder(file);
        ASSERT_EQ(holder.report(), 'R');
        t->open();
        EXPECT_EQ(t->recordCount(), 1) << "reading goes on beside a writer";

        QElapsedTimer clock;
        clock.start();
        Error::Kind kind = Error::Kind::General;
        QString err;
        try {
            Table::Walk walk(*t);
            walk.end();
        } catch (const Error &e) {
            err = e.message();
            kind = e.kind();
        }
        EXPECT_EQ(kind, Error::Kind::Busy) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("プロセス番号 %1").arg(holder.pid()))) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("何も変更していません"))) << err.toStdString();
        EXPECT_LT(clock.elapsed(), 10000) << "a bounded wait, not one that looks like a hang";

        t->append();
        t->fieldByName(col::MBName).setAsString(QStringLiteral("B"));
        err = errorOf([&] { t->post(); });
        EXPECT_TRUE(err.contains(QStringLiteral("使用中"))) << err.toStdString();
        t->cancel();
    }
    t->append();
    t->fieldByName(col::MBName).setAsString(QStringLiteral("B"));
    t->post();
    EXPECT_EQ(t->recordCount(), 2) << "once the lock is let go, the same store goes through";
    t->close();
}

TEST_F(StoreTest, APartNotKeptLeavesNothingAndTheWalkGoesOn) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A")});
    t->open();
    {
        Table::Walk walk(*t);
        {
            Table::Part part(*t);
            t->append();
            t->fieldByName(col::MBName).setAsString(QStringLiteral("B"));
            t->post();
            part.keep();
        }
        try {
            Table::Part part(*t);
            t->append();
            t->fieldByName(col::MBName).setAsString(QStringLiteral("C"));
            t->append(); // stores C
            t->fieldByName(col::MBName).setAsString(QStringLiteral("D"));
            throw Error(QStringLiteral("途中のエラー"));
        } catch (const Error &) {
        }
        EXPECT_EQ(t->state(), DataSetState::Browse) << "the record begun by the part is abandoned";
        EXPECT_EQ(t->recordCount(), 2);
        walk.end();
    }
    t->close();
    EXPECT_EQ(rawColumn(dir + QStringLiteral("/MMagaInfo.DB"),
                        QStringLiteral("SELECT \"メールマガジン名\" FROM MMagaInfo ORDER BY _sort_key")),
              (QStringList{"A", "B"}));
}

TEST_F(StoreTest, SideValuesLiveInTheFileAndAnOlderFileGetsTheirTable) {
    auto t = makeTable();
    const QString file = dir + QStringLiteral("/MMagaInfo.DB");
    // A file as an older version left it: no side table, version 0.
    {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
        sqlite3_exec(db, "DROP TABLE IF EXISTS quil_side; PRAGMA user_version = 0", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    t->open();
    EXPECT_EQ(rawColumn(file, QStringLiteral("PRAGMA user_version")), QStringList{"1"});
    EXPECT_EQ(t->sideValue(QStringLiteral("k")), QString());
    t->setSideValue(QStringLiteral("k"), QStringLiteral("値\t1"));
    t->close();
    t->open();
    EXPECT_EQ(t->sideValue(QStringLiteral("k")), QStringLiteral("値\t1"));
    t->close();
}
