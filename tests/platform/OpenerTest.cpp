// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MessageBox.h"
#include "platform/Opener.h"
#include "tests/support/TestEnv.h"

#include <QDir>

using namespace quil;

namespace {

class Addresses : public test::EnvTest {
protected:
    void TearDown() override {
        Opener::setBackend(nullptr);
        MessageBox::setTestMode(true);
        EnvTest::TearDown();
    }
};

} // namespace

TEST(Opener, OnlyWebAndMailAddressesAreAllowed) {
    const char *allowed[] = {
        "http://example.com", "https://example.com/", "HTTPS://Example.COM/path?q=1#top",
        "Http://www.mag2.com/m/0000012345.htm", "http://localhost:8080/x", "mailto:a@example.jp",
        "MAILTO:someone@example.jp", "mailto:", "mailto:a b@example.jp",
    };
    for (const char *a : allowed)
        EXPECT_TRUE(Opener::isAllowedAddress(QString::fromUtf8(a))) << a;
    EXPECT_TRUE(Opener::isAllowedAddress(QStringLiteral("http://例え.jp/パス")));

    const char *refused[] = {
        "file:///etc/passwd", "FILE:///bin/sh", "javascript:alert(1)", "/usr/bin/xterm", "./run.sh",
        "C:\\Windows\\calc.exe", "calc.exe", "http://", "https://", "http:///etc/passwd", "http:example.com",
        "ftp://example.com", "data:text/html,<script>x</script>", "wwwexample.com", " file:///etc/passwd",
        "http://exa mple.com", "smb://host/share", "vbscript:x", "mail:x@y", "httpx://example.com",
        " http:// ", "http://:80/", "", " \t\r\n",
    };
    for (const char *a : refused)
        EXPECT_FALSE(Opener::isAllowedAddress(QString::fromUtf8(a))) << a;
}

TEST(Opener, BlanksAroundAnAddressAndLooseCharactersInItAreAccepted) {
    // Mail headers are stored untrimmed, and real pages carry "|", "{" or blanks in their paths.
    const char *allowed[] = {
        "http://www.example.jp/ ", " http://example.com", "\thttps://example.com/\r\n", "http://example.jp/a|b",
        "http://example.jp/{x}", "http://example.jp/a b", "https://example.jp/?q=[1]^\"x\"", " MAILTO:a@example.jp ",
    };
    for (const char *a : allowed)
        EXPECT_TRUE(Opener::isAllowedAddress(QString::fromUtf8(a))) << a;
    EXPECT_TRUE(Opener::isAllowedAddress(QStringLiteral("\u3000http://example.jp/\u3000")));
}

TEST_F(Addresses, AllowedAddressesGoOutUnchanged) {
    EXPECT_TRUE(Opener::openAddress("https://example.com/a?b=1"));
    EXPECT_TRUE(Opener::openAddress("mailto:pub @example.jp"));
    ASSERT_EQ(Opener::opened().size(), 2);
    EXPECT_EQ(Opener::opened()[0].address, "https://example.com/a?b=1");
    EXPECT_FALSE(Opener::opened()[0].localFile);
    EXPECT_EQ(Opener::opened()[1].address, "mailto:pub @example.jp");
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    Opener::clearOpened();
    EXPECT_TRUE(Opener::opened().isEmpty());
}

TEST_F(Addresses, AnAddressWithoutItsSchemeThatStartsWithWwwOpensAsAWebPage) {
    EXPECT_TRUE(Opener::openAddress(" www.own.example.jp/cancel?id=1 "));
    EXPECT_TRUE(Opener::openAddress("WWW.Example.jp"));
    ASSERT_EQ(Opener::opened().size(), 2);
    EXPECT_EQ(Opener::opened()[0].address, "http://www.own.example.jp/cancel?id=1");
    EXPECT_EQ(Opener::opened()[1].address, "http://WWW.Example.jp");
    // Everything else stays as it was: no guessing at other bare names.
    for (const char *a : {"own.example.jp/cancel", "ftp.example.jp", "wwwexample.jp", "www"})
        EXPECT_FALSE(Opener::openAddress(QString::fromUtf8(a))) << a;
    EXPECT_EQ(MessageBox::shown().size(), 4);
}

TEST_F(Addresses, OtherTextIsRefusedWithAMessageAndNeverStarted) {
    int started = 0;
    Opener::setBackend([&](const Opener::Request &) { ++started; });
    MessageBox::setTestMode(false); // the backend would really be reached
    EXPECT_FALSE(Opener::openAddress("file:///bin/sh"));
    EXPECT_FALSE(Opener::openAddress("/usr/bin/xterm"));
    EXPECT_EQ(started, 0);
    EXPECT_TRUE(Opener::opened().isEmpty());
    ASSERT_EQ(MessageBox::shown().size(), 2);
    const ShownMessage &m = MessageBox::shown()[0];
    EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    EXPECT_EQ(m.buttons, MsgButtons::Ok);
    EXPECT_EQ(m.caption, "Quillet");
    EXPECT_TRUE(m.text.contains("file:///bin/sh")) << m.text.toStdString();

    EXPECT_TRUE(Opener::openAddress("http://example.com"));
    EXPECT_EQ(started, 1);
}

TEST_F(Addresses, EmptyTextOpensAndReportsNothing) {
    EXPECT_FALSE(Opener::openAddress(QString()));
    EXPECT_FALSE(Opener::openAddress(QStringLiteral(" \t\r\n\u3000")));
    EXPECT_TRUE(Opener::opened().isEmpty());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(Addresses, TheTrimmedAddressIsWhatGoesOut) {
    QStringList started;
    Opener::setBackend([&](const Opener::Request &r) { started << r.address; });
    MessageBox::setTestMode(false);
    EXPECT_TRUE(Opener::openAddress("http://www.example.jp/ "));
    EXPECT_TRUE(Opener::openAddress(QStringLiteral("\u3000https://example.jp/a|b/{x}\r\n")));
    EXPECT_TRUE(Opener::openAddress(" mailto:pub@example.jp\t"));
    const QStringList expected{"http://www.example.jp/", "https://example.jp/a|b/{x}", "mailto:pub@example.jp"};
    EXPECT_EQ(started, expected);
    ASSERT_EQ(Opener::opened().size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Opener::opened()[i].address, expected[i]);
    EXPECT_TRUE(MessageBox::shown().isEmpty());

    // What is refused after trimming is still refused, naming the trimmed text.
    EXPECT_FALSE(Opener::openAddress(" file:///bin/sh "));
    EXPECT_EQ(started.size(), 3);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_TRUE(MessageBox::shown()[0].text.contains(QStringLiteral("「file:///bin/sh」"))) << MessageBox::shown()[0].text.toStdString();
}

TEST_F(Addresses, TestModeKeepsTheDesktopOutOfReach) {
    int started = 0;
    Opener::setBackend([&](const Opener::Request &) { ++started; });
    Opener::openAddress("http://example.com");
    env->writeFile("Cancel.html", "<html></html>");
    Opener::openLocalFile("Cancel.html");
    EXPECT_EQ(started, 0);
    EXPECT_EQ(Opener::opened().size(), 2);
}

TEST_F(Addresses, LocalFilesOpenFromTheCurrentFolderAndMissingOnesAreNotReported) {
    QList<Opener::Request> started;
    Opener::setBackend([&](const Opener::Request &r) { started.append(r); });
    MessageBox::setTestMode(false);
    QDir().mkpath("Manual");
    env->writeFile("Manual/QUIL.html", "<html></html>");
    Opener::openLocalFile("Manual/QUIL.html");
    ASSERT_EQ(started.size(), 1);
    EXPECT_TRUE(started[0].localFile);
    EXPECT_EQ(started[0].address, env->cwd() + "/Manual/QUIL.html");

    Opener::openLocalFile("Cancel.html"); // not written yet
    EXPECT_EQ(started.size(), 1);
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    ASSERT_EQ(Opener::opened().size(), 2);
    EXPECT_EQ(Opener::opened()[1].address, env->cwd() + "/Cancel.html");
}

TEST(Clipboard, FallsBackToMemoryAndOtherwiseUsesTheBackend) {
    Clipboard::setText(QStringLiteral("会員ID 123"));
    EXPECT_EQ(Clipboard::text(), QStringLiteral("会員ID 123"));
    QString store;
    Clipboard::setBackend({[&] { return store; }, [&](const QString &t) { store = t + "!"; }});
    Clipboard::setText("x");
    EXPECT_EQ(store, "x!");
    EXPECT_EQ(Clipboard::text(), "x!");
    Clipboard::setBackend({});
    EXPECT_EQ(Clipboard::text(), QStringLiteral("会員ID 123"));
}
