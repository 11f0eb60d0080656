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
    // waiting. Throws with a message naming the file.
    void connect(bool exclusive);
    // Ends a running transaction and lets go; returns the commit's error, if any.
    QString disconnect();
    bool connected() const { return bool(m_db); }
    bool exclusiveHeld() const { return m_exclusive; }
    sql::Database &db() { return *m_db; }

    // Row ids and ordering keys in stored order; returns the largest id.
    qint64 readOrder(RowOrder &order);

    // Walks nest; the outermost one holds the transaction.
    // `begin`: the table is open, so the transaction starts now.
    void enterWalk(bool begin);
    QString leaveWalk();
    bool inWalk() const { return m_walkDepth > 0; }
    // After a reopen inside a walk the transaction starts again.
    void resumeWalk();

private:
    void createSchema(sql::Database &d) const;
    // Column count of the table in the file; 0 when it has none.
    int storedColumns(sql::Database &d, bool *matches) const;
    static void configure(sql::Database &d);
    QString endTransaction();

    QString m_dir;
    QString m_fileName;
    const std::vector<FieldDef> &m_schema;
    QString m_tableName;
    QString m_columnList;
    std::unique_ptr<sql::Database> m_db;
    int m_lockFd = -1;
    bool m_exclusive = false;
    int m_walkDepth = 0;
    bool m_inTxn = false;
};

} // namespace quil
