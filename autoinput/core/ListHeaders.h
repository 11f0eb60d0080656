// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a message tells of the list it belongs to, from its headers
// (List-Id, List-Unsubscribe, List-Unsubscribe-Post, From, the addresses it
// was delivered to, Date, Subject), and whether one HTTPS POST may leave it.
#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace quil::mail {

struct Mailbox {
    QString name;    // the display name, RFC 2047-decoded; may be empty
    QString address; // the address itself, as written

    bool operator==(const Mailbox &) const = default;
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
    // The instant of Date with the sender's own offset from UTC (a Date
    // without one counts as UTC); toLocalTime() gives the reader's clock.
    // Invalid when missing or unreadable.
    QDateTime date;
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

    bool operator==(const ListHeaders &) const = default;
};

// The reader's address the message came to: the first address of
// Delivered-To, X-Original-To, To, Cc (in that order) that is one of `own`
// (letters compared without regard to case, blanks around the lines
// ignored), given as the line of `own` spells it; else the first To address;
// else empty.
QString readerAddress(const ListHeaders &headers, const QStringList &own);

// ---- the header values, as the mail reader hands them over ----------------
// Each takes a field's raw value, folded and undecoded, as the message holds it.

// The URIs of a List-Unsubscribe (or any RFC 2369) field: each one in angle
// brackets, in order, blanks inside removed; comments and anything outside
// brackets ignored. At most MaxListUris.
constexpr qsizetype MaxListUris = 64;
QStringList listUris(QByteArrayView value);

// A List-Id field: the phrase before "<id>" with comments dropped and quotes
// undone (still RFC 2047-encoded), and the id. Both empty without "<id>".
struct ListIdField {
    QByteArray phrase;
    QString id;
};
ListIdField listIdField(QByteArrayView value);

// What one-click is judged by beyond the list fields themselves.
struct SigningHeaders {
    QByteArray authenticationResults; // the topmost Authentication-Results only
    QList<QByteArray> dkimSignatures; // every DKIM-Signature
    // How many List-Unsubscribe and List-Unsubscribe-Post fields the message
    // holds: a signature covers the topmost one only when h= names the field
    // at least that often (DKIM signs repeated fields from the bottom up).
    int unsubscribeFields = 0;
    int unsubscribePostFields = 0;
};

// Whether the list fields (unsubscribe, unsubscribePost) with these headers
// allow one-click. A dkim=pass result names its signature by domain
// (header.d, else the domain of header.i) and, when given, header.b, the
// start of its b= tag; every DKIM-Signature it may name must cover both
// list fields, so that a second, failing signature of the same domain
// cannot lend its h= to the one that passed. More DKIM-Signatures than real
// mail carries (16) never allow it.
bool oneClickAllowed(const ListHeaders &list, const SigningHeaders &signing);

} // namespace quil::mail
