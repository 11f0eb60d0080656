// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Sqlite.h"

#include "text/Error.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace quil::sql {
namespace {

QString engineError(const QString &where, const char *message) {
    return QStringLiteral("データベースエラー（%1）: %2").arg(where, QString::fromUtf8(message));
}

// One code point of UTF-8 text; false at the end or at a malformed sequence.
bool nextCodePoint(const unsigned char *&p, const unsigned char *end, char32_t &cp) {
    if (p >= end)
        return false;
    const unsigned char b = *p;
    int n = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    if (n < 0 || end - p <= n)
        return false;
    cp = n == 0 ? b : n == 1 ? (b & 0x1F) : n == 2 ? (b & 0x0F) : (b & 0x07);
    for (int i = 1; i <= n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    p += n + 1;
    return true;
}

// Letters whose folding needs the full tables: outside ASCII below the CJK
// blocks, and the few cased blocks above them. Kana and kanji have no case.
bool needsFullFold(char32_t c) {
    return (c >= 0x80 && c < 0x3000) || (c >= 0xA640 && c < 0xA800) || (c >= 0xAB70 && c < 0xABC0)
        || (c >= 0xFB00 && c < 0xFB50) || c >= 0x10000;
}

// ASCII and full-width Latin letters.
char32_t cheapFold(char32_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xFF21 && c <= 0xFF3A))
        return c + 0x20;
    return c;
}

// quil_same_folded(a, b): 1 when both are text and equal ignoring case. A
// locate over a large register calls it once per row, so the common case
// (Japanese text, ASCII and full-width letters) is compared in place.
void sameFoldedFunction(sqlite3_context *ctx, int, sqlite3_value **argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    const auto *a = sqlite3_value_text(argv[0]);
    const int na = sqlite3_value_bytes(argv[0]);
    const auto *b = sqlite3_value_text(argv[1]);
    const int nb = sqlite3_value_bytes(argv[1]);
    const unsigned char *pa = a, *pb = b, *ea = a + na, *eb = b + nb;
    bool full = false;
    for (;;) {
        char32_t ca = 0, cb = 0;
        const bool moreA = nextCodePoint(pa, ea, ca);
        const bool moreB = nextCodePoint(pb, eb, cb);
        if (!moreA || !moreB) {
            if ((moreA || pa != ea) || (moreB || pb != eb)) {
                full = true; // different lengths or malformed: let the tables decide
                break;
            }
            sqlite3_result_int(ctx, 1);
            return;
        }
        if (needsFullFold(ca) || needsFullFold(cb)) {
            full = true;
            break;
        }
        if (ca != cb && cheapFold(ca) != cheapFold(cb)) {
            sqlite3_result_int(ctx, 0);
            return;
        }
    }
    if (full) {
        const QString x = QString::fromUtf8(reinterpret_cast<const char *>(a), na).toCaseFolded();
        const QString y = QString::fromUtf8(reinterpret_cast<const char *>(b), nb).toCaseFolded();
        sqlite3_result_int(ctx, x == y ? 1 : 0);
    }
}

bool diskFull(int code, int systemErrno) {
    if ((code & 0xFF) == SQLITE_FULL)
        return true;
    return (code & 0xFF) == SQLITE_IOERR && (systemErrno == ENOSPC || systemErrno == EDQUOT);
}

// The program a process runs, in words.
QString describeProcess(pid_t pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    QString name;
    if (comm.open(QIODevice::ReadOnly))
        name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    if (name == QLatin1String("quillet"))
        return QStringLiteral("他の Quillet のウィンドウ（プロセス番号 %1）").arg(pid);
    if (name == QLatin1String("quillet-cli"))
        return QStringLiteral("他の quillet-cli（プロセス番号 %1）").arg(pid);
    if (name.isEmpty())
        return QStringLiteral("他のプログラム（プロセス番号 %1）").arg(pid);
    return QStringLiteral("他のプログラム「%1」（プロセス番号 %2）").arg(name.left(40)).arg(pid);
}

// A process other than this one with the file open, from /proc.
pid_t processWithFileOpen(const QString &path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return 0;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &p : pids) {
        bool ok = false;
        const pid_t pid = pid_t(p.toInt(&ok));
        if (!ok || pid == ::getpid())
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
            if (fd.symLinkTarget() == target)
                return pid;
    }
    return 0;
}

// Memory statistics cost a global lock on every allocation; nothing reads
// them. Only possible before the library starts, so the first open does it.
void configureLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

} // namespace

Statement::~Statement() {
    if (m_stmt)
        sqlite3_finalize(m_stmt);
}

void Statement::check(int rc) const {
    if (rc != SQLITE_OK)
        throw m_owner->error(rc);
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    m_keep.clear();
}

void Statement::bindNull(int i) { check(sqlite3_bind_null(m_stmt, i)); }
void Statement::bindInt(int i, std::int64_t v) { check(sqlite3_bind_int64(m_stmt, i, v)); }
void Statement::bindDouble(int i, double v) { check(sqlite3_bind_double(m_stmt, i, v)); }
void Statement::bindText(int i, const QString &v) {
    m_keep.push_back(v.toUtf8());
    const QByteArray &u = m_keep.back();
    check(sqlite3_bind_text(m_stmt, i, u.constData(), int(u.size()), SQLITE_STATIC));
}

bool Statement::step() {
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    Error e = m_owner->error(rc);
    sqlite3_reset(m_stmt);
    throw e;
}

void Statement::run() {
    while (step()) {
    }
    reset();
}

bool Statement::isNull(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }
std::int64_t Statement::columnInt(int col) const { return sqlite3_column_int64(m_stmt, col); }
double Statement::columnDouble(int col) const { return sqlite3_column_double(m_stmt, col); }
QString Statement::columnText(int col) const {
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col));
    int n = sqlite3_column_bytes(m_stmt, col);
    return p ? QString::fromUtf8(p, n) : QString();
}

const char *Statement::columnRaw(int col, int &size) const {
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col));
    size = sqlite3_column_bytes(m_stmt, col);
    return p;
}

Database::Database(const QString &path, Mode mode, QString where)
    : m_path(mode == Mode::Memory ? QString() : path), m_where(std::move(where)) {
    // One connection per table, used from one thread: no locking per call.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (mode != Mode::ReadWrite)
        flags |= SQLITE_OPEN_CREATE;
    configureLibrary();
    QByteArray p = mode == Mode::Memory ? QByteArray(":memory:") : path.toUtf8();
    int rc = sqlite3_open_v2(p.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        Error e = error(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw e;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    sqlite3_create_function_v2(m_db, "quil_same_folded", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               sameFoldedFunction, nullptr, nullptr, nullptr);
}

Database::~Database() {
    if (m_db)
        sqlite3_close_v2(m_db);
}

void Database::fail(int rc) const { throw error(rc); }

bool Database::lastFailureWasDiskFull() const {
    return m_db && diskFull(sqlite3_extended_errcode(m_db), sqlite3_system_errno(m_db));
}

Error Database::error(int rc, const char *message) const {
    const int code = m_db ? sqlite3_extended_errcode(m_db) : rc;
    const QString file = m_path.isEmpty() ? m_where : QDir::toNativeSeparators(m_path);
    if (diskFull(code, m_db ? sqlite3_system_errno(m_db) : 0))
        return Error(QStringLiteral("ディスクに空きがないため、データベース '%1' に書き込めません").arg(file),
                     Error::Kind::DiskFull);
    if ((code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED) {
        QString holder = writeLockHolder(m_path);
        if (holder.isEmpty())
            holder = QStringLiteral("他のプログラム");
        return Error(QStringLiteral("データベース '%1' は%2が使用中のため、%3 秒待っても書き込めませんでした。"
                                    "この操作では何も変更していません")
                         .arg(file, holder)
                         .arg(kBusyTimeoutMs / 1000),
                     Error::Kind::Busy);
    }
    const char *text = message ? message : m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    return Error(engineError(m_where, text));
}

void Database::exec(const QString &sql) {
    char *err = nullptr;
    int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        Error e = error(rc, err);
        sqlite3_free(err);
        throw e;
    }
}

Statement Database::prepare(const QString &sql) {
    sqlite3_stmt *stmt = nullptr;
    QByteArray u = sql.toUtf8();
    int rc = sqlite3_prepare_v2(m_db, u.constData(), int(u.size()), &stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
    return Statement(this, stmt);
}

std::int64_t Database::lastInsertRowid() const { return sqlite3_last_insert_rowid(m_db); }
int Database::changes() const { return sqlite3_changes(m_db); }

QString writeLockHolder(const QString &path) {
    if (path.isEmpty())
        return QString();
    // In WAL mode the writer holds a POSIX lock on byte 120 of the -shm file
    // (the first of the engine's lock bytes). /proc/locks names its process;
    // opening the file to ask would drop this process's own locks on it.
    pid_t pid = 0;
    struct stat st;
    if (::stat(QFile::encodeName(path + QStringLiteral("-shm")).constData(), &st) == 0) {
        const QString inode = QStringLiteral("%1:%2:%3")
                                  .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                                  .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                                  .arg(quint64(st.st_ino));
        QFile locks(QStringLiteral("/proc/locks"));
        if (locks.open(QIODevice::ReadOnly | QIODevice::Text)) {
            const QStringList lines = QString::fromLatin1(locks.readAll()).split(u'\n');
            for (const QString &line : lines) {
                // "1: POSIX  ADVISORY  WRITE 1234 08:01:5678 120 120"
                const QStringList f = line.simplified().split(u' ');
                if (f.size() < 8 || f[1] != QLatin1String("POSIX") || f[3] != QLatin1String("WRITE"))
                    continue;
                if (f[5].compare(inode, Qt::CaseInsensitive) != 0 || f[6].toLongLong() > 120)
                    continue;
                const qint64 last = f[7] == QLatin1String("EOF") ? std::numeric_limits<qint64>::max() : f[7].toLongLong();
                if (last >= 120 && f[4].toInt() != ::getpid()) {
                    pid = pid_t(f[4].toInt());
                    break;
                }
            }
        }
    }
    if (pid <= 0)
        pid = processWithFileOpen(path);
    return pid > 0 ? describeProcess(pid) : QString();
}

QString quoteIdent(const QString &name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace quil::sql
