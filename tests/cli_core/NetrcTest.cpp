// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Netrc.h"

#include <gtest/gtest.h>

using namespace quil::cli;

namespace {

std::optional<QString> passwordIn(const char *text, const char *host, const char *user) {
    const NetrcFile file = parseNetrc(QByteArray(text));
    EXPECT_EQ(file.badLine, 0);
    return netrcPassword(file.entries, QString::fromUtf8(host), QString::fromUtf8(user));
}

} // namespace

TEST(Netrc, TheMachineWithTheLoginFits) {
    const char *text = "machine mail.example.jp login hanako password hanakos\n"
                       "machine mail.example.jp login taro password taros\n"
                       "machine other.example.jp login taro password elsewhere\n";
    EXPECT_EQ(passwordIn(text, "mail.example.jp", "taro"), u"taros"_qs);
    EXPECT_EQ(passwordIn(text, "mail.example.jp", "hanako"), u"hanakos"_qs);
    EXPECT_EQ(passwordIn(text, "other.example.jp", "taro"), u"elsewhere"_qs);
    // Another login or another machine is no fit.
    EXPECT_EQ(passwordIn(text, "mail.example.jp", "jiro"), std::nullopt);
    EXPECT_EQ(passwordIn(text, "127.0.0.1", "taro"), std::nullopt);
    // Host names are compared as DNS does, logins exactly.
    EXPECT_EQ(passwordIn(text, "MAIL.Example.JP", "taro"), u"taros"_qs);
    EXPECT_EQ(passwordIn(text, "mail.example.jp", "Taro"), std::nullopt);
}

TEST(Netrc, AMachineWithoutLoginFitsEveryLoginButAnExactOneComesFirst) {
    EXPECT_EQ(passwordIn("machine 127.0.0.1 password shared\n", "127.0.0.1", "taro"), u"shared"_qs);
    const char *both = "machine mail.example.jp password shared\n"
                       "machine mail.example.jp login taro password taros\n";
    EXPECT_EQ(passwordIn(both, "mail.example.jp", "taro"), u"taros"_qs);
    EXPECT_EQ(passwordIn(both, "mail.example.jp", "hanako"), u"shared"_qs);
}

TEST(Netrc, DefaultIsTheLastResortWhereverItStands) {
    const char *text = "default login taro password fallback\n"
                       "machine mail.example.jp login taro password taros\n";
    EXPECT_EQ(passwordIn(text, "mail.example.jp", "taro"), u"taros"_qs);
    EXPECT_EQ(passwordIn(text, "other.example.jp", "taro"), u"fallback"_qs);
    EXPECT_EQ(passwordIn(text, "other.example.jp", "hanako"), std::nullopt);
    EXPECT_EQ(passwordIn("default password anyone\n", "other.example.jp", "hanako"), u"anyone"_qs);
}

TEST(Netrc, AnEntryWithoutPasswordLeavesTheLookupToTheNext) {
    const char *text = "machine mail.example.jp login taro\n"
                       "machine mail.example.jp password shared\n";
    EXPECT_EQ(passwordIn(text, "mail.example.jp", "taro"), u"shared"_qs);
}

TEST(Netrc, LayoutIsFreeAndValuesAreTheNextToken) {
    // All on one line, tabs, CR LF line ends, keywords in capitals, an
    // account, a value that is itself a keyword.
    const char *text = "machine a.example.jp login taro password one machine b.example.jp\r\n"
                       "\tLOGIN taro\tACCOUNT password PASSWORD machine\r\n"
                       "machine c.example.jp login taro unknownword password three\n";
    EXPECT_EQ(passwordIn(text, "a.example.jp", "taro"), u"one"_qs);
    EXPECT_EQ(passwordIn(text, "b.example.jp", "taro"), u"machine"_qs);
    EXPECT_EQ(passwordIn(text, "c.example.jp", "taro"), u"three"_qs);
}

TEST(Netrc, QuotedTokensAsCurlReadsThem) {
    const char *text = R"(machine mail.example.jp login "taro yamada" password "a b\"c\\d\te")"
                       "\n"
                       R"(machine "quoted.example.jp" login taro password ""x"")"
                       "\n"
                       "machine utf8.example.jp login 太郎 password \"パス ワード\"\n"
                       // A quote inside a token belongs to it.
                       "machine plain.example.jp login taro password ab\"cd\n";
    EXPECT_EQ(passwordIn(text, "mail.example.jp", "taro yamada"), QStringLiteral("a b\"c\\d\te"));
    EXPECT_EQ(passwordIn(text, "utf8.example.jp", "太郎"), u"パス ワード"_qs);
    EXPECT_EQ(passwordIn(text, "plain.example.jp", "taro"), u"ab\"cd"_qs);
    // An empty quoted token is an empty value; the next one begins after it.
    const NetrcFile file = parseNetrc(QByteArray(text));
    ASSERT_GE(file.entries.size(), 2);
    EXPECT_EQ(file.entries[1].machine, u"quoted.example.jp"_qs);
    EXPECT_EQ(file.entries[1].password, QString());
}

TEST(Netrc, AnUnclosedQuoteIsReportedWithItsLine) {
    const NetrcFile file = parseNetrc("machine a.example.jp login taro password one\n"
                                      "\n"
                                      "machine b.example.jp login taro password \"two\n"
                                      "machine c.example.jp login taro password three\n");
    EXPECT_EQ(file.badLine, 3);
    ASSERT_EQ(file.entries.size(), 2);
    EXPECT_EQ(file.entries[0].password, u"one"_qs);
    EXPECT_EQ(parseNetrc("machine a password \"ends in a backslash\\").badLine, 1);
}

TEST(Netrc, MacroBodiesAreSkippedUpToTheEmptyLine) {
    const char *text = "machine mail.example.jp login taro password before\n"
                       "macdef init\n"
                       "machine mail.example.jp login hanako password inmacro\n"
                       "cd /pub\n"
                       "  \t\n"
                       "machine mail.example.jp login hanako password after\n"
                       // A macro ends the entry before it.
                       "machine other.example.jp login taro\n"
                       "macdef second\n"
                       "password notforother\n"
                       "\n";
    EXPECT_EQ(passwordIn(text, "mail.example.jp", "taro"), u"before"_qs);
    EXPECT_EQ(passwordIn(text, "mail.example.jp", "hanako"), u"after"_qs);
    EXPECT_EQ(passwordIn(text, "other.example.jp", "taro"), std::nullopt);
    // A macro running to the end of the file hides everything after it.
    EXPECT_EQ(passwordIn("macdef init\nmachine a login b password c\n", "a", "b"), std::nullopt);
}

TEST(Netrc, CommentLinesAreSkippedButAHashInsideALineIsText) {
    const char *text = "# machine mail.example.jp login taro password commented\n"
                       "   # indented comment password wrong\n"
                       "machine mail.example.jp login taro password pass#word\n"
                       "machine other.example.jp login taro password \"#quoted\"\n";
    EXPECT_EQ(passwordIn(text, "mail.example.jp", "taro"), u"pass#word"_qs);
    EXPECT_EQ(passwordIn(text, "other.example.jp", "taro"), u"#quoted"_qs);
    EXPECT_EQ(parseNetrc(text).entries.size(), 2);
}
