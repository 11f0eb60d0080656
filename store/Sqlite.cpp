#include "store/Sqlite.h"

#include "text/Error.h"

#include <sqlite3.h>

#include <mutex>

namespace quil::sql {
namespace {

QString engineError(const QString &where, const char *message) {
    return QStringLiteral("データベースエラー（%1）: %2").arg(where, QString::fromUtf8(message));
}

// Case folding for a locate that ignores case; Qt folds full-width letters too.
void foldFunction(sqlite3_context *ctx, int, sqlite3_value **argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    int n = sqlite3_value_bytes(argv[0]);
    QByteArray folded = QString::fromUtf8(text, n).toCaseFolded().toUtf8();
    sqlite3_result_text(ctx, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
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
        throw Error(engineError(m_where, sqlite3_errmsg(m_db)));
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
    QString msg = engineError(m_where, sqlite3_errmsg(m_db));
    sqlite3_reset(m_stmt);
    throw Error(msg);
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

Database::Database(const QString &path, Mode mode, QString where) : m_where(std::move(where)) {
    // One connection per table, used from one thread: no locking per call.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (mode != Mode::ReadWrite)
        flags |= SQLITE_OPEN_CREATE;
    configureLibrary();
    QByteArray p = mode == Mode::Memory ? QByteArray(":memory:") : path.toUtf8();
    int rc = sqlite3_open_v2(p.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        QString msg = engineError(m_where, m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
        sqlite3_close(m_db);
        m_db = nullptr;
        throw Error(msg);
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, 5000);
    sqlite3_create_function_v2(m_db, "quil_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, foldFunction,
                               nullptr, nullptr, nullptr);
}

Database::~Database() {
    if (m_db)
        sqlite3_close_v2(m_db);
}

void Database::fail(int) const { throw Error(engineError(m_where, sqlite3_errmsg(m_db))); }

void Database::exec(const QString &sql) {
    char *err = nullptr;
    int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        QString msg = engineError(m_where, err ? err : sqlite3_errstr(rc));
        sqlite3_free(err);
        throw Error(msg);
    }
}

Statement Database::prepare(const QString &sql) {
    sqlite3_stmt *stmt = nullptr;
    QByteArray u = sql.toUtf8();
    int rc = sqlite3_prepare_v2(m_db, u.constData(), int(u.size()), &stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
    return Statement(m_db, stmt, m_where);
}

std::int64_t Database::lastInsertRowid() const { return sqlite3_last_insert_rowid(m_db); }
int Database::changes() const { return sqlite3_changes(m_db); }

QString quoteIdent(const QString &name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace quil::sql
