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
        "ftp://example.com", "data:text/html,<script>x</script>", "www.example.com", " http://example.com",
        "http://exa mple.com", "smb://host/share", "vbscript:x", "mail:x@y", "httpx://example.com",
    };
    for (const char *a : refused)
        EXPECT_FALSE(Opener::isAllowedAddress(QString::fromUtf8(a))) << a;
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
    EXPECT_TRUE(Opener::opened().isEmpty());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
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
