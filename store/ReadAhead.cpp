// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/ReadAhead.h"

#include <cstring>

namespace quil {
namespace {

bool isNumberColumn(FieldType t) {
    return t == FieldType::Integer || t == FieldType::SmallInt || t == FieldType::Boolean;
}

StoredRow readRow(const sql::Statement &s, int firstCol, const std::vector<FieldDef> &schema) {
    StoredRow row;
    const int n = int(schema.size());
    row.offset.resize(n + 1);
    row.kind.resize(n);
    row.bytes.reserve(256);
    for (int i = 0; i < n; ++i) {
        const int c = firstCol + i;
        row.offset[i] = int(row.bytes.size());
        if (s.isNull(c)) {
            row.kind[i] = 'n';
        } else if (isNumberColumn(schema[size_t(i)].type)) {
            qint64 v = s.columnInt(c);
            row.kind[i] = 'i';
            row.bytes.append(reinterpret_cast<const char *>(&v), sizeof v);
        } else {
            int size = 0;
            const char *p = s.columnRaw(c, size);
            row.kind[i] = 't';
            row.bytes.append(p, size);
        }
    }
    row.offset[n] = int(row.bytes.size());
    return row;
}

} // namespace

QVariant decode(const StoredRow &row, int i, const FieldDef &def) {
    const char *p = row.bytes.constData() + row.offset[i];
    const int size = row.offset[i + 1] - row.offset[i];
    switch (row.kind[i]) {
    case 'i': {
        qint64 v = 0;
        std::memcpy(&v, p, sizeof v);
        return def.type == FieldType::Boolean ? QVariant(v != 0) : QVariant(int(v));
    }
    case 't':
        return QVariant(QString::fromUtf8(p, size)); // a date stays in its stored form
    default:
        return QVariant();
    }
}

void ReadAhead::prepare(sql::Database &db, const QString &tableName, const QString &columnList,
                        const QString &orderColumn, const std::vector<FieldDef> &schema) {
    m_schema = &schema;
    m_one = db.prepare(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid = ?1").arg(columnList, tableName));
    m_forward = db.prepare(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE %3 >= ?1 ORDER BY %3, rowid LIMIT %4")
                               .arg(columnList, tableName, orderColumn)
                               .arg(kBatch));
    m_backward =
        db.prepare(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE %3 <= ?1 ORDER BY %3 DESC, rowid DESC LIMIT %4")
                       .arg(columnList, tableName, orderColumn)
                       .arg(kBatch));
    m_rows.clear();
}

void ReadAhead::finalize() {
    m_one = sql::Statement();
    m_forward = sql::Statement();
    m_backward = sql::Statement();
    m_rows.clear();
}

void ReadAhead::readInto(sql::Statement &st) {
    while (st.step())
        m_rows[st.columnInt(0)] = readRow(st, 1, *m_schema);
    st.reset();
}

StoredRow ReadAhead::fetch(qint64 id, double key, int direction) {
    auto it = m_rows.find(id);
    if (it != m_rows.end())
        return it->second;
    if (m_rows.size() > 4 * size_t(kBatch))
        m_rows.clear();
    sql::Statement &batch = direction >= 0 ? m_forward : m_backward;
    batch.bindDouble(1, key);
    readInto(batch);
    it = m_rows.find(id);
    if (it == m_rows.end()) { // keys out of step with another process
        m_one.bindInt(1, id);
        readInto(m_one);
        it = m_rows.find(id);
        if (it == m_rows.end())
            return StoredRow();
    }
    return it->second;
}

} // namespace quil
