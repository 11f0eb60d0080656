// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MessageBox.h"
#include "store/ImapPositions.h"
#include "tests/support/ParadoxWriter.h"
#include "tests/store/StoreTestUtil.h"

#include <sys/stat.h>

using namespace quil;
using namespace quil::test;

namespace {


class DataModulesTest : public EnvTest {
protected:
    void SetUp() override {
        EnvTest::SetUp();
        dm1 = std::make_unique<TDataModule1>();
        dm2 = std::make_unique<TMMagSysDataModule>();
        dm1->setDeleteButtonEnabled = [this](bool on) {
            buttonCalls << on;
            button = on;
        };
        dm1->deleteButtonEnabled = [this] { return button; };
    }
    void TearDown() override {
        dm2.reset();
        dm1.reset();
        EnvTest::TearDown();
    }

    Table &t1() { return *dm1->Table1; }
    Table &t2() { return *dm2->Table2; }

    void addSystem(const QVariant &id, const QString &name, bool appendId = false) {
        t2().append();
        dm2->Table2MMSysIDIF->setValue(id);
        dm2->Table2MMSysNameSF->setAsString(name);
        dm2->Table2MMIDBF->setAsBoolean(appendId);
        t2().post();
    }

    void addMagazine(const QString &publishing, const QString &name) {
        t1().append();
        dm1->Table1PublishingSF->setAsString(publishing);
        dm1->Table1MBNameSF->setAsString(name);
        t1().post();
    }

    std::unique_ptr<TDataModule1> dm1;
    std::unique_ptr<TMMagSysDataModule> dm2;
    bool button = false;
    QList<bool> buttonCalls;
};

} // namespace

TEST_F(DataModulesTest, FirstStartCreatesBothTablesWithTheirColumnsAndBuiltInRows) {
    const QString data = env->dataDir();
    const QString magazines = data + QStringLiteral("/MMagaInfo.DB");
    const QString systems = data + QStringLiteral("/MMagaSys.DB");
    EXPECT_EQ(fileMode(data), 0700);
    EXPECT_EQ(fileMode(magazines), 0600);
    EXPECT_EQ(fileMode(systems), 0600) << "it holds passwords";

    QStringList names = rawColumn(magazines, QStringLiteral("SELECT name FROM pragma_table_info('MMagaInfo')"));
    EXPECT_EQ(names.mid(0, 13),
              (QStringList{"発行媒体", "メールマガジン名", "マガジンＩＤ", "データタイプ", "発行周期", "関連Ｗｅｂページ",
                           "発行者メールアドレス", "登録アドレス", "登録日時", "ＩＰアドレス", "有料／無料の区別", "説明",
                           "削除状態"}));
    EXPECT_EQ(names.size(), 14) << "plus the hidden ordering key";
    QStringList sysNames = rawColumn(systems, QStringLiteral("SELECT name FROM pragma_table_info('MMagaSys')"));
    EXPECT_EQ(sysNames.mid(0, 11),
              (QStringList{"発行システムＩＤ", "発行システム名", "解除ページ", "マガジンＩＤの付加", "マガジンＩＤ桁数",
                           "会員ＩＤとパスワード有無", "会員ＩＤ", "パスワード", "登録メールアドレス", "拡張子", "備考"}));
    EXPECT_EQ(rawRows(systems, QStringLiteral("SELECT \"発行システムＩＤ\", \"発行システム名\" FROM MMagaSys ORDER BY _sort_key")),
              (QList<QStringList>{
                  {"1", "まぐまぐ"}, {"2", "Pubzine"}, {"3", "melma"}, {"4", "独自システム"}, {"5", "メーリングリスト"}}));
    EXPECT_TRUE(rawRows(magazines, QStringLiteral("SELECT * FROM MMagaInfo")).isEmpty());

    // The field objects stand for the columns in stored order.
    const Field *f1[] = {dm1->Table1PublishingSF, dm1->Table1MBNameSF,     dm1->Table1MBIDIF,
                         dm1->Table1MBTypeSF,     dm1->Table1MBCycleSF,    dm1->Table1WebSF,
                         dm1->Table1PublisherSF,  dm1->Table1RegAddressSF, dm1->Table1RegTimeDTF,
                         dm1->Table1IPAddressSF,  dm1->Table1ChargeOrFreeSF, dm1->Table1ExplanationSF,
                         dm1->Table1DeleteStateSF};
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(f1[i]->fieldName(), names.value(i));
    const Field *f2[] = {dm2->Table2MMSysIDIF,    dm2->Table2MMSysNameSF, dm2->Table2CancelUrlSF,
                         dm2->Table2MMIDBF,       dm2->Table2MMIDFigureIF, dm2->Table2MemberIDBF,
                         dm2->Table2MemberIDSF,   dm2->Table2MemberPassSF, dm2->Table2RegAddressSF,
                         dm2->Table2ExpansionSF,  dm2->Table2NoteSF};
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(f2[i]->fieldName(), sysNames.value(i));
    EXPECT_EQ(DataModule1, dm1.get());
    EXPECT_EQ(MMagSysDataModule, dm2.get());

    // A second start finds the files and adds nothing.
    dm2.reset();
    dm1.reset();
    EXPECT_EQ(DataModule1, nullptr);
    EXPECT_EQ(MMagSysDataModule, nullptr);
    TDataModule1 again1;
    TMMagSysDataModule again2;
    EXPECT_EQ(rawRows(systems, QStringLiteral("SELECT * FROM MMagaSys")).size(), 5);
}

TEST_F(DataModulesTest, AnOlderSystemsTableGetsTheNewBuiltInRowWithoutAQuestion) {
    const QString systems = env->dataDir() + QStringLiteral("/MMagaSys.DB");
    { TMMagSysDataModule first; }
    // As a version before the list row left it, with a system of the reader's.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(systems).constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "DELETE FROM MMagaSys WHERE \"発行システム名\" = 'メーリングリスト'", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    MessageBox::clearShown();
    { TMMagSysDataModule again; }
    EXPECT_EQ(rawColumn(systems, QStringLiteral("SELECT \"発行システムＩＤ\" || '|' || \"発行システム名\" FROM MMagaSys "
                                                "ORDER BY _sort_key")),
              (QStringList{"1|まぐまぐ", "2|Pubzine", "3|melma", "4|独自システム", "5|メーリングリスト"}));
    EXPECT_TRUE(MessageBox::shown().isEmpty()) << "nothing is asked";
    EXPECT_TRUE(TMMagSysDataModule::isLockedId(5));
}

TEST_F(DataModulesTest, DeleteButtonFollowsLastDeletionAndTheFreshBlankRecord) {
    t2().open();
    t1().open();
    EXPECT_TRUE(buttonCalls.isEmpty()) << "opening an empty table fires nothing";
    t1().edit(); // the record form's start on an empty table
    EXPECT_EQ(buttonCalls, QList<bool>{true});
    EXPECT_EQ(t1().state(), DataSetState::Insert);
    EXPECT_EQ(t2().state(), DataSetState::Edit) << "after-scroll puts the other table into editing";

    dm1->Table1MBNameSF->setAsString(QStringLiteral("only one"));
    t1().first();
    ASSERT_EQ(t1().recordCount(), 1);
    int notices = 0;
    dm1->writeCancelNotice = [&] { ++notices; };
    buttonCalls.clear();
    t1().remove();
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(buttonCalls, (QList<bool>{false, true})) << "disabled by after-delete, enabled by the new blank record";
    EXPECT_EQ(t1().state(), DataSetState::Insert);

    buttonCalls.clear();
    t1().remove(); // the blank record was never stored
    EXPECT_EQ(notices, 1) << "no notice for a record that was never stored";
    EXPECT_TRUE(buttonCalls.isEmpty());
    EXPECT_EQ(t1().state(), DataSetState::Insert);
}

TEST_F(DataModulesTest, NoticeErrorBeforeDeleteAbortsTheDeletion) {
    t2().open();
    t1().open();
    addMagazine(QStringLiteral("まぐまぐ"), QStringLiteral("A"));
    addMagazine(QStringLiteral("melma"), QStringLiteral("B"));
    t1().first();
    dm1->writeCancelNotice = [] { throw Error(QStringLiteral("ファイル CMag2.txt に書き込めません")); };
    EXPECT_EQ(errorOf([&] { t1().remove(); }), QStringLiteral("ファイル CMag2.txt に書き込めません"));
    EXPECT_EQ(t1().recordCount(), 2);
    EXPECT_EQ(dm1->Table1MBNameSF->asString(), QStringLiteral("A"));
}

TEST_F(DataModulesTest, LockRuleReachesTheConfigurationWindowAndItsErrorsAreSwallowed) {
    t2().open();
    addSystem(10, QStringLiteral("十番"), true);
    addSystem(-1, QStringLiteral("未採番"));
    t2().append();
    dm2->Table2MMSysIDIF->clear();
    dm2->Table2MMSysNameSF->setAsString(QStringLiteral("番号なし"));
    t2().post();

    QList<bool> locked, digits;
    dm2->configView.setLocked = [&](bool on) { locked << on; };
    dm2->configView.setDigitsVisible = [&](bool on) { digits << on; };
    auto lockedFor = [&](const QString &name) {
        locked.clear();
        digits.clear();
        EXPECT_TRUE(t2().locate(col::MMSysName, name)) << name.toStdString();
        return locked.value(0, false) && locked.size() == 1;
    };
    EXPECT_TRUE(lockedFor(QStringLiteral("melma"))) << "ID 3";
    EXPECT_EQ(digits, QList<bool>{false});
    EXPECT_FALSE(lockedFor(QStringLiteral("十番")));
    EXPECT_EQ(digits, QList<bool>{true});
    EXPECT_FALSE(lockedFor(QStringLiteral("未採番"))) << "-1 marks a row not numbered yet";
    EXPECT_TRUE(lockedFor(QStringLiteral("番号なし"))) << "an empty ID counts as 0";
    EXPECT_TRUE(TMMagSysDataModule::isLockedId(9));
    EXPECT_TRUE(TMMagSysDataModule::isLockedId(-2));

    dm2->configView.setDigitsVisible = [](bool) { throw Error(QStringLiteral("壊れた画面")); };
    locked.clear();
    EXPECT_NO_THROW(t2().first());
    EXPECT_TRUE(locked.isEmpty()) << "the steps after the error are skipped";
    EXPECT_EQ(t2().recNo(), 1);
}

TEST_F(DataModulesTest, NewSystemRowIsUnnumberedAndUntouchedOneIsDropped) {
    t2().open();
    t2().append();
    EXPECT_EQ(dm2->Table2MMSysIDIF->asInteger(), -1);
    EXPECT_FALSE(t2().modified());
    t2().first();
    EXPECT_EQ(t2().recordCount(), 5);
    t2().append();
    dm2->Table2MMSysNameSF->setAsString(QStringLiteral("新システム"));
    t2().first();
    EXPECT_EQ(t2().recordCount(), 6);
    EXPECT_TRUE(t2().locate(col::MMSysName, QStringLiteral("新システム")));
    EXPECT_EQ(dm2->Table2MMSysIDIF->asInteger(), -1);
}

TEST_F(DataModulesTest, LookedUpPublishingMatchesExactNamesWithoutMovingTheSystemsCursor) {
    t2().open();
    t1().open();
    addMagazine(QStringLiteral("melma"), QStringLiteral("a"));
    addMagazine(QStringLiteral("Clickincome"), QStringLiteral("b"));
    addMagazine(QStringLiteral("Melma"), QStringLiteral("c"));
    addMagazine(QString(), QStringLiteral("d"));
    addMagazine(QStringLiteral("まぐまぐ"), QStringLiteral("e"));

    QStringList synced;
    dm1->syncPublishingRadio = [&](const QString &v) { synced << v; };
    t1().first();
    while (!t1().eof())
        t1().next();
    EXPECT_EQ(synced, (QStringList{"melma", "", "", "", "まぐまぐ", "まぐまぐ"}))
        << "one sync per move, the last for the move that reached the end";

    t2().locate(col::MMSysName, QStringLiteral("Pubzine"));
    int scrolls = 0;
    dm2->configView.setLocked = [&](bool) { ++scrolls; };
    EXPECT_EQ(lookedUpPublishing(QStringLiteral("melma"), t2()), QStringLiteral("melma"));
    EXPECT_EQ(lookedUpPublishing(QStringLiteral("Clickincome"), t2()), QString());
    EXPECT_EQ(lookedUpPublishing(QString(), t2()), QString());
    EXPECT_EQ(t2().recNo(), 2);
    EXPECT_EQ(scrolls, 0);

    addSystem(20, QStringLiteral("Clickincome"));
    EXPECT_EQ(lookedUpPublishing(QStringLiteral("Clickincome"), t2()), QStringLiteral("Clickincome"));
    t2().close();
    EXPECT_EQ(lookedUpPublishing(QStringLiteral("melma"), t2()), QString()) << "a closed table knows no names";
}

TEST_F(DataModulesTest, AMailboxPositionIsStoredWithItsBatchAndAnOlderFileGetsItsTable) {
    const QString magazines = env->dataDir() + QStringLiteral("/MMagaInfo.DB");
    t1().open();
    t1().close();
    // A file as the version before left it: the lists' table, no positions.
    {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(magazines).constData(), &db), SQLITE_OK);
        sqlite3_exec(db, "DROP TABLE quil_imap; PRAGMA user_version = 2", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    t1().open();
    EXPECT_EQ(rawColumn(magazines, QStringLiteral("PRAGMA user_version")), QStringList{"3"});
    ImapPositions positions(t1());
    EXPECT_FALSE(positions.find(QStringLiteral("mail.example.jp"), QStringLiteral("reader"), QStringLiteral("INBOX")));

    {
        Table::Walk batch(t1());
        addMagazine(QStringLiteral("メーリングリスト"), QStringLiteral("kept"));
        positions.save(QStringLiteral("mail.example.jp"), QStringLiteral("reader"), QStringLiteral("INBOX"),
                       ImapPosition{77, 10});
        batch.end();
    }
    {
        // A message that is not stored takes its position along.
        Table::Walk batch(t1());
        {
            Table::Part message(t1());
            addMagazine(QStringLiteral("メーリングリスト"), QStringLiteral("lost"));
            positions.save(QStringLiteral("mail.example.jp"), QStringLiteral("reader"), QStringLiteral("INBOX"),
                           ImapPosition{77, 20});
        }
        batch.end();
    }
    t1().close();
    t1().open();
    const auto at = positions.find(QStringLiteral("mail.example.jp"), QStringLiteral("reader"), QStringLiteral("INBOX"));
    ASSERT_TRUE(at);
    EXPECT_EQ(at->uidValidity, 77u);
    EXPECT_EQ(at->lastUid, 10u);
    EXPECT_FALSE(positions.find(QStringLiteral("mail.example.jp"), QStringLiteral("reader"), QStringLiteral("News")));
    EXPECT_EQ(rawColumn(magazines, QStringLiteral("SELECT \"メールマガジン名\" FROM MMagaInfo")), QStringList{"kept"});
}

TEST_F(DataModulesTest, AnOldParadoxTableInTheDataFolderIsNamedAndLeftAsItIs) {
    const QString magazines = env->dataDir() + QStringLiteral("/MMagaInfo.DB");
    t1().close();
    QFile::remove(magazines);
    writeParadox(magazines, magazinePxColumns(), sampleMagazineRecords());
    QFile before(magazines);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    before.close();

    try {
        t1().open();
        FAIL() << "a Paradox table opened as a database";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("Paradox の表なので、開かずにそのままにしています")))
            << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("quillet-cli import-paradox")));
    }
    EXPECT_FALSE(t1().active());
    QFile after(magazines);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), bytes) << "the old table is not touched";
    EXPECT_FALSE(QFile::exists(magazines + QStringLiteral("-wal")));
}
