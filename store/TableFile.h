// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The table file: its schema, the connection with its advisory lock, and the
// transaction of a walk. Internal to the engine.
#include "store/RowOrder.h"
#include "store/Sqlite.h"
#include "store/Table.h"

#include <memory>

namespace quil {

class TableFile {
public:
    static const QString &memoryName(); // ":memory:"
    static const QString &orderColumn(); // the hidden ordering key

    TableFile(QString fileName, const std::vector<FieldDef> &schema);

    void setDirectory(const QString &dir);
    const QString &directory() const { return m_dir; }
    const QString &fileName() const { return m_fileName; }
    QString path() const;
    bool memory() const { return m_dir == memoryName(); }
    const QString &tableName() const { return m_tableName; }   // quoted
    const QString &columnList() const { return m_columnList; } // quoted, comma separated

    // Creates the file with its schema when missing (0600); true when created.
    // `open`: the table is open in this process.
    bool createIfMissing(bool open);

    // Opens the connection and takes the shared or exclusive lock without
    // waiting. Throws with a message naming the file. On a full disk, where
    // the engine cannot size its shared-memory file, the connection keeps
    // that index in its own memory instead (and holds the file alone while
    // open), so that the register can still be read.
    void connect(bool exclusive);
    // Ends a running transaction and lets go; returns the commit's error, if any.
    QString disconnect();
    bool connected() const { return bool(m_db); }
    bool exclusiveHeld() const { return m_exclusive; }
    sql::Database &db() { return *m_db; }

    // Row ids and ordering keys in stored order; returns the largest id.
    qint64 readOrder(RowOrder &order);

    // Walks nest; the outermost one holds the transaction.
    // `begin`: the table is open, so the transaction starts now. A writing
    // walk takes the write lock at once (waiting a bounded time for it), so
    // that it never fails half-way for want of it.
    void enterWalk(bool begin, bool writing);
    // Commits when the outermost walk ends; throws the commit's error, and
    // the walk's changes are then not in the file.
    void leaveWalk();
    bool inWalk() const { return m_walkDepth > 0; }
    // After a reopen inside a walk the transaction starts again.
    void resumeWalk();
    // Commits the walk's transaction now, before the program waits for the
    // reader; the rest of the walk stores each change on its own. Throws the
    // commit's error.
    void commitForWait();

    // Small values of the program's own kept beside the table in the same
    // file. A missing value reads as empty; setting one is durable when it
    // returns (or with the walk's commit).
    QString sideValue(const QString &key);
    // Statements that make the owner's own tables beside the records
    // ("CREATE TABLE IF NOT EXISTS …"), run once when an older file is opened.
    void setSideSchema(QStringList statements) { m_sideSchema = std::move(statements); }
    void setSideValue(const QString &key, const QString &value);

private:
    void createSchema(sql::Database &d) const;
    // Column count of the table in the file; 0 when it has none.
    int storedColumns(sql::Database &d, bool *matches) const;
    static void configure(sql::Database &d);
    // Opens and configures a connection, falling back to an in-memory index
    // where a full disk refuses the shared-memory file.
    std::unique_ptr<sql::Database> openConnection(const QString &file) const;
    // Adds what an older file lacks; a file that cannot be written (full
    // disk, read-only) is still read.
    void upgrade(sql::Database &d) const;
    void beginTransaction();
    void commitTransaction();
    QString endTransaction();

    QString m_dir;
    QString m_fileName;
    const std::vector<FieldDef> &m_schema;
    QString m_tableName;
    QString m_columnList;
    std::unique_ptr<sql::Database> m_db;
    int m_lockFd = -1;
    bool m_exclusive = false;
    QStringList m_sideSchema;
    int m_walkDepth = 0;
    bool m_inTxn = false;
    bool m_writingWalk = true;
    bool m_perStatement = false; // committed for a wait: the rest of the walk runs without a transaction
};

} // namespace quil
