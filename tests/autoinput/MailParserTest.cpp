// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/autoinput/ParserFixture.h"

#include "text/Cp932.h"
#include "text/Error.h"

using namespace quil;
using namespace quil::test;
namespace c = quil::col;

namespace {

QString lastMessage() {
    const auto &shown = MessageBox::shown();
    return shown.isEmpty() ? QString() : shown.last().text;
}

} // namespace

TEST_F(ParserTest, EachLayoutFillsItsColumns) {
    const QString text = crlf(magMagMail()) + QStringLiteral("--\r\n") + crlf(pubzineOneLineMail()) +
                         crlf(pubzineStarredMail()) + crlf(melmaMail({QStringLiteral("毎週のニュース")})) +
                         crlf(kavBlock(kavPairs()));
    EXPECT_EQ(run(text), QString());
    ASSERT_EQ(MessageBox::shown().size(), 1);
    const ShownMessage &m = MessageBox::shown().first();
    EXPECT_EQ(m.text, QStringLiteral("5件が登録されました"));
    EXPECT_EQ(m.caption, QStringLiteral("登録件数の確認"));
    EXPECT_EQ(m.icon, MsgIcon::Information);
    EXPECT_EQ(m.buttons, MsgButtons::Ok);
    EXPECT_EQ(parser->registeredCount(), 5);
    // The last record is stored and stays current.
    EXPECT_EQ(mags->state(), DataSetState::Browse);
    EXPECT_EQ(mags->fieldByName(c::Publishing).asString(), QStringLiteral("ClickBox"));

    const auto r = rows(*mags);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0], (Row{{c::Publishing, "まぐまぐ"}, {c::MBName, "週刊ニュース速報"}, {c::MBID, "123456"},
                         {c::MBType, "テキスト"}, {c::MBCycle, "週刊"}, {c::Web, "http://www.example.jp/news/"},
                         {c::Publisher, "editor@example.jp"}, {c::RegAddress, "reader@example.com"},
                         {c::RegTime, "2003/04/05 12:34:56"}, {c::IPAddress, "192.168.10.20"},
                         {c::DeleteState, "購読中"}}));
    // The one-line layout fills nothing beyond ID, name, state and service.
    EXPECT_EQ(r[1], (Row{{c::Publishing, "Pubzine"}, {c::MBName, "パブジン通信"}, {c::MBID, "12345"},
                         {c::DeleteState, "購読中"}}));
    EXPECT_EQ(r[2], (Row{{c::Publishing, "Pubzine"}, {c::MBName, "週刊ビジネス情報"}, {c::MBID, "54321"},
                         {c::MBCycle, "週刊"}, {c::RegAddress, "reader@example.com"},
                         {c::RegTime, "2003/05/06 7:08:09"}, {c::Publisher, "biz@example.co.jp"},
                         {c::DeleteState, "購読中"}}));
    EXPECT_EQ(r[3], (Row{{c::Publishing, "melma"}, {c::MBName, "メルマ通信"}, {c::MBID, "98765"},
                         {c::MBType, "テキスト"}, {c::MBCycle, "不定期"}, {c::ChargeOrFree, "無料"},
                         {c::Publisher, "melma-pub@example.ne.jp"}, {c::Web, "http://www.example.ne.jp/"},
                         {c::Explanation, "毎週のニュース\r\n"}, {c::RegAddress, "reader@example.com"},
                         {c::IPAddress, "10.0.0.1"}, {c::DeleteState, "購読中"}}));
    // A block sets no state of its own.
    EXPECT_EQ(r[4], (Row{{c::Publishing, "ClickBox"}, {c::MBID, "777"}, {c::MBName, "独自配信マガジン"},
                         {c::MBType, "HTML"}, {c::MBCycle, "日刊"}, {c::ChargeOrFree, "有料"},
                         {c::Publisher, "admin@example.org"}, {c::Web, "http://example.org/"},
                         {c::Explanation, "一行の説明"}, {c::RegAddress, "reader@example.com"},
                         {c::RegTime, "2004/01/02 3:04:05"}, {c::IPAddress, "172.16.0.9"}}));
}

TEST_F(ParserTest, NothingToImport) {
    EXPECT_EQ(run(QString()), QString());
    EXPECT_EQ(lastMessage(), QStringLiteral("0件が登録されました"));
    EXPECT_EQ(run(QStringLiteral("お知らせ\r\n\r\nhttp://example.jp/\nただの本文\r")), QString());
    EXPECT_EQ(lastMessage(), QStringLiteral("0件が登録されました"));
    EXPECT_EQ(mags->recordCount(), 0);
}

TEST_F(ParserTest, MagMagStartOnTheEighteenthLineIsPassedOver) {
    // The 18th line after a start line is left current and tested only
    // against the later layouts.
    run(crlf(magMagMail(QStringLiteral("1")) + magMagMail(QStringLiteral("2"))));
    auto r = rows(*mags);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][c::MBID], "1");

    run(crlf(magMagMail(QStringLiteral("3")) + QStringList{QStringLiteral("")} + magMagMail(QStringLiteral("4"))));
    r = rows(*mags);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[1][c::MBID], "3");
    EXPECT_EQ(r[2][c::MBID], "4");
    EXPECT_EQ(lastMessage(), QStringLiteral("2件が登録されました"));
}

TEST_F(ParserTest, FailingValueStopsTheRunAndKeepsTheRest) {
    // Mixed line breaks and full-width text must come back unchanged.
    QStringList bad = magMagMail(QStringLiteral("第12号"), QStringLiteral("失敗する号"));
    const QString tail = bad.mid(3).join(QStringLiteral("\n")) + QStringLiteral("\r追記～①\r\n");
    const QString text = crlf(pubzineOneLineMail()) + bad.mid(0, 3).join(QStringLiteral("\r\n")) +
                         QStringLiteral("\r\n") + tail;
    QString left = text;
    try {
        parser->run(left, false);
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_EQ(e.message(), QStringLiteral("バリアントの型変換が不正です"));
    }
    EXPECT_EQ(left, tail);
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    // The failing record is still being inserted, with what was set before.
    EXPECT_EQ(mags->state(), DataSetState::Insert);
    EXPECT_EQ(mags->fieldByName(c::MBName).asString(), QStringLiteral("失敗する号"));
    EXPECT_TRUE(mags->fieldByName(c::MBID).isNull());
    // The record begun before it is stored and committed: another
    // connection sees it.
    Table other(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
    other.setDirectory(mags->directory());
    other.open();
    EXPECT_EQ(other.recordCount(), 1);
    other.first();
    EXPECT_EQ(other.fieldByName(c::Publishing).asString(), QStringLiteral("Pubzine"));
}

TEST_F(ParserTest, ConversionWordsDependOnTheWayAColumnIsSet) {
    QString text = crlf({QStringLiteral("メールマガジンID  12a"), "", "  名前"});
    try {
        parser->run(text, false);
        FAIL();
    } catch (const Error &e) {
        EXPECT_EQ(e.message(), QStringLiteral("'12a' は項目 'マガジンＩＤ' に適した整数値ではありません"));
    }
    EXPECT_EQ(text, crlf({QStringLiteral("メールマガジンID  12a"), "", "  名前"}));
    mags->cancel();

    QStringList pairs = kavPairs();
    pairs[21] = QStringLiteral("昨日");
    text = crlf(kavBlock(pairs));
    try {
        parser->run(text, false);
        FAIL();
    } catch (const Error &e) {
        EXPECT_EQ(e.message(), QStringLiteral("'昨日' は日付または時刻ではありません"));
    }
    EXPECT_EQ(text, crlf(kavBlock(pairs).mid(22)));
    mags->cancel();

    // Cut short: values set from text are emptied, set as values they fail.
    EXPECT_EQ(run(QStringLiteral("メールマガジンID  ")), QString());
    EXPECT_EQ(lastMessage(), QStringLiteral("1件が登録されました"));
    EXPECT_THROW(run(crlf(magMagMail().mid(0, 3))), Error);
    mags->cancel();
    QStringList starred = pubzineStarredMail();
    starred[8].clear();
    EXPECT_THROW(run(crlf(starred)), Error);
}

TEST_F(ParserTest, ByteCutsCountFullWidthAsTwoAndDropDanglingHalves) {
    // Name line cut after 2 bytes: one full-width character, or a half-width
    // one plus half of the next, whose dangling half is dropped.
    run(crlf({QStringLiteral("メールマガジンID  1"), "", QStringLiteral("■本の虫")}) +
        crlf({QStringLiteral("メールマガジンID  2"), "", QStringLiteral("A本の虫")}) +
        crlf({QStringLiteral("★マガジンID："), QStringLiteral("Ｍ3")}));
    const auto r = rows(*mags);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0][c::MBName], "本の虫");
    EXPECT_EQ(r[1][c::MBName], "の虫");
    EXPECT_EQ(r[2][c::MBID], "3");
}

TEST_F(ParserTest, StarredPubzineWithoutPublisherLineTakesTheRest) {
    QStringList mail = pubzineStarredMail(QString());
    EXPECT_EQ(run(crlf(mail + mail)), QString());
    const auto r = rows(*mags);
    ASSERT_EQ(r.size(), 1u); // the second mail was swallowed by the search
    EXPECT_FALSE(r[0].contains(c::Publisher));
}

TEST_F(ParserTest, MelmaDescription) {
    run(crlf(melmaMail({QStringLiteral("一行目"), QString(), QStringLiteral("三行目 end")})));
    EXPECT_EQ(rows(*mags)[0][c::Explanation], QStringLiteral("一行目\r\n\r\n三行目 end\r\n"));

    // Longer than the column: cut at 240 bytes, never inside a character;
    // lines past the width change nothing.
    const struct {
        const char *first;
        int bytes;
        QString end;
    } cuts[] = {{"x", 239, QStringLiteral("ab日")}, {"xxxxx", 240, QStringLiteral("\r\na")}};
    int row = 1;
    for (const auto &cut : cuts) {
        QStringList many(60, QStringLiteral("ab日本")); // 8 bytes with CR LF
        many.prepend(QString::fromLatin1(cut.first));
        run(crlf(melmaMail(many)));
        const QString d = rows(*mags)[size_t(row++)][c::Explanation];
        EXPECT_EQ(cp932::byteLength(d), cut.bytes);
        EXPECT_TRUE(d.startsWith(QString::fromLatin1(cut.first) + QStringLiteral("\r\nab日本\r\n")));
        EXPECT_TRUE(d.endsWith(cut.end));
    }

    // Without the address label the description ends with the text.
    run(crlf(melmaMail({QStringLiteral("説明"), QStringLiteral("★マガジンID：")}, false)));
    const auto r = rows(*mags);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[3][c::Explanation], QStringLiteral("説明\r\n★マガジンID：\r\n"));
}

TEST_F(ParserTest, KavBlockPairsInAnyOrder) {
    QStringList reversed;
    const QStringList pairs = kavPairs();
    for (qsizetype i = pairs.size() - 2; i >= 0; i -= 2)
        reversed << pairs[i] << pairs[i + 1];
    // Other lines between the pairs are passed over one at a time.
    reversed.insert(4, QStringLiteral("メモ"));
    run(crlf(kavBlock(pairs)) + crlf(kavBlock(reversed)));
    const auto r = rows(*mags);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0], r[1]);
    EXPECT_EQ(r[0].size(), 12);
}

TEST_F(ParserTest, KavBlockEdgeLines) {
    // A value equal to a later label is taken as that label; a value line
    // after a label is consumed even when it looks like a label itself.
    run(crlf({QStringLiteral("[KAV-PBL]"), QStringLiteral("▼マガジン名："), QStringLiteral("▼説明："),
              QStringLiteral("本文"), QStringLiteral("▼登録アドレス："), QStringLiteral("▼マガジン名："),
              QStringLiteral("[/KAV-PBL]"), QStringLiteral("▼発行周期："), QStringLiteral("週刊")}));
    auto r = rows(*mags);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], (Row{{c::MBName, "▼説明："}, {c::Explanation, "本文"}, {c::RegAddress, "▼マガジン名："}}));

    // Without the end line the block ends with the text.
    run(crlf({QStringLiteral("[KAV-PBL]"), QStringLiteral("▼マガジンID："), QStringLiteral("42"),
              QStringLiteral("▼データタイプ：")}));
    r = rows(*mags);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1], (Row{{c::MBID, "42"}}));
}

TEST_F(ParserTest, NewPublishingSystemIds) {
    auto systemRows = [&] {
        std::vector<std::pair<QString, int>> out;
        for (sys->first(); !sys->eof(); sys->next())
            out.emplace_back(sys->fieldByName(c::MMSysName).asString(), sys->fieldByName(c::MMSysID).asInteger());
        return out;
    };
    const auto builtIn = systemRows();
    ASSERT_EQ(builtIn.size(), 5u);

    // A long name is matched in the form its column keeps (30 bytes).
    const QString longName = QStringLiteral("とても長い名前の発行システムその一号");
    run(crlf(kavBlock(kavPairs(QStringLiteral("ClickBox"))) + kavBlock(kavPairs(QStringLiteral("まぐまぐ"))) +
             kavBlock(kavPairs(QStringLiteral("ClickBox"))) + kavBlock(kavPairs(longName)) +
             kavBlock(kavPairs(longName))));
    auto s = systemRows();
    ASSERT_EQ(s.size(), 7u);
    EXPECT_EQ(s[5], std::make_pair(QStringLiteral("ClickBox"), 11));
    EXPECT_EQ(s[6], std::make_pair(cp932::cutToWidth(longName, 30), 12));
    const auto r = rows(*mags);
    EXPECT_EQ(r[1][c::Publishing], "まぐまぐ");
    EXPECT_EQ(r[2][c::Publishing], "ClickBox");

    // Above the locked range the next ID follows the largest.
    sys->first();
    sys->edit();
    sys->fieldByName(c::MMSysID).setAsInteger(20);
    sys->post();
    run(crlf(kavBlock(kavPairs(QStringLiteral("MailBird")))));
    s = systemRows();
    ASSERT_EQ(s.size(), 8u);
    EXPECT_EQ(s[7], std::make_pair(QStringLiteral("MailBird"), 21));
}

class DataModuleParserTest : public EnvTest {};

TEST_F(DataModuleParserTest, RunsOverTheApplicationsPermanentlyEditedTables) {
    // The data modules keep both current rows in editing after every move.
    TDataModule1 dm1;
    TMMagSysDataModule dm2;
    dm2.Table2->open();
    dm1.Table1->open();
    dm1.Table1->edit();
    dm2.Table2->edit();
    MailParser parser(*dm1.Table1, *dm2.Table2);
    QString text = crlf(kavBlock(kavPairs()) + magMagMail() + kavBlock(kavPairs()));
    parser.run(text, false);
    EXPECT_EQ(MessageBox::shown().last().text, QStringLiteral("3件が登録されました"));
    text = crlf({QStringLiteral("■登録中のメールマガジン一覧  <reader@example.com>"), QStringLiteral("    999999:new")});
    parser.run(text, true);

    dm2.Table2->first(); // the new system row is stored by the next move
    Table mags(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
    Table sys(QStringLiteral("MMagaSys.DB"), TMMagSysDataModule::schema());
    for (Table *t : {&mags, &sys}) {
        t->setDirectory(dm1.Table1->directory());
        t->open();
    }
    const auto r = rows(mags);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[1].value(col::DeleteState), state::Cancelled); // not in the list
    EXPECT_EQ(r[3].value(col::MBID), QStringLiteral("999999"));
    EXPECT_EQ(sys.recordCount(), 6);
}
