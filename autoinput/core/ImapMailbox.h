// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One mailbox on an IMAP server, read and never changed: opened with
// EXAMINE, messages fetched with BODY.PEEK, so that no flag (not even \Seen)
// moves. The protocol is the library's; this is the little the mail import
// needs of it. Every wait for the server is bounded.
#include "autoinput/core/ImapUrl.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace quil::imap {

struct MessageSize {
    quint32 uid = 0;
    quint32 size = 0; // RFC822.SIZE, in bytes
};

class Mailbox {
public:
    static constexpr int DefaultTimeoutSeconds = 30;

    // Connects (TLS from the start for imaps:, STARTTLS for imap:, refused
    // when the server does not offer it), checks the server's certificate
    // before anything is sent, logs in and examines the mailbox.
    // Errors (quil::Error, Japanese, naming the server): a server that
    // cannot be reached, does not answer in time or goes away is of kind
    // Unavailable; a refused login, an untrusted certificate, a missing
    // mailbox are General.
    Mailbox(const MailboxUrl &url, const QString &password, int timeoutSeconds = DefaultTimeoutSeconds);
    ~Mailbox(); // logs out when it can, without waiting long
    Mailbox(const Mailbox &) = delete;
    Mailbox &operator=(const Mailbox &) = delete;

    quint32 uidValidity() const;
    // The UID the next message will get, as the server told on EXAMINE;
    // 0 when it did not.
    quint32 uidNext() const;
    // The messages the mailbox held when it was examined.
    quint32 messageCount() const;
    // The messages whose UID is above `after`, in UID order, with their sizes.
    QList<MessageSize> messagesAbove(quint32 after);
    // The header block of each message (UID FETCH … BODY.PEEK[HEADER]), in
    // UID order; `take` is called once per message.
    void fetchHeaders(const QList<quint32> &uids, const std::function<void(quint32, const QByteArray &)> &take);
    // The whole of each message (UID FETCH … BODY.PEEK[]).
    void fetchMessages(const QList<quint32> &uids, const std::function<void(quint32, const QByteArray &)> &take);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace quil::imap
