// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "autoinput/core/ListHeaders.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// Mail as mail programs keep it: an Internet message (a .eml file), an mbox,
// or a Maildir folder, turned into the plain text the confirmation-mail
// parser reads.
namespace quil::mail {

enum class FileKind { Message, Mbox, Other };

// A header block of "Name: value" lines holding at least one of From, Date,
// Subject, MIME-Version or Content-Type, then an empty line: a message.
// "From " lines separating messages: an mbox. Anything else: Other.
FileKind classify(const QByteArray &bytes);

// The most that is held of one message, or of a text that is no mail: far
// beyond any confirmation mail, and what the automatic-input window holds.
constexpr qint64 MaxMessageBytes = qint64(64) * 1024 * 1024;

struct MailText {
    QString label; // where it came from: the file, and "#N" for the N-th message of an mbox
    QString text;  // the message's text, lines ended by CR LF
    QString error; // not empty: the message could not be decoded, and text is empty
    QString subject; // the decoded Subject, to name the message to the reader
    // The list headers, for every message GMime could read (one too large
    // to hold included, when its header block is whole); nothing for a
    // text that is no mail.
    ListHeaders list;
};

// One source (a file, standard input) read as a stream: an mbox message by
// message, so that no more than one message is held at a time. The device
// stays the caller's. Read failures throw Error naming the label.
class MailReader {
public:
    MailReader(QIODevice &in, QString label, qint64 limit = MaxMessageBytes);
    ~MailReader();
    MailReader(const MailReader &) = delete;
    MailReader &operator=(const MailReader &) = delete;

    // What the source holds; reads only as far as it takes to tell.
    FileKind kind();
    // The next message of a Message or an Mbox; false after the last one.
    // A message larger than the limit comes back with an error; the next
    // call goes on after it.
    bool next(MailText &mail);
    // All bytes of a source that is no mail; one larger than the limit is
    // an Error.
    QByteArray text();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The texts of the messages the bytes hold: one for a message, one per
// message of an mbox, none for anything else.
QList<MailText> readMessages(const QByteArray &bytes, const QString &label);

// The file opened for reading when it is a regular file. A FIFO, a device or
// a socket would block or never end, so it is refused, as is a file that
// cannot be opened; the Error names the path.
std::unique_ptr<QFile> openRegularFile(const QString &path);

// A folder holding new/ or cur/ (or both) is a Maildir. Throws Error when
// the folder cannot be looked into.
bool isMaildir(const QString &dir);

// The message files of a Maildir, from each of new/ and cur/ that exists,
// in name order; nothing for a folder that is no Maildir. A part that cannot
// be listed, or an entry there that is neither a file nor a folder, is an
// Error naming it.
QStringList maildirFiles(const QString &dir);

// A name taken from a mail (a charset, a subject) as it may be echoed in a
// message: cut to a length a reader can take in, control characters shown
// as U+FFFD.
QString echoed(const QString &name);

} // namespace quil::mail
