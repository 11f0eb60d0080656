#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Mail as mail programs keep it: an Internet message (a .eml file), an mbox,
// or a Maildir folder, turned into the plain text the confirmation-mail
// parser reads.
namespace quil::mail {

enum class FileKind { Message, Mbox, Other };

// A header block of "Name: value" lines holding at least one of From, Date,
// Subject, MIME-Version or Content-Type, then an empty line: a message.
// "From " lines separating messages: an mbox. Anything else: Other.
FileKind classify(const QByteArray &bytes);

struct MailText {
    QString label; // where it came from: the file, and "#N" for the N-th message of an mbox
    QString text;  // the message's text, lines ended by CR LF
    QString error; // not empty: the message could not be decoded, and text is empty
    QString subject; // the decoded Subject, to name the message to the reader
};

// The texts of the messages the bytes hold: one for a message, one per
// message of an mbox, none for anything else.
QList<MailText> readMessages(const QByteArray &bytes, const QString &label);

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
