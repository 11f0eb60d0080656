// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/store/StoreTestUtil.h"

#include "store/FieldValues.h"
#include "text/Cp932.h"

#include <QSignalSpy>
#include <QTimeZone>
#include <sys/stat.h>

using namespace quil;
using namespace quil::test;

namespace {


} // namespace

TEST_F(StoreTest, CreatesPrivateFileOnceAndMemoryTablesLeaveNoFile) {
    auto t = makeTable();
    EXPECT_EQ(fileMode(path()), 0600);
    EXPECT_EQ(fileMode(dir), 0700);
    EXPECT_FALSE(t->createIfMissing()) << "an existing table is left as it is";

    Table mem(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
    mem.setDirectory(QStringLiteral(":memory:"));
    mem.open();
    addNames(mem, {QStringLiteral("a"), QStringLiteral("b")});
    mem.close();
    mem.open();
    EXPECT_EQ(mem.recordCount(), 2) << "the in-memory database lives as long as the table object";
    EXPECT_FALSE(QFile::exists(env->cwd() + QStringLiteral("/MMagaInfo.DB")));
    EXPECT_FALSE(QFile::exists(QStringLiteral(":memory:/MMagaInfo.DB")));
}

TEST_F(StoreTest, PermanentEditingStoresChangedRecordOnMoveAndDropsUntouchedNewOne) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A"), QStringLiteral("B")});
    permanentEditing(*t);
    t->open();
    ASSERT_EQ(t->state(), DataSetState::Edit);
    t->fieldByName(col::MBName).setAsString(QStringLiteral("A2"));
    EXPECT_TRUE(t->modified());
    t->next();
    EXPECT_EQ(storedNames(), (QStringList{"A2", "B"})) << "the move stored the change at once";
    EXPECT_EQ(t->state(), DataSetState::Edit);
    EXPECT_FALSE(t->modified());

    // Moving off an edited but unchanged record writes nothing and abandons.
    t->first();
    EXPECT_EQ(name(*t), QStringLiteral("A2"));

    t->append();
    EXPECT_EQ(t->state(), DataSetState::Insert);
    t->first();
    EXPECT_EQ(t->recordCount(), 2) << "an untouched new record disappears on a move";
    EXPECT_EQ(storedNames().size(), 2);

    // An explicit post stores even an untouched new record, as an empty row.
    t->append();
    t->post();
    EXPECT_EQ(t->recordCount(), 3);
    EXPECT_EQ(storedNames(), (QStringList{"A2", "B", "<null>"}));
    EXPECT_EQ(t->state(), DataSetState::Browse);
    EXPECT_EQ(t->recNo(), 3) << "the cursor stays on the stored record";
}

TEST_F(StoreTest, MovesFireAfterScrollOncePerOccasion) {
    auto t = makeTable();
    int scrolls = 0;
    t->afterScroll = [&](Table &) { ++scrolls; };
    t->open();
    EXPECT_EQ(scrolls, 0) << "opening an empty table fires nothing";
    t->first();
    t->last();
    EXPECT_EQ(scrolls, 2) << "first and last fire also on an empty table";
    EXPECT_TRUE(t->eof());
    EXPECT_TRUE(t->bof());
    t->close();

    addNames(*t, {QStringLiteral("A"), QStringLiteral("B")});
    scrolls = 0;
    t->open();
    EXPECT_EQ(scrolls, 1);
    EXPECT_TRUE(t->bof());
    EXPECT_FALSE(t->eof());
    t->next();
    EXPECT_EQ(name(*t), QStringLiteral("B"));
    EXPECT_FALSE(t->eof());
    t->next();
    EXPECT_TRUE(t->eof()) << "next on the last record sets eof";
    EXPECT_EQ(name(*t), QStringLiteral("B"));
    EXPECT_EQ(scrolls, 3);
    t->next();
    EXPECT_EQ(scrolls, 3) << "next while at eof does nothing";
    t->prior();
    EXPECT_EQ(name(*t), QStringLiteral("A"));
    EXPECT_FALSE(t->eof());
    t->prior();
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(scrolls, 5);
    t->prior();
    EXPECT_EQ(scrolls, 5);
    EXPECT_EQ(t->recNo(), 1);
}

TEST_F(StoreTest, EmptyTableBeginsBlankRecordReentrantlyWithEachEventOnce) {
    auto t = makeTable();
    permanentEditing(*t);
    t->open();
    EXPECT_TRUE(log.isEmpty());
    t->edit(); // what the record form does after opening
    EXPECT_EQ(log, (QStringList{"new", "scroll"})) << "the nested edit finds the record being inserted";
    EXPECT_EQ(t->state(), DataSetState::Insert);
    EXPECT_FALSE(t->modified());

    log.clear();
    t->first();
    EXPECT_EQ(log, (QStringList{"scroll", "new", "scroll"}));
    EXPECT_EQ(t->recordCount(), 0);
    EXPECT_TRUE(storedNames().isEmpty());

    // Typing into the blank record and moving stores it.
    t->fieldByName(col::MBName).setAsString(QStringLiteral("typed"));
    log.clear();
    t->first();
    EXPECT_EQ(storedNames(), QStringList{"typed"});
    EXPECT_EQ(log, QStringList{"scroll"});
    EXPECT_EQ(t->state(), DataSetState::Edit);
}

TEST_F(StoreTest, NewRecordHandlerDefaultsDoNotCountAsChanges) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A")});
    t->onNewRecord = [](Table &tb) { tb.fieldByName(col::DeleteState).setAsString(QStringLiteral("未購読")); };
    t->open();
    t->insert();
    EXPECT_EQ(t->fieldByName(col::DeleteState).asString(), QStringLiteral("未購読"));
    EXPECT_FALSE(t->modified());
    t->first();
    EXPECT_EQ(t->recordCount(), 1);
}

TEST_F(StoreTest, CancelRestoresBufferAndReturnsFromNewRecord) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A"), QStringLiteral("B")});
    t->open();
    t->next();
    t->edit();
    t->fieldByName(col::MBName).setAsString(QStringLiteral("changed"));
    QStringList scrolledTo;
    t->afterScroll = [&](Table &tb) { scrolledTo << tb.fieldByName(col::MBName).asString(); };
    t->cancel();
    EXPECT_EQ(name(*t), QStringLiteral("B"));
    EXPECT_TRUE(scrolledTo.isEmpty()) << "cancelling an edit is no move";
    t->append();
    t->fieldByName(col::MBName).setAsString(QStringLiteral("new"));
    t->cancel();
    EXPECT_EQ(scrolledTo, (QStringList{"", "B"})) << "abandoning a new record scrolls back to where the cursor stood";
    EXPECT_EQ(t->recNo(), 2);
    EXPECT_EQ(storedNames(), (QStringList{"A", "B"}));
}

TEST_F(StoreTest, RemoveRunsHandlersAroundDeletionAndLandsOnNeighbour) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    permanentEditing(*t);
    QString seenByHandler;
    t->beforeDelete = [&](Table &tb) {
        log << QStringLiteral("beforeDelete");
        seenByHandler = tb.fieldByName(col::MBName).asString();
    };
    t->open();
    t->next();
    t->fieldByName(col::MBName).setAsString(QStringLiteral("B-unsaved"));
    log.clear();
    t->remove();
    EXPECT_EQ(seenByHandler, QStringLiteral("B-unsaved")) << "the handler sees the unsaved buffer";
    EXPECT_EQ(log, (QStringList{"beforeDelete", "afterDelete", "scroll"}));
    EXPECT_EQ(storedNames(), (QStringList{"A", "C"})) << "unsaved edits of the deleted record are dropped";
    EXPECT_EQ(name(*t), QStringLiteral("C"));

    t->remove(); // the last record: the cursor goes back
    EXPECT_EQ(name(*t), QStringLiteral("A"));

    log.clear();
    t->remove(); // the only record: the empty table begins a blank one
    EXPECT_EQ(log, (QStringList{"beforeDelete", "afterDelete", "scroll", "new", "scroll"}));
    EXPECT_EQ(t->recordCount(), 0);

    log.clear();
    t->remove(); // a new record not yet stored is only abandoned
    EXPECT_EQ(log, (QStringList{"scroll", "new", "scroll"}));
    EXPECT_FALSE(log.contains(QStringLiteral("beforeDelete")));
}

TEST_F(StoreTest, ErrorFromBeforeDeleteKeepsTheRecord) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A"), QStringLiteral("B")});
    bool afterDeleteRan = false;
    t->beforeDelete = [](Table &) { throw Error(QStringLiteral("ファイル CMag2.txt を開けません")); };
    t->afterDelete = [&](Table &) { afterDeleteRan = true; };
    t->open();
    t->edit();
    t->fieldByName(col::MBName).setAsString(QStringLiteral("A-typed"));
    EXPECT_EQ(errorOf([&] { t->remove(); }), QStringLiteral("ファイル CMag2.txt を開けません"));
    EXPECT_FALSE(afterDeleteRan);
    EXPECT_EQ(t->recordCount(), 2);
    EXPECT_EQ(t->state(), DataSetState::Edit);
    EXPECT_EQ(name(*t), QStringLiteral("A-typed"));
    t->beforeDelete = nullptr;
    t->close();
    EXPECT_EQ(storedNames(), (QStringList{"A-typed", "B"}));
}

TEST_F(StoreTest, BookmarksReturnToRecordAndRejectDeletedOnes) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    t->open();
    t->next();
    Bookmark b = t->bookmark();
    t->last();
    int scrolls = 0;
    t->afterScroll = [&](Table &) { ++scrolls; };
    ASSERT_TRUE(t->bookmarkValid(b));
    t->gotoBookmark(b);
    EXPECT_EQ(name(*t), QStringLiteral("B"));
    EXPECT_EQ(scrolls, 1);
    t->freeBookmark(b);

    // Taking a bookmark changes nothing: the record stays in editing with
    // its change pending, and can be written to afterwards.
    t->edit();
    t->fieldByName(col::MBName).setAsString(QStringLiteral("B2"));
    Bookmark again = t->bookmark();
    EXPECT_EQ(again, b);
    EXPECT_EQ(t->state(), DataSetState::Edit);
    EXPECT_TRUE(t->modified());
    t->fieldByName(col::DeleteState).setAsString(state::CancelCandidate);
    // A new record not yet stored has no bookmark and stays being inserted.
    t->append();
    t->fieldByName(col::MBName).setAsString(QStringLiteral("D"));
    EXPECT_EQ(t->bookmark(), 0);
    EXPECT_EQ(t->state(), DataSetState::Insert);
    EXPECT_EQ(t->recordCount(), 3) << "the move to the new record stored B2, nothing stored D yet";
    // Going to a bookmark is a move: it stores the new record first.
    t->gotoBookmark(b);
    EXPECT_EQ(name(*t), QStringLiteral("B2"));
    EXPECT_EQ(t->fieldByName(col::DeleteState).asString(), state::CancelCandidate);
    EXPECT_EQ(t->recordCount(), 4);
    t->last();
    EXPECT_EQ(name(*t), QStringLiteral("D"));
    Bookmark d = t->bookmark();

    // A deleted record's id is never handed to a later record.
    t->remove();
    t->append();
    t->fieldByName(col::MBName).setAsString(QStringLiteral("E"));
    t->post();
    EXPECT_FALSE(t->bookmarkValid(d));
    QString err = errorOf([&] { t->gotoBookmark(d); });
    EXPECT_FALSE(err.isEmpty());
    EXPECT_EQ(name(*t), QStringLiteral("E"));

    scrolls = 0;
    t->gotoBookmark(0);
    EXPECT_EQ(scrolls, 0) << "no bookmark, no move";
}

TEST_F(StoreTest, LocateComparesWholeValuesWithOptionalCaseFoldingAndNumbers) {
    auto t = makeTable();
    t->open();
    const QList<std::pair<QString, QString>> rows = {
        {"abcd", "5"}, {"ABC", "123"}, {"ｘＹｚ", "7"}, {"", "123"}};
    for (const auto &[n, id] : rows) {
        t->append();
        t->fieldByName(col::MBName).setAsString(n);
        t->fieldByName(col::MBID).setAsString(id);
        t->post();
    }
    t->first();
    int scrolls = 0;
    t->afterScroll = [&](Table &) { ++scrolls; };

    EXPECT_FALSE(t->locate(col::MBName, QStringLiteral("abc")));
    EXPECT_EQ(t->recNo(), 1) << "not found leaves the cursor";
    EXPECT_EQ(scrolls, 0);
    EXPECT_TRUE(t->locate(col::MBName, QStringLiteral("abc"), {true}));
    EXPECT_EQ(name(*t), QStringLiteral("ABC"));
    EXPECT_EQ(scrolls, 1);
    EXPECT_TRUE(t->locate(col::MBName, QStringLiteral("ＸｙＺ"), {true})) << "full-width letters fold too";
    EXPECT_EQ(t->recNo(), 3);
    EXPECT_FALSE(t->locate(col::MBName, QStringLiteral("ＸｙＺ")));

    t->first();
    EXPECT_TRUE(t->locate(col::MBID, QStringLiteral("00123")));
    EXPECT_EQ(t->recNo(), 2) << "the first match in stored order";
    EXPECT_TRUE(t->locate(col::MBID, 7));
    EXPECT_EQ(t->recNo(), 3);
    EXPECT_EQ(errorOf([&] { t->locate(col::MBID, QStringLiteral("12x")); }),
              QStringLiteral("'12x' は項目 'マガジンＩＤ' に適した整数値ではありません"));
    EXPECT_EQ(t->recNo(), 3);
    EXPECT_EQ(errorOf([&] { t->locate(QStringLiteral("無い列"), 1); }),
              QStringLiteral("フィールド '無い列' が見つかりません"));

    // Stored order, not creation order, decides which match is first.
    t->first();
    t->insert();
    t->fieldByName(col::MBName).setAsString(QStringLiteral("abc"));
    t->fieldByName(col::MBID).setAsInteger(123);
    t->post();
    t->last();
    EXPECT_TRUE(t->locate(col::MBID, QStringLiteral("123")));
    EXPECT_EQ(name(*t), QStringLiteral("abc"));
    EXPECT_EQ(t->recNo(), 1);
}

TEST_F(StoreTest, LocateIgnoringCaseFoldsOtherScriptsAndNeverMatchesPrefixes) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("Ärger"), QStringLiteral("メルマガＡＢＣ"), QStringLiteral("mag"),
                  QStringLiteral("magazine"), QStringLiteral("ΣΟΦΙΑ")});
    t->open();
    EXPECT_TRUE(t->locate(col::MBName, QStringLiteral("äRGER"), {true}));
    EXPECT_EQ(t->recNo(), 1);
    EXPECT_TRUE(t->locate(col::MBName, QStringLiteral("メルマガａｂｃ"), {true}));
    EXPECT_EQ(t->recNo(), 2);
    EXPECT_TRUE(t->locate(col::MBName, QStringLiteral("MAGAZINE"), {true}));
    EXPECT_EQ(t->recNo(), 4);
    EXPECT_TRUE(t->locate(col::MBName, QStringLiteral("σοφια"), {true}));
    EXPECT_EQ(t->recNo(), 5);
    EXPECT_FALSE(t->locate(col::MBName, QStringLiteral("MAGA"), {true}));
    EXPECT_FALSE(t->locate(col::MBName, QStringLiteral("メルマガ"), {true}));
    EXPECT_FALSE(t->locate(col::MBName, QStringLiteral("メルマガａｂｃｄ"), {true}));
    EXPECT_EQ(t->recNo(), 5);
}

TEST_F(StoreTest, MoveByStopsAtTheEndsAndFiresOneScroll) {
    auto t = makeTable();
    addNames(*t, {"A", "B", "C", "D", "E"});
    t->open();
    int scrolls = 0;
    t->afterScroll = [&](Table &tb) {
        ++scrolls;
        tb.edit();
    };
    EXPECT_EQ(t->moveBy(3), 3);
    EXPECT_EQ(name(*t), QStringLiteral("D"));
    EXPECT_EQ(t->currentPosition(), 3);
    EXPECT_EQ(scrolls, 1);
    // A changed record is stored by the move, as by any other.
    t->fieldByName(col::MBName).setAsString(QStringLiteral("D2"));
    EXPECT_EQ(t->moveBy(10), 1);
    EXPECT_TRUE(t->eof());
    EXPECT_EQ(name(*t), QStringLiteral("E"));
    EXPECT_EQ(t->moveBy(1), 0);
    EXPECT_EQ(t->moveBy(-100), -4);
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(name(*t), QStringLiteral("A"));
    EXPECT_EQ(storedNames(), (QStringList{"A", "B", "C", "D2", "E"}));
    // A new record stands where it will be stored.
    t->moveBy(2);
    t->insert();
    EXPECT_EQ(t->currentPosition(), 2);
    t->append();
    EXPECT_EQ(t->currentPosition(), 5);
    t->close();
    EXPECT_EQ(t->currentPosition(), -1);
}

TEST_F(StoreTest, DisabledControlsHearOneNoticeAtTheEndWhileEventsStillFire) {
    auto t = makeTable();
    addNames(*t, {"A", "B", "C"});
    t->open();
    int records = 0, states = 0, fields = 0, scrolls = 0;
    QObject::connect(t.get(), &Table::recordChanged, [&] { ++records; });
    QObject::connect(t.get(), &Table::stateChanged, [&] { ++states; });
    QObject::connect(t.get(), &Table::fieldChanged, [&] { ++fields; });
    t->afterScroll = [&](Table &tb) {
        ++scrolls;
        tb.edit();
    };
    t->edit();
    records = states = fields = 0;
    {
        Table::DisabledControls quiet(*t);
        Table::DisabledControls nested(*t);
        while (!t->eof()) {
            t->fieldByName(col::DeleteState).setAsString(state::CancelCandidate);
            t->next();
        }
        EXPECT_TRUE(t->controlsDisabled());
        EXPECT_EQ(records + states + fields, 0);
    }
    EXPECT_FALSE(t->controlsDisabled());
    EXPECT_EQ(scrolls, 3);
    EXPECT_EQ(records, 1);
    EXPECT_EQ(states, 1);
    EXPECT_EQ(fields, 0);
    // Nothing happened while disabled: nothing to tell.
    {
        Table::DisabledControls quiet(*t);
    }
    EXPECT_EQ(records, 1);
}

TEST_F(StoreTest, LocateStoresPendingChangeEvenWhenNothingIsFound) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A")});
    t->open();
    t->edit();
    t->fieldByName(col::MBName).setAsString(QStringLiteral("A2"));
    EXPECT_FALSE(t->locate(col::MBName, QStringLiteral("zzz")));
    EXPECT_EQ(storedNames(), QStringList{"A2"});
}

TEST_F(StoreTest, TextIsCutToColumnWidthWithoutSplittingCharacters) {
    auto t = makeTable();
    t->open();
    t->append();
    Field &desc = t->fieldByName(col::Explanation);
    desc.setAsString(QString(300, QLatin1Char('x')));
    EXPECT_EQ(desc.asString().size(), 240);
    t->post();
    EXPECT_EQ(rawColumn(path(), QStringLiteral("SELECT \"説明\" FROM MMagaInfo")).value(0), QString(240, 'x'));

    // One byte, then double-byte characters: byte 240 would be half a character.
    t->edit();
    desc.setAsString(QStringLiteral("a") + QString(150, QChar(0x3042)));
    EXPECT_EQ(cp932::byteLength(desc.asString()), 239);
    EXPECT_EQ(desc.asString(), QStringLiteral("a") + QString(119, QChar(0x3042)));
    Field &pub = t->fieldByName(col::Publishing);
    pub.setValue(QStringLiteral("独自システム独自システム独自システム"));
    EXPECT_EQ(pub.asString(), QStringLiteral("独自システム独自システム独自シ"));
    t->post();
    t->close();
    t->open();
    EXPECT_EQ(cp932::byteLength(t->fieldByName(col::Explanation).asString()), 239);
}

TEST_F(StoreTest, FieldConversionsAndTheirErrors) {
    auto t = makeTable();
    Table sys(QStringLiteral("MMagaSys.DB"), TMMagSysDataModule::schema());
    sys.setDirectory(QStringLiteral(":memory:"));
    sys.open();
    t->open();
    Field &id = t->fieldByName(col::MBID);
    EXPECT_EQ(errorOf([&] { id.setAsString(QStringLiteral("1")); }),
              QStringLiteral("データセットが編集モードでも挿入モードでもありません"));
    t->append();

    id.setAsString(QStringLiteral("  -42"));
    EXPECT_EQ(id.asInteger(), -42);
    id.setAsString(QStringLiteral("007"));
    EXPECT_EQ(id.asString(), QStringLiteral("7")) << "plain decimal without leading zeros";
    for (const char *bad : {"12a", "12 ", "1.5", "+", "99999999999", "１２"})
        EXPECT_EQ(errorOf([&] { id.setAsString(QString::fromUtf8(bad)); }),
                  QStringLiteral("'%1' は項目 'マガジンＩＤ' に適した整数値ではありません").arg(QString::fromUtf8(bad)))
            << bad;
    EXPECT_EQ(id.asInteger(), 7) << "a refused value leaves the column";
    id.setAsString(QString());
    EXPECT_TRUE(id.isNull());
    EXPECT_EQ(id.asString(), QString());
    EXPECT_EQ(id.asInteger(), 0);

    id.setValue(QStringLiteral(" 77 "));
    EXPECT_EQ(id.asInteger(), 77);
    id.setValue(12.0);
    EXPECT_EQ(id.asInteger(), 12);
    for (const QVariant &bad : {QVariant(QStringLiteral("")), QVariant(QStringLiteral("x")), QVariant(QDateTime::currentDateTime())})
        EXPECT_EQ(errorOf([&] { id.setValue(bad); }), QStringLiteral("バリアントの型変換が不正です"));

    Field &time = t->fieldByName(col::RegTime);
    time.setAsString(QStringLiteral("2024/1/2 3:04:05"));
    EXPECT_EQ(time.asString(), QStringLiteral("2024/01/02 3:04:05"));
    EXPECT_EQ(time.displayText(), QStringLiteral("2024/01/02 03:04:05"));
    time.setAsString(QStringLiteral("2024/03/09"));
    EXPECT_EQ(time.asString(), QStringLiteral("2024/03/09")) << "midnight has no time part";
    EXPECT_EQ(errorOf([&] { time.setAsString(QStringLiteral("2024/13/01")); }),
              QStringLiteral("'2024/13/01' は日付または時刻ではありません"));
    time.setValue(QStringLiteral("2023/12/31 23:59"));
    EXPECT_EQ(time.asDateTime(), QDateTime(QDate(2023, 12, 31), QTime(23, 59)));
    EXPECT_EQ(errorOf([&] { time.setValue(QStringLiteral("")); }), QStringLiteral("バリアントの型変換が不正です"));
    EXPECT_EQ(errorOf([&] { time.setValue(QStringLiteral("yesterday")); }), QStringLiteral("バリアントの型変換が不正です"));
    t->post();
    t->close();
    t->open();
    EXPECT_EQ(t->fieldByName(col::RegTime).asDateTime(), QDateTime(QDate(2023, 12, 31), QTime(23, 59)))
        << "a date survives storing";
    EXPECT_EQ(t->fieldByName(col::MBID).asInteger(), 12);

    sys.append();
    Field &sid = sys.fieldByName(col::MMSysID);
    sid.setAsString(QStringLiteral("-32768"));
    EXPECT_EQ(sid.asInteger(), -32768);
    QString range = errorOf([&] { sid.setAsInteger(40000); });
    EXPECT_TRUE(range.contains(QStringLiteral("40000")) && range.contains(col::MMSysID)) << range.toStdString();
    EXPECT_FALSE(errorOf([&] { sid.setAsString(QStringLiteral("32768")); }).isEmpty());
    EXPECT_EQ(sid.asInteger(), -32768);

    Field &flag = sys.fieldByName(col::AppendMMID);
    EXPECT_EQ(flag.asString(), QString());
    EXPECT_FALSE(flag.asBoolean());
    flag.setAsString(QStringLiteral("TRUE"));
    EXPECT_EQ(flag.asString(), QStringLiteral("True"));
    flag.setAsString(QStringLiteral("0"));
    EXPECT_EQ(flag.asString(), QStringLiteral("False"));
    flag.setValue(QStringLiteral("true"));
    EXPECT_TRUE(flag.asBoolean());
    EXPECT_FALSE(errorOf([&] { flag.setAsString(QStringLiteral("yes")); }).isEmpty());
    EXPECT_TRUE(flag.asBoolean());

    EXPECT_EQ(errorOf([&] { t->fieldByName(QStringLiteral("ＩＤ")); }), QStringLiteral("フィールド 'ＩＤ' が見つかりません"));
    EXPECT_EQ(t->findField(QStringLiteral("ＩＤ")), nullptr);
}

TEST_F(StoreTest, FailedOpenLeavesTableClosedAndOperationsReportIt) {
    Table t(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
    t.setDirectory(dir);
    QString err = errorOf([&] { t.open(); });
    EXPECT_TRUE(err.contains(QStringLiteral("MMagaInfo.DB"))) << err.toStdString();
    EXPECT_FALSE(t.active());
    EXPECT_FALSE(QFile::exists(path())) << "opening never creates the file";
    const QString closed = QStringLiteral("データセットが閉じています");
    EXPECT_EQ(errorOf([&] { t.first(); }), closed);
    EXPECT_EQ(errorOf([&] { t.next(); }), closed);
    EXPECT_EQ(errorOf([&] { t.append(); }), closed);
    EXPECT_EQ(errorOf([&] { t.edit(); }), closed);
    EXPECT_EQ(errorOf([&] { t.remove(); }), closed);
    EXPECT_EQ(errorOf([&] { t.recordCount(); }), closed);
    EXPECT_EQ(errorOf([&] { t.bookmark(); }), closed);
    EXPECT_EQ(errorOf([&] { t.locate(col::MBName, QStringLiteral("a")); }), closed);
    EXPECT_EQ(errorOf([&] { t.fieldByName(col::MBName).asString(); }), closed);

    // A file that is not a table of ours is refused the same way.
    QDir().mkpath(dir);
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is no database at all, just some bytes that fill a page......");
    f.close();
    EXPECT_FALSE(errorOf([&] { t.open(); }).isEmpty());
    EXPECT_FALSE(t.active());
}

TEST_F(StoreTest, CloseAndDestructionStoreTypedRecord) {
    {
        auto t = makeTable();
        t->open();
        t->edit(); // empty: a new record
        t->fieldByName(col::MBName).setAsString(QStringLiteral("kept"));
        t->close();
        EXPECT_EQ(t->state(), DataSetState::Inactive);
        t->open();
        t->edit();
        t->fieldByName(col::MBName).setAsString(QStringLiteral("kept too"));
    } // destroyed while editing
    EXPECT_EQ(storedNames(), QStringList{"kept too"});

    auto t = makeTable();
    t->open();
    t->append();
    t->close();
    EXPECT_EQ(storedNames().size(), 1) << "an untouched new record is dropped on close";
}

TEST_F(StoreTest, ControlsHandOverPendingTextBeforePostAndMove) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A"), QStringLiteral("B")});
    DataSource source(t.get());
    QString pending;
    // A bound edit writes what was typed when the table asks for it.
    QObject::connect(&source, &DataSource::updateRecordRequested, [&] {
        if (!pending.isEmpty()) {
            t->fieldByName(col::MBName).setAsString(pending);
            pending.clear();
        }
    });
    QSignalSpy fields(&source, &DataSource::fieldChanged);
    QSignalSpy states(&source, &DataSource::stateChanged);
    QSignalSpy records(&source, &DataSource::recordChanged);
    t->open();
    EXPECT_GE(records.count(), 1);
    t->edit();
    EXPECT_EQ(states.count(), 2); // Browse on open, then Edit
    pending = QStringLiteral("typed");
    t->next();
    EXPECT_EQ(fields.count(), 1);
    EXPECT_EQ(fields.at(0).at(0).toInt(), 1);
    EXPECT_EQ(storedNames(), (QStringList{"typed", "B"}));
    t->edit();
    pending = QStringLiteral("B typed");
    t->post();
    EXPECT_EQ(storedNames(), (QStringList{"typed", "B typed"}));
}

TEST_F(StoreTest, InsertKeepsStoredOrderAcrossReopenAndManySplits) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("first"), QStringLiteral("last")});
    t->open();
    t->next();
    // Always insert right before "last": the gap between the keys halves each time.
    for (int i = 0; i < 70; ++i) {
        t->insert();
        t->fieldByName(col::MBName).setAsString(QStringLiteral("m%1").arg(i));
        t->post();
        t->next();
        ASSERT_EQ(name(*t), QStringLiteral("last"));
    }
    t->close();
    QStringList expected{"first"};
    for (int i = 0; i < 70; ++i)
        expected << QStringLiteral("m%1").arg(i);
    expected << "last";
    EXPECT_EQ(storedNames(), expected);
    t->open();
    EXPECT_EQ(t->recordCount(), 72);
    t->last();
    EXPECT_EQ(name(*t), QStringLiteral("last"));
    EXPECT_EQ(t->recNo(), 72);
    EXPECT_EQ(t->columnTexts(col::MBName), expected);
    EXPECT_EQ(t->recordAt(1).at(1).toString(), QStringLiteral("m0"));
}

TEST_F(StoreTest, WalkCommitsOnceAtItsEndAlsoWhenAnErrorEndsIt) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    t->open();
    {
        Table::Walk outer(*t);
        {
            Table::Walk inner(*t);
            t->edit();
            t->fieldByName(col::MBName).setAsString(QStringLiteral("A1"));
            t->post();
        }
        EXPECT_EQ(storedNames().value(0), QStringLiteral("A")) << "an inner walk joins the outer one";
    }
    EXPECT_EQ(storedNames().value(0), QStringLiteral("A1"));

    try {
        Table::Walk walk(*t);
        t->first();
        while (!t->eof()) {
            t->edit();
            if (name(*t) == QStringLiteral("C"))
                t->fieldByName(col::MBID).setAsString(QStringLiteral("bad"));
            t->fieldByName(col::DeleteState).setAsString(state::CancelCandidate);
            t->next();
        }
        FAIL() << "the conversion error should end the walk";
    } catch (const Error &) {
    }
    EXPECT_EQ(rawColumn(path(), QStringLiteral("SELECT \"削除状態\" FROM MMagaInfo ORDER BY _sort_key")),
              (QStringList{"解除候補", "解除候補", "<null>"}))
        << "what was done before the error stays";
}

TEST_F(StoreTest, EmptyingNeedsExclusiveUseAndFiresNoRecordEvents) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A"), QStringLiteral("B")});
    permanentEditing(*t);
    t->open();
    EXPECT_FALSE(t->exclusive());
    EXPECT_FALSE(errorOf([&] { t->emptyTable(); }).isEmpty());
    EXPECT_EQ(t->recordCount(), 2);
    t->openExclusive();
    EXPECT_TRUE(t->exclusive());
    log.clear();
    t->emptyTable();
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(t->recordCount(), 0);
    EXPECT_TRUE(storedNames().isEmpty());
    t->close();
    t->open();
    EXPECT_TRUE(t->exclusive()) << "once exclusive, it stays so";
}

TEST_F(StoreTest, HandlerThatMovesDuringAMoveLeavesConsistentState) {
    auto t = makeTable();
    addNames(*t, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    int depth = 0;
    t->afterScroll = [&](Table &tb) {
        if (depth++ == 0 && tb.recNo() == 2)
            tb.last(); // a handler that jumps on
        tb.edit();
    };
    t->open();
    depth = 0;
    t->next();
    EXPECT_EQ(name(*t), QStringLiteral("C"));
    EXPECT_EQ(t->state(), DataSetState::Edit);
    EXPECT_TRUE(t->eof());
}

TEST(StoredDates, TheDirectFormIsQtsIsoForm) {
    const QDateTime samples[] = {
        QDateTime(QDate(2003, 4, 1), QTime(9, 30)),          QDateTime(QDate(1, 1, 1), QTime(0, 0)),
        QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999)), QDateTime(QDate(2026, 3, 29), QTime(2, 30, 5, 7)),
        QDateTime(QDate(1999, 12, 31), QTime(12, 0, 0, 50)),
    };
    for (const QDateTime &dt : samples)
        EXPECT_EQ(values::storedDateText(dt), dt.toString(Qt::ISODateWithMs)) << dt.toString().toStdString();
    const QDateTime utc(QDate(2003, 4, 1), QTime(9, 30), Qt::UTC);
    EXPECT_EQ(values::storedDateText(utc), utc.toString(Qt::ISODateWithMs));
}
