// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Encoding.h"

#include <QStringEncoder>

#include <clocale>
#include <cstring>
#include <langinfo.h>

namespace quil::cli {

QByteArray localeEncoding() {
    // QCoreApplication has called setlocale(LC_ALL, "") by now.
    const char *ctype = std::setlocale(LC_CTYPE, nullptr);
    if (ctype && std::strcmp(ctype, "C") != 0 && std::strcmp(ctype, "POSIX") != 0)
        return QByteArray(nl_langinfo(CODESET));
    // The library fell back to C: the name may still say what the terminal
    // speaks. language[_territory][.codeset][@modifier]
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QByteArray value = qgetenv(name);
        if (value.isEmpty())
            continue;
        const qsizetype dot = value.indexOf('.');
        if (dot < 0)
            return QByteArray();
        const qsizetype at = value.indexOf('@', dot);
        return value.mid(dot + 1, at < 0 ? -1 : at - dot - 1);
    }
    return QByteArray();
}

namespace {

// A fresh one for each use: Qt 6.4's converters over ICU keep reporting an
// error once they had one, resetState() notwithstanding.
QStringEncoder converterFor(const QByteArray &name) { return QStringEncoder(name.constData()); }

QByteArray knownName(const QByteArray &name) {
    if (name.isEmpty())
        return "UTF-8";
    const QStringEncoder encoder(name.constData());
    return encoder.isValid() ? QByteArray(encoder.name()) : QByteArray("UTF-8");
}

} // namespace

TextEncoding::TextEncoding(const QByteArray &name) : m_name(knownName(name)), m_utf8(m_name == "UTF-8") {
    if (!m_utf8)
        m_known.assign(0x10000, 0);
}

bool TextEncoding::holds(char32_t c) {
    if (m_utf8 || c < 0x80)
        return true;
    if (c < 0x10000 && m_known[c])
        return m_known[c] == 1;
    // A lone surrogate is no character any encoding holds.
    bool held = !(c >= 0xD800 && c < 0xE000);
    if (held) {
        const char32_t one[] = {c};
        const QString character = QString::fromUcs4(one, 1);
        QStringEncoder probe = converterFor(m_name);
        // encode() only converts when its result is taken.
        const QByteArray bytes = probe.encode(character);
        held = !probe.hasError();
    }
    if (c < 0x10000)
        m_known[c] = held ? 1 : 2;
    return held;
}

namespace {

// Calls f for each code point with its place in the text; a lone surrogate
// is a code point of its own.
template <typename F>
void eachCodePoint(QStringView text, F f) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            if (!f(QChar::surrogateToUcs4(u, text[i + 1].unicode()), i, 2))
                return;
            ++i;
        } else if (!f(char32_t(u), i, 1)) {
            return;
        }
    }
}

} // namespace

bool TextEncoding::holds(QStringView text) {
    if (m_utf8)
        return true;
    bool all = true;
    eachCodePoint(text, [&](char32_t c, qsizetype, int) { return all = holds(c); });
    return all;
}

QByteArray TextEncoding::encode(QStringView text) {
    if (m_utf8)
        return text.toUtf8();
    // Qt's converters put a private-use character of their own for what the
    // encoding lacks (EUC-JP: 0xF4FE), which a terminal shows as rubbish.
    QStringEncoder encoder = converterFor(m_name);
    QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError())
        return bytes;
    QString held;
    held.reserve(text.size());
    eachCodePoint(text, [&](char32_t c, qsizetype at, int length) {
        if (holds(c)) {
            held += text.mid(at, length);
        } else {
            held += u'?';
            ++m_replaced;
        }
        return true;
    });
    QStringEncoder again = converterFor(m_name);
    return again.encode(held);
}

} // namespace quil::cli
