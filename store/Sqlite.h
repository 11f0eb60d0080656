#pragma once
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// A thin owning wrapper over the SQLite C API. Every failure becomes a
// quil::Error carrying the engine's message and the file it concerns.
namespace quil::sql {

class Statement {
public:
    Statement() = default;
    Statement(sqlite3 *db, sqlite3_stmt *stmt, QString where) : m_db(db), m_stmt(stmt), m_where(std::move(where)) {}
    ~Statement();
    Statement(Statement &&other) noexcept { swap(other); }
    Statement &operator=(Statement &&other) noexcept {
        Statement tmp(std::move(other));
        swap(tmp);
        return *this;
    }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool valid() const { return m_stmt != nullptr; }
    void reset();

    // Parameters count from 1.
    void bindNull(int i);
    void bindInt(int i, std::int64_t v);
    void bindDouble(int i, double v);
    void bindText(int i, const QString &v);

    // True while a row is available; false when the statement has finished.
    bool step();
    // Runs to completion, then resets the statement for reuse.
    void run();

    bool isNull(int col) const;
    std::int64_t columnInt(int col) const;
    double columnDouble(int col) const;
    QString columnText(int col) const;
    // The column's UTF-8 bytes, valid until the next step.
    const char *columnRaw(int col, int &size) const;

private:
    void swap(Statement &o) noexcept {
        std::swap(m_db, o.m_db);
        std::swap(m_stmt, o.m_stmt);
        std::swap(m_where, o.m_where);
        std::swap(m_keep, o.m_keep);
    }
    void check(int rc) const;
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
    QString m_where;
    // Bound text stays here until the next reset, so the engine need not copy it.
    std::vector<QByteArray> m_keep;
};

class Database {
public:
    enum class Mode { ReadWrite, Create, Memory };
    // `where` names the table in error messages.
    Database(const QString &path, Mode mode, QString where);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    void exec(const QString &sql);
    Statement prepare(const QString &sql);
    std::int64_t lastInsertRowid() const;
    int changes() const;
    sqlite3 *handle() const { return m_db; }

    // The error for the engine's last failure.
    [[noreturn]] void fail(int rc) const;

private:
    sqlite3 *m_db = nullptr;
    QString m_where;
};

// An SQL identifier in double quotes.
QString quoteIdent(const QString &name);

} // namespace quil::sql
