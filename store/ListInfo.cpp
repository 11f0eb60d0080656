// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/ListInfo.h"

#include "store/Sqlite.h"

namespace quil {
namespace {

const QString kColumns = QStringLiteral(
    "row, list_id, address, one_click, web, mailto, first_seen, last_seen, left_at, left_how, left_answer");

QString stored(const QDateTime &t) { return t.isValid() ? t.toString(Qt::ISODateWithMs) : QString(); }
QDateTime loaded(const QString &s) { return s.isEmpty() ? QDateTime() : QDateTime::fromString(s, Qt::ISODateWithMs); }

ListInfo read(const sql::Statement &st) {
    ListInfo i;
    i.row = st.columnInt(0);
    i.listId = st.columnText(1);
    i.address = st.columnText(2);
    i.oneClick = st.columnText(3);
    i.web = st.columnText(4);
    i.mailto = st.columnText(5);
    i.firstSeen = loaded(st.columnText(6));
    i.lastSeen = loaded(st.columnText(7));
    i.leftAt = loaded(st.columnText(8));
    i.leftHow = st.columnText(9);
    i.leftAnswer = st.columnText(10);
    return i;
}

} // namespace

QStringList ListInfos::schema() {
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS quil_list (row INTEGER PRIMARY KEY, list_id TEXT NOT NULL, "
                       "address TEXT NOT NULL, one_click TEXT, web TEXT, mailto TEXT, first_seen TEXT, "
                       "last_seen TEXT, left_at TEXT, left_how TEXT, left_answer TEXT)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS quil_list_key ON quil_list (list_id, address COLLATE NOCASE)"),
        // A record that goes takes its list along; a row id used again later
        // must not find the old list.
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS quil_list_gone AFTER DELETE ON MMagaInfo "
                       "BEGIN DELETE FROM quil_list WHERE row = old.rowid; END"),
    };
}

ListInfos::ListInfos(Table &magazines) : m_table(magazines) {}

std::optional<ListInfo> ListInfos::forRecord(qint64 row) {
    auto st = m_table.sideDatabase().prepare(QStringLiteral("SELECT %1 FROM quil_list WHERE row = ?1").arg(kColumns));
    st.bindInt(1, row);
    if (!st.step())
        return std::nullopt;
    return read(st);
}

std::optional<ListInfo> ListInfos::find(const QString &listId, const QString &address) {
    auto st = m_table.sideDatabase().prepare(
        QStringLiteral("SELECT %1 FROM quil_list WHERE list_id = ?1 AND address = ?2 COLLATE NOCASE ORDER BY row LIMIT 1")
            .arg(kColumns));
    st.bindText(1, listId);
    st.bindText(2, address);
    if (!st.step())
        return std::nullopt;
    return read(st);
}

void ListInfos::save(const ListInfo &i) {
    auto st = m_table.sideDatabase().prepare(
        QStringLiteral("INSERT OR REPLACE INTO quil_list (%1) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)")
            .arg(kColumns));
    st.bindInt(1, i.row);
    st.bindText(2, i.listId);
    st.bindText(3, i.address);
    st.bindText(4, i.oneClick);
    st.bindText(5, i.web);
    st.bindText(6, i.mailto);
    st.bindText(7, stored(i.firstSeen));
    st.bindText(8, stored(i.lastSeen));
    st.bindText(9, stored(i.leftAt));
    st.bindText(10, i.leftHow);
    st.bindText(11, i.leftAnswer);
    st.run();
}

QHash<qint64, ListInfo> ListInfos::all() {
    QHash<qint64, ListInfo> out;
    auto st = m_table.sideDatabase().prepare(QStringLiteral("SELECT %1 FROM quil_list").arg(kColumns));
    while (st.step()) {
        ListInfo i = read(st);
        out.insert(i.row, i);
    }
    return out;
}

} // namespace quil
