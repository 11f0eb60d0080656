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

// Moves to a record and holds it in editing; the caller stores it.
void editRecord(Table &t, Bookmark row) {
    t.gotoBookmark(row);
    if (t.state() == DataSetState::Browse)
        t.edit();
}

} // namespace

void takeWaysToLeave(const mail::ListHeaders &h, ListInfo &info) {
    info.oneClick = h.oneClick ? h.firstHttps() : QString();
    info.web = h.firstWeb();
    info.mailto = h.firstMailto();
}

ListRegister::ListRegister(Table &magazines, QStringList own) : m_table(magazines), m_infos(magazines) {
    for (QString &a : own)
        a = a.trimmed();
    m_own = std::move(own);
}

QString ListRegister::stillComingLine(const StillComing &s) {
    return QStringLiteral("解除後も配信が続いています: %1（最終 %2）").arg(s.name, datetext::display(s.last));
}

void ListRegister::take(const mail::ListHeaders &h, Bookmark parserRecord) {
    if (!h.isList())
        return;
    const QString key = h.listKey();
    if (key.isEmpty())
        return;
    const QString address = mail::readerAddress(h, m_own);
    if (std::optional<ListInfo> known = m_infos.find(key, address); known && m_table.bookmarkValid(known->row)) {
        updateRecord(h, *known);
        return;
    }
    ListInfo info;
    info.listId = key;
    info.address = address;
    info.firstSeen = info.lastSeen = h.date;
    takeWaysToLeave(h, info);
    if (parserRecord == 0)
        parserRecord = parserRecordFor(h, address).value_or(0);
    if (parserRecord != 0 && m_table.bookmarkValid(parserRecord)) {
        // The record the parser made is this list's: it gets the ways to
        // leave, and its columns stay as the parser wrote them.
        info.row = parserRecord;
        m_infos.save(info);
        return;
    }
    appendRecord(h, info);
}

std::optional<Bookmark> ListRegister::parserRecordFor(const mail::ListHeaders &h, const QString &address) {
    // Records of lists are left out: a list's record is found by its key.
    const QHash<qint64, ListInfo> lists = m_infos.all();
    const Bookmark back = m_table.bookmark();
    std::optional<Bookmark> found;
    const QStringList ids = m_table.columnTexts(col::MBID);
    const QStringList publishers = m_table.columnTexts(col::Publisher);
    const QStringList addresses = m_table.columnTexts(col::RegAddress);
    for (int i = 0; i < ids.size() && !found; ++i) {
        const bool sameId = !h.listId.isEmpty() && listIdHolds(h.listId, ids[i].toInt());
        const bool samePublisher = !h.from.address.isEmpty()
                                && publishers[i].compare(h.from.address, Qt::CaseInsensitive) == 0
                                && addresses[i].compare(address, Qt::CaseInsensitive) == 0;
        if (!sameId && !samePublisher)
            continue;
        // The position's row: the cursor goes there and back.
        m_table.first();
        m_table.moveBy(i);
        const Bookmark row = m_table.bookmark();
        if (!lists.contains(row))
            found = row;
    }
    if (back != 0 && m_table.bookmarkValid(back) && m_table.bookmark() != back)
        m_table.gotoBookmark(back);
    return found;
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

void ListRegister::updateRecord(const mail::ListHeaders &h, ListInfo &info) {
    Table &t = m_table;
    const bool newer = !info.lastSeen.isValid() || (h.date.isValid() && h.date >= info.lastSeen);
    const bool earlier = h.date.isValid() && (!info.firstSeen.isValid() || h.date < info.firstSeen);
    const bool stillComing = info.leftAt.isValid() && h.date.isValid() && h.date > info.leftAt.addDays(kGraceDays);
    if (!newer && !earlier && !stillComing)
        return;
    editRecord(t, info.row);
    if (newer) {
        takeWaysToLeave(h, info);
        if (h.date.isValid())
            info.lastSeen = h.date;
        if (t.fieldByName(col::Publishing).asString() == service::MailingList)
            t.fieldByName(col::Explanation).setAsString(h.subject);
    }
    if (earlier) {
        info.firstSeen = h.date;
        if (t.fieldByName(col::Publishing).asString() == service::MailingList)
            t.fieldByName(col::RegTime).setAsDateTime(h.date);
    }
    if (stillComing) {
        const QString name = t.fieldByName(col::MBName).asString();
        auto listed = std::find_if(m_stillComing.begin(), m_stillComing.end(),
                                   [&](const StillComing &s) { return s.name == name; });
        if (listed != m_stillComing.end()) {
            listed->last = std::max(listed->last, h.date);
        } else if (t.fieldByName(col::DeleteState).asString() == state::Cancelled) {
            // Left, and it keeps coming: the reader is to leave it again.
            t.fieldByName(col::DeleteState).setAsString(state::CancelCandidate);
            m_stillComing.append({name, h.date});
        }
    }
    t.post();
    m_infos.save(info);
}

} // namespace quil
