// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/ListRegister.h"

#include "store/Columns.h"
#include "text/DateText.h"

#include <QRegularExpression>

#include <algorithm>

namespace quil {
namespace {

QString listName(const mail::ListHeaders &h) {
    if (!h.listIdPhrase.trimmed().isEmpty())
        return h.listIdPhrase.trimmed();
    if (!h.from.name.trimmed().isEmpty())
        return h.from.name.trimmed();
    return h.from.address;
}

// The magazine ID stands in the List-Id as a number of its own
// ("0000123456.mag2.example"): digits not next to other digits.
bool listIdHolds(const QString &listId, int id) {
    if (id <= 0)
        return false;
    static const QRegularExpression digits(QStringLiteral("[0-9]+"));
    for (auto it = digits.globalMatch(listId); it.hasNext();) {
        bool ok = false;
        const qint64 n = it.next().captured().toLongLong(&ok);
        if (ok && n == id)
            return true;
    }
    return false;
}

} // namespace

void takeWaysToLeave(const mail::ListHeaders &h, ListInfo &info) {
    info.oneClick = h.oneClick ? h.firstHttps() : QString();
    info.web = h.firstWeb();
    info.mailto = h.firstMailto();
}

QString ListRegister::keyOf(const QString &listId, const QString &address) {
    return listId + u'\n' + address.toCaseFolded();
}

ListRegister::ListRegister(Table &magazines, QStringList own) : m_table(magazines), m_infos(magazines) {
    for (QString &a : own)
        a = a.trimmed();
    m_own = std::move(own);
    // The lists the register holds, with what taking a message needs of
    // their records, read once: a mailbox is thousands of messages.
    const QHash<qint64, ListInfo> lists = m_infos.all();
    if (lists.isEmpty())
        return;
    const QList<Bookmark> rows = m_table.bookmarks();
    const QStringList names = m_table.columnTexts(col::MBName);
    const QStringList services = m_table.columnTexts(col::Publishing);
    const QStringList states = m_table.columnTexts(col::DeleteState);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const auto it = lists.constFind(rows[i]);
        if (it == lists.constEnd())
            continue;
        Known k;
        k.info = *it;
        k.name = names[i];
        k.listRecord = services[i] == service::MailingList;
        k.cancelled = states[i] == state::Cancelled;
        m_known.insert(keyOf(it->listId, it->address), k);
    }
}

QString ListRegister::stillComingLine(const StillComing &s) {
    return QStringLiteral("解除後も配信が続いています: %1（最終 %2）").arg(s.name, datetext::display(s.last));
}

void ListRegister::take(const mail::ListHeaders &h, Bookmark parserRecord) {
    if (!h.isList())
        return;
    const QString listId = h.listKey();
    if (listId.isEmpty())
        return;
    const QString address = mail::readerAddress(h, m_own);
    const QString key = keyOf(listId, address);
    if (auto it = m_known.find(key); it != m_known.end()) {
        update(*it, h);
        return;
    }
    Known k;
    k.info.listId = listId;
    k.info.address = address;
    k.info.firstSeen = k.info.lastSeen = h.date;
    takeWaysToLeave(h, k.info);
    if (parserRecord == 0)
        parserRecord = parserRecordFor(h, address).value_or(0);
    if (parserRecord != 0 && m_table.bookmarkValid(parserRecord)) {
        // The record the parser made is this list's: it gets the ways to
        // leave, and its columns stay as the parser wrote them.
        k.info.row = parserRecord;
        k.listRecord = false;
        m_infos.save(k.info);
    } else {
        appendRecord(h, k.info);
        k.name = listName(h);
    }
    m_known.insert(key, k);
}

std::optional<Bookmark> ListRegister::parserRecordFor(const mail::ListHeaders &h, const QString &address) {
    QSet<qint64> lists;
    for (const Known &k : std::as_const(m_known))
        lists.insert(k.info.row);
    const QList<Bookmark> rows = m_table.bookmarks();
    const QStringList ids = m_table.columnTexts(col::MBID);
    const QStringList publishers = m_table.columnTexts(col::Publisher);
    const QStringList addresses = m_table.columnTexts(col::RegAddress);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (lists.contains(rows[i]))
            continue; // a list's record is found by its key
        const bool sameId = !h.listId.isEmpty() && listIdHolds(h.listId, ids[i].toInt());
        const bool samePublisher = !h.from.address.isEmpty()
                                && publishers[i].compare(h.from.address, Qt::CaseInsensitive) == 0
                                && addresses[i].compare(address, Qt::CaseInsensitive) == 0;
        if (sameId || samePublisher)
            return rows[i];
    }
    return std::nullopt;
}

void ListRegister::appendRecord(const mail::ListHeaders &h, ListInfo &info) {
    Table &t = m_table;
    t.append();
    t.fieldByName(col::Publishing).setAsString(service::MailingList);
    t.fieldByName(col::MBName).setAsString(listName(h));
    t.fieldByName(col::Publisher).setAsString(h.from.address);
    t.fieldByName(col::RegAddress).setAsString(info.address);
    if (h.date.isValid())
        t.fieldByName(col::RegTime).setAsDateTime(h.date);
    t.fieldByName(col::Explanation).setAsString(h.subject);
    t.fieldByName(col::DeleteState).setAsString(state::Subscribed);
    t.post();
    info.row = t.bookmark();
    m_infos.save(info);
    ++m_added;
}

void ListRegister::update(Known &k, const mail::ListHeaders &h) {
    ListInfo &info = k.info;
    const bool newer = !info.lastSeen.isValid() || (h.date.isValid() && h.date >= info.lastSeen);
    const bool earlier = h.date.isValid() && (!info.firstSeen.isValid() || h.date < info.firstSeen);
    const bool stillComing = info.leftAt.isValid() && h.date.isValid() && h.date > info.leftAt.addDays(kGraceDays);
    if (!newer && !earlier && !stillComing)
        return;
    m_dirty.insert(keyOf(info.listId, info.address));
    if (newer) {
        takeWaysToLeave(h, info);
        if (h.date.isValid())
            info.lastSeen = h.date;
        k.subject = h.subject;
        k.subjectChanged = k.listRecord;
    }
    if (earlier) {
        info.firstSeen = h.date;
        k.dateChanged = k.listRecord;
    }
    if (stillComing) {
        auto listed = std::find_if(m_stillComing.begin(), m_stillComing.end(),
                                   [&](const StillComing &s) { return s.name == k.name; });
        if (listed != m_stillComing.end()) {
            listed->last = std::max(listed->last, h.date);
        } else if (k.cancelled) {
            // Left, and it keeps coming: the reader is to leave it again.
            k.cancelled = false;
            k.backToCandidate = true;
            m_stillComing.append({k.name, h.date});
        }
    }
}

void ListRegister::flush() {
    const Bookmark back = m_table.bookmark();
    for (const QString &key : std::as_const(m_dirty)) {
        Known &k = m_known[key];
        if ((k.subjectChanged || k.dateChanged || k.backToCandidate) && m_table.bookmarkValid(k.info.row)) {
            m_table.gotoBookmark(k.info.row);
            if (m_table.state() == DataSetState::Browse)
                m_table.edit();
            if (k.subjectChanged)
                m_table.fieldByName(col::Explanation).setAsString(k.subject);
            if (k.dateChanged)
                m_table.fieldByName(col::RegTime).setAsDateTime(k.info.firstSeen);
            if (k.backToCandidate)
                m_table.fieldByName(col::DeleteState).setAsString(state::CancelCandidate);
            m_table.post();
        }
        k.subjectChanged = k.dateChanged = k.backToCandidate = false;
        m_infos.save(k.info);
    }
    m_dirty.clear();
    if (back != 0 && m_table.bookmarkValid(back) && m_table.bookmark() != back)
        m_table.gotoBookmark(back);
}

} // namespace quil
