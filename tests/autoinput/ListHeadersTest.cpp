// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/ListHeaders.h"
#include "autoinput/core/MailReader.h"

#include <QBuffer>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace quil;
using mail::ListHeaders;
using mail::MailText;

namespace {

const QByteArray Body = "MIME-Version: 1.0\r\n"
                        "Content-Type: text/plain; charset=UTF-8\r\n"
                        "\r\n"
                        "本文\r\n";

// A message of a list, its own headers first.
QByteArray listMail(const QByteArray &headers) {
    return headers + "From: News <news@news.example.jp>\r\n"
                     "To: reader@example.com\r\n"
                     "Subject: Weekly\r\n"
                     "Date: Sat, 05 Apr 2003 12:34:56 +0900\r\n" +
           Body;
}

ListHeaders headersOf(const QByteArray &bytes) {
    const QList<MailText> mails = mail::readMessages(bytes, QStringLiteral("t.eml"));
    if (mails.size() != 1) {
        ADD_FAILURE() << "not one message";
        return {};
    }
    EXPECT_EQ(mails[0].error, QString());
    return mails[0].list;
}

// Everything one-click needs; each case below takes one piece away or
// writes one otherwise.
const QByteArray Results = "Authentication-Results: mx.example.com;\r\n"
                           " spf=pass smtp.mailfrom=news.example.jp;\r\n"
                           " dkim=pass header.d=news.example.jp header.s=s1 header.b=AbCdEfGh\r\n";
const QByteArray Signature = "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=news.example.jp; s=s1;\r\n"
                             " h=From:To:Subject:Date:List-Unsubscribe:List-Unsubscribe-Post;\r\n"
                             " bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
                             " b=AbCdEfGhIjKlMnOpQrStUvWx\r\n 0123456789\r\n";
const QByteArray Unsubscribe = "List-Unsubscribe: <mailto:leave@news.example.jp>,\r\n"
                               " <https://news.example.jp/leave?u=1>\r\n";
const QByteArray Post = "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n";

bool oneClick(const QByteArray &headers) { return headersOf(listMail(headers)).oneClick; }

} // namespace

TEST(ListOneClick, AllowedOnlyWhenEveryConditionHolds) {
    EXPECT_TRUE(oneClick(Results + Signature + Unsubscribe + Post));
    // The https: URI need not be the first; http: is no https:.
    EXPECT_TRUE(oneClick(Results + Signature + Post +
                         "List-Unsubscribe: <http://news.example.jp/page>, <HTTPS://news.example.jp/leave>\r\n"));

    struct Case {
        const char *what;
        QByteArray headers;
    };
    const QList<Case> refused = {
        {"no List-Unsubscribe-Post", Results + Signature + Unsubscribe},
        {"another value", Results + Signature + Unsubscribe + "List-Unsubscribe-Post: List-Unsubscribe=Later\r\n"},
        {"junk after the value",
         Results + Signature + Unsubscribe + "List-Unsubscribe-Post: List-Unsubscribe=One-Click; x=1\r\n"},
        {"the value in other letters",
         Results + Signature + Unsubscribe + "List-Unsubscribe-Post: list-unsubscribe=one-click\r\n"},
        {"blanks inside the value",
         Results + Signature + Unsubscribe + "List-Unsubscribe-Post: List-Unsubscribe = One-Click\r\n"},
        {"http: only", Results + Signature + Post + "List-Unsubscribe: <http://news.example.jp/leave>\r\n"},
        {"mailto: only", Results + Signature + Post + "List-Unsubscribe: <mailto:leave@news.example.jp>\r\n"},
        {"no Authentication-Results", Signature + Unsubscribe + Post},
        {"dkim=fail",
         "Authentication-Results: mx.example.com; dkim=fail header.d=news.example.jp\r\n" + Signature + Unsubscribe +
             Post},
        {"a pass for another domain",
         "Authentication-Results: mx.example.com; dkim=pass header.d=other.example.jp\r\n" + Signature + Unsubscribe +
             Post},
        {"a pass for a domain that only ends the same",
         "Authentication-Results: mx.example.com; dkim=pass header.d=example.jp\r\n" + Signature + Unsubscribe + Post},
        {"a pass only in a lower Authentication-Results",
         "Authentication-Results: mx.example.com; dkim=none\r\n" + Results + Signature + Unsubscribe + Post},
        {"a pass without an authserv-id", "Authentication-Results: dkim=pass header.d=news.example.jp\r\n" +
                                              Signature + Unsubscribe + Post},
        {"h= without List-Unsubscribe-Post",
         Results + "DKIM-Signature: v=1; d=news.example.jp; h=From:List-Unsubscribe; b=AbCdEfGh\r\n" + Unsubscribe +
             Post},
        {"h= without List-Unsubscribe",
         Results + "DKIM-Signature: v=1; d=news.example.jp; h=From:List-Unsubscribe-Post; b=AbCdEfGh\r\n" +
             Unsubscribe + Post},
        {"no DKIM-Signature", Results + Unsubscribe + Post},
        {"a signature of another domain",
         Results + "DKIM-Signature: v=1; d=other.example.jp; h=List-Unsubscribe:List-Unsubscribe-Post; b=AbCdEfGh\r\n" +
             Unsubscribe + Post},
        {"a signature naming d= twice",
         Results + "DKIM-Signature: v=1; d=news.example.jp; h=List-Unsubscribe:List-Unsubscribe-Post;\r\n"
                   " d=news.example.jp; b=AbCdEfGh\r\n" +
             Unsubscribe + Post},
    };
    for (const Case &c : refused)
        EXPECT_FALSE(oneClick(c.headers)) << c.what;
}

TEST(ListOneClick, CommentsFoldingAndLetterCaseAreRead) {
    // Comments, folding, blanks around "=" and "." and other letter case in
    // Authentication-Results; folded h= with blanks and other case.
    EXPECT_TRUE(oneClick("Authentication-Results: mx.example.com (the reader's own; dkim=fail);\r\n"
                         "\tDKIM = Pass (good \"(signature)\") Header . D = News.Example.JP;\r\n"
                         " spf=pass\r\n"
                         "DKIM-Signature: v=1; d = NEWS.example.jp; s=s1; h=from : to :\r\n"
                         "\tlist-unsubscribe :\r\n LIST-UNSUBSCRIBE-POST; b=x\r\n" +
                         Unsubscribe + "List-Unsubscribe-Post:   List-Unsubscribe=One-Click  \r\n"));
    // A ";" inside a comment separates nothing, and a comment separates words.
    EXPECT_TRUE(oneClick("Authentication-Results: mx.example.com; dkim=pass (good; verified) header.d=news.example.jp\r\n" +
                         Signature + Unsubscribe + Post));
    EXPECT_TRUE(oneClick("Authentication-Results: mx.example.com; dkim=pass(ok)header.d=news.example.jp\r\n" +
                         Signature + Unsubscribe + Post));
    // header.i names the domain when header.d is missing.
    EXPECT_TRUE(oneClick("Authentication-Results: mx.example.com; dkim=pass header.i=@news.example.jp\r\n" +
                         Signature + Unsubscribe + Post));
    // A pass inside a comment is no pass.
    EXPECT_FALSE(oneClick("Authentication-Results: mx.example.com; dkim=fail (dkim=pass header.d=news.example.jp)\r\n" +
                          Signature + Unsubscribe + Post));
    EXPECT_FALSE(oneClick("Authentication-Results: mx.example.com (; dkim=pass header.d=news.example.jp)\r\n" +
                          Signature + Unsubscribe + Post));
    // The names of DKIM-Signature tags are case sensitive.
    EXPECT_FALSE(oneClick("Authentication-Results: mx.example.com; dkim=pass header.d=news.example.jp\r\n"
                          "DKIM-Signature: v=1; D=news.example.jp; H=List-Unsubscribe:List-Unsubscribe-Post\r\n" +
                          Unsubscribe + Post));
}

TEST(ListOneClick, NoOtherSignatureLendsItsCoverage) {
    const QByteArray covering =
        "DKIM-Signature: v=1; d=news.example.jp; h=From:List-Unsubscribe:List-Unsubscribe-Post; b=ZZZZforged\r\n";
    const QByteArray narrow = "DKIM-Signature: v=1; d=news.example.jp; h=From:To:Subject; b=AbCdEfGhIjKl\r\n";
    // header.b names the signature that passed: the one without the list fields.
    EXPECT_FALSE(oneClick(Results + covering + narrow + Unsubscribe + Post));
    // It names the covering one.
    EXPECT_TRUE(oneClick("Authentication-Results: mx.example.com; dkim=pass header.d=news.example.jp header.b=ZZZZforg\r\n" +
                         covering + narrow + Unsubscribe + Post));
    // Without header.b either may have passed.
    EXPECT_FALSE(oneClick("Authentication-Results: mx.example.com; dkim=pass header.d=news.example.jp;\r\n"
                          " dkim=fail header.d=news.example.jp\r\n" +
                          covering + narrow + Unsubscribe + Post));
    // A header.b that begins no signature names none.
    EXPECT_FALSE(oneClick("Authentication-Results: mx.example.com; dkim=pass header.d=news.example.jp header.b=nothere\r\n" +
                          Signature + Unsubscribe + Post));

    // A flood of signatures is refused rather than paired one by one.
    QByteArray many = Results;
    for (int i = 0; i < 17; ++i)
        many += Signature;
    EXPECT_FALSE(oneClick(many + Unsubscribe + Post));
    EXPECT_TRUE(oneClick(Results + Signature + Signature + Unsubscribe + Post));

    // A List-Unsubscribe added on top of the signed one: h= names it once, so
    // only the lower one is signed and the first is not.
    const QByteArray added = "List-Unsubscribe: <https://evil.example.net/x>\r\n";
    EXPECT_FALSE(oneClick(added + Results + Signature + Unsubscribe + Post));
    EXPECT_FALSE(oneClick(Results + Signature + Unsubscribe + Post + "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n"));
    // Named twice (over-signed) in h=, both are signed.
    EXPECT_TRUE(oneClick(added + Results +
                         "DKIM-Signature: v=1; d=news.example.jp; h=List-Unsubscribe:List-Unsubscribe:"
                         "List-Unsubscribe-Post; b=AbCdEfGh\r\n" +
                         Unsubscribe + Post));
}

TEST(ListHeaders, UnsubscribeUrisInOrderWithoutCommentsBlanksOrJunk) {
    const ListHeaders h = headersOf(listMail(
        "List-Unsubscribe: (Use this to leave <https://comment.example>) <mailto:leave@news.example.jp?subject=leave>,\r\n"
        "\t< https://news.example.jp/leave?u=1&l=2 > ,\r\n"
        " junk <HTTP://news.example.jp/\r\n page>, <>, \"<https://quoted.example>\"\r\n"
        "list-unsubscribe: <https://second.example.jp/>\r\n"));
    EXPECT_EQ(h.unsubscribe, (QStringList{"mailto:leave@news.example.jp?subject=leave",
                                          "https://news.example.jp/leave?u=1&l=2", "HTTP://news.example.jp/page"}));
    EXPECT_EQ(h.firstHttps(), QStringLiteral("https://news.example.jp/leave?u=1&l=2"));
    EXPECT_EQ(h.firstMailto(), QStringLiteral("mailto:leave@news.example.jp?subject=leave"));
    EXPECT_TRUE(h.isList());

    // The first way to each, schemes in any letter case.
    ListHeaders ways;
    ways.unsubscribe = QStringList{"MAILTO:a@x.jp", "Http://x.jp/page", "hTTps://x.jp/post", "mailto:b@x.jp"};
    EXPECT_EQ(ways.firstWeb(), QStringLiteral("Http://x.jp/page"));
    EXPECT_EQ(ways.firstHttps(), QStringLiteral("hTTps://x.jp/post"));
    EXPECT_EQ(ways.firstMailto(), QStringLiteral("MAILTO:a@x.jp"));
    ways.unsubscribe = QStringList{"ftp://x.jp/", "httpx://x.jp/"};
    EXPECT_EQ(ways.firstWeb(), QString());
    EXPECT_EQ(ways.firstHttps(), QString());

    // A never closed bracket gives nothing, and a flood stops at the cap.
    EXPECT_EQ(mail::listUris("<mailto:a@x.jp>, <https://x.jp/"), QStringList{"mailto:a@x.jp"});
    QByteArray flood;
    for (int i = 0; i < 1000; ++i)
        flood += "<https://x.jp/" + QByteArray::number(i) + ">,";
    const QStringList capped = mail::listUris(flood);
    ASSERT_EQ(capped.size(), mail::MaxListUris);
    EXPECT_EQ(capped.first(), QStringLiteral("https://x.jp/0"));
}

TEST(ListHeaders, ListIdPhraseAndId) {
    ListHeaders h = headersOf(listMail("List-Id: =?ISO-2022-JP?B?GyRCJV4kMCReJDAbKEI=?= <news.example.jp>\r\n"));
    EXPECT_EQ(h.listIdPhrase, QStringLiteral("マぐまぐ"));
    EXPECT_EQ(h.listId, QStringLiteral("news.example.jp"));
    EXPECT_EQ(h.listKey(), QStringLiteral("news.example.jp"));
    EXPECT_TRUE(h.isList());

    // Quoted, with a comment, folded; the first List-Id counts, whatever its letter case.
    h = headersOf(listMail("list-ID: \"Weekly \\\"News\\\"\" (the list)\r\n <weekly.news.example.jp>\r\n"
                           "List-Id: Other <other.example.jp>\r\n"));
    EXPECT_EQ(h.listIdPhrase, QStringLiteral("Weekly \"News\""));
    EXPECT_EQ(h.listId, QStringLiteral("weekly.news.example.jp"));

    // No phrase; no brackets is no id, and then From names the list.
    h = headersOf(listMail("List-Id: <bare.example.jp>\r\n"));
    EXPECT_EQ(h.listIdPhrase, QString());
    EXPECT_EQ(h.listId, QStringLiteral("bare.example.jp"));
    h = headersOf(listMail("List-Id: bare.example.jp\r\n"));
    EXPECT_EQ(h.listId, QString());
    EXPECT_FALSE(h.isList());
    EXPECT_EQ(h.listKey(), QStringLiteral("news@news.example.jp"));
}

TEST(ListHeaders, SenderDateAndSubject) {
    ListHeaders h = headersOf("From: =?ISO-2022-JP?B?GyRCJV4kMCReJDAbKEI=?= <Info@Mag.example.jp>\r\n"
                              "To: Team: a@example.com, b@example.com;, \"R\" <reader@example.com>\r\n"
                              "Cc: c@example.com\r\n"
                              "Subject: =?UTF-8?B?44GK55+l44KJ44Gb?=\r\n"
                              "Date: Sat, 05 Apr 2003 12:34:56 +0900\r\n" +
                              Body);
    EXPECT_EQ(h.from.name, QStringLiteral("マぐまぐ"));
    EXPECT_EQ(h.from.address, QStringLiteral("Info@Mag.example.jp"));
    EXPECT_EQ(h.to, (QStringList{"a@example.com", "b@example.com", "reader@example.com"}));
    EXPECT_EQ(h.cc, QStringList{"c@example.com"});
    EXPECT_EQ(h.subject, QStringLiteral("お知らせ"));
    // The instant, with the sender's offset kept.
    EXPECT_EQ(h.date, QDateTime(QDate(2003, 4, 5), QTime(3, 34, 56), QTimeZone::utc()));
    EXPECT_EQ(h.date.offsetFromUtc(), 9 * 3600);
    EXPECT_EQ(h.date.time(), QTime(12, 34, 56));
    EXPECT_FALSE(h.isList());

    h = headersOf("From: a@example.com\r\nSubject: x\r\n" + Body);
    EXPECT_FALSE(h.date.isValid());
    h = headersOf("From: a@example.com\r\nDate: the day before yesterday\r\n" + Body);
    EXPECT_FALSE(h.date.isValid());
}

TEST(ListHeaders, ReaderAddressIsTheFirstOwnOneElseTheFirstTo) {
    const QByteArray delivered = "Delivered-To: list-bounces@news.example.jp\r\n"
                                 "Delivered-To: me+news@reader.example\r\n"
                                 "X-Original-To: alias@reader.example\r\n";
    const ListHeaders h = headersOf(delivered + "From: news@news.example.jp\r\n"
                                                "To: list@news.example.jp, me@reader.example\r\n"
                                                "Cc: other@reader.example\r\n" +
                                    Body);
    EXPECT_EQ(h.deliveredTo, (QStringList{"list-bounces@news.example.jp", "me+news@reader.example"}));
    EXPECT_EQ(h.originalTo, QStringList{"alias@reader.example"});

    // Delivered-To before X-Original-To before To before Cc; case and blanks around own lines ignored.
    EXPECT_EQ(mail::readerAddress(h, {" ME+News@Reader.Example ", "me@reader.example"}),
              QStringLiteral("ME+News@Reader.Example"));
    EXPECT_EQ(mail::readerAddress(h, {"me@reader.example", "alias@reader.example"}),
              QStringLiteral("alias@reader.example"));
    EXPECT_EQ(mail::readerAddress(h, {"", "other@reader.example", "me@reader.example"}),
              QStringLiteral("me@reader.example"));
    EXPECT_EQ(mail::readerAddress(h, {"other@reader.example"}), QStringLiteral("other@reader.example"));
    // None of them own: the first To.
    EXPECT_EQ(mail::readerAddress(h, {"someone@else.example", ""}), QStringLiteral("list@news.example.jp"));
    EXPECT_EQ(mail::readerAddress(h, {}), QStringLiteral("list@news.example.jp"));
    // No To either: nothing.
    const ListHeaders noTo = headersOf("From: news@news.example.jp\r\nCc: c@reader.example\r\n" + Body);
    EXPECT_EQ(mail::readerAddress(noTo, {"me@reader.example"}), QString());
}

TEST(ListHeaders, EachMessageOfAnMboxAndOneTooLargeHaveTheirOwn) {
    const QByteArray first = listMail(Results + Signature + Unsubscribe + Post + "List-Id: First <first.example.jp>\r\n");
    const QByteArray second = listMail("List-Id: <second.example.jp>\r\nList-Unsubscribe: <https://second.example.jp/>\r\n");
    const QByteArray box = "From news@news.example.jp Sat Apr  5 12:34:56 2003\r\n" + first +
                           "\r\nFrom x Sat Apr  5 12:34:56 2003\r\n" + second +
                           "\r\nFrom x Sat Apr  5 12:34:56 2003\r\nFrom: plain@example.jp\r\nSubject: no list\r\n\r\nx\r\n";
    const QList<MailText> mails = mail::readMessages(box, QStringLiteral("box"));
    ASSERT_EQ(mails.size(), 3);
    EXPECT_EQ(mails[0].list.listId, QStringLiteral("first.example.jp"));
    EXPECT_EQ(mails[0].list.listIdPhrase, QStringLiteral("First"));
    EXPECT_TRUE(mails[0].list.oneClick);
    EXPECT_EQ(mails[0].list.date, QDateTime(QDate(2003, 4, 5), QTime(3, 34, 56), QTimeZone::utc()));
    EXPECT_EQ(mails[1].list.listId, QStringLiteral("second.example.jp"));
    EXPECT_EQ(mails[1].list.unsubscribe, QStringList{"https://second.example.jp/"});
    EXPECT_FALSE(mails[1].list.oneClick);
    EXPECT_FALSE(mails[2].list.isList());
    EXPECT_EQ(mails[2].list.from.address, QStringLiteral("plain@example.jp"));

    // A message past the limit still tells its list when its header block is whole.
    QBuffer in;
    in.setData(listMail("List-Id: <big.example.jp>\r\n") + QByteArray(5000, 'x') + "\r\n");
    in.open(QIODevice::ReadOnly);
    mail::MailReader reader(in, QStringLiteral("big.eml"), 2000);
    MailText big;
    ASSERT_TRUE(reader.next(big));
    EXPECT_FALSE(big.error.isEmpty());
    EXPECT_EQ(big.list.listId, QStringLiteral("big.example.jp"));
    EXPECT_EQ(big.subject, QStringLiteral("Weekly"));
}

TEST(ListHeaders, TextThatIsNoMailGivesNone) {
    // List fields pasted from a mail, without the header block of a message.
    const QByteArray pasted = "List-Unsubscribe: <https://news.example.jp/leave>\r\n"
                              "List-Id: <news.example.jp>\r\n\r\n"
                              "●登録メールマガジン: 週刊ニュース\r\n";
    EXPECT_TRUE(mail::readMessages(pasted, QStringLiteral("paste")).isEmpty());
    EXPECT_FALSE(ListHeaders().isList());
    EXPECT_FALSE(ListHeaders().oneClick);
}
