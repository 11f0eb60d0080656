// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Newsletters that announce themselves: each list a reader receives at an
// address is one record of the register, kept up to date from every message
// of it that is read, and watched for mail that keeps coming after it was
// left.
#include "autoinput/core/ListHeaders.h"
#include "store/ListInfo.h"
#include "store/Table.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QStringList>

namespace quil {

// A list that was left and whose mail still came more than two days later.
struct StillComing {
    QString name;
    QDateTime last; // the newest such message
};

class ListRegister {
public:
    // Days a sender is given to act on a leaving before its mail counts as
    // still coming.
    static constexpr int kGraceDays = 2;

    // `own`: the reader's addresses (the lines of MADDRESS.ini). Reads the
    // lists the register holds once; the register must not change under it
    // by other hands until flush().
    ListRegister(Table &magazines, QStringList own);

    // Takes one message's list headers; nothing for a message of no list.
    // `parserRecord`: the record the confirmation-mail parser made from the
    // same message (0 for none), which the list's ways to leave go to. A new
    // list's record is appended at once; what later messages change in
    // known records is stored by flush().
    void take(const mail::ListHeaders &headers, Bookmark parserRecord = 0);
    // Stores what the messages taken since the last flush changed.
    void flush();
    bool pending() const { return !m_dirty.isEmpty(); }

    // Records this register appended.
    int added() const { return m_added; }
    QList<StillComing> stillComing() const { return m_stillComing; }

    // "解除後も配信が続いています: NAME（最終 yyyy/MM/dd hh:mm:ss）".
    static QString stillComingLine(const StillComing &s);

private:
    struct Known {
        ListInfo info;
        QString name;           // the record's "メールマガジン名"
        bool listRecord = true; // a record of its own, not a parser's
        bool cancelled = false; // the record is in state "解除"
        QString subject;        // the newest message's, to store
        bool subjectChanged = false, dateChanged = false, backToCandidate = false;
    };
    static QString keyOf(const QString &listId, const QString &address);
    std::optional<Bookmark> parserRecordFor(const mail::ListHeaders &h, const QString &address);
    void appendRecord(const mail::ListHeaders &h, ListInfo &info);
    void update(Known &known, const mail::ListHeaders &h);

    Table &m_table;
    ListInfos m_infos;
    QStringList m_own;
    QHash<QString, Known> m_known; // by list and address
    QSet<QString> m_dirty;
    int m_added = 0;
    QList<StillComing> m_stillComing;
};

// The ways to leave that a message's headers give, and whether one-click
// may be used, into the list's side record.
void takeWaysToLeave(const mail::ListHeaders &h, ListInfo &info);

} // namespace quil
