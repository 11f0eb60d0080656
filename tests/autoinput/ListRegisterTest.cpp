// SPDX-License-Identifier: GPL-3.0-or-later
// Lists that announce themselves in their headers, registered one record per
// list and address, kept up to date, merged with the parser's records, and
// watched after they were left.
#include "autoinput/core/ListRegister.h"
#include "store/Columns.h"
#include "store/ListInfo.h"
#include "tests/support/ModulesFixture.h"

using namespace quil;
using namespace quil::test;

namespace {

QDateTime at(int day, int hour = 12) { return QDateTime(QDate(2026, 11, day), QTime(hour, 0)); }

mail::ListHeaders list(const QString &id, const QDateTime &date, const QString &subject = QStringLiteral("第1号")) {
    mail::ListHeaders h;
    h.listIdPhrase = QStringLiteral("猫の手通信");
    h.listId = id;
    h.unsubscribe = {QStringLiteral("https://news.example/leave?u=1"), QStringLiteral("mailto:leave@news.example")};
    h.unsubscribePost = QStringLiteral("List-Unsubscribe=One-Click");
    h.oneClick = true;
    h.from = {QStringLiteral("猫の手編集部"), QStringLiteral("editor@news.example")};
    h.to = {QStringLiteral("reader@example.jp")};
    h.date = date;
    h.subject = subject;
    return h;
}

class ListRegisterTest : public ModulesTest {
protected:
    QStringList column(const QString &name) { return t().columnTexts(name); }
    ListInfo infoAt(int position) {
        t().first();
        t().moveBy(position);
        return ListInfos(t()).forRecord(t().bookmark()).value_or(ListInfo{});
    }
};

} // namespace

TEST_F(ListRegisterTest, EachListAtEachAddressIsOneRecordInTheOrderFirstSeen) {
    ListRegister reg(t(), {QStringLiteral("Reader@Example.jp"), QStringLiteral("other@example.jp")});
    reg.take(list(QStringLiteral("neko.news.example"), at(3)));
    mail::ListHeaders second = list(QStringLiteral("inu.news.example"), at(4));
    second.listIdPhrase.clear(); // named by the sender's display name
    reg.take(second);
    mail::ListHeaders third = list(QString(), at(5));
    third.listIdPhrase.clear();
    third.from = {QString(), QStringLiteral("solo@news.example")}; // no List-Id: named by the From address
    reg.take(third);
    mail::ListHeaders elsewhere = list(QStringLiteral("neko.news.example"), at(6));
    elsewhere.deliveredTo = {QStringLiteral("other@example.jp")};
    reg.take(elsewhere);
    mail::ListHeaders plain = list(QString(), at(7));
    plain.unsubscribe.clear(); // no list headers at all
    reg.take(plain);
    reg.flush();

    EXPECT_EQ(reg.added(), 4);
    EXPECT_EQ(column(col::MBName), (QStringList{"猫の手通信", "猫の手編集部", "solo@news.example", "猫の手通信"}));
    // The address as the reader keeps it in MADDRESS.ini.
    EXPECT_EQ(column(col::RegAddress),
              (QStringList{"Reader@Example.jp", "Reader@Example.jp", "Reader@Example.jp", "other@example.jp"}));
    EXPECT_EQ(column(col::Publishing), QStringList(4, service::MailingList));
    EXPECT_EQ(column(col::DeleteState), QStringList(4, state::Subscribed));
    EXPECT_EQ(column(col::Publisher).first(), "editor@news.example");
    EXPECT_EQ(column(col::RegTime).first(), "2026/11/03 12:00:00");
    EXPECT_EQ(column(col::Explanation).first(), "第1号");
    const ListInfo first = infoAt(0);
    EXPECT_EQ(first.listId, "neko.news.example");
    EXPECT_EQ(first.oneClick, "https://news.example/leave?u=1");
    EXPECT_EQ(first.mailto, "mailto:leave@news.example");
    EXPECT_EQ(infoAt(2).listId, "solo@news.example");
}

TEST_F(ListRegisterTest, ReadingAgainAddsNothingAndTakesOnlyNewerDetails) {
    {
        ListRegister reg(t(), {});
        reg.take(list(QStringLiteral("neko.news.example"), at(10), QStringLiteral("第10号")));
        reg.flush();
    }
    ListRegister again(t(), {});
    mail::ListHeaders older = list(QStringLiteral("neko.news.example"), at(2), QStringLiteral("第2号"));
    older.unsubscribe = {QStringLiteral("https://old.example/leave")};
    again.take(older);
    mail::ListHeaders newer = list(QStringLiteral("neko.news.example"), at(20), QStringLiteral("第20号"));
    newer.oneClick = false; // the newest message no longer allows a POST
    newer.unsubscribe = {QStringLiteral("https://news.example/page"), QStringLiteral("mailto:stop@news.example")};
    again.take(newer);
    again.take(list(QStringLiteral("neko.news.example"), at(10), QStringLiteral("第10号")));
    EXPECT_EQ(column(col::Explanation), QStringList{"第10号"}) << "changes wait for the flush";
    again.flush();

    EXPECT_EQ(again.added(), 0);
    ASSERT_EQ(t().recordCount(), 1);
    EXPECT_EQ(column(col::Explanation), QStringList{"第20号"}) << "the subject of the newest message";
    EXPECT_EQ(column(col::RegTime), QStringList{"2026/11/02 12:00:00"}) << "the date of the earliest message";
    const ListInfo info = infoAt(0);
    EXPECT_EQ(info.oneClick, QString());
    EXPECT_EQ(info.web, "https://news.example/page");
    EXPECT_EQ(info.mailto, "mailto:stop@news.example");
    EXPECT_EQ(info.lastSeen, at(20));
    EXPECT_EQ(info.firstSeen, at(2));
}

TEST_F(ListRegisterTest, AListOfARecordTheParserMadeGivesThatRecordItsWaysToLeave) {
    auto addParserRecord = [&](const QString &name, int id, const QString &publisher) {
        t().append();
        t().fieldByName(col::Publishing).setAsString(service::MagMag);
        t().fieldByName(col::MBName).setAsString(name);
        t().fieldByName(col::MBID).setAsInteger(id);
        t().fieldByName(col::Publisher).setAsString(publisher);
        t().fieldByName(col::RegAddress).setAsString(QStringLiteral("reader@example.jp"));
        t().fieldByName(col::DeleteState).setAsString(state::Subscribed);
        t().post();
        return t().bookmark();
    };
    addParserRecord(QStringLiteral("番号で"), 123456, QStringLiteral("a@mag.example"));
    addParserRecord(QStringLiteral("発行者で"), 777, QStringLiteral("editor@news.example"));
    const Bookmark made = addParserRecord(QStringLiteral("同じメールから"), 42, QStringLiteral("c@mag.example"));

    ListRegister reg(t(), {QStringLiteral("reader@example.jp")});
    reg.take(list(QStringLiteral("0000123456.mag2.example"), at(3)));
    mail::ListHeaders byPublisher = list(QStringLiteral("other.news.example"), at(3));
    reg.take(byPublisher);
    reg.take(list(QStringLiteral("fresh.example"), at(3)), made);
    // A number that only contains the ID is another number.
    reg.take(list(QStringLiteral("91234567.example"), at(3)));
    reg.flush();

    EXPECT_EQ(reg.added(), 1) << "only the last list is new";
    EXPECT_EQ(column(col::MBName), (QStringList{"番号で", "発行者で", "同じメールから", "猫の手通信"}));
    EXPECT_EQ(column(col::Publishing).mid(0, 3), QStringList(3, service::MagMag)) << "the parser's columns stay";
    EXPECT_EQ(infoAt(0).listId, "0000123456.mag2.example");
    EXPECT_EQ(infoAt(1).listId, "other.news.example");
    EXPECT_EQ(infoAt(2).listId, "fresh.example");
    EXPECT_EQ(infoAt(2).oneClick, "https://news.example/leave?u=1");
}

TEST_F(ListRegisterTest, MailMoreThanTwoDaysAfterLeavingPutsTheRecordBackAsACandidate) {
    {
        ListRegister reg(t(), {});
        reg.take(list(QStringLiteral("neko.news.example"), at(1)));
        reg.flush();
    }
    // Left on the 5th at noon.
    t().first();
    t().edit();
    t().fieldByName(col::DeleteState).setAsString(state::Cancelled);
    t().post();
    ListInfo info = infoAt(0);
    info.leftAt = at(5);
    info.leftHow = QStringLiteral("one-click");
    ListInfos(t()).save(info);

    ListRegister reg(t(), {});
    reg.take(list(QStringLiteral("neko.news.example"), at(6)));
    reg.take(list(QStringLiteral("neko.news.example"), at(7, 12)));
    reg.flush();
    EXPECT_EQ(column(col::DeleteState), QStringList{state::Cancelled}) << "within two days the sender is still in time";
    EXPECT_TRUE(reg.stillComing().isEmpty());

    reg.take(list(QStringLiteral("neko.news.example"), at(7, 13)));
    reg.take(list(QStringLiteral("neko.news.example"), at(9)));
    reg.flush();
    EXPECT_EQ(column(col::DeleteState), QStringList{state::CancelCandidate});
    ASSERT_EQ(reg.stillComing().size(), 1);
    EXPECT_EQ(ListRegister::stillComingLine(reg.stillComing()[0]),
              QStringLiteral("解除後も配信が続いています: 猫の手通信（最終 2026/11/09 12:00:00）"));
    EXPECT_EQ(infoAt(0).leftAt, at(5)) << "the leaving stays recorded";
}
