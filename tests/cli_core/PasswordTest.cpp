// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Console.h"
#include "cli/Messages.h"
#include "cli/Password.h"
#include "tests/support/TestEnv.h"
#include "text/Error.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quil;
using namespace quil::cli;

namespace {

// An environment variable set or removed for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char *name, std::optional<QByteArray> value) : m_name(name), m_was(qgetenv(name)) {
        m_had = qEnvironmentVariableIsSet(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv() {
        if (m_had)
            qputenv(m_name, m_was);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    QByteArray m_was;
    bool m_had = false;
};

// What a lookup came to: the password or the error's message.
struct Outcome {
    bool finished = false; // false: the child did not report within the bound
    std::optional<QString> password;
    QString error;
};

// Runs the lookup in a child in a session of its own, which has no
// controlling terminal: a lookup that fell through to the prompt must
// report, never wait for a reader, however the tests are started.
template <typename Lookup> Outcome withoutTerminal(Lookup lookup, int boundMs = 30000) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::setsid();
        QByteArray report;
        try {
            report = "P" + lookup().toUtf8();
        } catch (const Error &e) {
            report = "E" + e.message().toUtf8();
        } catch (...) {
            report = "X";
        }
        for (qsizetype done = 0; done < report.size();) {
            const ssize_t n = ::write(fds[1], report.constData() + done, size_t(report.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray report;
    bool ended = false;
    QElapsedTimer clock;
    clock.start();
    while (!ended && clock.elapsed() < boundMs) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, int(boundMs - clock.elapsed())) <= 0)
            break;
        char buffer[1024];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            ended = n == 0;
        else
            report.append(buffer, n);
    }
    ::close(fds[0]);
    if (!ended)
        ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    Outcome out;
    out.finished = ended && !report.isEmpty();
    if (report.startsWith('P'))
        out.password = QString::fromUtf8(report.mid(1));
    else if (report.startsWith('E'))
        out.error = QString::fromUtf8(report.mid(1));
    return out;
}

// A fresh home with no .netrc and no session bus, so that neither the
// reader's own files nor their keyring are read.
class PasswordLookup : public test::EnvTest {
protected:
    void SetUp() override {
        test::EnvTest::SetUp();
        home = env->root() + QStringLiteral("/home");
        ASSERT_TRUE(QDir().mkpath(home));
        m_env.emplace_back(std::make_unique<ScopedEnv>("HOME", QFile::encodeName(home)));
        m_env.emplace_back(std::make_unique<ScopedEnv>("DBUS_SESSION_BUS_ADDRESS", std::nullopt));
        m_env.emplace_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", std::nullopt));
        m_env.emplace_back(std::make_unique<ScopedEnv>("LC_ALL", QByteArray("ja_JP.UTF-8")));
    }
    void TearDown() override {
        m_env.clear();
        test::EnvTest::TearDown();
    }

    QString netrcPath() const { return home + QStringLiteral("/.netrc"); }
    void writeNetrc(const QByteArray &text, int mode) {
        QFile f(netrcPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        ASSERT_EQ(::chmod(QFile::encodeName(netrcPath()).constData(), mode_t(mode)), 0);
    }

    Outcome lookup(const QString &host, const QString &user, int boundMs = 30000) {
        return withoutTerminal(
            [&] {
                Console console(stdout, stderr, true, false);
                return findPassword(PasswordQuery{host, user, QString()}, console);
            },
            boundMs);
    }

    QString home;
    Console console{stdout, stderr, true, false};

private:
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
};

const QString Host = QStringLiteral("mail.example.jp");
const QString User = QStringLiteral("taro@example.jp");

} // namespace

// --- ~/.netrc --------------------------------------------------------------------

TEST_F(PasswordLookup, NetrcOfTheOwnerAloneGivesThePassword) {
    writeNetrc("machine mail.example.jp login taro@example.jp password \"s3cret pw\"\n"
               "default login taro@example.jp password other\n",
               0600);
    const Outcome out = lookup(Host, User);
    ASSERT_TRUE(out.finished);
    EXPECT_EQ(out.password, u"s3cret pw"_qs) << out.error.toStdString();
    EXPECT_EQ(lookup(QStringLiteral("127.0.0.1"), User).password, u"other"_qs);
}

TEST_F(PasswordLookup, NetrcThatGroupOrOthersMayUseIsRefusedEvenWithoutAnEntry) {
    for (const int mode : {0640, 0604, 0620, 0660, 0644}) {
        SCOPED_TRACE(mode);
        writeNetrc("machine elsewhere.example.jp login taro password exposed\n", mode);
        Outcome out = lookup(Host, User);
        ASSERT_TRUE(out.finished);
        EXPECT_FALSE(out.password);
        EXPECT_TRUE(out.error.contains(netrcPath())) << out.error.toStdString();
        EXPECT_TRUE(out.error.contains(u"chmod 600"_qs)) << out.error.toStdString();
        EXPECT_FALSE(out.error.contains(u"exposed"_qs));
        EXPECT_TRUE(englishMessage(out.error).startsWith(u"file "_qs + netrcPath() + u" is open to group or others"_qs))
            << englishMessage(out.error).toStdString();

        // Nor is a matching entry taken from it.
        writeNetrc("machine mail.example.jp login taro@example.jp password exposed\n", mode);
        out = lookup(Host, User);
        EXPECT_FALSE(out.password);
        EXPECT_TRUE(out.error.contains(u"chmod 600"_qs)) << out.error.toStdString();
    }
}

TEST_F(PasswordLookup, MissingNetrcIsNoSourceButABrokenOneIsReported) {
    Outcome out = lookup(Host, User);
    ASSERT_TRUE(out.finished);
    EXPECT_FALSE(out.password);
    EXPECT_TRUE(out.error.contains(u"見つかりません"_qs)) << out.error.toStdString();

    writeNetrc("machine mail.example.jp login taro@example.jp password \"unclosed\n", 0600);
    out = lookup(Host, User);
    EXPECT_FALSE(out.password);
    EXPECT_TRUE(out.error.contains(netrcPath())) << out.error.toStdString();
    EXPECT_TRUE(out.error.contains(u"1 行目"_qs)) << out.error.toStdString();
    EXPECT_FALSE(out.error.contains(u"unclosed"_qs));
}

// --- --password-command --------------------------------------------------------

TEST_F(PasswordLookup, CommandsFirstLineIsThePassword) {
    const auto withCommand = [&](const char *command) {
        return findPassword(PasswordQuery{Host, User, QString::fromUtf8(command)}, console);
    };
    EXPECT_EQ(withCommand("printf 'first line\\nsecond line\\n'"), u"first line"_qs);
    EXPECT_EQ(withCommand("printf 'crlf\\r\\n'"), u"crlf"_qs);
    EXPECT_EQ(withCommand("printf 'no line end'"), u"no line end"_qs);
    EXPECT_EQ(withCommand("printf '  blanks kept \\n'"), u"  blanks kept "_qs);
    // Its standard input is ours, as a command that asks for a passphrase
    // needs.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "typed in\n", 9), 9);
    ::close(fds[1]);
    const int savedIn = ::dup(STDIN_FILENO);
    ::dup2(fds[0], STDIN_FILENO);
    ::close(fds[0]);
    const QString fromInput = withCommand("head -n 1");
    ::dup2(savedIn, STDIN_FILENO);
    ::close(savedIn);
    EXPECT_EQ(fromInput, u"typed in"_qs);

    // When given, it is the only source.
    writeNetrc("machine mail.example.jp login taro@example.jp password fromnetrc\n", 0600);
    EXPECT_EQ(withCommand("echo fromcommand"), u"fromcommand"_qs);
    EXPECT_TRUE(test::errorOf([&] { withCommand("exit 1"); }).contains(u"終了ステータス 1"_qs));
}

TEST_F(PasswordLookup, FailingCommandIsReportedWithItsStatusAndItsErrorsPassThrough) {
    // Our standard error, caught in a file for the time of the run.
    const QString errFile = env->root() + QStringLiteral("/stderr.txt");
    const int saved = ::dup(STDERR_FILENO);
    const int file = ::open(QFile::encodeName(errFile).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    ::fflush(stderr);
    ::dup2(file, STDERR_FILENO);
    const QString message = test::errorOf([&] {
        passwordFromCommand(QStringLiteral("echo 'gpg: decryption failed' >&2; echo partial; exit 3"),
                            std::chrono::seconds(30));
    });
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(file);

    EXPECT_TRUE(message.contains(u"--password-command"_qs)) << message.toStdString();
    EXPECT_TRUE(message.contains(u"終了ステータス 3"_qs)) << message.toStdString();
    EXPECT_FALSE(message.contains(u"partial"_qs));
    EXPECT_EQ(env->readFile(errFile), QByteArray("gpg: decryption failed\n"));

    const QString killed = test::errorOf([] { passwordFromCommand(u"kill -9 $$"_qs, std::chrono::seconds(30)); });
    EXPECT_TRUE(killed.contains(u"異常終了"_qs)) << killed.toStdString();
    const QString missing = test::errorOf(
        [] { passwordFromCommand(u"no-such-command-here 2>/dev/null"_qs, std::chrono::seconds(30)); });
    EXPECT_TRUE(missing.contains(u"終了ステータス 127"_qs)) << missing.toStdString();
}

TEST_F(PasswordLookup, CommandWithoutOutputIsRefused) {
    for (const char *command : {"true", "printf ''", "printf '\\nsecond line\\n'", "printf '\\r\\n'"}) {
        SCOPED_TRACE(command);
        const QString message =
            test::errorOf([&] { passwordFromCommand(QString::fromUtf8(command), std::chrono::seconds(30)); });
        EXPECT_TRUE(message.contains(u"パスワードがありません"_qs)) << message.toStdString();
    }
}

TEST_F(PasswordLookup, CommandThatRunsOverTheBoundIsStopped) {
    QElapsedTimer clock;
    clock.start();
    const QString message =
        test::errorOf([] { passwordFromCommand(u"exec sleep 60"_qs, std::chrono::milliseconds(300)); });
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_TRUE(message.contains(u"終わらない"_qs)) << message.toStdString();
}

// --- nowhere to be found ----------------------------------------------------------

TEST_F(PasswordLookup, WithoutTerminalTheErrorSaysWhereItLooked) {
    const Outcome out = lookup(Host, User);
    ASSERT_TRUE(out.finished);
    EXPECT_FALSE(out.password);
    for (const QString &place : {netrcPath(), u"--password-command"_qs, u"キーリング"_qs, u"セッションバス"_qs})
        EXPECT_TRUE(out.error.contains(place)) << out.error.toStdString();
    EXPECT_TRUE(out.error.startsWith(u"taro@example.jp@mail.example.jp "_qs)) << out.error.toStdString();

    // In English, a login holding an @ keeps its place.
    const QString english = englishMessage(out.error);
    EXPECT_TRUE(english.startsWith(u"no password found for taro@example.jp@mail.example.jp:"_qs))
        << english.toStdString();
    EXPECT_TRUE(english.contains(netrcPath())) << english.toStdString();
}

TEST_F(PasswordLookup, KeyringThatNeverAnswersIsPassedOverInBoundedTime) {
    // A session bus whose socket takes connections and never says a word.
    const QString socketPath = env->root() + QStringLiteral("/bus");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(socketPath);
    ASSERT_LT(size_t(encoded.size()), sizeof address.sun_path);
    std::copy(encoded.begin(), encoded.end(), address.sun_path);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    const ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + encoded);

    QElapsedTimer clock;
    clock.start();
    const Outcome out = lookup(Host, User, 60000);
    const qint64 took = clock.elapsed();
    ::close(listener);
    ASSERT_TRUE(out.finished) << "the lookup still waited after a minute";
    EXPECT_LT(took, std::chrono::milliseconds(KeyringWait).count() + 10000);
    EXPECT_FALSE(out.password);
    // It was asked, so the error names it without blaming a missing bus.
    EXPECT_TRUE(out.error.contains(u"キーリング"_qs)) << out.error.toStdString();
    EXPECT_FALSE(out.error.contains(u"セッションバス"_qs)) << out.error.toStdString();
    EXPECT_TRUE(out.error.contains(u"secret-tool store"_qs)) << out.error.toStdString();
}
