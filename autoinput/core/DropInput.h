// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "autoinput/core/MailReader.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>

// What a drop on the automatic-input window puts into its text area, line by
// line, before the window joins it to what is there.
namespace quil::drop {

// Lines of dragged text and of text files are bytes, taken as they came
// (Shift_JIS, or 7-bit JIS from some mail programs). Lines of a mail are
// text already decoded from the mail's own charset.
struct Line {
    QByteArray bytes;
    QString text;
    bool decoded = false;
};

// Byte lines: CR LF, a lone CR and a lone LF each end a line, a break at the
// very end starts no further line, and a NUL ends the text.
QList<Line> splitBytes(const QByteArray &bytes);

struct FileLines {
    QList<Line> lines;
    QList<mail::MailText> unreadable; // messages whose text could not be decoded
    QList<mail::ListHeaders> lists;   // the list headers of the messages that belong to a list
};

// A dropped file: an empty line, then its lines. A message or an mbox gives
// an empty line and the text for each message that could be read instead.
FileLines fileLines(const QByteArray &bytes, const QString &path);
// The same read from a device, an mbox message by message. A file that is no
// mail and larger than the mail reader takes is an Error.
FileLines fileLines(QIODevice &in, const QString &path);
// The same for a file on disk, opened only when it is a regular file: a FIFO
// or a device is refused rather than waited for. Errors name the file.
FileLines readFile(const QString &path);

// The files a dropped path stands for: the path itself when it is no folder,
// the messages of a Maildir (the mail reader's rule), and nothing for a
// missing path or another folder. A Maildir part that cannot be listed is an
// Error naming it.
QStringList droppedFiles(const QString &path);

// 7-bit JIS in the byte lines turned into Shift_JIS; kanji mode carries over
// from one byte line to the next. Decoded lines hold no escapes to convert
// and are passed over.
void jisToShiftJis(QList<Line> &lines);

// The lines as text, each followed by "\n".
QString joinLines(const QList<Line> &lines);

// The message box text naming a message that could not be read.
QString unreadableMessage(const mail::MailText &mail);

} // namespace quil::drop
