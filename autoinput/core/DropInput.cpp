// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/DropInput.h"

#include "autoinput/core/Jis.h"
#include "text/Cp932.h"

#include <QBuffer>
#include <QFileInfo>

namespace quil::drop {

QList<Line> splitBytes(const QByteArray &bytes) {
    QList<Line> lines;
    qsizetype n = bytes.indexOf('\0');
    if (n < 0)
        n = bytes.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.append(Line{bytes.mid(start, i - start), {}, false});
            i += (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < n)
        lines.append(Line{bytes.mid(start, n - start), {}, false});
    return lines;
}

FileLines fileLines(const QByteArray &bytes, const QString &path) {
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    return fileLines(in, path);
}

FileLines fileLines(QIODevice &in, const QString &path) {
    FileLines result;
    mail::MailReader reader(in, path);
    if (reader.kind() == mail::FileKind::Other) {
        result.lines.append(Line{});
        result.lines.append(splitBytes(reader.text()));
        return result;
    }
    mail::MailText m;
    while (reader.next(m)) {
        if (!m.error.isEmpty()) {
            result.unreadable.append(m);
            continue;
        }
        if (m.list.isList())
            result.lists.append(m.list);
        result.lines.append(Line{{}, {}, true});
        // The reader hands back CR LF after every line.
        QStringList lines = m.text.split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        for (QString &l : lines)
            result.lines.append(Line{{}, std::move(l), true});
    }
    return result;
}

FileLines readFile(const QString &path) {
    const std::unique_ptr<QFile> file = mail::openRegularFile(path);
    return fileLines(*file, path);
}

QStringList droppedFiles(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (!info.isDir())
        return {path};
    return mail::maildirFiles(path);
}

void jisToShiftJis(QList<Line> &lines) {
    QList<QByteArray> raw;
    for (const Line &l : lines)
        if (!l.decoded)
            raw.append(l.bytes);
    const QList<QByteArray> converted = jis::JisToShiftJisLines(raw);
    qsizetype k = 0;
    for (Line &l : lines)
        if (!l.decoded)
            l.bytes = converted[k++];
}

QString joinLines(const QList<Line> &lines) {
    QString text;
    for (const Line &l : lines) {
        text += l.decoded ? l.text : cp932::decode(l.bytes);
        text += u'\n';
    }
    return text;
}

QString unreadableMessage(const mail::MailText &mail) {
    QString text = QStringLiteral("メール '%1' を読み込めませんでした。").arg(mail.label);
    if (!mail.subject.isEmpty())
        text += QStringLiteral("\n件名: %1").arg(mail::echoed(mail.subject));
    text += u'\n' + mail.error;
    return text;
}

} // namespace quil::drop
