// SPDX-License-Identifier: GPL-3.0-or-later
// The Paradox reader over tables that pxlib's own writer made: what it reads
// of fields and records, and the files it refuses before pxlib sees them.
#include "store/ParadoxTable.h"
#include "tests/support/ParadoxWriter.h"
#include "tests/support/TestEnv.h"
#include "text/Cp932.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

// pxlib's header is C without C++ guards.
extern "C" {
#include <paradox.h>
}
#include <sys/stat.h>

using namespace quil;
using namespace quil::test;

static void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// Where pxlib's writer puts things: the header's numbers, the field
// definitions after the data header, the first block after a header of 2 KB.
constexpr int kRecordCountAt = 0x06, kHeaderSizeAt = 0x02, kFieldCountAt = 0x21, kEncryptionAt = 0x5C,
              kFieldInfoAt = 0x78;
constexpr int kMagazineRecordSize = 1406, kBlockSize = 16384, kMagazinesPerBlock = 11;

int firstBlockAt(const QByteArray &file) { return peek16(file, kHeaderSizeAt); }
int blockAt(const QByteArray &file, int block) { return firstBlockAt(file) + (block - 1) * kBlockSize; }

QByteArray magazineFile(const QList<PxRecord> &records = sampleMagazineRecords()) {
    return paradoxBytes(magazinePxColumns(), records);
}

// Magazine records numbered in their names, enough for several blocks.
QList<PxRecord> numbered(int count) {
    QList<PxRecord> out;
    for (int i = 0; i < count; ++i)
        out << PxRecord{QStringLiteral("まぐまぐ"), QStringLiteral("第%1号").arg(i + 1), i + 1};
    return out;
}

QStringList names(ParadoxTable &t) {
    QStringList out;
    const int name = t.fieldIndex(QStringLiteral("メールマガジン名"));
    for (int i = 0; i < t.recordCount(); ++i)
        out << t.record(i)[name].toString();
    return out;
}

QString refusal(const QByteArray &bytes) {
    return errorOf([&] { ParadoxTable t(bytes, QStringLiteral("MMagaInfo.DB")); });
}

class ParadoxFileTest : public EnvTest {};

} // namespace

// --- what is read ---------------------------------------------------------------

TEST(ParadoxTableReads, FieldsInStoredOrderWithTheirDecodedNamesTypesAndSizes) {
    ParadoxTable t(magazineFile(), QStringLiteral("MMagaInfo.DB"));
    const QList<PxColumn> columns = magazinePxColumns();
    ASSERT_EQ(t.fields().size(), size_t(columns.size()));
    for (qsizetype i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(t.fields()[size_t(i)].name, cp932::decode(columns[i].name));
        EXPECT_EQ(int(t.fields()[size_t(i)].type), columns[i].type);
        EXPECT_EQ(t.fields()[size_t(i)].size, columns[i].size);
    }
    EXPECT_EQ(t.fieldIndex(QStringLiteral("マガジンＩＤ")), 2);
    EXPECT_EQ(t.fieldIndex(QStringLiteral("マガジンID")), -1) << "full-width letters are part of the name";
    EXPECT_EQ(paradoxTypeName(t.fields()[2].type), QStringLiteral("長整数 (I)"));
}

TEST(ParadoxTableReads, RecordsAsTypedValuesInStoredOrder) {
    ParadoxTable t(magazineFile(), QStringLiteral("MMagaInfo.DB"));
    const QList<PxRecord> written = sampleMagazineRecords();
    ASSERT_EQ(t.recordCount(), written.size());
    for (int r = 0; r < t.recordCount(); ++r) {
        const QVector<QVariant> values = t.record(r);
        ASSERT_EQ(values.size(), 13);
        for (int c = 0; c < 13; ++c) {
            const QVariant &expected = written[r].value(c);
            EXPECT_EQ(values[c].isValid(), expected.isValid()) << "record " << r << " column " << c;
            if (expected.isValid()) {
                EXPECT_EQ(values[c], expected) << "record " << r << " column " << c;
            }
        }
    }
    const QVector<QVariant> first = t.record(0);
    EXPECT_EQ(first[1].typeId(), QMetaType::QString);
    EXPECT_EQ(first[1].toString(), QStringLiteral("ＡＢＣ通信～第①号"));
    EXPECT_EQ(first[2].typeId(), QMetaType::Int);
    EXPECT_EQ(first[8].typeId(), QMetaType::QDateTime);
    EXPECT_EQ(first[8].toDateTime().timeSpec(), Qt::LocalTime);
}

TEST(ParadoxTableReads, EdgesOfTheValues) {
    ParadoxTable t(magazineFile(), QStringLiteral("MMagaInfo.DB"));
    const QVector<QVariant> second = t.record(1);
    EXPECT_EQ(second[1].toString(), longSampleName()) << "a name of the full 255 bytes, no end mark after it";
    EXPECT_EQ(cp932::byteLength(second[1].toString()), 255);
    EXPECT_FALSE(second[2].isValid()) << "an empty long integer is empty, not the smallest number";
    EXPECT_EQ(second[8].toDateTime(), QDateTime(QDate(2004, 1, 2), QTime(0, 0))) << "midnight";
    EXPECT_EQ(t.record(2)[2], QVariant(0)) << "zero is a value";
}

TEST(ParadoxTableReads, SystemRowsWithBothLogicalValuesAndAPassword) {
    ParadoxTable t(paradoxBytes(systemPxColumns(), sampleSystemRecords()), QStringLiteral("MMagaSys.DB"));
    ASSERT_EQ(t.recordCount(), 3);
    const QVector<QVariant> abc = t.record(1), member = t.record(2);
    EXPECT_EQ(abc[0], QVariant(11));
    EXPECT_EQ(abc[3], QVariant(true));
    EXPECT_EQ(abc[5], QVariant(false));
    EXPECT_EQ(abc[3].typeId(), QMetaType::Bool);
    EXPECT_EQ(member[3], QVariant(false));
    EXPECT_EQ(member[5], QVariant(true));
    EXPECT_FALSE(member[4].isValid());
    EXPECT_EQ(member[7].toString(), QStringLiteral("ｐａｓｓ～①"));
}

TEST(ParadoxTableReads, TrailingBlanksAreNoPartOfAText) {
    const QList<PxColumn> columns{pxColumn(QStringLiteral("名前"), pxfAlpha, 20)};
    ParadoxTable t(paradoxBytes(columns, {{QByteArray("abc   ")}, {QByteArray("   ")}, {QByteArray(" a b")}}),
                   QStringLiteral("x.db"));
    EXPECT_EQ(t.record(0)[0], QVariant(QStringLiteral("abc")));
    EXPECT_FALSE(t.record(1)[0].isValid()) << "nothing but blanks is empty";
    EXPECT_EQ(t.record(2)[0], QVariant(QStringLiteral(" a b")));
}

TEST(ParadoxTableReads, AValueAtATimeAsTheRecordGivesIt) {
    ParadoxTable t(magazineFile(), QStringLiteral("MMagaInfo.DB"));
    EXPECT_FALSE(errorOf([&] { t.value(0); }).isEmpty()) << "no record read yet";
    t.read(1);
    const QVector<QVariant> whole = t.record(1);
    for (int c = 0; c < 13; ++c) {
        EXPECT_EQ(t.value(c), whole[c]) << c;
        EXPECT_EQ(t.text(c), whole[c].toString()) << c;
    }
    EXPECT_EQ(t.text(2), QString()) << "an empty field's text is empty";
    EXPECT_FALSE(errorOf([&] { t.read(3); }).isEmpty());
    EXPECT_FALSE(errorOf([&] { t.text(0); }).isEmpty()) << "a failed read leaves no record";
}

TEST(ParadoxTableReads, ManyBlocksInTheirChainsOrder) {
    ParadoxTable t(magazineFile(numbered(50)), QStringLiteral("MMagaInfo.DB"));
    ASSERT_EQ(t.recordCount(), 50);
    QStringList expected;
    for (int i = 1; i <= 50; ++i)
        expected << QStringLiteral("第%1号").arg(i);
    EXPECT_EQ(names(t), expected);
}

TEST(ParadoxTableReads, AnEmptyTable) {
    ParadoxTable t(magazineFile({}), QStringLiteral("MMagaInfo.DB"));
    EXPECT_EQ(t.recordCount(), 0);
    EXPECT_EQ(t.fields().size(), 13u);
    EXPECT_FALSE(errorOf([&] { t.record(0); }).isEmpty());
}

TEST(ParadoxTableReads, EmptyBlocksInTheChainHoldNoRecordAndHideNone) {
    // 12 records: block 1 holds 11, block 2 one. Block 1 emptied in the
    // chain's middle, then a third, empty block at its end.
    QByteArray file = magazineFile(numbered(12));
    const int block1 = blockAt(file, 1);
    poke16(file, block1 + 4, -kMagazineRecordSize);
    poke32(file, kRecordCountAt, 1);
    testing::internal::CaptureStderr();
    {
        ParadoxTable t(file, QStringLiteral("MMagaInfo.DB"));
        EXPECT_EQ(names(t), QStringList{QStringLiteral("第12号")});
    }
    QByteArray twoEmpty = magazineFile(numbered(12));
    poke16(twoEmpty, blockAt(twoEmpty, 2) + 4, -kMagazineRecordSize);
    poke32(twoEmpty, kRecordCountAt, kMagazinesPerBlock);
    {
        ParadoxTable t(twoEmpty, QStringLiteral("MMagaInfo.DB"));
        EXPECT_EQ(t.recordCount(), 11);
        EXPECT_EQ(names(t).last(), QStringLiteral("第11号"));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "pxlib had nothing to complain of";
}

TEST_F(ParadoxFileTest, ReadsAFileAndWhatFollowsItsBlocksIsNotRead) {
    QByteArray file = magazineFile();
    file += QByteArray(100, 'x');
    const QString path = env->writeFile(QStringLiteral("MMagaInfo.DB"), file);
    ParadoxTable t(path);
    EXPECT_EQ(t.name(), path);
    EXPECT_EQ(t.recordCount(), 3);
    EXPECT_EQ(t.record(0)[1].toString(), QStringLiteral("ＡＢＣ通信～第①号"));
}

// --- memo fields ------------------------------------------------------------------

// A table of one alpha and one memo field, whose one record's memo lies in
// the memo file at `offset`, `index` (0xff: a block of its own).
static QByteArray memoTable(quint32 offset, int index, int length) {
    QList<PxColumn> columns{pxColumn(QStringLiteral("名前"), pxfAlpha, 10), pxColumn(QStringLiteral("説明"), pxfMemoBLOb, 20)};
    QByteArray file = paradoxBytes(columns, {{QStringLiteral("一")}});
    const int reference = blockAt(file, 1) + 6 + 10 + 10;
    poke32(file, reference, offset | quint32(index));
    poke32(file, reference + 4, quint32(length));
    poke16(file, reference + 8, 1);
    return file;
}

TEST(ParadoxTableReads, MemosFromTheirMemoFile) {
    const QByteArray text = cp932::encode(QStringLiteral("長い説明のメモです。①～"));
    // A memo over a block of its own: type 2, its block count, length and modification number.
    QByteArray own(0x1000, '\0');
    QByteArray block(0x1000, '\0');
    block[0] = 2;
    poke16(block, 1, 1);
    poke32(block, 3, quint32(text.size()));
    poke16(block, 7, 1);
    block.replace(9, text.size(), text);
    own += block;
    ParadoxTable single(memoTable(0x1000, 0xff, int(text.size())), QStringLiteral("Memo.DB"), &own);
    EXPECT_EQ(single.record(0)[1], QVariant(QStringLiteral("長い説明のメモです。①～")));

    // Small memos sharing a block: type 3, a table of five bytes a memo
    // (offset and length in 16 bytes, modification number, the last 16's length).
    QByteArray shared(0x1000, '\0');
    QByteArray small(0x1000, '\0');
    small[0] = 3;
    poke16(small, 1, 1);
    const int sixteens = int((text.size() + 15) / 16);
    small[12 + 5 * 2] = char(0x20);
    small[12 + 5 * 2 + 1] = char(sixteens);
    poke16(small, 12 + 5 * 2 + 2, 1);
    small[12 + 5 * 2 + 4] = char(text.size() - (sixteens - 1) * 16);
    small.replace(0x20 * 16, text.size(), text);
    shared += small;
    ParadoxTable sharing(memoTable(0x1000, 2, int(text.size())), QStringLiteral("Memo.DB"), &shared);
    EXPECT_EQ(sharing.record(0)[1], QVariant(QStringLiteral("長い説明のメモです。①～")));

    // References that leave the memo file are refused before pxlib follows them.
    for (const QByteArray &table : {memoTable(0x3000, 0xff, int(text.size())), memoTable(0x1000, 0xff, 0x7000)}) {
        ParadoxTable outside(table, QStringLiteral("Memo.DB"), &own);
        EXPECT_TRUE(errorOf([&] { outside.record(0); }).contains(QStringLiteral("の中にありません")));
    }
    small[12 + 5 * 2] = char(0xff); // the memo would run past its block
    QByteArray overrun = QByteArray(0x1000, '\0') + small;
    ParadoxTable past(memoTable(0x1000, 2, int(text.size())), QStringLiteral("Memo.DB"), &overrun);
    EXPECT_TRUE(errorOf([&] { past.record(0); }).contains(QStringLiteral("の中にありません")));
}

TEST_F(ParadoxFileTest, AMemoLongerThanItsRecordPartNeedsItsMemoFile) {
    // The writer keeps short memos inside the record; a reference that
    // points outside the record needs MMagaInfo.MB, which is not there.
    QList<PxColumn> columns{pxColumn(QStringLiteral("名前"), pxfAlpha, 10), pxColumn(QStringLiteral("説明"), pxfMemoBLOb, 20)};
    QByteArray file = paradoxBytes(columns, {{QStringLiteral("一")}});
    const int record = blockAt(file, 1) + 6;
    poke32(file, record + 10 + 10 + 4, 500); // the memo's length
    poke32(file, record + 10 + 10, 0x1000 | 0xff);
    const QString path = env->writeFile(QStringLiteral("Memo.DB"), file);
    ParadoxTable t(path);
    const QString missing = errorOf([&] { t.record(0); });
    EXPECT_TRUE(missing.contains(QStringLiteral("Memo.MB"))) << missing.toStdString();
    EXPECT_TRUE(missing.contains(QStringLiteral("1 件目の列「説明」"))) << missing.toStdString();

    env->writeFile(QStringLiteral("memo.mb"), QByteArray(0x1000, '\0') + QByteArray(16, '\x05'));
    ParadoxTable withMemo(path);
    const QString outside = errorOf([&] { withMemo.record(0); });
    EXPECT_TRUE(outside.contains(QStringLiteral("memo.mb"))) << "found in another case: " << outside.toStdString();
    EXPECT_TRUE(outside.contains(QStringLiteral("の中にありません"))) << outside.toStdString();
}

// --- what is refused ----------------------------------------------------------------

TEST_F(ParadoxFileTest, FilesThatAreNoParadoxTable) {
    const QString notATable = QStringLiteral("は Paradox の表ではありません");
    for (const QByteArray &bytes : {QByteArray(), QByteArray("short"), QByteArray(4096, 'a'),
                                    QByteArray("SQLite format 3") + QByteArray(1, '\0') + QByteArray(4096, '\x10')}) {
        const QString path = env->writeFile(QStringLiteral("x.DB"), bytes);
        const QString e = errorOf([&] { ParadoxTable t(path); });
        EXPECT_TRUE(e.contains(path) && e.contains(notATable)) << e.toStdString();
    }
    QByteArray index = magazineFile();
    index[4] = char(pxfFileTypPrimIndex);
    EXPECT_TRUE(refusal(index).contains(notATable)) << "an index file is no table";
}

TEST_F(ParadoxFileTest, FilesThatCannotBeReadAsFiles) {
    EXPECT_TRUE(errorOf([&] { ParadoxTable t(QStringLiteral("missing.DB")); }).contains(QStringLiteral("missing.DB")));
    QDir(env->cwd()).mkdir(QStringLiteral("folder.DB"));
    EXPECT_FALSE(errorOf([&] { ParadoxTable t(QStringLiteral("folder.DB")); }).isEmpty());
    ASSERT_EQ(::mkfifo("fifo.DB", 0600), 0);
    const QString fifo = errorOf([&] { ParadoxTable t(QStringLiteral("fifo.DB")); });
    EXPECT_TRUE(fifo.contains(QStringLiteral("通常のファイルではない"))) << "refused without waiting for a writer";
}

TEST_F(ParadoxFileTest, AFileCutShort) {
    const QByteArray whole = magazineFile(numbered(12));
    const QString path = env->writeFile(QStringLiteral("MMagaInfo.DB"), whole.left(whole.size() - 100));
    const QString e = errorOf([&] { ParadoxTable t(path); });
    EXPECT_TRUE(e.contains(path)) << e.toStdString();
    EXPECT_TRUE(e.contains(QStringLiteral("ファイルの長さ %1 バイトが").arg(whole.size() - 100))) << e.toStdString();
}

TEST_F(ParadoxFileTest, AFileCutAfterItWasOpened) {
    // Larger than what is read of it at a time.
    const QByteArray whole = magazineFile(numbered(1500));
    const QString path = env->writeFile(QStringLiteral("MMagaInfo.DB"), whole);
    ParadoxTable t(path);
    ASSERT_TRUE(QFile::resize(path, whole.size() / 2));
    QString e;
    for (int r = 0; r < t.recordCount() && e.isEmpty(); ++r)
        e = errorOf([&] { t.record(r); });
    EXPECT_EQ(e, QStringLiteral("ファイル '%1' を読み込めませんでした。").arg(path));
}

TEST(ParadoxTableRefuses, AHeaderThatLiesAboutItsRecords) {
    const QByteArray file = magazineFile(numbered(12));
    QByteArray more = file;
    poke32(more, kRecordCountAt, 13);
    EXPECT_TRUE(refusal(more).contains(QStringLiteral("見出しのレコード数 13 が、ブロックにあるレコードの数 12 と合いません")))
        << refusal(more).toStdString();
    QByteArray fewer = file;
    poke32(fewer, kRecordCountAt, 5);
    EXPECT_TRUE(refusal(fewer).contains(QStringLiteral("レコード数 5 が"))) << "records would go unread";
    QByteArray beyond = file;
    poke32(beyond, kRecordCountAt, 0x7fffffff);
    EXPECT_TRUE(refusal(beyond).contains(QStringLiteral("2 個のブロックに入りきりません"))) << refusal(beyond).toStdString();
    QByteArray block = file;
    poke16(block, blockAt(block, 2) + 4, 7);
    EXPECT_TRUE(refusal(block).contains(QStringLiteral("ブロック 2 のレコードの数を示す値 7"))) << refusal(block).toStdString();
}

TEST(ParadoxTableRefuses, AHeaderThatLiesAboutItsFields) {
    const QByteArray file = magazineFile();
    QByteArray alpha = file;
    alpha[kFieldInfoAt + 1] = char(31); // 発行媒体 one byte longer than the records hold
    EXPECT_TRUE(refusal(alpha).contains(QStringLiteral("レコードの長さ 1406 バイトが、列の長さの合計 1407 バイトと合いません")))
        << refusal(alpha).toStdString();
    QByteArray longInt = file;
    longInt[kFieldInfoAt + 2 * 2 + 1] = char(3);
    EXPECT_TRUE(refusal(longInt).contains(QStringLiteral("3 番目の列の長さ 3 がその型に合いません")));
    QByteArray type = file;
    type[kFieldInfoAt] = char(0x30);
    EXPECT_TRUE(refusal(type).contains(QStringLiteral("1 番目の列の型 (0x30) は Paradox にない型です")));
    for (int count : {0, 256}) {
        QByteArray fields = file;
        poke16(fields, kFieldCountAt, count);
        EXPECT_TRUE(refusal(fields).contains(QStringLiteral("列の数 %1 が正しくありません").arg(count)));
    }
    QByteArray header = file;
    poke16(header, kHeaderSizeAt, 0x100);
    EXPECT_TRUE(refusal(header).contains(QStringLiteral("見出しの長さ 256 バイトに、列の定義が収まっていません")))
        << refusal(header).toStdString();
    QByteArray unended = file;
    const int names = unended.indexOf(cp932::encode(QStringLiteral("発行媒体")));
    const int end = peek16(unended, kHeaderSizeAt);
    unended.replace(names, end - names, QByteArray(end - names, 'n'));
    EXPECT_TRUE(refusal(unended).contains(QStringLiteral("1 番目の列の名前が見出しの中で終わっていません")))
        << refusal(unended).toStdString();
}

TEST(ParadoxTableRefuses, AChainOfBlocksThatLoopsOrLeavesTheFile) {
    const QByteArray file = magazineFile(numbered(12));
    QByteArray loop = file;
    poke16(loop, blockAt(loop, 2), 1);
    EXPECT_TRUE(refusal(loop).contains(QStringLiteral("ブロックのつながりがブロック 1 で輪になっています")))
        << refusal(loop).toStdString();
    QByteArray beyond = file;
    poke16(beyond, blockAt(beyond, 1), 9);
    EXPECT_TRUE(refusal(beyond).contains(QStringLiteral("ブロック 1 の次のブロックの番号 9 が、ブロックの数 2 を超えています")))
        << refusal(beyond).toStdString();
    QByteArray first = file;
    poke16(first, 0x0E, 3);
    EXPECT_TRUE(refusal(first).contains(QStringLiteral("最初のブロックの番号 3")));
}

TEST(ParadoxTableRefuses, APasswordProtectedTable) {
    QByteArray file = magazineFile();
    poke32(file, kEncryptionAt, 0x12345678);
    EXPECT_TRUE(refusal(file).contains(QStringLiteral("パスワードで保護されている")));
}
