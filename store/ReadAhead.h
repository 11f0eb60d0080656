// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The read-ahead of rows: a move fetches the record it lands on together with
// the next ones in the direction of travel, so that a walk pays for one
// statement per batch instead of one per record. Internal to the engine.
#include "store/Sqlite.h"
#include "store/Table.h"

#include <QByteArray>
#include <QVarLengthArray>
#include <unordered_map>

namespace quil {

// One stored record as read: its columns packed into one block, turned into
// values only when a field is read, so that walking costs little.
struct StoredRow {
    QByteArray bytes;
    QVarLengthArray<int, 16> offset; // column i spans offset[i]..offset[i + 1]
    QVarLengthArray<char, 16> kind;  // 'n' null, 'i' 64-bit integer, 't' UTF-8 text
    bool valid() const { return !kind.isEmpty(); }
};

// The value of column i; a date stays in its stored form.
QVariant decode(const StoredRow &row, int i, const FieldDef &def);

class ReadAhead {
public:
    static constexpr int kBatch = 64;

    // Prepares the statements on an open connection.
    void prepare(sql::Database &db, const QString &tableName, const QString &columnList, const QString &orderColumn,
                 const std::vector<FieldDef> &schema);
    // Drops the statements and every row read.
    void finalize();

    // The stored record with this id and ordering key, read with the next
    // ones in the direction of travel (+1 forward, -1 backward); an invalid
    // row when it is gone.
    StoredRow fetch(qint64 id, double key, int direction);
    // Own changes make a row read earlier stale.
    void drop(qint64 id) { m_rows.erase(id); }
    void clear() { m_rows.clear(); }

private:
    void readInto(sql::Statement &st);

    const std::vector<FieldDef> *m_schema = nullptr;
    sql::Statement m_one, m_forward, m_backward;
    std::unordered_map<qint64, StoredRow> m_rows;
};

} // namespace quil
