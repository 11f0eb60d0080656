// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Exported registry files made the way the Windows registry editor writes
// them, for the tests of the reader and the import.
#include "text/Cp932.h"

#include <QByteArray>
#include <QString>

namespace quil::test {

// Lines given with LF; the file has CR LF, as the editor writes it.
inline QString withCrLf(QString text) { return text.replace(QStringLiteral("\n"), QStringLiteral("\r\n")); }

// "Windows Registry Editor Version 5.00": UTF-16LE after a byte-order mark.
inline QByteArray utf16Export(const QString &lines) {
    const QString text = withCrLf(lines);
    QByteArray out("\xFF\xFE");
    out.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    return out;
}

// "REGEDIT4": the code page, Shift_JIS.
inline QByteArray sjisExport(const QString &lines) { return cp932::encode(withCrLf(lines)); }

// A hex list after its prefix, wrapped with ",\" and two blanks as the editor
// wraps it.
inline QString hexList(const QString &prefix, const QByteArray &bytes) {
    QString out = prefix;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out += QString::number(uchar(bytes[i]), 16).rightJustified(2, u'0');
        if (i + 1 == bytes.size())
            break;
        out += u',';
        if (out.size() - lineStart > 76) {
            out += QStringLiteral("\\\n  ");
            lineStart = out.size() - 2;
        }
    }
    return out;
}

// Text as the registry stores it: UTF-16LE with its terminating NUL.
inline QByteArray utf16z(const QString &text) {
    QByteArray out(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    return out + QByteArray(2, '\0');
}

} // namespace quil::test
