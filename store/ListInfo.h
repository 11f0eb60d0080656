// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a list record needs beyond the magazine table's 13 columns: the list
// it is, the ways to leave it, when it was seen and when and how it was
// left. Kept in a table of its own in the magazine table's file, keyed by the
// record's row; a deleted record takes its row along.
#include "store/Table.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

namespace quil {

struct ListInfo {
    qint64 row = 0;      // the record (its bookmark)
    QString listId;      // the List-Id id, or the From address without one
    QString address;     // the reader's address it comes to
    QString oneClick;    // the https: URI one POST leaves by; empty: not allowed
    QString web;         // a page to leave on
    QString mailto;      // a mail address to leave by
    QDateTime firstSeen; // the earliest message's date
    QDateTime lastSeen;  // the newest message's date
    QDateTime leftAt;    // invalid while not left
    QString leftHow;     // "one-click", "web", "mailto"
    QString leftAnswer;  // what the sender answered, as shown to the reader

    bool hasWayToLeave() const { return !oneClick.isEmpty() || !web.isEmpty() || !mailto.isEmpty(); }
};

class ListInfos {
public:
    // The statements that make the table; the data module gives them to the
    // magazine table before it opens.
    static QStringList schema();

    explicit ListInfos(Table &magazines);

    std::optional<ListInfo> forRecord(qint64 row);
    // The record of this list at this address (addresses compared without
    // regard to case).
    std::optional<ListInfo> find(const QString &listId, const QString &address);
    // Stored at once, or with the walk's commit.
    void save(const ListInfo &info);
    // Every record's, by row.
    QHash<qint64, ListInfo> all();

private:
    Table &m_table;
};

} // namespace quil
