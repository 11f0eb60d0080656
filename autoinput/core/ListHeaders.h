#pragma once
// What a message tells of the list it belongs to, from its headers
// (List-Id, List-Unsubscribe, List-Unsubscribe-Post, From, the addresses it
// was delivered to, Date, Subject), and whether one HTTPS POST may leave it.
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace quil::mail {

struct Mailbox {
    QString name;    // the display name, RFC 2047-decoded; may be empty
    QString address; // addr-spec, as written
};

struct ListHeaders {
    QString listIdPhrase; // the phrase before "<…>" of List-Id, RFC 2047-decoded
    QString listId;       // the id between "<" and ">" of List-Id
    QStringList unsubscribe; // every URI of List-Unsubscribe, in order, without "<" ">"
    QString unsubscribePost; // List-Unsubscribe-Post, blanks around it trimmed
    Mailbox from;
    // Addresses of Delivered-To (every such header), X-Original-To, To and
    // Cc, each in header order.
    QStringList deliveredTo, originalTo, to, cc;
    QDateTime date;  // invalid when missing or unreadable
    QString subject; // RFC 2047-decoded
    // One-click may be used: List-Unsubscribe-Post is exactly
    // "List-Unsubscribe=One-Click", List-Unsubscribe holds an https: URI, and
    // the topmost Authentication-Results reports dkim=pass for the d= of a
    // DKIM-Signature whose h= lists both List-Unsubscribe and
    // List-Unsubscribe-Post.
    bool oneClick = false;

    // A message with List-Unsubscribe or List-Id belongs to a list.
    bool isList() const { return !listId.isEmpty() || !unsubscribe.isEmpty(); }
    // The list's name in the register: the List-Id id, else the From address.
    QString listKey() const { return listId.isEmpty() ? from.address : listId; }
    // The first https: URI of List-Unsubscribe (the one a POST goes to), the
    // first http: or https: one (a page to open), the first mailto: one.
    QString firstHttps() const;
    QString firstWeb() const;
    QString firstMailto() const;
};

// The reader's address the message came to: the first address of
// Delivered-To, X-Original-To, To, Cc (in that order) that is one of `own`
// (letters compared without regard to case, blanks around the lines
// ignored); else the first To address; else empty.
QString readerAddress(const ListHeaders &headers, const QStringList &own);

} // namespace quil::mail
