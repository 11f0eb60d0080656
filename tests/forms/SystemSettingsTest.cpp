// SPDX-License-Identifier: GPL-3.0-or-later
// Reading publishing-system settings files ([KAV-SYP] blocks), without a window.
#include "forms/core/SystemSettings.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "tests/support/TestEnv.h"
#include "text/Cp932.h"

using namespace quil;
using namespace quil::test;

namespace {

const QString kIndexError = QStringLiteral("リストのインデックスが範囲を超えています (0)");

// One stored row, read by column name.
struct Row {
    QVector<QVariant> values;
    QVariant operator[](const QString &column) const {
        const auto schema = TMMagSysDataModule::schema();
        for (size_t i = 0; i < schema.size(); ++i)
            if (schema[i].name == column)
                return values[int(i)];
        ADD_FAILURE() << "no column " << column.toStdString();
        return {};
    }
};

class SystemSettings : public EnvTest {
protected:
    void SetUp() override {
        EnvTest::SetUp();
        dm = std::make_unique<TMMagSysDataModule>();
        t().open();
        builtIn = t().recordCount();
    }
    void TearDown() override {
        dm.reset();
        EnvTest::TearDown();
    }

    Table &t() { return *dm->Table2; }

    int read(const QStringList &lines) { return readSystemSettings(t(), lines); }

    // The rows the read-in added, as another connection finds them in the
    // file: what is listed here has been stored and committed.
    QList<Row> storedNewRows() {
        Table other(QStringLiteral("MMagaSys.DB"), TMMagSysDataModule::schema());
        other.setDirectory(t().directory());
        other.open();
        QList<Row> rows;
        for (int i = builtIn; i < other.recordCount(); ++i)
            rows << Row{other.recordAt(i)};
        return rows;
    }

    // The current record buffer (a row still being inserted included).
    QVariant current(const QString &column) { return t().fieldByName(column).value(); }

    std::unique_ptr<TMMagSysDataModule> dm;
    int builtIn = 0;
};

QStringList block(const QStringList &body) { return QStringList{"[KAV-SYP]"} + body + QStringList{"[/KAV-SYP]"}; }

} // namespace

// --- the block format ---------------------------------------------------

TEST_F(SystemSettings, EveryLabelFillsItsColumnAndTwoBlocksGiveTwoStoredRows) {
    const QStringList lines = block({"■発行システムＩＤ：", "12", "■発行システム名：", "メルマガ天国",
                                     "■解除ページアドレス：", "http://example.jp/cancel/", "■マガジンＩＤ桁数：",
                                     "7", "■拡張子：", "html", "■会員ＩＤ：", "member01", "■パスワード：",
                                     "secret", "■登録メールアドレス：", "reader@example.com"})
        + block({"■発行システム名：", "二つ目", "■発行システムＩＤ：", "-5"});

    EXPECT_EQ(read(lines), 2);

    EXPECT_EQ(t().state(), DataSetState::Browse);
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 2);
    const Row &a = rows[0];
    EXPECT_EQ(a[col::MMSysID], QVariant(12));
    EXPECT_EQ(a[col::MMSysName], QVariant(QStringLiteral("メルマガ天国")));
    EXPECT_EQ(a[col::CancelUrl], QVariant(QStringLiteral("http://example.jp/cancel/")));
    EXPECT_EQ(a[col::MMIDFigure], QVariant(7));
    EXPECT_EQ(a[col::AppendMMID], QVariant(true));
    EXPECT_EQ(a[col::Expansion], QVariant(QStringLiteral("html")));
    EXPECT_EQ(a[col::MemberID], QVariant(QStringLiteral("member01")));
    EXPECT_EQ(a[col::NeedMemberID], QVariant(true));
    EXPECT_EQ(a[col::MemberPass], QVariant(QStringLiteral("secret")));
    EXPECT_EQ(a[col::SysRegAddress], QVariant(QStringLiteral("reader@example.com")));
    EXPECT_FALSE(a[col::Note].isValid());
    const Row &b = rows[1];
    EXPECT_EQ(b[col::MMSysID], QVariant(-5));
    EXPECT_EQ(b[col::MMSysName], QVariant(QStringLiteral("二つ目")));
}

TEST_F(SystemSettings, MissingLabelsLeaveTheColumnsAsANewRowHasThem) {
    EXPECT_EQ(read(block({"■発行システム名：", "ラベル一つ"})), 1);
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][col::MMSysID], QVariant(-1));
    EXPECT_EQ(rows[0][col::MMSysName], QVariant(QStringLiteral("ラベル一つ")));
    for (const QString &column : {col::CancelUrl, col::AppendMMID, col::MMIDFigure, col::NeedMemberID, col::MemberID,
                                  col::MemberPass, col::SysRegAddress, col::Expansion, col::Note})
        EXPECT_FALSE(rows[0][column].isValid()) << column.toStdString();
}

TEST_F(SystemSettings, DigitsLabelSetsTheCountAndTurnsOnAppendingTheId) {
    read(block({"■マガジンＩＤ桁数：", "5"}));
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][col::MMIDFigure], QVariant(5));
    EXPECT_EQ(rows[0][col::AppendMMID], QVariant(true));
    EXPECT_FALSE(rows[0][col::NeedMemberID].isValid());
}

TEST_F(SystemSettings, EmptyValuesEmptyTheColumnButTheirLabelsStillSetTheFlags) {
    read(block({"■会員ＩＤ：", "", "■マガジンＩＤ桁数：", "", "■発行システムＩＤ：", ""}));
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_FALSE(rows[0][col::MemberID].isValid());
    EXPECT_EQ(rows[0][col::NeedMemberID], QVariant(true));
    EXPECT_FALSE(rows[0][col::MMIDFigure].isValid());
    EXPECT_EQ(rows[0][col::AppendMMID], QVariant(true));
    // An empty ID empties even the −1 of a new row.
    EXPECT_FALSE(rows[0][col::MMSysID].isValid());
}

TEST_F(SystemSettings, ValuesAreTakenWholeAndCutToTheColumnWidth) {
    read(block({"■拡張子：", "shtml", "■発行システム名：", "  前後に空白  "}) + block({"■拡張子：", "htmlx2"})
         + block({"■拡張子：", "あいう", "■発行システム名：", QString(40, u'名')}));
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0][col::Expansion], QVariant(QStringLiteral("shtml")));
    EXPECT_EQ(rows[0][col::MMSysName], QVariant(QStringLiteral("  前後に空白  ")));
    EXPECT_EQ(rows[1][col::Expansion], QVariant(QStringLiteral("htmlx")));
    // Five bytes hold two double-byte characters, never half of a third.
    EXPECT_EQ(rows[2][col::Expansion], QVariant(QStringLiteral("あい")));
    EXPECT_EQ(rows[2][col::MMSysName], QVariant(QString(15, u'名')));
}

TEST_F(SystemSettings, ASecondStartTagInsideAnOpenBlockIsAnIgnoredLine) {
    EXPECT_EQ(read(QStringList{"[KAV-SYP]", "■発行システム名：", "前半", "[KAV-SYP]", "■拡張子：", "cgi",
                               "[/KAV-SYP]"}),
              1);
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][col::MMSysName], QVariant(QStringLiteral("前半")));
    EXPECT_EQ(rows[0][col::Expansion], QVariant(QStringLiteral("cgi")));
}

TEST_F(SystemSettings, ALabelRightBeforeTheEndTagTakesTheTagAsItsValueAndTheBlockRunsOn) {
    const QStringList lines{"[KAV-SYP]", "■登録メールアドレス：", "[/KAV-SYP]", "■発行システム名：", "続き",
                            "[/KAV-SYP]",  "[KAV-SYP]",          "■発行システム名：", "次", "[/KAV-SYP]"};
    EXPECT_EQ(read(lines), 2);
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0][col::SysRegAddress], QVariant(QStringLiteral("[/KAV-SYP]")));
    EXPECT_EQ(rows[0][col::MMSysName], QVariant(QStringLiteral("続き")));
    EXPECT_EQ(rows[1][col::MMSysName], QVariant(QStringLiteral("次")));
}

TEST_F(SystemSettings, AValueLineIsTestedAgainstTheLabelsAfterTheOneThatTookIt) {
    // The name takes a later label as its value; that label then takes the next line.
    read(block({"■発行システム名：", "■解除ページアドレス：", "http://example.jp/"}));
    // An earlier label as a value is only a value: the line after it is skipped.
    read(block({"■パスワード：", "■発行システム名：", "無視される"}));
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0][col::MMSysName], QVariant(QStringLiteral("■解除ページアドレス：")));
    EXPECT_EQ(rows[0][col::CancelUrl], QVariant(QStringLiteral("http://example.jp/")));
    EXPECT_EQ(rows[1][col::MemberPass], QVariant(QStringLiteral("■発行システム名：")));
    EXPECT_FALSE(rows[1][col::MMSysName].isValid());
}

TEST_F(SystemSettings, OnlyExactWholeLinesAreLabels) {
    read(block({"■発行システム名：値は同じ行", " ■パスワード：", "a", "■パスワード： ", "b", "■パスワード:", "c",
                "■発行システムID：", "77", "■拡張子", "d", "【拡張子】", "e"}));
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][col::MMSysID], QVariant(-1));
    for (const QString &column : {col::MMSysName, col::MemberPass, col::Expansion})
        EXPECT_FALSE(rows[0][column].isValid()) << column.toStdString();
}

TEST_F(SystemSettings, TagsWithBlanksOrInOtherCaseAreNoTags) {
    EXPECT_EQ(read({" [KAV-SYP]", "■発行システム名：", "a", "[kav-syp]", "[KAV-SYP] ", "[／KAV-SYP]"}), 0);
    EXPECT_TRUE(storedNewRows().isEmpty());
    EXPECT_EQ(read({"[KAV-SYP]", "■発行システム名：", "b", "[/KAV-SYP] ", " [/KAV-SYP]", "[/KAV-SYP]"}), 1);
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][col::MMSysName], QVariant(QStringLiteral("b")));
}

TEST_F(SystemSettings, TextBeforeAndBetweenBlocksIsIgnored) {
    const QStringList lines{"設定ファイル", "■発行システム名：", "外側", "",  "[KAV-SYP]", "■発行システム名：",
                            "一",           "[/KAV-SYP]",        "■拡張子：", "x", "[KAV-SYP]", "■発行システム名：",
                            "二",           "[/KAV-SYP]",        "おわり"};
    EXPECT_EQ(read(lines), 2);
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0][col::MMSysName], QVariant(QStringLiteral("一")));
    EXPECT_FALSE(rows[0][col::Expansion].isValid());
    EXPECT_EQ(rows[1][col::MMSysName], QVariant(QStringLiteral("二")));
    EXPECT_FALSE(rows[1][col::Expansion].isValid());
}

TEST_F(SystemSettings, WithoutABlockNothingIsAppendedAndTheCurrentRowIsStored) {
    EXPECT_EQ(read({}), 0);
    EXPECT_EQ(read({"no block here", "[/KAV-SYP]", "■発行システム名：", "x"}), 0);
    EXPECT_EQ(t().recordCount(), builtIn);
    EXPECT_TRUE(storedNewRows().isEmpty());

    // The final save still applies to the row being edited.
    t().last();
    t().edit();
    dm->Table2NoteSF->setAsString(QStringLiteral("編集中"));
    EXPECT_EQ(read({"text only"}), 0);
    EXPECT_EQ(t().state(), DataSetState::Browse);
    Table other(QStringLiteral("MMagaSys.DB"), TMMagSysDataModule::schema());
    other.setDirectory(t().directory());
    other.open();
    other.last();
    EXPECT_EQ(other.fieldByName(col::Note).asString(), QStringLiteral("編集中"));
}

// --- failures -----------------------------------------------------------

TEST_F(SystemSettings, ABlockNotClosedFailsWithTheListIndexErrorKeepingWhatCameBefore) {
    const QStringList lines =
        block({"■発行システム名：", "完全"}) + QStringList{"[KAV-SYP]", "■発行システム名：", "途中", "■拡張子：", "php"};
    EXPECT_EQ(errorOf([&] { read(lines); }), kIndexError);

    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][col::MMSysName], QVariant(QStringLiteral("完全")));
    EXPECT_EQ(t().state(), DataSetState::Insert);
    EXPECT_EQ(current(col::MMSysName), QVariant(QStringLiteral("途中")));
    EXPECT_EQ(current(col::Expansion), QVariant(QStringLiteral("php")));
    EXPECT_EQ(current(col::MMSysID), QVariant(-1));
}

TEST_F(SystemSettings, ALabelOnTheLastLineFailsWithTheListIndexError) {
    const QStringList lines = block({"■発行システム名：", "前"}) + QStringList{"[KAV-SYP]", "■発行システム名：", "後", "■パスワード："};
    EXPECT_EQ(errorOf([&] { read(lines); }), kIndexError);
    ASSERT_EQ(storedNewRows().size(), 1);
    EXPECT_EQ(t().state(), DataSetState::Insert);
    EXPECT_EQ(current(col::MMSysName), QVariant(QStringLiteral("後")));
    EXPECT_FALSE(current(col::MemberPass).isValid());

    // A start tag alone on the last line is a block not closed as well.
    t().cancel();
    EXPECT_EQ(errorOf([&] { read({"[KAV-SYP]"}); }), kIndexError);
    EXPECT_EQ(t().state(), DataSetState::Insert);
}

TEST_F(SystemSettings, ANumberTheColumnCannotTakeFailsWithTheTablesErrorKeepingWhatCameBefore) {
    const QStringList good = block({"■発行システム名：", "良い"});
    EXPECT_EQ(errorOf([&] { read(good + block({"■発行システムＩＤ：", "abc"})); }),
              QStringLiteral("'abc' は項目 '発行システムＩＤ' に適した整数値ではありません"));
    EXPECT_EQ(storedNewRows().size(), 1);
    EXPECT_EQ(t().state(), DataSetState::Insert);

    t().cancel();
    EXPECT_EQ(errorOf([&] { read(good + block({"■マガジンＩＤ桁数：", "40000"})); }),
              QStringLiteral("40000 は項目 'マガジンＩＤ桁数' に適した値ではありません。範囲は -32768 から 32767 です"));
    EXPECT_EQ(storedNewRows().size(), 2);
    // The flag of the label is not set when its value fails.
    EXPECT_FALSE(current(col::AppendMMID).isValid());

    t().cancel();
    EXPECT_EQ(read(block({"■発行システムＩＤ：", "-32768", "■マガジンＩＤ桁数：", "32767"})), 1);
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[2][col::MMSysID], QVariant(-32768));
    EXPECT_EQ(rows[2][col::MMIDFigure], QVariant(32767));
}

// --- files --------------------------------------------------------------

TEST_F(SystemSettings, AShiftJisFileReadsWithAnyLineEnds) {
    const QString body = QStringLiteral("■発行システム名：\n～ＬＦ①\n■拡張子：\rasp\r[/KAV-SYP]\r\n[KAV-SYP]\r\n"
                                        "■発行システム名：\r\nＣＲＬＦ\r\n[/KAV-SYP]");
    const QString path = env->writeFile(QStringLiteral("systems.ini"),
                                        cp932::encode(QStringLiteral("[KAV-SYP]\n") + body));
    EXPECT_EQ(readSystemSettingsFile(t(), path), 2);
    const QList<Row> rows = storedNewRows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0][col::MMSysName], QVariant(QStringLiteral("～ＬＦ①")));
    EXPECT_EQ(rows[0][col::Expansion], QVariant(QStringLiteral("asp")));
    EXPECT_EQ(rows[1][col::MMSysName], QVariant(QStringLiteral("ＣＲＬＦ")));
}

TEST_F(SystemSettings, AFileThatCannotBeOpenedFailsNamingIt) {
    const QString path = env->cwd() + QStringLiteral("/missing.ini");
    EXPECT_TRUE(errorOf([&] { readSystemSettingsFile(t(), path); }).contains(path));
    EXPECT_EQ(t().recordCount(), builtIn);
}
