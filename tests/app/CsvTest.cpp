// SPDX-License-Identifier: GPL-3.0-or-later
// CSV export and import on the real data modules, and the splitting rules
// both rest on.
#include "app/core/Csv.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "tests/support/ModulesFixture.h"
#include "text/Cp932.h"

#include <QFile>
#include <QMap>

using namespace quil;
using namespace quil::test;

// Readable failures: values as UTF-8 rather than bytes.
static void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

QStringList split(const char *utf8) { return splitCsvLine(QString::fromUtf8(utf8)); }
QStringList records(const char *utf8, QList<qsizetype> *lines = nullptr) {
    return csvRecords(QString::fromUtf8(utf8), lines);
}
QByteArray sjis(const char *utf8) { return cp932::encode(QString::fromUtf8(utf8)); }

QStringList allColumns() {
    QStringList names;
    for (const FieldDef &f : TDataModule1::schema())
        names << f.name;
    return names;
}

// Column name -> text, set through the field objects as a reader would type it.
using Values = QMap<QString, QString>;

class CsvTest : public ModulesTest {
protected:

    void add(const Values &values) {
        t().append();
        for (auto it = values.begin(); it != values.end(); ++it)
            t().fieldByName(it.key()).setAsString(it.value());
        t().post();
    }

    // The text of every column of the stored record at a position.
    QStringList row(int position) {
        const QVector<QVariant> v = t().recordAt(position);
        QStringList out;
        for (int i = 0; i < v.size(); ++i)
            out << t().textOf(i, v[i]);
        return out;
    }

    QString text(int position, const QString &column) {
        return t().textOf(t().fieldByName(column).index(), t().recordAt(position)[t().fieldByName(column).index()]);
    }

    QString current() { return magazines->Table1MBNameSF->asString(); }

    QByteArray exported(const QStringList &columns, int expectedCount) {
        EXPECT_EQ(exportCsv(t(), columns, QStringLiteral("out.csv")), expectedCount);
        return env->readFile(QStringLiteral("out.csv"));
    }

    QString file(const QByteArray &bytes) { return env->writeFile(QStringLiteral("in.csv"), bytes); }

};

const QString kListIndex0 = QStringLiteral("リストのインデックスが範囲を超えています (0)");

} // namespace

// --- splitting a record -------------------------------------------------------

TEST(SplitCsvLine, SkipsBlanksAndControlCharactersAroundValues) {
    EXPECT_EQ(split("\t \x01\x1f a"), QStringList{"a"});
    EXPECT_EQ(split("  \"b\"  "), QStringList{"b"});
    EXPECT_EQ(split("a , b\t,\x02" "c"), (QStringList{"a", "b", "c"}));
    EXPECT_TRUE(split("").isEmpty());
    EXPECT_TRUE(split(" \t ").isEmpty()) << "a blank line has no value";
}

TEST(SplitCsvLine, CommasMakeEmptyValuesExceptAtTheEnd) {
    EXPECT_EQ(split("a,,b"), (QStringList{"a", "", "b"}));
    EXPECT_EQ(split(",a"), (QStringList{"", "a"}));
    EXPECT_EQ(split(",,"), (QStringList{"", ""}));
    EXPECT_EQ(split("a,b,"), (QStringList{"a", "b"}));
    EXPECT_EQ(split("a, \t"), QStringList{"a"});
    EXPECT_EQ(split("\"\",\"\""), (QStringList{"", ""}));
}

TEST(SplitCsvLine, ABlankOrControlCharacterEndsAnUnquotedValue) {
    EXPECT_EQ(split("ab cd,e"), (QStringList{"ab", "cd", "e"}));
    EXPECT_EQ(split("a\tb"), (QStringList{"a", "b"}));
    EXPECT_EQ(split("a\x01" "b"), (QStringList{"a", "b"}));
    // A quote inside an unquoted value is an ordinary character.
    EXPECT_EQ(split("ab\"c,d"), (QStringList{"ab\"c", "d"}));
}

TEST(SplitCsvLine, QuotedValuesKeepCommasBlanksAndDoubledQuotes) {
    EXPECT_EQ(split("\"a, b\",\"c \"\"d\"\"\""), (QStringList{"a, b", "c \"d\""}));
    EXPECT_EQ(split("\"\"\"\""), QStringList{"\""});
    EXPECT_EQ(split("\"x\r\ny\""), QStringList{"x\r\ny"});
    EXPECT_EQ(split("\" lead and trail \""), QStringList{" lead and trail "});
    // What follows a closing quote directly is a value of its own.
    EXPECT_EQ(split("\"ab\"cd"), (QStringList{"ab", "cd"}));
    // Without its closing quote a value runs to the end.
    EXPECT_EQ(split("x,\"abc, d"), (QStringList{"x", "abc, d"}));
}

TEST(SplitCsvLine, ANulEndsTheRecord) {
    const QString line = QStringLiteral("a,b") + QChar(0) + QStringLiteral(",c");
    EXPECT_EQ(splitCsvLine(line), (QStringList{"a", "b"}));
    const QString quoted = QStringLiteral("\"a") + QChar(0) + QStringLiteral("b\"");
    EXPECT_EQ(splitCsvLine(quoted), QStringList{"a"});
}

TEST(SplitCsvLine, DoubleByteCharactersNeverEndOrSplitAValue) {
    // Second bytes that are ASCII characters: "ア" 0x83 0x41, "ソ" and "表"
    // 0x5C (backslash), "ポ" 0x7C (vertical bar).
    ASSERT_EQ(sjis("ア"), QByteArray("\x83\x41"));
    ASSERT_EQ(sjis("ソ"), QByteArray("\x83\x5c"));
    ASSERT_EQ(sjis("表"), QByteArray("\x95\x5c"));
    ASSERT_EQ(sjis("ポ"), QByteArray("\x83\x7c"));
    EXPECT_EQ(split("アソ表ポ,ソ"), (QStringList{"アソ表ポ", "ソ"}));
    EXPECT_EQ(split("\"表\",ポ"), (QStringList{"表", "ポ"}));
    // Full-width blank and comma are characters of the value, not separators.
    ASSERT_EQ(sjis("　，"), QByteArray("\x81\x40\x81\x43"));
    EXPECT_EQ(split("あ　い，う"), QStringList{"あ　い，う"});
    EXPECT_EQ(split("　先頭"), QStringList{"　先頭"});
}

// --- records of a file ----------------------------------------------------------

TEST(CsvRecords, LinesEndAsInTextListFiles) {
    EXPECT_EQ(records("a\r\nb\nc\rd"), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(records("a\r\n"), QStringList{"a"});
    EXPECT_EQ(records("a\r\n\r\nb\r\n"), (QStringList{"a", "", "b"}));
    EXPECT_EQ(records("a\r\n\n"), (QStringList{"a", ""}));
    EXPECT_TRUE(records("").isEmpty());
    const QString nul = QStringLiteral("a\r\nb") + QChar(0) + QStringLiteral("c\r\nd");
    EXPECT_EQ(csvRecords(nul), (QStringList{"a", "b"}));
}

TEST(CsvRecords, ALineBreakInsideAQuotedValueContinuesTheRecord) {
    // Only when the line alone has too few values and the joined lines have
    // the header's number exactly.
    EXPECT_EQ(records("h,i\r\n\"x\r\ny\",z\r\nw,v"), (QStringList{"h,i", "\"x\r\ny\",z", "w,v"}));
    // In the last column the line has its values; a line it takes does not.
    EXPECT_EQ(records("h,i\r\na,\"1\r\n2\r\n3\"\r\nb,c"), (QStringList{"h,i", "a,\"1\r\n2\r\n3\"", "b,c"}));
    // Lone CR or LF inside a value is kept as CR LF, as memo text is stored.
    EXPECT_EQ(records("h,i\n\"x\ny\",\"\"\n\"p\rq\",\"\""),
              (QStringList{"h,i", "\"x\r\ny\",\"\"", "\"p\r\nq\",\"\""}));
    // An unclosed quote at the end still gives its record, the line.
    EXPECT_EQ(records("h\r\n\"x\r\n"), (QStringList{"h", "\"x"}));
    EXPECT_EQ(records("h,i\r\n\"x\r\n"), (QStringList{"h,i", "\"x"}));
    // The header itself is always one line.
    EXPECT_EQ(records("\"h\r\ni\"\r\nx"), (QStringList{"\"h", "i\"", "x"}));
}

TEST(CsvRecords, OnlyAQuoteThatOpensAValueProtectsLineBreaks) {
    // Inside an unquoted value a quote is ordinary; doubled quotes inside a
    // quoted value do not close it.
    EXPECT_EQ(records("h,i\r\nab\"c\r\nd,e"), (QStringList{"h,i", "ab\"c", "d,e"}));
    EXPECT_EQ(records("h,i\r\n\"a\"\"\r\nb\",\"\"\r\nc,d"), (QStringList{"h,i", "\"a\"\"\r\nb\",\"\"", "c,d"}));
    EXPECT_EQ(records("h\r\n\"a\"\"b\"\r\nc"), (QStringList{"h", "\"a\"\"b\"", "c"}));
    EXPECT_EQ(records("h,i,j\r\nx, \"a\r\nb\" ,\"\"\r\ny,z,w"), (QStringList{"h,i,j", "x, \"a\r\nb\" ,\"\"", "y,z,w"}));
}

TEST(CsvRecords, AFileWithValuesWrittenUnchangedReadsLineByLine) {
    // A value that ends in a quote, written without doubling it: the line
    // reads as it stands (the value runs to the line's end) and the next
    // record stays a record.
    EXPECT_EQ(records("\"名前\",\"説明\"\r\n\"A\",\"サイズ5\"\"\r\n\"B\",\"普通\"\r\n"),
              (QStringList{"\"名前\",\"説明\"", "\"A\",\"サイズ5\"\"", "\"B\",\"普通\""}));
    EXPECT_EQ(split("\"A\",\"サイズ5\"\""), (QStringList{"A", "サイズ5\""}));
    // A quote left open in the middle: joining gives too many values, so the
    // line stays one, short of values.
    EXPECT_EQ(records("h,i,j\r\n\"J\",\"abc\r\n\"K\",\"def\",\"解除\"\r\n"),
              (QStringList{"h,i,j", "\"J\",\"abc", "\"K\",\"def\",\"解除\""}));
    // A quote that never closes takes nothing.
    EXPECT_EQ(records("h,i\r\n\"a\",\"b\r\nc\r\nd\r\n"), (QStringList{"h,i", "\"a\",\"b", "c", "d"}));
    // A line break in the last column where every line reads on its own as
    // a record: the lines are records, as the plain format has it.
    EXPECT_EQ(records("h,i\r\n\"A\",\"one\r\nHello world\"\r\n"),
              (QStringList{"h,i", "\"A\",\"one", "Hello world\""}));
}

TEST(CsvRecords, TellWhereEachRecordBegins) {
    QList<qsizetype> lines;
    records("h,i\r\n\"a\r\nb\r\nc\",d\r\n\r\ne,f\n\"g\",\"h\r\ni\"\r\nj,k", &lines);
    EXPECT_EQ(lines, (QList<qsizetype>{1, 2, 5, 6, 7, 9}));
}

TEST(CsvRecords, LinesThatEachOpenAQuoteAreReadInOnePass) {
    // Every line ends inside quotes and, read after the one before, inside
    // quotes again: nothing ever closes, so each line is a record. Reading it
    // must not go over the rest of the file once per line.
    QString text = QStringLiteral("h,i,j\r\n");
    const QString line = QStringLiteral("ab\"c,\"\r\n");
    const int count = 200000;
    text.reserve(text.size() + count * line.size());
    for (int i = 0; i < count; ++i)
        text += line;
    const QStringList all = csvRecords(text);
    ASSERT_EQ(all.size(), count + 1);
    EXPECT_EQ(all[count], QStringLiteral("ab\"c,\""));
}

// --- export ---------------------------------------------------------------------------

TEST_F(CsvTest, ExportWritesQuotedValuesWithCrLfByteForByte) {
    add({{col::Publishing, "まぐまぐ"},
         {col::MBName, "週刊\"ニュース\", 第1号"},
         {col::MBID, "00123"},
         {col::RegTime, "2003/4/1 9:30:05"},
         {col::Explanation, "一行目\r\n二行目"}});
    add({{col::MBName, "B"}, {col::RegTime, "2003/04/02 0:00:00"}, {col::Explanation, "x\ny"}});
    add({{col::MBName, "a😀b"}, {col::MBID, "-7"}});

    const QByteArray bytes =
        exported({col::MBID, col::MBName, col::RegTime, col::Explanation, col::DeleteState}, 3);
    EXPECT_EQ(bytes, sjis("\"マガジンＩＤ\",\"メールマガジン名\",\"登録日時\",\"説明\",\"削除状態\"\r\n"
                          "\"123\",\"週刊\"\"ニュース\"\", 第1号\",\"2003/04/01 9:30:05\",\"一行目\r\n二行目\",\"\"\r\n"
                          "\"\",\"B\",\"2003/04/02\",\"x\r\ny\",\"\"\r\n"
                          "\"-7\",\"a?b\",\"\",\"\",\"\"\r\n"));
}

TEST_F(CsvTest, ExportOfNoColumnsWritesOneEmptyLinePerRecord) {
    add({{col::MBName, "A"}});
    add({{col::MBName, "B"}});
    EXPECT_EQ(exported({}, 2), QByteArray("\r\n\r\n\r\n"));
    EXPECT_EQ(exportDoneNotice(2).text, QStringLiteral("計 2 件保存しました。"));
}

TEST_F(CsvTest, ExportOfAnEmptyRegisterWritesTheHeaderOnly) {
    EXPECT_EQ(exported({col::MBName, col::MBID}, 0), sjis("\"メールマガジン名\",\"マガジンＩＤ\"\r\n"));
}

TEST_F(CsvTest, ExportReturnsToTheCurrentRecord) {
    add({{col::MBName, "A"}});
    add({{col::MBName, "B"}});
    add({{col::MBName, "C"}});
    t().first();
    t().next();
    exported({col::MBName}, 3);
    EXPECT_EQ(current(), "B");
    EXPECT_EQ(t().state(), DataSetState::Edit) << "held in editing as after any move";

    // A new record the reader typed into is part of the register.
    t().append();
    magazines->Table1MBNameSF->setAsString(QStringLiteral("D"));
    EXPECT_EQ(exported({col::MBName}, 4), sjis("\"メールマガジン名\"\r\n\"A\"\r\n\"B\"\r\n\"C\"\r\n\"D\"\r\n"));
    EXPECT_EQ(current(), "D");
    EXPECT_EQ(t().recordCount(), 4);

    // An untouched one is none: it is dropped, and the cursor goes back to
    // the record it was begun from.
    t().first();
    t().next();
    t().insert();
    EXPECT_EQ(exported({col::MBName}, 4).count('\n'), 5);
    EXPECT_EQ(current(), "B");
    EXPECT_EQ(t().recordCount(), 4);
}

TEST_F(CsvTest, ExportToAReadOnlyFileFailsAfterTheCursorReturned) {
    add({{col::MBName, "A"}});
    add({{col::MBName, "B"}});
    t().last();
    const QString path = file("old");
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    const QString err = errorOf([&] { exportCsv(t(), {col::MBName}, path); });
    EXPECT_TRUE(err.contains(QStringLiteral("を作成できません"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("in.csv"))) << err.toStdString();
    EXPECT_EQ(env->readFile(path), QByteArray("old"));
    EXPECT_EQ(current(), "B");

    EXPECT_EQ(errorOf([&] { exportCsv(t(), {QStringLiteral("なまえ")}, QStringLiteral("x.csv")); }),
              QStringLiteral("フィールド 'なまえ' が見つかりません"));
    EXPECT_FALSE(QFile::exists(env->cwd() + "/x.csv"));
}

// --- round trips ------------------------------------------------------------------------

TEST_F(CsvTest, ExportedFileReadsBackToTheSameValues) {
    add({{col::Publishing, "まぐまぐ"},
         {col::MBName, "\"引用\"の\"\"号"},
         {col::MBID, "123"},
         {col::MBType, "テキスト, HTML"},
         {col::MBCycle, "週 1 回"},
         {col::Web, "http://www.example.jp/a b/"},
         {col::Publisher, " editor@example.jp "},
         {col::RegAddress, "reader@example.jp"},
         {col::RegTime, "2003/04/01 9:30:05"},
         {col::IPAddress, "192.168.0.1"},
         {col::ChargeOrFree, "無料"},
         {col::Explanation, "一行目\r\n二行目, \"続き\""},
         {col::DeleteState, state::Subscribed}});
    add({{col::MBName, "ソ表ポ　，"}, {col::RegTime, "2003/04/02"}, {col::Explanation, "\r\n"}});
    add({{col::MBName, ","}, {col::DeleteState, "\""}});
    add({}); // an empty record: every value ""
    const int before = t().recordCount();
    ASSERT_EQ(before, 4);

    exported(allColumns(), before);
    EXPECT_EQ(importCsv(t(), QStringLiteral("out.csv")), before) << "a two-line description is one record";
    ASSERT_EQ(t().recordCount(), 2 * before);
    for (int i = 0; i < before; ++i)
        EXPECT_EQ(row(before + i), row(i)) << "record " << i;
    EXPECT_EQ(text(before + 3, col::MBID), QString()) << "an empty ID stays empty";
}

TEST_F(CsvTest, ChosenColumnsReadBackIntoThoseColumnsOnly) {
    add({{col::MBName, "A"}, {col::MBID, "1"}, {col::DeleteState, state::Cancelled}});
    add({{col::MBName, "B"}, {col::MBID, "2"}, {col::DeleteState, state::CancelCandidate}});
    exported({col::MBName, col::DeleteState}, 2);
    EXPECT_EQ(importCsv(t(), QStringLiteral("out.csv")), 2);
    ASSERT_EQ(t().recordCount(), 4);
    EXPECT_EQ(row(2), (QStringList{"", "A", "", "", "", "", "", "", "", "", "", "", state::Cancelled}));
    EXPECT_EQ(row(3), (QStringList{"", "B", "", "", "", "", "", "", "", "", "", "", state::CancelCandidate}));
}

// --- import -----------------------------------------------------------------------------

TEST_F(CsvTest, ImportAppendsOneRecordPerDataRecordAndStopsOnTheLast) {
    add({{col::MBName, "old"}});
    t().first();
    // Header without quotes; LF line ends and the usual quoting of other programs.
    const QString path = file(sjis("メールマガジン名,マガジンＩＤ,説明\n"
                                   "A,00042,\"two\nlines\"\n"
                                   "\"B \"\"C\"\"\",,\"x, y\",extra,values\n"));
    EXPECT_EQ(importCsv(t(), path), 2);
    ASSERT_EQ(t().recordCount(), 3);
    EXPECT_EQ(row(0)[1], "old");
    EXPECT_EQ(row(1), (QStringList{"", "A", "42", "", "", "", "", "", "", "", "", "two\r\nlines", ""}));
    EXPECT_EQ(row(2), (QStringList{"", "B \"C\"", "", "", "", "", "", "", "", "", "", "x, y", ""}));
    EXPECT_EQ(current(), "B \"C\"");
    EXPECT_EQ(t().state(), DataSetState::Browse) << "the last record is stored";
    EXPECT_FALSE(t().controlsDisabled());
    EXPECT_TRUE(MessageBox::shown().isEmpty());

    const Notice done = importDoneNotice(2);
    EXPECT_EQ(done.text, QStringLiteral("計 2 行のデータを書きこみました。"));
    EXPECT_EQ(done.caption, QStringLiteral("書き込み完了"));
    EXPECT_EQ(done.icon, MsgIcon::Information);
    const Notice saved = exportDoneNotice(5);
    EXPECT_EQ(saved.text, QStringLiteral("計 5 件保存しました。"));
    EXPECT_EQ(saved.caption, QStringLiteral("保存完了"));
    EXPECT_EQ(saved.icon, MsgIcon::Information);
}

TEST_F(CsvTest, ImportOfAHeaderAloneOrOfNoColumnsAddsNothing) {
    EXPECT_EQ(importCsv(t(), file(sjis("\"メールマガジン名\",\"なまえ\"\r\n"))), 0);
    EXPECT_EQ(t().recordCount(), 0);
    // The export of no columns: data lines that set nothing. The count is
    // what was stored, none.
    EXPECT_EQ(importCsv(t(), file("\r\n\r\n\r\n")), 0);
    t().first();
    EXPECT_EQ(t().recordCount(), 0) << "no empty records are stored";
    // A header of blanks names no column either; values after it are extra.
    EXPECT_EQ(importCsv(t(), file(sjis(" \t\r\n\"A\",\"1\"\r\n\"B\"\r\n"))), 0);
    t().first();
    EXPECT_EQ(t().recordCount(), 0);
    // Records that are stored count, also when the first record that was
    // current was being edited.
    add({{col::MBName, "old"}});
    t().edit();
    magazines->Table1MBNameSF->setAsString(QStringLiteral("edited"));
    EXPECT_EQ(importCsv(t(), file(sjis("\"メールマガジン名\"\r\n\"A\"\r\n\"\"\r\n"))), 2);
    t().first();
    EXPECT_EQ(t().recordCount(), 3);
    EXPECT_EQ(row(0)[1], "edited");
}

TEST_F(CsvTest, ImportOfAnEmptyFileFailsAndAddsNothing) {
    add({{col::MBName, "A"}});
    EXPECT_EQ(errorOf([&] { importCsv(t(), file("")); }), kListIndex0);
    const QByteArray nulFirst = QByteArray(1, '\0') + sjis("\"メールマガジン名\"\r\n\"B\"\r\n");
    EXPECT_EQ(errorOf([&] { importCsv(t(), file(nulFirst)); }), kListIndex0) << "a NUL ends the text";
    t().first();
    EXPECT_EQ(t().recordCount(), 1);
    EXPECT_TRUE(errorOf([&] { importCsv(t(), QStringLiteral("nowhere.csv")); }).contains("nowhere.csv"));
}

TEST_F(CsvTest, AFileInAnotherEncodingIsRefusedBeforeAnythingIsAdded) {
    add({{col::MBName, "old"}});
    const QString content = QStringLiteral("\"発行媒体\",\"メールマガジン名\"\r\n\"まぐまぐ\",\"週刊\"\r\n");
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char *>(content.utf16()), content.size() * 2);
    const struct {
        QByteArray bytes;
        const char *encoding;
    } cases[] = {{"\xEF\xBB\xBF" + content.toUtf8(), "UTF-8"}, {content.toUtf8(), "UTF-8"}, {utf16, "UTF-16LE"}};
    for (const auto &c : cases) {
        const QString path = file(c.bytes);
        EXPECT_EQ(errorOf([&] { importCsv(t(), path); }),
                  QStringLiteral("ファイル %1 は %2 で書かれています。読みこめるのは Shift_JIS のファイルだけです")
                      .arg(path, QString::fromLatin1(c.encoding)));
        EXPECT_NE(t().state(), DataSetState::Insert) << "no record was begun";
    }
    t().first();
    ASSERT_EQ(t().recordCount(), 1);
    EXPECT_EQ(current(), "old");
}

TEST_F(CsvTest, ARecordWithTooFewValuesStopsTheImport) {
    const QByteArray header = sjis("\"メールマガジン名\",\"マガジンＩＤ\",\"削除状態\"\r\n");
    // The missing value is the third: the record keeps the two before it.
    EXPECT_EQ(errorOf([&] { importCsv(t(), file(header + sjis("\"A\",\"1\",\"購読中\"\r\n\"B\",\"2\"\r\n\"C\",\"3\",\"解除\"\r\n"))); }),
              QStringLiteral("リストのインデックスが範囲を超えています (2): 3 行目に 3 列目「削除状態」の値がありません"));
    EXPECT_FALSE(t().controlsDisabled());
    EXPECT_EQ(t().state(), DataSetState::Insert);
    t().first(); // the begun record is stored at the move
    ASSERT_EQ(t().recordCount(), 2);
    EXPECT_EQ(row(0)[1], "A");
    EXPECT_EQ(row(1)[1], "B");
    EXPECT_EQ(row(1)[2], "2");
    EXPECT_EQ(row(1)[12], "");

    // An empty line sets nothing, so its record goes at the next move.
    EXPECT_EQ(errorOf([&] { importCsv(t(), file(header + sjis("\"D\",\"4\",\"購読中\"\r\n\r\n\"E\",\"5\",\"\"\r\n"))); }),
              QStringLiteral("リストのインデックスが範囲を超えています (0): 3 行目に 1 列目「メールマガジン名」の値がありません"));
    t().first();
    ASSERT_EQ(t().recordCount(), 3);
    EXPECT_EQ(row(2)[1], "D");
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(CsvTest, AFileWithAQuoteAtTheEndOfAValueLosesNoRecord) {
    // Written with nothing doubled: "サイズ5"" is the value サイズ5" at the
    // end of its line, and B is a record of its own.
    const QString path = file(sjis("\"メールマガジン名\",\"説明\"\r\n\"A\",\"サイズ5\"\"\r\n\"B\",\"普通\"\r\n"));
    EXPECT_EQ(importCsv(t(), path), 2);
    ASSERT_EQ(t().recordCount(), 2);
    EXPECT_EQ(text(0, col::Explanation), QStringLiteral("サイズ5\""));
    EXPECT_EQ(text(1, col::MBName), QStringLiteral("B"));
    EXPECT_EQ(text(1, col::Explanation), QStringLiteral("普通"));
}

TEST_F(CsvTest, AQuoteLeftOpenStopsTheImportAtItsLine) {
    // 999 records; on line 10 the description lost its closing quote and
    // the state after it.
    QByteArray bytes = sjis("\"メールマガジン名\",\"説明\",\"削除状態\"\r\n");
    for (int i = 2; i <= 1000; ++i)
        bytes += sjis(i == 10 ? "\"誌10\",\"説明10\r\n"
                              : QStringLiteral("\"誌%1\",\"説明%1\",\"購読中\"\r\n").arg(i).toUtf8().constData());
    EXPECT_EQ(errorOf([&] { importCsv(t(), file(bytes)); }),
              QStringLiteral("リストのインデックスが範囲を超えています (2): 10 行目に 3 列目「削除状態」の値がありません"));
    t().first();
    // Lines 2 to 9, and line 10 with what it had, as the begun record keeps it.
    ASSERT_EQ(t().recordCount(), 9);
    EXPECT_EQ(text(7, col::MBName), QStringLiteral("誌9"));
    EXPECT_EQ(text(8, col::MBName), QStringLiteral("誌10"));
    EXPECT_EQ(text(8, col::Explanation), QStringLiteral("説明10"));
    EXPECT_EQ(text(8, col::DeleteState), QString());
}

TEST_F(CsvTest, AnUnknownColumnNameFailsAtTheFirstDataRecord) {
    const QString path = file(sjis("メールマガジン名,なまえ,削除状態\r\nA,x,購読中\r\nB,y,解除\r\n"));
    EXPECT_EQ(errorOf([&] { importCsv(t(), path); }), QStringLiteral("フィールド 'なまえ' が見つかりません"));
    EXPECT_EQ(current(), "A") << "the columns before the unknown name are set";
    t().first();
    ASSERT_EQ(t().recordCount(), 1);
    EXPECT_EQ(row(0)[1], "A");
    EXPECT_EQ(row(0)[12], "");
}

TEST_F(CsvTest, AValueTheColumnCannotTakeStopsTheImport) {
    const QByteArray header = sjis("\"メールマガジン名\",\"マガジンＩＤ\",\"登録日時\"\r\n");
    EXPECT_EQ(errorOf([&] { importCsv(t(), file(header + sjis("\"A\",\"1\",\"2003/04/01\"\r\n\"B\",\"12a\",\"\"\r\n"))); }),
              QStringLiteral("'12a' は項目 'マガジンＩＤ' に適した整数値ではありません"));
    EXPECT_EQ(errorOf([&] { importCsv(t(), file(header + sjis("\"C\",\"3\",\"2003/13/45\"\r\n"))); }),
              QStringLiteral("'2003/13/45' は日付または時刻ではありません"));
    t().first();
    // A, and the two begun records with the names set before the failure.
    ASSERT_EQ(t().recordCount(), 3);
    EXPECT_EQ(row(0), (QStringList{"", "A", "1", "", "", "", "", "", "2003/04/01", "", "", "", ""}));
    EXPECT_EQ(row(1)[1], "B");
    EXPECT_EQ(row(1)[2], "");
    EXPECT_EQ(row(2)[1], "C");
    EXPECT_EQ(row(2)[2], "3");
    EXPECT_EQ(row(2)[8], "");
}

TEST_F(CsvTest, ClosedTableIsReported) {
    t().close();
    const QString closed = QStringLiteral("データセットが閉じています");
    EXPECT_EQ(errorOf([&] { importCsv(t(), file(sjis("メールマガジン名\r\n"))); }), closed);
    EXPECT_EQ(errorOf([&] { exportCsv(t(), {col::MBName}, QStringLiteral("out.csv")); }), closed);
    EXPECT_FALSE(QFile::exists(env->cwd() + "/out.csv"));
}
