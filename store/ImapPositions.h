// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How far each IMAP mailbox has been read: per server, user and mailbox, the
// UIDVALIDITY seen and the highest UID whose message is stored. Kept in a
// table of its own in the magazine table's file, so that a position is
// committed with the records of the messages up to it.
#include "store/Table.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace quil {

struct ImapPosition {
    quint32 uidValidity = 0;
    quint32 lastUid = 0; // 0: nothing read yet
};

class ImapPositions {
public:
    // The statements that make the table, given to the magazine table
    // before it opens, beside the lists'.
    static QStringList schema();

    explicit ImapPositions(Table &magazines);

    // `server` names the server (its host).
    std::optional<ImapPosition> find(const QString &server, const QString &user, const QString &mailbox);
    // Stored with the walk's commit (at once outside a walk).
    void save(const QString &server, const QString &user, const QString &mailbox, const ImapPosition &position);

private:
    Table &m_table;
};

} // namespace quil
