// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/Cp932.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

namespace quil::cp932 {
namespace {

// iconv descriptors are not thread-safe; the program has one thread, but the
// tests and benchmarks may not, so each use takes the lock.
struct Converter {
    iconv_t handle;
    std::mutex lock;
    Converter(const char *to, const char *from) : handle(iconv_open(to, from)) {}
    ~Converter() {
        if (handle != reinterpret_cast<iconv_t>(-1))
            iconv_close(handle);
    }
};

Converter &encoder() {
    static Converter c("CP932", "UTF-16LE");
    return c;
}
Converter &decoder() {
    static Converter c("UTF-16LE", "CP932");
    return c;
}

bool isAscii(const QString &text) {
    for (QChar ch : text)
        if (ch.unicode() >= 0x80)
            return false;
    return true;
}

bool isAscii(const char *data, qsizetype size) {
    for (qsizetype i = 0; i < size; ++i)
        if (static_cast<unsigned char>(data[i]) >= 0x80)
            return false;
    return true;
}

} // namespace

namespace detail {

QByteArray encodeWithConverter(const QString &text) {
    if (isAscii(text))
        return text.toLatin1();
    Converter &c = encoder();
    std::lock_guard guard(c.lock);
    iconv(c.handle, nullptr, nullptr, nullptr, nullptr);
    QByteArray out;
    out.resize(text.size() * 2 + 8);
    char *in = reinterpret_cast<char *>(const_cast<QChar *>(text.constData()));
    size_t inLeft = size_t(text.size()) * 2;
    char *o = out.data();
    size_t outLeft = size_t(out.size());
    while (inLeft > 0) {
        size_t r = iconv(c.handle, &in, &inLeft, &o, &outLeft);
        if (r != size_t(-1))
            break;
        if (errno == E2BIG) {
            qsizetype used = o - out.data();
            out.resize(out.size() * 2);
            o = out.data() + used;
            outLeft = size_t(out.size() - used);
            continue;
        }
        // Unmappable or broken (lone surrogate): one "?" per character.
        if (outLeft < 1) {
            qsizetype used = o - out.data();
            out.resize(out.size() * 2);
            o = out.data() + used;
            outLeft = size_t(out.size() - used);
        }
        char16_t u = char16_t(uchar(in[0]) | (uchar(in[1]) << 8));
        size_t skip = 2;
        if (u >= 0xD800 && u < 0xDC00 && inLeft >= 4) {
            char16_t lo = char16_t(uchar(in[2]) | (uchar(in[3]) << 8));
            if (lo >= 0xDC00 && lo < 0xE000)
                skip = 4;
        }
        in += skip;
        inLeft -= skip;
        *o++ = '?';
        --outLeft;
        iconv(c.handle, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(o - out.data());
    return out;
}

QString decodeWithConverter(const char *data, qsizetype size) {
    if (size <= 0)
        return QString();
    if (isAscii(data, size))
        return QString::fromLatin1(data, size);
    Converter &c = decoder();
    std::lock_guard guard(c.lock);
    iconv(c.handle, nullptr, nullptr, nullptr, nullptr);
    QString out;
    out.resize(size + 4);
    char *in = const_cast<char *>(data);
    size_t inLeft = size_t(size);
    char *o = reinterpret_cast<char *>(out.data());
    size_t outLeft = size_t(out.size()) * 2;
    while (inLeft > 0) {
        size_t r = iconv(c.handle, &in, &inLeft, &o, &outLeft);
        if (r != size_t(-1))
            break;
        if (errno == E2BIG) {
            qsizetype used = (o - reinterpret_cast<char *>(out.data())) / 2;
            out.resize(out.size() * 2);
            o = reinterpret_cast<char *>(out.data()) + used * 2;
            outLeft = size_t(out.size() - used) * 2;
            continue;
        }
        // An invalid or truncated sequence: a lead byte with a bad trail byte
        // gives one replacement for the lead byte only, so the trail byte is
        // read again on its own.
        if (outLeft < 2) {
            qsizetype used = (o - reinterpret_cast<char *>(out.data())) / 2;
            out.resize(out.size() * 2);
            o = reinterpret_cast<char *>(out.data()) + used * 2;
            outLeft = size_t(out.size() - used) * 2;
        }
        unsigned char b = uchar(in[0]);
        size_t skip = 1;
        if (isLeadByte(b) && inLeft >= 2) {
            unsigned char t = uchar(in[1]);
            bool trail = (t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC);
            if (trail)
                skip = 2; // a well-formed pair that CP932 leaves undefined
        }
        in += skip;
        inLeft -= skip;
        o[0] = char(0xFD);
        o[1] = char(0xFF);
        o += 2;
        outLeft -= 2;
        iconv(c.handle, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize((o - reinterpret_cast<char *>(out.data())) / 2);
    return out;
}

} // namespace detail

namespace {

// Each character's conversion is asked of the converter once and kept: a
// large file then costs a table look-up per character instead of a trip
// through the converter. 0 = not asked yet.
constexpr quint32 kKnown = 0x80000000u;
constexpr quint32 kNone = kKnown | 0x40000000u; // no such character
std::atomic<quint32> g_encoded[0x10000];        // UTF-16 unit -> kKnown | length << 16 | bytes
std::atomic<quint32> g_single[0x100];           // byte -> kKnown | unit, or kNone
std::atomic<quint32> g_pair[0x10000];           // lead << 8 | trail -> kKnown | unit, or kNone

quint32 askEncoder(char16_t u) {
    quint32 v;
    const QByteArray b = detail::encodeWithConverter(QString(QChar(u)));
    if (b.size() == 1 && !(b[0] == '?' && u != u'?'))
        v = kKnown | (1u << 16) | uchar(b[0]);
    else if (b.size() == 2)
        v = kKnown | (2u << 16) | (quint32(uchar(b[0])) << 8) | uchar(b[1]);
    else
        v = kNone;
    g_encoded[u].store(v, std::memory_order_relaxed);
    return v;
}

inline quint32 encodedUnit(char16_t u) {
    const quint32 v = g_encoded[u].load(std::memory_order_relaxed);
    return v ? v : askEncoder(u);
}

quint32 askDecoder(std::atomic<quint32> &slot, const char *bytes, qsizetype n) {
    quint32 v;
    const QString t = detail::decodeWithConverter(bytes, n);
    v = t.size() == 1 && t[0] != QChar(0xFFFD) ? kKnown | t[0].unicode() : kNone;
    slot.store(v, std::memory_order_relaxed);
    return v;
}

inline quint32 decodedBytes(std::atomic<quint32> &slot, const char *bytes, qsizetype n) {
    const quint32 v = slot.load(std::memory_order_relaxed);
    return v ? v : askDecoder(slot, bytes, n);
}

bool isTrailByte(unsigned char t) { return (t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC); }

} // namespace

QByteArray encode(const QString &text) {
    if (isAscii(text))
        return text.toLatin1();
    QByteArray out;
    out.resize(text.size() * 2);
    char *o = out.data();
    const QChar *p = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = p[i].unicode();
        if (u < 0x80) {
            *o++ = char(u);
            continue;
        }
        if (u >= 0xD800 && u < 0xE000) {
            // Nothing outside the BMP is in the code page; a pair is one character.
            if (u < 0xDC00 && i + 1 < n && p[i + 1].isLowSurrogate())
                ++i;
            *o++ = '?';
            continue;
        }
        const quint32 v = encodedUnit(u);
        if (v == kNone) {
            *o++ = '?';
        } else if (((v >> 16) & 0xFF) == 1) {
            *o++ = char(v & 0xFF);
        } else {
            *o++ = char((v >> 8) & 0xFF);
            *o++ = char(v & 0xFF);
        }
    }
    out.resize(o - out.data());
    return out;
}

QString decode(const QByteArray &bytes) { return decode(bytes.constData(), bytes.size()); }

QString decode(const char *data, qsizetype size) {
    if (size <= 0)
        return QString();
    if (isAscii(data, size))
        return QString::fromLatin1(data, size);
    QString out(size, Qt::Uninitialized);
    QChar *o = out.data();
    const auto *b = reinterpret_cast<const unsigned char *>(data);
    qsizetype i = 0;
    while (i < size) {
        const unsigned char c = b[i];
        if (c < 0x80) {
            *o++ = QChar(c);
            ++i;
            continue;
        }
        if (isLeadByte(c) && i + 1 < size) {
            const unsigned char t = b[i + 1];
            const quint32 v = decodedBytes(g_pair[(c << 8) | t], data + i, 2);
            if (v != kNone) {
                *o++ = QChar(char16_t(v & 0xFFFF));
                i += 2;
                continue;
            }
            // A well-formed but undefined pair is one character; a bad trail
            // byte is read again on its own.
            *o++ = QChar(0xFFFD);
            i += isTrailByte(t) ? 2 : 1;
            continue;
        }
        if (isLeadByte(c)) {
            *o++ = QChar(0xFFFD); // cut off at the end
            ++i;
            continue;
        }
        const quint32 v = decodedBytes(g_single[c], data + i, 1);
        *o++ = v == kNone ? QChar(0xFFFD) : QChar(char16_t(v & 0xFFFF));
        ++i;
    }
    out.resize(o - out.constData());
    return out;
}

qsizetype byteLength(const QString &text) {
    qsizetype n = 0;
    bool simple = true;
    for (QChar ch : text) {
        char16_t u = ch.unicode();
        if (u < 0x80)
            n += 1;
        else if (u >= 0xFF61 && u <= 0xFF9F)
            n += 1; // half-width katakana
        else {
            simple = false;
            break;
        }
    }
    if (simple)
        return n;
    return encode(text).size();
}

qsizetype boundaryAtOrBefore(const QByteArray &bytes, qsizetype width) {
    if (width <= 0)
        return 0;
    if (width >= bytes.size())
        return bytes.size();
    qsizetype i = 0;
    while (i < width) {
        qsizetype step = isLeadByte(uchar(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
        if (i + step > width)
            break;
        i += step;
    }
    return i;
}

namespace {

// Whole UTF-8 characters only: no stray continuation bytes, no overlong
// forms, no surrogates, nothing past U+10FFFF, nothing cut off at the end.
bool isUtf8(const unsigned char *p, const unsigned char *end) {
    while (p != end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        int more;
        char32_t c;
        char32_t least;
        if (b >= 0xC2 && b <= 0xDF) {
            more = 1, c = b & 0x1F, least = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            more = 2, c = b & 0x0F, least = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            more = 3, c = b & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (end - p <= more)
            return false;
        for (int k = 1; k <= more; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (p[k] & 0x3F);
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        p += more + 1;
    }
    return true;
}

} // namespace

QString otherEncoding(const QByteArray &bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QStringLiteral("UTF-8");
    if (bytes.startsWith(QByteArray("\xFF\xFE\0\0", 4)))
        return QStringLiteral("UTF-32LE");
    if (bytes.startsWith(QByteArray("\0\0\xFE\xFF", 4)))
        return QStringLiteral("UTF-32BE");
    if (bytes.startsWith("\xFF\xFE"))
        return QStringLiteral("UTF-16LE");
    if (bytes.startsWith("\xFE\xFF"))
        return QStringLiteral("UTF-16BE");
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype nul = bytes.indexOf('\0');
    const auto *end = p + (nul < 0 ? bytes.size() : nul);
    if (std::any_of(p, end, [](unsigned char b) { return b >= 0x80; }) && isUtf8(p, end))
        return QStringLiteral("UTF-8");
    return QString();
}

QByteArray cutBytes(const QByteArray &bytes, qsizetype width) {
    return bytes.left(boundaryAtOrBefore(bytes, width));
}

QString cutToWidth(const QString &text, qsizetype width) {
    if (text.size() * 2 <= width)
        return text;
    QByteArray b = encode(text);
    if (b.size() <= width)
        return text;
    // Walk characters so that the original text (not a round trip) is kept.
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype len = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        qsizetype w = byteLength(text.mid(i, len));
        if (bytes + w > width)
            break;
        bytes += w;
        i += len;
    }
    return text.left(i);
}

} // namespace quil::cp932
