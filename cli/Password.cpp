// SPDX-License-Identifier: GPL-3.0-or-later
// GLib's headers use `signals` as a name, which Qt's headers make a
// keyword: libsecret comes before anything of Qt.
#include <libsecret/secret.h>

#include "cli/Password.h"

#include "cli/Encoding.h"
#include "cli/Netrc.h"
#include "text/Error.h"

#include <QFile>
#include <QProcess>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace quil::cli {
namespace {

// Buffers that held a password are cleared before they are freed.
void wipe(QByteArray &bytes) {
    bytes.fill('\0');
    bytes.clear();
}

// What a command or the terminal sends is in the locale's encoding.
QString fromLocale(const QByteArray &bytes) {
    QStringDecoder decoder(localeEncoding().constData());
    if (!decoder.isValid())
        return QString::fromUtf8(bytes);
    return decoder.decode(bytes);
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Failures of the call just made, its errno taken before composing the
// message can change it.
[[noreturn]] void cannotReadTerminal() {
    const int err = errno;
    throw Error(QStringLiteral("端末 /dev/tty からパスワードを読めません"), Error::Kind::General, err);
}

[[noreturn]] void cannotOpen(const QString &path, int err) {
    throw Error(QStringLiteral("ファイル %1 を開けません").arg(path), Error::Kind::General, err);
}
[[noreturn]] void cannotOpen(const QString &path) { cannotOpen(path, errno); }

// --- the password command ----------------------------------------------------

QString commandFailure(const char *what) {
    return QStringLiteral("パスワードのコマンド (--password-command) ") + QString::fromUtf8(what);
}

// --- ~/.netrc -----------------------------------------------------------------

QString homeFolder() {
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty())
        return QFile::decodeName(home);
    if (const passwd *pw = ::getpwuid(::geteuid()))
        return QFile::decodeName(pw->pw_dir);
    return QString();
}

QByteArray readAll(int fd, const QString &path) {
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            wipe(bytes);
            throw Error(QStringLiteral("ファイル '%1' を読み込めませんでした。").arg(path), Error::Kind::General, err);
        }
        bytes.append(buffer, n);
    }
    std::fill(std::begin(buffer), std::end(buffer), '\0');
    return bytes;
}

std::optional<QString> fromNetrc(const QString &path, const PasswordQuery &query) {
    const Descriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        cannotOpen(path);
    }
    struct stat info;
    if (::fstat(fd.get(), &info) != 0)
        cannotOpen(path);
    if (S_ISDIR(info.st_mode))
        cannotOpen(path, EISDIR);
    if (info.st_mode & 077)
        throw Error(QStringLiteral("ファイル %1 はグループや他のユーザーにも開かれている (モード %2) ため、そのパスワードは"
                                   "使いません。chmod 600 %1 としてください")
                        .arg(path, QStringLiteral("%1").arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'))));
    QByteArray text = readAll(fd.get(), path);
    const NetrcFile file = parseNetrc(text);
    wipe(text);
    if (file.badLine)
        throw Error(QStringLiteral("ファイル %1 の %2 行目で引用符が閉じていません").arg(path, QString::number(file.badLine)));
    return netrcPassword(file.entries, query.host, query.user);
}

// --- the keyring --------------------------------------------------------------

bool sessionBusThere() {
    if (!qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty())
        return true;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat info;
    return !runtime.isEmpty() && ::stat((runtime + "/bus").constData(), &info) == 0 && S_ISSOCK(info.st_mode);
}

std::optional<QString> fromKeyring(const PasswordQuery &query) {
    // Matched by attributes alone, so that an item that secret-tool stored
    // (under its own schema name) is found.
    SecretSchema schema = {};
    schema.name = "org.quillet.Mailbox";
    schema.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
    schema.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema.attributes[1] = {"host", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema.attributes[2] = {"user", SECRET_SCHEMA_ATTRIBUTE_STRING};

    // The lookup runs its own loop until the service answers: a watchdog
    // cancels it when a bus or a keyring never does.
    GCancellable *cancellable = g_cancellable_new();
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!answered.wait_for(lock, KeyringWait, [&] { return done; }))
            g_cancellable_cancel(cancellable);
    });
    GError *error = nullptr;
    const QByteArray host = query.host.toUtf8();
    const QByteArray user = query.user.toUtf8();
    gchar *secret = secret_password_lookup_sync(&schema, cancellable, &error, "service", "quillet", "host",
                                                host.constData(), "user", user.constData(), nullptr);
    {
        const std::lock_guard lock(mutex);
        done = true;
    }
    answered.notify_all();
    watchdog.join();
    g_object_unref(cancellable);
    if (error)
        g_error_free(error);
    // The connection is not needed again; a later lookup makes a new one.
    secret_service_disconnect();
    if (!secret)
        return std::nullopt;
    QString password = QString::fromUtf8(secret);
    secret_password_free(secret);
    if (password.isEmpty())
        return std::nullopt;
    return password;
}

// --- the terminal -------------------------------------------------------------

// The signals that end or stop the program while it waits for the answer.
// Their handler only wakes the prompt, which puts the terminal back before
// the signal takes its usual course.
constexpr int PromptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
volatile sig_atomic_t caughtSignal = 0;
int wakeFd = -1;

void wakePrompt(int sig) {
    const int saved = errno;
    caughtSignal = sig;
    const char byte = 0;
    (void)!::write(wakeFd, &byte, 1);
    errno = saved;
}

// Echo off on the terminal and the prompt's handlers in place for the
// life of the object; both put back as they were by its end.
class QuietTerminal {
public:
    QuietTerminal(int tty, int wake) : m_tty(tty) {
        m_haveTerminal = ::tcgetattr(tty, &m_was) == 0;
        wakeFd = wake;
        caughtSignal = 0;
        struct sigaction action = {};
        action.sa_handler = wakePrompt;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(PromptSignals); ++i) {
            ::sigaction(PromptSignals[i], nullptr, &m_old[i]);
            // A signal the program was started ignoring (nohup) stays ignored.
            m_installed[i] = m_old[i].sa_handler != SIG_IGN;
            if (m_installed[i])
                ::sigaction(PromptSignals[i], &action, nullptr);
        }
        quiet();
    }
    ~QuietTerminal() {
        loud();
        for (size_t i = 0; i < std::size(PromptSignals); ++i)
            if (m_installed[i])
                ::sigaction(PromptSignals[i], &m_old[i], nullptr);
        wakeFd = -1;
    }
    QuietTerminal(const QuietTerminal &) = delete;
    QuietTerminal &operator=(const QuietTerminal &) = delete;

    void quiet() {
        if (!m_haveTerminal)
            return;
        termios t = m_was;
        t.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL);
        t.c_lflag |= ICANON;
        ::tcsetattr(m_tty, TCSAFLUSH, &t);
    }
    void loud() {
        if (m_haveTerminal)
            ::tcsetattr(m_tty, TCSANOW, &m_was);
    }

    // Lets the signal do what it did before the prompt (end the program,
    // stop it, call the program's own handler) with the terminal as it was;
    // returns when the program goes on.
    void passOn(int sig) {
        loud();
        for (size_t i = 0; i < std::size(PromptSignals); ++i) {
            if (PromptSignals[i] != sig || !m_installed[i])
                continue;
            ::sigaction(sig, &m_old[i], nullptr);
            ::raise(sig);
            struct sigaction action = {};
            action.sa_handler = wakePrompt;
            sigemptyset(&action.sa_mask);
            ::sigaction(sig, &action, nullptr);
        }
        quiet();
    }

private:
    int m_tty;
    bool m_haveTerminal = false;
    termios m_was = {};
    struct sigaction m_old[std::size(PromptSignals)] = {};
    bool m_installed[std::size(PromptSignals)] = {};
};

void writeAll(int fd, const QByteArray &bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

enum class Answer { Line, End, Signal };

// One line from the terminal, or the end of its input, or a signal.
Answer readAnswer(int tty, int wake, QByteArray &line) {
    // Longer answers are no password anyone types; they are cut, not kept
    // growing.
    constexpr qsizetype Longest = 4096;
    for (;;) {
        pollfd fds[2] = {{tty, POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            cannotReadTerminal();
        }
        if (fds[1].revents)
            return Answer::Signal;
        char c;
        const ssize_t n = ::read(tty, &c, 1);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0)
            cannotReadTerminal();
        if (n == 0)
            return Answer::End;
        if (c == '\n')
            return Answer::Line;
        if (line.size() < Longest)
            line += c;
    }
}

// The answer typed on the terminal; nullopt when there is no terminal.
std::optional<QString> fromTerminal(const PasswordQuery &query, Console &console) {
    const Descriptor tty(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (tty.get() < 0)
        return std::nullopt;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        cannotReadTerminal();
    const Descriptor wakeRead(pipeFds[0]), wakeWrite(pipeFds[1]);

    console.finishProgress();
    TextEncoding encoding(localeEncoding());
    const QByteArray prompt = encoding.encode(console.tr("%1@%2 のパスワード: ", "Password for %1@%2: ")
                                                  .arg(query.user, query.host));
    QByteArray line;
    {
        QuietTerminal quiet(tty.get(), wakeWrite.get());
        for (;;) {
            writeAll(tty.get(), prompt);
            const Answer answer = readAnswer(tty.get(), wakeRead.get(), line);
            // The reader's Enter was not echoed: the next output starts on
            // a line of its own.
            writeAll(tty.get(), "\n");
            if (answer != Answer::Signal) {
                if (answer == Answer::End)
                    wipe(line);
                break;
            }
            wipe(line);
            const int sig = caughtSignal;
            caughtSignal = 0;
            char drained[16];
            while (::read(wakeRead.get(), drained, sizeof drained) > 0) {
            }
            quiet.passOn(sig);
            // Back from a stop: ask again. Any other signal that let the
            // program go on still ends the prompt.
            if (sig != SIGTSTP)
                throw Error(QStringLiteral("パスワードの入力が中断されました"));
        }
    }
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        throw Error(QStringLiteral("パスワードが入力されませんでした"));
    QString password = fromLocale(line);
    wipe(line);
    return password;
}

} // namespace

QString passwordFromCommand(const QString &command, std::chrono::milliseconds wait) {
    QProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({QStringLiteral("-c"), command});
    // A command may ask for its own passphrase (gpg's pinentry); what it has
    // to say goes to the reader.
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        throw Error(commandFailure("を /bin/sh で起動できません"));
    if (!process.waitForFinished(int(wait.count()))) {
        process.kill();
        process.waitForFinished(-1);
        QByteArray rest = process.readAllStandardOutput();
        wipe(rest);
        const long long seconds = (wait.count() + 999) / 1000;
        throw Error(commandFailure("が %1 秒たっても終わらないため、止めました").arg(seconds));
    }
    QByteArray output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit) {
        wipe(output);
        throw Error(commandFailure("が異常終了しました"));
    }
    if (process.exitCode() != 0) {
        wipe(output);
        throw Error(commandFailure("が終了ステータス %1 で終わりました").arg(process.exitCode()));
    }
    const qsizetype end = output.indexOf('\n');
    QByteArray line = end < 0 ? output : output.first(end);
    wipe(output);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        throw Error(commandFailure("の出力にパスワードがありません"));
    QString password = fromLocale(line);
    wipe(line);
    return password;
}

QString findPassword(const PasswordQuery &query, Console &console) {
    if (!query.command.isEmpty())
        return passwordFromCommand(query.command, PasswordCommandWait);
    const QString home = homeFolder();
    const QString netrc = home.isEmpty() ? QStringLiteral("~/.netrc") : home + QStringLiteral("/.netrc");
    if (!home.isEmpty())
        if (std::optional<QString> p = fromNetrc(netrc, query))
            return *p;
    const bool bus = sessionBusThere();
    if (bus)
        if (std::optional<QString> p = fromKeyring(query))
            return *p;
    if (std::optional<QString> p = fromTerminal(query, console))
        return *p;
    throw Error((bus ? QStringLiteral("%1@%2 のパスワードが見つかりません。--password-command の指定がなく、%3 にもデスクトップ"
                                      "のキーリングにもなく、尋ねる端末もありません (キーリングには secret-tool store "
                                      "--label=Quillet service quillet host %2 user %1 で入れられます)")
                     : QStringLiteral("%1@%2 のパスワードが見つかりません。--password-command の指定がなく、%3 になく、"
                                      "セッションバスがないためデスクトップのキーリングには尋ねられず、尋ねる端末もありま"
                                      "せん"))
                    .arg(query.user, query.host, netrc));
}

} // namespace quil::cli
