// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bytes quillet-cli writes to a terminal, a pipe or a file: the
// encoding the reader's locale names, UTF-8 when it names none.
#include <QByteArray>
#include <QString>

#include <vector>

namespace quil::cli {

// The character encoding of the locale (LC_ALL, else LC_CTYPE, else LANG)
// as the C library has set it up. A locale the library does not have (not
// installed) still counts for the encoding its name carries
// ("ja_JP.eucJP"); the C and POSIX locales name none. Empty: UTF-8.
QByteArray localeEncoding();

// Text to and from one encoding. Characters it cannot hold are written as
// "?" and counted.
class TextEncoding {
public:
    // Empty, or a name the converters do not know: UTF-8.
    explicit TextEncoding(const QByteArray &name);

    // The encoding's usual name ("UTF-8", "EUC-JP").
    QByteArray name() const { return m_name; }
    bool isUtf8() const { return m_utf8; }

    QByteArray encode(QStringView text);
    // Whether every character of the text can be written.
    bool holds(QStringView text);
    bool holds(char32_t c);
    // Characters written as "?" so far.
    qint64 replaced() const { return m_replaced; }

private:
    QByteArray m_name;
    bool m_utf8;
    // Per BMP character: 0 not asked yet, 1 held, 2 not.
    std::vector<quint8> m_known;
    qint64 m_replaced = 0;
};

} // namespace quil::cli
