// SPDX-License-Identifier: GPL-3.0-or-later
// The old program's Paradox tables read into the register through the real
// data modules: record for record, the columns a file must have, the
// publishing systems kept and added, and which table a file is.
#include "app/core/Csv.h"
#include "app/core/ParadoxImport.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "tests/support/ModulesFixture.h"
#include "tests/support/ParadoxWriter.h"
#include "text/Cp932.h"

#include <QDateTime>

#include <algorithm>

// pxlib's header is C without C++ guards.
extern "C" {
#include <paradox.h>
}

using namespace quil;
using namespace quil::test;

static void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

class ParadoxImportTest : public ModulesTest {
protected:
    QString file(const QString &name, const QList<PxColumn> &columns, const QList<PxRecord> &records) {
        return env->writeFile(name, paradoxBytes(columns, records));
    }
    QString magazineFile(const QList<PxRecord> &records = sampleMagazineRecords()) {
        return file(QStringLiteral("MMagaInfo.DB"), magazinePxColumns(), records);
    }
    QString systemsFile(const QList<PxRecord> &records = sampleSystemRecords()) {
        return file(QStringLiteral("MMagaSys.DB"), systemPxColumns(), records);
    }

    // Every column's text form of a stored record.
    static QStringList row(Table &table, int position) {
        const QVector<QVariant> v = table.recordAt(position);
        QStringList out;
        for (int i = 0; i < v.size(); ++i)
            out << table.textOf(i, v[i]);
        return out;
    }
    static QStringList column(Table &table, const QString &name) { return table.columnTexts(name); }

    void addMagazine(const QString &name) {
        t().append();
        t().fieldByName(col::MBName).setAsString(name);
        t().post();
    }
};

// The sample register's records as the table shows them.
const QList<QStringList> kSampleRows = {
    {"まぐまぐ", "ＡＢＣ通信～第①号", "123456", "テキスト", "週刊", "http://www.example.jp/abc/", "editor@example.jp",
     "reader@example.jp", "2003/04/05 12:34:56", "192.168.10.20", "無料", "毎週の話題を①から⑩まで", "購読中"},
    {"melma", longSampleName(), "", "ＨＴＭＬ", "", "", "", "reader@example.jp", "2004/01/02", "", "有料", "", "解除"},
    {"独自システム", "Ｗｅｂ便り", "0", "", "不定期", "", "", "", "", "10.0.0.1", "", "", "解除候補"},
};

// The columns in another order than the program's.
QList<PxColumn> reversed(QList<PxColumn> columns) {
    std::reverse(columns.begin(), columns.end());
    return columns;
}
QList<PxRecord> reversed(const QList<PxRecord> &records) {
    QList<PxRecord> out;
    for (PxRecord r : records) {
        r.resize(13);
        std::reverse(r.begin(), r.end());
        out << r;
    }
    return out;
}

QList<PxColumn> without(QList<PxColumn> columns, const QString &name) {
    columns.removeIf([&](const PxColumn &c) { return c.name == cp932::encode(name); });
    return columns;
}

QList<PxColumn> retyped(QList<PxColumn> columns, const QString &name, int type, int size = 0) {
    for (PxColumn &c : columns)
        if (c.name == cp932::encode(name))
            c = pxColumn(name, type, size);
    return columns;
}

} // namespace

// --- the magazine table --------------------------------------------------------

TEST_F(ParadoxImportTest, EveryRecordInStoredOrderWithAll13Columns) {
    addMagazine(QStringLiteral("前からの誌"));
    const int n = importParadoxMagazines(t(), magazineFile());
    EXPECT_EQ(n, 3);
    ASSERT_EQ(t().recordCount(), 4);
    EXPECT_EQ(row(t(), 0)[1], QStringLiteral("前からの誌")) << "the register's records stay, the file's come after";
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(row(t(), i + 1), kSampleRows[i]) << "record " << i;
    EXPECT_EQ(importDoneNotice(n).text, QStringLiteral("計 3 行のデータを書きこみました。"));
    EXPECT_EQ(importDoneNotice(n).caption, QStringLiteral("書き込み完了"));
}

TEST_F(ParadoxImportTest, ValuesKeepTheirKindsExactly) {
    importParadoxMagazines(t(), magazineFile());
    EXPECT_EQ(t().recordAt(0)[t().fieldByName(col::RegTime).index()].toDateTime(),
              QDateTime(QDate(2003, 4, 5), QTime(12, 34, 56)));
    EXPECT_EQ(t().recordAt(1)[t().fieldByName(col::RegTime).index()].toDateTime(), QDateTime(QDate(2004, 1, 2), QTime(0, 0)));
    const QVector<QVariant> second = t().recordAt(1);
    for (const QString &empty : {col::MBID, col::MBCycle, col::Web, col::Publisher, col::IPAddress, col::Explanation})
        EXPECT_FALSE(second[t().fieldByName(empty).index()].isValid()) << empty.toStdString() << " stays empty";
    EXPECT_EQ(cp932::byteLength(second[1].toString()), 255) << "a name of all 255 bytes is whole";
}

TEST_F(ParadoxImportTest, TheCursorEndsOnTheLastImportedRecord) {
    addMagazine(QStringLiteral("前からの誌"));
    t().first();
    importParadoxMagazines(t(), magazineFile());
    EXPECT_EQ(t().recNo(), 4);
    EXPECT_EQ(magazines->Table1MBNameSF->asString(), QStringLiteral("Ｗｅｂ便り"));
    EXPECT_FALSE(t().modified());
}

TEST_F(ParadoxImportTest, ColumnsInAnyOrderAndTypesThatHoldThem) {
    importParadoxMagazines(t(), file(QStringLiteral("x.db"), reversed(magazinePxColumns()), reversed(sampleMagazineRecords())));
    ASSERT_EQ(t().recordCount(), 3);
    EXPECT_EQ(row(t(), 0), kSampleRows[0]);

    QList<PxColumn> other = retyped(retyped(magazinePxColumns(), col::MBID, pxfShort), col::RegTime, pxfDate);
    QList<PxRecord> records{{QStringLiteral("まぐまぐ"), QStringLiteral("短い番号"), 321}};
    records[0].resize(13);
    records[0][8] = QDate(2005, 6, 7);
    importParadoxMagazines(t(), file(QStringLiteral("y.db"), other, records));
    EXPECT_EQ(row(t(), 3)[2], QStringLiteral("321"));
    EXPECT_EQ(row(t(), 3)[8], QStringLiteral("2005/06/07"));
}

TEST_F(ParadoxImportTest, TextLongerThanTheColumnIsCutAsTheTableCutsIt) {
    const QList<PxColumn> wide = retyped(magazinePxColumns(), col::Publishing, pxfAlpha, 60);
    const QString twenty(20, QChar(0x3042));                            // 40 bytes
    const QString odd = QLatin1Char('a') + QString(15, QChar(0x3044)); // 31 bytes
    importParadoxMagazines(t(), file(QStringLiteral("wide.db"), wide, {{twenty}, {odd}}));
    const QStringList publishing = column(t(), col::Publishing);
    EXPECT_EQ(publishing[0], QString(15, QChar(0x3042)));
    EXPECT_EQ(publishing[1], QLatin1Char('a') + QString(14, QChar(0x3044))) << "no half character";
}

TEST_F(ParadoxImportTest, AnEmptyRecordIsARecord) {
    EXPECT_EQ(importParadoxMagazines(t(), magazineFile({PxRecord{}, {QStringLiteral("まぐまぐ")}})), 2);
    EXPECT_EQ(t().recordCount(), 2);
    EXPECT_EQ(row(t(), 0), QStringList(13, QString()));
}

TEST_F(ParadoxImportTest, AnEmptyTableAddsNothing) {
    addMagazine(QStringLiteral("前からの誌"));
    EXPECT_EQ(importParadoxMagazines(t(), magazineFile({})), 0);
    EXPECT_EQ(t().recordCount(), 1);
}

// --- columns that do not fit: an error naming the column, nothing stored --------

TEST_F(ParadoxImportTest, AMissingAnExtraARepeatedColumnOrOneOfAnotherType) {
    addMagazine(QStringLiteral("前からの誌"));
    const QList<PxRecord> one{{QStringLiteral("まぐまぐ")}};
    struct Case {
        QList<PxColumn> columns;
        QString error;
    };
    QList<PxColumn> extra = magazinePxColumns();
    extra.insert(3, pxColumn(QStringLiteral("備考欄"), pxfAlpha, 10));
    QList<PxColumn> twice = magazinePxColumns();
    twice << pxColumn(col::MBName, pxfAlpha, 20);
    const QList<Case> cases{
        {without(magazinePxColumns(), col::Explanation), QStringLiteral("には列「説明」がありません")},
        {extra, QStringLiteral("の列「備考欄」は、読みこむ表にない列です")},
        {twice, QStringLiteral("には列「メールマガジン名」が二つ以上あります")},
        {retyped(magazinePxColumns(), col::MBID, pxfAlpha, 10),
         QStringLiteral("の列「マガジンＩＤ」の型 英数字 (A) では、この列を読みこめません")},
        {retyped(magazinePxColumns(), col::RegTime, pxfLong),
         QStringLiteral("の列「登録日時」の型 長整数 (I) では、この列を読みこめません")},
    };
    for (const Case &c : cases) {
        const QString path = file(QStringLiteral("bad.db"), c.columns, one);
        const QString e = errorOf([&] { importParadoxMagazines(t(), path); });
        EXPECT_EQ(e, QStringLiteral("ファイル %1 ").arg(path) + c.error);
        EXPECT_EQ(t().recordCount(), 1);
    }
}

TEST_F(ParadoxImportTest, ARecordThatCannotBeReadUndoesTheFileAndKeepsWhatTheReaderTyped) {
    addMagazine(QStringLiteral("前からの誌"));
    t().first();
    t().edit();
    magazines->Table1MBNameSF->setAsString(QStringLiteral("書きかけ"));
    // The third record's timestamp is no number.
    QByteArray bytes = paradoxBytes(magazinePxColumns(), sampleMagazineRecords());
    const int third = peek16(bytes, 2) + 6 + 2 * 1406;
    const int regTime = 30 + 255 + 4 + 25 + 30 + 255 + 255 + 255;
    bytes.replace(third + regTime, 8, QByteArray("\x00\x00\x00\x00\x00\x00\x00\x01", 8));
    const QString path = env->writeFile(QStringLiteral("MMagaInfo.DB"), bytes);
    const QString e = errorOf([&] { importParadoxMagazines(t(), path); });
    EXPECT_EQ(e, QStringLiteral("ファイル %1 の 3 件目の列「登録日時」の値が正しくありません").arg(path));
    EXPECT_EQ(column(t(), col::MBName), QStringList{QStringLiteral("書きかけ")});
}

// --- the publishing-system table ------------------------------------------------

TEST_F(ParadoxImportTest, SystemsNotInTheTableAreAddedTheOthersKept) {
    const QStringList builtInBefore = row(s(), 0);
    const int before = s().recordCount();
    const ParadoxSystemsImport r = importParadoxSystems(s(), systemsFile());
    EXPECT_EQ(r.added, 2);
    EXPECT_EQ(r.kept, 1) << "まぐまぐ is built in";
    EXPECT_EQ(paradoxSystemsNotice(r).text,
              QStringLiteral("計 2 行の発行システムを追加しました（1 行は既にあるため変更していません）。"));
    EXPECT_EQ(paradoxSystemsNotice(r).caption, QStringLiteral("書き込み完了"));
    ASSERT_EQ(s().recordCount(), before + 2);
    EXPECT_EQ(row(s(), 0), builtInBefore) << "the locked built-in row stays ours";
    EXPECT_EQ(row(s(), before), (QStringList{"11", "ＡＢＣメール～", "http://abc.example.jp/cancel?id=①", "True", "6",
                                             "False", "", "", "", ".htm", "備考①"}));
    EXPECT_EQ(row(s(), before + 1), (QStringList{"12", "会員制配信", "http://member.example.jp/", "False", "", "True",
                                                 "member01", "ｐａｓｓ～①", "me@example.jp", "", ""}));
    EXPECT_EQ(systems->Table2MMSysNameSF->asString(), QStringLiteral("会員制配信")) << "on the last row added";

    const ParadoxSystemsImport again = importParadoxSystems(s(), systemsFile());
    EXPECT_EQ(again.added, 0);
    EXPECT_EQ(again.kept, 3);
    EXPECT_EQ(s().recordCount(), before + 2);
}

TEST_F(ParadoxImportTest, ASystemNamedTwiceIsAddedOnceAndNamesCompareAsStored) {
    const int before = s().recordCount();
    const QString longName = QString(16, QChar(0x30a2)); // 32 bytes: stored as its first 15 characters
    const QList<PxColumn> wide = retyped(systemPxColumns(), col::MMSysName, pxfAlpha, 40);
    const ParadoxSystemsImport r = importParadoxSystems(
        s(), file(QStringLiteral("sys.db"), wide,
                  {{20, QStringLiteral("二度")}, {21, QStringLiteral("二度")}, {22, longName},
                   {23, longName.left(15)}, {24, QStringLiteral("メーリングリスト")}}));
    EXPECT_EQ(r.added, 2);
    EXPECT_EQ(r.kept, 3);
    EXPECT_EQ(s().recordCount(), before + 2);
    EXPECT_EQ(column(s(), col::MMSysID).mid(before), (QStringList{"20", "22"}));
}

TEST_F(ParadoxImportTest, SystemColumnsMustFitToo) {
    const int before = s().recordCount();
    const QString path =
        file(QStringLiteral("MMagaSys.DB"), retyped(systemPxColumns(), col::AppendMMID, pxfShort), sampleSystemRecords());
    EXPECT_EQ(errorOf([&] { importParadoxSystems(s(), path); }),
              QStringLiteral("ファイル %1 の列「マガジンＩＤの付加」の型 短整数 (S) では、この列を読みこめません").arg(path));
    const QString longId = file(QStringLiteral("MMagaSys.DB"), retyped(systemPxColumns(), col::MMSysID, pxfLong),
                                sampleSystemRecords());
    EXPECT_FALSE(errorOf([&] { importParadoxSystems(s(), longId); }).isEmpty()) << "a long may not fit a short";
    EXPECT_EQ(s().recordCount(), before);
}

// --- which table a file is ----------------------------------------------------------

TEST_F(ParadoxImportTest, AFileIsToldByItsColumnsNotItsName) {
    EXPECT_EQ(paradoxTableKind(file(QStringLiteral("old.db"), magazinePxColumns(), {})), ParadoxTableKind::Magazines);
    EXPECT_EQ(paradoxTableKind(file(QStringLiteral("MMagaInfo.DB"), systemPxColumns(), {})), ParadoxTableKind::Systems);
    EXPECT_EQ(paradoxTableKind(file(QStringLiteral("x.db"), without(magazinePxColumns(), col::MBName), {})),
              ParadoxTableKind::Magazines)
        << "so that its import can name what is missing";
    EXPECT_EQ(paradoxTableKind(file(QStringLiteral("y.db"), {pxColumn(QStringLiteral("住所"), pxfAlpha, 20)}, {})),
              ParadoxTableKind::Neither);
}

TEST_F(ParadoxImportTest, OneCallImportsIntoTheTableTheFileNames) {
    const ParadoxImport m = importParadox(t(), s(), file(QStringLiteral("a.db"), magazinePxColumns(), sampleMagazineRecords()));
    EXPECT_EQ(m.kind, ParadoxTableKind::Magazines);
    EXPECT_EQ(m.added, 3);
    EXPECT_EQ(m.notice.text, importDoneNotice(3).text);
    const ParadoxImport sys = importParadox(t(), s(), file(QStringLiteral("b.db"), systemPxColumns(), sampleSystemRecords()));
    EXPECT_EQ(sys.kind, ParadoxTableKind::Systems);
    EXPECT_EQ(sys.notice.text, paradoxSystemsNotice({2, 1}).text);
    const QString other = file(QStringLiteral("c.db"), {pxColumn(QStringLiteral("住所"), pxfAlpha, 20)}, {{QStringLiteral("東京")}});
    EXPECT_EQ(errorOf([&] { importParadox(t(), s(), other); }),
              QStringLiteral("ファイル %1 は、メールマガジンの表 (MMagaInfo.DB) でも発行システムの表 (MMagaSys.DB) でもありません")
                  .arg(other));
    EXPECT_EQ(t().recordCount(), 3);
}
