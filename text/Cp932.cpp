#include "text/Cp932.h"

#include <iconv.h>

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

QByteArray encode(const QString &text) {
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

QString decode(const QByteArray &bytes) { return decode(bytes.constData(), bytes.size()); }

QString decode(const char *data, qsizetype size) {
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
