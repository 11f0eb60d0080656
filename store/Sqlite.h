// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>

#include "text/Error.h"

#include <cstdint>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// A thin owning wrapper over the SQLite C API. Every failure becomes a
// quil::Error carrying the engine's message and the file it concerns; a full
// disk and another process's lock get messages of their own and the error
// kinds DiskFull and Busy.
namespace quil::sql {

class Database;

class Statement {
public:
    Statement() = default;
    // The statement must not outlive its database.
    Statement(const Database *owner, sqlite3_stmt *stmt) : m_owner(owner), m_stmt(stmt) {}
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
        std::swap(m_owner, o.m_owner);
        std::swap(m_stmt, o.m_stmt);
        std::swap(m_keep, o.m_keep);
    }
    void check(int rc) const;
    const Database *m_owner = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
    // Bound text stays here until the next reset, so the engine need not copy it.
    std::vector<QByteArray> m_keep;
};

class Database {
public:
    enum class Mode { ReadWrite, Create, Memory };
    // `where` names the table in error messages.
    Database(const QString &path, Mode mode, QString where);
    // How long a statement waits for another process's write lock before it
    // fails with a Busy error: long enough for a store or a batch of mail,
    // short enough that nobody takes the program for hung.
    static constexpr int kBusyTimeoutMs = 3000;
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
    // The same as a value; `message` replaces the engine's own text.
    Error error(int rc, const char *message = nullptr) const;
    // True when the last failure came from a full disk.
    bool lastFailureWasDiskFull() const;
    const QString &path() const { return m_path; }

private:
    sqlite3 *m_db = nullptr;
    QString m_path;
    QString m_where;
};

// Who holds the write lock of a database file in WAL mode, in words for a
// message ("他の Quillet のウィンドウ（プロセス番号 123）"); empty when nobody
// can be seen holding it.
QString writeLockHolder(const QString &path);

// An SQL identifier in double quotes.
QString quoteIdent(const QString &name);

} // namespace quil::sql
