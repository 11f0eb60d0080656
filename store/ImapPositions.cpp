// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/ImapPositions.h"

#include "store/Sqlite.h"

namespace quil {

QStringList ImapPositions::schema() {
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS quil_imap (server TEXT NOT NULL, user TEXT NOT NULL, "
                       "mailbox TEXT NOT NULL, uidvalidity INTEGER NOT NULL, last_uid INTEGER NOT NULL, "
                       "PRIMARY KEY (server, user, mailbox))"),
    };
}

ImapPositions::ImapPositions(Table &magazines) : m_table(magazines) {}

std::optional<ImapPosition> ImapPositions::find(const QString &server, const QString &user, const QString &mailbox) {
    auto st = m_table.sideDatabase().prepare(QStringLiteral(
        "SELECT uidvalidity, last_uid FROM quil_imap WHERE server = ?1 AND user = ?2 AND mailbox = ?3"));
    st.bindText(1, server);
    st.bindText(2, user);
    st.bindText(3, mailbox);
    if (!st.step())
        return std::nullopt;
    return ImapPosition{quint32(st.columnInt(0)), quint32(st.columnInt(1))};
}

void ImapPositions::save(const QString &server, const QString &user, const QString &mailbox,
                         const ImapPosition &position) {
    auto st = m_table.sideDatabase().prepare(
        QStringLiteral("INSERT OR REPLACE INTO quil_imap (server, user, mailbox, uidvalidity, last_uid) "
                       "VALUES (?1, ?2, ?3, ?4, ?5)"));
    st.bindText(1, server);
    st.bindText(2, user);
    st.bindText(3, mailbox);
    st.bindInt(4, qint64(position.uidValidity));
    st.bindInt(5, qint64(position.lastUid));
    st.run();
}

} // namespace quil
