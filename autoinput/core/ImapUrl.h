// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A mailbox on an IMAP server as the reader names it (RFC 5092):
// imaps://USER@HOST[:PORT]/MAILBOX, or imap://… which is upgraded with
// STARTTLS. The user and the mailbox are percent-encoded UTF-8.
#include <QString>
#include <optional>

namespace quil::imap {

struct MailboxUrl {
    bool implicitTls = true; // imaps: TLS from the start; imap: STARTTLS
    QString user;            // decoded
    QString host;            // lowercased; an IPv6 address without brackets
    quint16 port = 993;
    QString mailbox;         // decoded; "INBOX" when the URL names none

    // The URL again, for messages: the scheme, user, host, port when it is
    // not the scheme's own, and the mailbox, without anything secret (a URL
    // never holds a password here).
    QString display() const;
    // The server as messages name it: "host:port".
    QString server() const;
    // What the register keys the mailbox's position by: the host alone, so
    // that imap:// and imaps:// to one server share it (a different server
    // on another port tells itself apart by its UIDVALIDITY).
    QString positionKey() const { return host; }
};

// Whether the argument is meant as a mailbox URL (it starts with imap:// or
// imaps://, in any letter case), so that a mistyped one is reported as such
// and not looked for as a file.
bool looksLikeUrl(const QString &arg);

// The URL read; an Error (Japanese, naming the argument and what is wrong)
// for one that cannot be used: no user, no host, a port out of range, a
// password in it, a query or fragment, or parts of RFC 5092 this reader does
// not take (";AUTH=", ";UID=", ";UIDVALIDITY=" and the like).
MailboxUrl parseUrl(const QString &arg);

} // namespace quil::imap
