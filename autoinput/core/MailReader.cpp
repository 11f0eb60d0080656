// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/MailReader.h"

#include "autoinput/core/HtmlText.h"
#include "autoinput/core/Jis.h"
#include "text/Cp932.h"

#include "text/Error.h"

#include <QBuffer>
#include <QFileInfo>
#include <QStringDecoder>

// GLib names struct members "signals", which Qt keeps as a macro.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quil::mail {

namespace {

const char *const MsgUnreadableMail = "メールの形式を読めません";
const char *const MsgNoTextPart = "メールの本文がありません";
const char *const MsgUndecodableBody = "メールの本文を読めません";
const char *const MsgUnknownCharset = "メールの文字コード「%1」を読めません";
const char *const MsgTooLargeMessage = "メールが大きすぎます (%1 を超えています)";
const char *const MsgTooLargeText = "'%1' は大きすぎて読み込めません (%2 を超えています)。";
const char *const MsgCannotRead = "'%1' を読み込めませんでした。";
const char *const MsgCannotOpenFile = "ファイル '%1' を読み込めませんでした。";
const char *const MsgNotRegular = "'%1' は通常のファイルではないので読み込めません (FIFO や装置は読みません)。";
const char *const MsgCannotListFolder = "フォルダ '%1' を読み込めませんでした。";

// Echoed names are cut here: longer than any charset name, and most of a subject.
constexpr qsizetype EchoedLength = 64;

// Nesting deeper than this is no mail a person sent.
constexpr int MaxDepth = 64;

struct ObjectUnref {
    void operator()(void *p) const {
        if (p)
            g_object_unref(p);
    }
};
template <typename T> using GPtr = std::unique_ptr<T, ObjectUnref>;

// GMime's tables are built once per process; the options are shared and never
// changed after that.
GMimeParserOptions *parserOptions() {
    static std::once_flag once;
    static GMimeParserOptions *options = nullptr;
    std::call_once(once, [] {
        g_mime_init();
        options = g_mime_parser_options_new();
        // Japanese senders put encoded words inside words and raw 8-bit
        // Shift_JIS in headers.
        g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        const char *fallback[] = {"UTF-8", "CP932", nullptr};
        g_mime_parser_options_set_fallback_charsets(options, fallback);
    });
    return options;
}

// ---- classification --------------------------------------------------------

bool isFieldNameByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > 32 && u < 127 && c != ':';
}

bool isKnownField(QByteArrayView name) {
    for (const char *known : {"From", "Date", "Subject", "MIME-Version", "Content-Type"})
        if (name.compare(QByteArrayView(known), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Whether a header block begins at pos of the n bytes: "Name: value" lines,
// continuation lines after the first, among them at least one of the fields
// a mail program always writes, and an empty line after them. More when the
// bytes end before that is known, so a stream can be told from its head.
enum class Verdict { Yes, No, More };

Verdict headerBlockAt(const char *b, qsizetype n, qsizetype pos) {
    bool known = false;
    bool first = true;
    while (true) {
        if (pos >= n)
            return Verdict::More;
        const auto *nl = static_cast<const char *>(std::memchr(b + pos, '\n', size_t(n - pos)));
        qsizetype end = nl ? nl - b : n;
        if (nl && end > pos && b[end - 1] == '\r')
            --end;
        if (nl && end == pos)
            return known && !first ? Verdict::Yes : Verdict::No;
        const char c = b[pos];
        if (!nl && c == '\r' && pos + 1 == n)
            return Verdict::More; // perhaps the empty line's CR
        if (c == ' ' || c == '\t') {
            if (first)
                return Verdict::No;
        } else {
            qsizetype k = pos;
            while (k < end && isFieldNameByte(b[k]))
                ++k;
            const qsizetype nameEnd = k;
            while (k < end && (b[k] == ' ' || b[k] == '\t'))
                ++k;
            if (nameEnd == pos)
                return Verdict::No;
            if (k >= end)
                return nl ? Verdict::No : Verdict::More;
            if (b[k] != ':')
                return Verdict::No;
            if (isKnownField(QByteArrayView(b + pos, nameEnd - pos)))
                known = true;
        }
        if (!nl)
            return Verdict::More;
        first = false;
        pos = nl - b + 1;
    }
}

// What the first n bytes of a source hold; nothing while they are too few to tell.
std::optional<FileKind> kindOf(const char *b, qsizetype n) {
    static const char from[] = "From ";
    if (std::memcmp(b, from, size_t(std::min<qsizetype>(n, 5))) == 0) {
        if (n < 5)
            return std::nullopt;
        const auto *nl = static_cast<const char *>(std::memchr(b, '\n', size_t(n)));
        if (!nl)
            return std::nullopt;
        switch (headerBlockAt(b, n, nl - b + 1)) {
        case Verdict::Yes: return FileKind::Mbox;
        case Verdict::No: return FileKind::Other;
        case Verdict::More: return std::nullopt;
        }
    }
    switch (headerBlockAt(b, n, 0)) {
    case Verdict::Yes: return FileKind::Message;
    case Verdict::No: return FileKind::Other;
    case Verdict::More: break;
    }
    return std::nullopt;
}

// ---- finding the text ------------------------------------------------------

// The first part of type text/<subtype> that is not an attachment, depth
// first, also inside attached messages.
GMimePart *findText(GMimeObject *obj, const char *subtype, int depth) {
    if (!obj || depth > MaxDepth)
        return nullptr;
    if (GMIME_IS_MULTIPART(obj)) {
        auto *multipart = GMIME_MULTIPART(obj);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i)
            if (GMimePart *p = findText(g_mime_multipart_get_part(multipart, i), subtype, depth + 1))
                return p;
        return nullptr;
    }
    if (GMIME_IS_MESSAGE_PART(obj)) {
        GMimeMessage *inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(obj));
        return inner ? findText(g_mime_message_get_mime_part(inner), subtype, depth + 1) : nullptr;
    }
    if (GMIME_IS_PART(obj)) {
        GMimeContentType *type = g_mime_object_get_content_type(obj);
        auto *part = GMIME_PART(obj);
        if (type && g_mime_content_type_is_type(type, "text", subtype) && !g_mime_part_is_attachment(part))
            return part;
    }
    return nullptr;
}

QByteArray streamBytes(GMimeStream *stream) {
    GByteArray *array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    return QByteArray(reinterpret_cast<const char *>(array->data), qsizetype(array->len));
}

// The part's content with its transfer encoding undone.
QByteArray decodedContent(GMimePart *part) {
    GMimeDataWrapper *content = g_mime_part_get_content(part);
    if (!content)
        return {};
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, out.get());
    return streamBytes(out.get());
}

// True when the part's content as it stands in the mail holds more than blanks.
bool encodedContentHasText(GMimePart *part) {
    GMimeDataWrapper *content = g_mime_part_get_content(part);
    GMimeStream *raw = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
    if (!raw)
        return false;
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_stream_reset(raw);
    g_mime_stream_write_to_stream(raw, out.get());
    g_mime_stream_reset(raw);
    const QByteArray bytes = streamBytes(out.get());
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return c != ' ' && c != '\t' && c != '\r' && c != '\n'; });
}

// ---- charsets --------------------------------------------------------------

enum class Family { Undeclared, Utf8, Cp932, Jis, EucJp, Other };

Family familyOf(const QByteArray &charset) {
    static const QList<QByteArray> undeclared = {"", "us-ascii", "ascii", "us_ascii", "ansi_x3.4-1968", "iso646-us"};
    static const QList<QByteArray> utf8 = {"utf-8", "utf8"};
    // Mail marked Shift_JIS comes from Windows and uses its additions.
    static const QList<QByteArray> cp932 = {"shift_jis", "shift-jis", "sjis", "x-sjis", "ms_kanji", "csshiftjis",
                                            "windows-31j", "cswindows31j", "cp932", "ms932", "x-ms-cp932", "ibm-943"};
    static const QList<QByteArray> jis = {"iso-2022-jp", "csiso2022jp", "iso2022jp", "cp50220", "cp50221",
                                          "cp50222", "x-windows-iso2022jp", "iso-2022-jp-ms"};
    static const QList<QByteArray> eucjp = {"euc-jp", "eucjp", "x-euc-jp", "cseucpkdfmtjapanese", "euc-jp-ms",
                                            "eucjp-ms", "eucjp-win", "cp51932"};
    if (undeclared.contains(charset))
        return Family::Undeclared;
    if (utf8.contains(charset))
        return Family::Utf8;
    if (cp932.contains(charset))
        return Family::Cp932;
    if (jis.contains(charset))
        return Family::Jis;
    if (eucjp.contains(charset))
        return Family::EucJp;
    return Family::Other;
}

bool isValidUtf8(const QByteArray &bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString ignored = decoder(bytes);
    return !decoder.hasError();
}

bool looksLikeJis(const QByteArray &bytes) {
    if (!bytes.contains("\x1b$B") && !bytes.contains("\x1b$@"))
        return false;
    return std::none_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// ISO-2022-JP as Windows writes it (NEC and IBM additions, half-width kana)
// has no converter of its own here: it is taken byte for byte to CP932, the
// set it was written from, so it reads as the sender saw it.
QByteArray jisToCp932(const QByteArray &in) {
    enum class Mode { Ascii, Kanji, Kana, Unknown };
    constexpr char Esc = 0x1B;
    Mode mode = Mode::Ascii;
    bool shiftedOut = false; // SO/SI half-width kana
    QByteArray out;
    out.reserve(in.size());
    const qsizetype n = in.size();
    qsizetype i = 0;
    while (i < n) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c == Esc) {
            qsizetype j = i + 1;
            while (j < n && in[j] >= 0x20 && in[j] <= 0x2F)
                ++j;
            if (j >= n) {
                break;
            }
            const QByteArray seq = in.mid(i + 1, j + 1 - (i + 1));
            if (seq == "$B" || seq == "$@" || seq == "$(B" || seq == "$(Q")
                mode = Mode::Kanji;
            else if (seq == "(B" || seq == "(J" || seq == "(H")
                mode = Mode::Ascii;
            else if (seq == "(I")
                mode = Mode::Kana;
            else if (seq.startsWith('$'))
                mode = Mode::Unknown; // a two-byte set with no CP932 form
            i = j + 1;
            continue;
        }
        if (c == 0x0E || c == 0x0F) {
            shiftedOut = c == 0x0E;
            ++i;
            continue;
        }
        const bool graphic = c >= 0x21 && c <= 0x7E;
        const bool nextGraphic = i + 1 < n && in[i + 1] >= 0x21 && in[i + 1] <= 0x7E;
        if ((shiftedOut || mode == Mode::Kana) && c >= 0x21 && c <= 0x5F) {
            out += char(c + 0x80);
            ++i;
        } else if (mode == Mode::Kanji && graphic && nextGraphic) {
            out += jis::JisPairToShiftJis(c, static_cast<unsigned char>(in[i + 1]));
            i += 2;
        } else if (mode == Mode::Unknown && graphic && nextGraphic) {
            out += '?';
            i += 2;
        } else {
            out += char(c);
            ++i;
        }
    }
    return out;
}

// What may stand in a charset name (RFC 2978, with the '.' and ':' that real
// names such as "ANSI_X3.4-1968" carry). GMime remembers every name it is
// asked about for the life of the process, so nothing else reaches it.
bool isCharsetName(const QByteArray &name) {
    if (name.isEmpty() || name.size() > 40)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || (c != '\0' && std::strchr("!#$%&'+-^_`{}~.:", c));
    });
}

// Through GMime's iconv (it knows the names mail programs give charsets);
// a byte that is no character of the set becomes U+FFFD. Nothing when the
// set is unknown.
std::optional<QString> iconvToText(const QByteArray &in, const QByteArray &charset) {
    if (!isCharsetName(charset))
        return std::nullopt;
    iconv_t cd = g_mime_iconv_open("UTF-8", charset.constData());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    QByteArray out;
    out.reserve(in.size() * 2);
    char *inp = const_cast<char *>(in.constData());
    size_t inLeft = size_t(in.size());
    char buf[4096];
    while (true) {
        char *outp = buf;
        size_t outLeft = sizeof buf;
        const size_t r = inLeft > 0 ? g_mime_iconv(cd, &inp, &inLeft, &outp, &outLeft)
                                    : g_mime_iconv(cd, nullptr, nullptr, &outp, &outLeft);
        const int err = errno;
        out.append(buf, outp - buf);
        if (r == size_t(-1) && err == E2BIG)
            continue;
        if (r == size_t(-1) && inLeft > 0) {
            out.append("\xEF\xBF\xBD");
            ++inp;
            --inLeft;
            continue;
        }
        if (inLeft == 0 && inp != nullptr) {
            // Shift a stateful set back to its initial state.
            inp = nullptr;
            continue;
        }
        break;
    }
    g_mime_iconv_close(cd);
    return QString::fromUtf8(out);
}

struct Decoded {
    QString text;
    QString error;
};

Decoded toText(const QByteArray &bytes, const QByteArray &charset) {
    Family family = familyOf(charset);
    if (family == Family::Undeclared) {
        // No charset, or plain ASCII claimed for what is not: 7-bit JIS by
        // its escapes, then UTF-8 when it is valid, else Shift_JIS.
        if (looksLikeJis(bytes))
            family = Family::Jis;
        else if (isValidUtf8(bytes))
            family = Family::Utf8;
        else
            family = Family::Cp932;
    }
    switch (family) {
    case Family::Utf8:
        return {QString::fromUtf8(bytes), {}};
    case Family::Cp932:
        return {cp932::decode(bytes), {}};
    case Family::Jis:
        return {cp932::decode(jisToCp932(bytes)), {}};
    case Family::EucJp:
        // Windows' EUC-JP, where the iconv at hand has it: its NEC additions are a superset.
        if (auto text = iconvToText(bytes, "EUC-JP-MS"))
            return {*text, {}};
        if (auto text = iconvToText(bytes, "EUC-JP"))
            return {*text, {}};
        break;
    case Family::Undeclared:
    case Family::Other:
        break;
    }
    if (auto text = iconvToText(bytes, charset))
        return {*text, {}};
    return {{}, QString::fromUtf8(MsgUnknownCharset).arg(echoed(QString::fromLatin1(charset)))};
}

// An HTML part without a charset parameter may name one in a <meta> element.
QByteArray metaCharset(const QByteArray &html) {
    const QByteArray head = html.left(4096).toLower();
    const qsizetype at = head.indexOf("charset=");
    if (at < 0)
        return {};
    qsizetype k = at + 8;
    while (k < head.size() && (head[k] == '"' || head[k] == '\'' || head[k] == ' '))
        ++k;
    const qsizetype start = k;
    while (k < head.size() && (std::isalnum(static_cast<unsigned char>(head[k])) || head[k] == '-' ||
                               head[k] == '_' || head[k] == '.' || head[k] == ':'))
        ++k;
    return head.mid(start, k - start);
}

// ---- list headers ----------------------------------------------------------

bool named(const char *name, const char *wanted) { return g_ascii_strcasecmp(name, wanted) == 0; }

// A raw value without the line breaks of its folding.
QByteArray unfolded(const char *raw) {
    QByteArray value(raw);
    value.removeIf([](char c) { return c == '\r' || c == '\n'; });
    return value;
}

// The mailboxes of the list, those inside groups too, in order.
void takeAddresses(InternetAddressList *list, QStringList &out) {
    const int count = list ? internet_address_list_length(list) : 0;
    for (int i = 0; i < count; ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            // Groups do not nest, so one level is all there is.
            InternetAddressList *members = internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address));
            const int n = members ? internet_address_list_length(members) : 0;
            for (int k = 0; k < n; ++k) {
                InternetAddress *member = internet_address_list_get_address(members, k);
                if (INTERNET_ADDRESS_IS_MAILBOX(member))
                    out.append(QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(member))));
            }
        } else if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            out.append(QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address))));
        }
    }
}

// The first mailbox of the list that stands outside a group.
Mailbox firstMailbox(InternetAddressList *list) {
    const int count = list ? internet_address_list_length(list) : 0;
    for (int i = 0; i < count; ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address))
            return {QString::fromUtf8(internet_address_get_name(address)),
                    QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)))};
    }
    return {};
}

void takeParsedAddresses(const char *raw, QStringList &out) {
    GPtr<InternetAddressList> list(internet_address_list_parse(parserOptions(), raw));
    takeAddresses(list.get(), out);
}

QDateTime dateOf(GMimeMessage *message) {
    GDateTime *date = g_mime_message_get_date(message);
    if (!date)
        return {};
    const auto offset = int(g_date_time_get_utc_offset(date) / G_TIME_SPAN_SECOND);
    return QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date), Qt::OffsetFromUTC, offset);
}

ListHeaders listHeadersOf(GMimeMessage *message) {
    ListHeaders list;
    SigningHeaders signing;
    bool listId = false, authenticationResults = false;
    GMimeHeaderList *headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    const int count = headers ? g_mime_header_list_get_count(headers) : 0;
    for (int i = 0; i < count; ++i) {
        GMimeHeader *header = g_mime_header_list_get_header_at(headers, i);
        const char *name = g_mime_header_get_name(header);
        const char *raw = g_mime_header_get_raw_value(header);
        if (!name || !raw)
            continue;
        // Most fields (Received, Subject, Content-*) are none of these: the
        // first letter passes them by.
        switch (g_ascii_tolower(name[0])) {
        case 'l': case 'a': case 'd': case 'x': break;
        default: continue;
        }
        // The first of each field counts: the reader's own server adds its
        // Authentication-Results on top of any that came with the message.
        if (named(name, "List-Id")) {
            if (!std::exchange(listId, true)) {
                const ListIdField field = listIdField(raw);
                list.listId = field.id;
                if (!field.phrase.isEmpty()) {
                    char *phrase = g_mime_utils_header_decode_text(parserOptions(), field.phrase.constData());
                    list.listIdPhrase = QString::fromUtf8(phrase).simplified();
                    g_free(phrase);
                }
            }
        } else if (named(name, "List-Unsubscribe")) {
            if (signing.unsubscribeFields++ == 0)
                list.unsubscribe = listUris(raw);
        } else if (named(name, "List-Unsubscribe-Post")) {
            if (signing.unsubscribePostFields++ == 0)
                list.unsubscribePost = QString::fromUtf8(unfolded(raw)).trimmed();
        } else if (named(name, "Authentication-Results")) {
            if (!std::exchange(authenticationResults, true))
                signing.authenticationResults = raw;
        } else if (named(name, "DKIM-Signature")) {
            signing.dkimSignatures.append(QByteArray(raw));
        } else if (named(name, "Delivered-To")) {
            takeParsedAddresses(raw, list.deliveredTo);
        } else if (named(name, "X-Original-To")) {
            takeParsedAddresses(raw, list.originalTo);
        }
    }
    list.from = firstMailbox(g_mime_message_get_from(message));
    takeAddresses(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_TO), list.to);
    takeAddresses(g_mime_message_get_addresses(message, GMIME_ADDRESS_TYPE_CC), list.cc);
    list.date = dateOf(message);
    if (const char *subject = g_mime_message_get_subject(message))
        list.subject = QString::fromUtf8(subject);
    list.oneClick = oneClickAllowed(list, signing);
    return list;
}

// ---- the text --------------------------------------------------------------

// An mbox writer puts '>' before body lines that begin "From " (and before
// ones already quoted so); one comes off again, so the line reads as sent.
QString unescapeFromLines(const QString &text) {
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        qsizetype eol = i;
        while (eol < n && text[eol] != u'\n' && text[eol] != u'\r')
            ++eol;
        qsizetype k = i;
        while (k < eol && text[k] == u'>')
            ++k;
        const bool escaped = k > i && QStringView(text).mid(k, eol - k).startsWith(QLatin1String("From "));
        out += QStringView(text).mid(escaped ? i + 1 : i, eol - (escaped ? i + 1 : i));
        i = eol;
        if (i < n) {
            const qsizetype len = (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n') ? 2 : 1;
            out += QStringView(text).mid(i, len);
            i += len;
        }
    }
    return out;
}

// Every line break CR LF, the last line ended too.
QString crLfLines(const QString &text) {
    QString out;
    out.reserve(text.size() + text.size() / 16 + 2);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            out += QLatin1String("\r\n");
            if (i + 1 < n && text[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out += QLatin1String("\r\n");
        } else {
            out += c;
        }
    }
    if (!out.isEmpty() && !out.endsWith(u'\n'))
        out += QLatin1String("\r\n");
    return out;
}

MailText textOf(GMimeMessage *message, const QString &label, bool inMbox) {
    MailText mail;
    mail.label = label;
    if (!message) {
        mail.error = QString::fromUtf8(MsgUnreadableMail);
        return mail;
    }
    mail.list = listHeadersOf(message);
    mail.subject = mail.list.subject;

    GMimeObject *body = g_mime_message_get_mime_part(message);
    bool html = false;
    GMimePart *part = findText(body, "plain", 0);
    if (!part) {
        part = findText(body, "html", 0);
        html = true;
    }
    if (!part) {
        mail.error = QString::fromUtf8(MsgNoTextPart);
        return mail;
    }

    const QByteArray bytes = decodedContent(part);
    if (bytes.isEmpty() && encodedContentHasText(part)) {
        mail.error = QString::fromUtf8(MsgUndecodableBody);
        return mail;
    }
    QByteArray charset;
    if (const char *cs = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset"))
        charset = QByteArray(cs).trimmed().toLower();
    if (charset.isEmpty() && html)
        charset = metaCharset(bytes);

    Decoded decoded = toText(bytes, charset);
    if (!decoded.error.isEmpty()) {
        mail.error = decoded.error;
        return mail;
    }
    QString text = std::move(decoded.text);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const GMimeContentEncoding encoding = g_mime_part_get_content_encoding(part);
    if (inMbox && encoding != GMIME_CONTENT_ENCODING_BASE64 && encoding != GMIME_CONTENT_ENCODING_UUENCODE)
        text = unescapeFromLines(text);
    if (html)
        text = htmlToText(text);
    mail.text = crLfLines(text);
    return mail;
}

// The limit as the reader is told it.
QString sizeText(qint64 limit) {
    constexpr qint64 MiB = 1024 * 1024;
    if (limit >= MiB && limit % MiB == 0)
        return QStringLiteral("%1 MB").arg(limit / MiB);
    return QStringLiteral("%1 バイト").arg(limit);
}

// The Subject and list headers of a message cut short: its header block
// alone, when the head holds all of it.
void takeHead(const QByteArray &head, MailText &mail) {
    qsizetype end = -1;
    for (qsizetype at = head.indexOf('\n'); at >= 0; at = head.indexOf('\n', at + 1)) {
        const qsizetype next = at + 1;
        if (next < head.size() && (head[next] == '\n' || (head[next] == '\r' && next + 1 < head.size() &&
                                                           head[next + 1] == '\n'))) {
            end = next;
            break;
        }
    }
    if (end < 0)
        return;
    const QByteArray headers = head.left(end) + "\n";
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(headers.constData(), size_t(headers.size())));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), parserOptions()));
    if (!message)
        return;
    mail.list = listHeadersOf(message.get());
    mail.subject = mail.list.subject;
}

MailText parsedMessage(const QByteArray &bytes, const QString &label, bool inMbox) {
    GMimeParserOptions *options = parserOptions();
    // GMime copies the bytes into its own buffer.
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size())));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    // A message of an mbox is given with its envelope line: GMime reads the
    // headers after one more leniently.
    g_mime_parser_set_format(parser.get(), inMbox ? GMIME_FORMAT_MBOX : GMIME_FORMAT_MESSAGE);
    GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), options));
    return textOf(message.get(), label, inMbox);
}

} // namespace

FileKind classify(const QByteArray &bytes) {
    return kindOf(bytes.constData(), bytes.size()).value_or(FileKind::Other);
}

// ---- reading a source ------------------------------------------------------

struct MailReader::Private {
    QIODevice &in;
    QString label;
    qint64 limit;

    // Read and not yet taken: buf from pos on. Offsets into it are kept
    // relative to pos, since reading more may move the bytes.
    QByteArray buf;
    qsizetype pos = 0;
    bool eof = false;

    std::optional<FileKind> kind;
    bool finished = false;
    // Inside a message that passed the limit; midLine: within one of its lines.
    bool skipping = false;
    bool midLine = false;
    int count = 0;

    Private(QIODevice &d, QString l, qint64 lim) : in(d), label(std::move(l)), limit(lim) {}

    qsizetype avail() const { return buf.size() - pos; }
    const char *at() const { return buf.constData() + pos; }

    // Reads more; false at the end of the source.
    bool fill() {
        if (eof)
            return false;
        if (pos > 0 && pos >= buf.size() / 2) {
            buf.remove(0, pos);
            pos = 0;
        }
        constexpr qsizetype Chunk = 64 * 1024;
        const qsizetype old = buf.size();
        buf.resize(old + Chunk);
        errno = 0;
        const qint64 got = in.read(buf.data() + old, Chunk);
        const int err = errno;
        buf.resize(old + std::max<qint64>(got, 0));
        if (got < 0)
            throw Error(QString::fromUtf8(MsgCannotRead).arg(label), Error::Kind::General, err);
        if (got == 0)
            eof = true;
        return got > 0;
    }

    bool ensure(qsizetype n) {
        while (avail() < n && fill()) {
        }
        return avail() >= n;
    }

    bool atFromLine() { return ensure(5) && std::memcmp(at(), "From ", 5) == 0; }

    // Takes the rest of the line (up to the source's end), handing each
    // piece to take. False when take stopped it within the line.
    template <typename Take> bool restOfLine(Take take) {
        while (true) {
            if (avail() == 0 && !fill())
                return true;
            const auto *nl = static_cast<const char *>(std::memchr(at(), '\n', size_t(avail())));
            const qsizetype n = nl ? nl - at() + 1 : avail();
            const bool go = take(at(), n);
            pos += n;
            if (!go || nl)
                return nl != nullptr;
        }
    }

    // Past the rest of a message that was too large, to the next "From " line.
    void skipMessage() {
        if (midLine)
            restOfLine([](const char *, qsizetype) { return true; });
        while ((avail() > 0 || fill()) && !atFromLine())
            restOfLine([](const char *, qsizetype) { return true; });
        skipping = midLine = false;
    }

    MailText tooLarge(const QString &name, const QByteArray &head) {
        MailText mail;
        mail.label = name;
        takeHead(head, mail);
        mail.error = QString::fromUtf8(MsgTooLargeMessage).arg(sizeText(limit));
        return mail;
    }

    // The whole rest of the source, when it is within the limit.
    bool readRest(QByteArray &out) {
        while (avail() <= limit && fill()) {
        }
        if (avail() > limit) {
            out = buf.mid(pos, qsizetype(std::min<qint64>(limit, avail())));
            return false;
        }
        out = pos == 0 ? std::move(buf) : buf.mid(pos);
        buf.clear();
        pos = 0;
        return true;
    }

    bool nextOfMbox(MailText &mail) {
        if (skipping)
            skipMessage();
        if (avail() == 0 && !fill())
            return false;
        const QString name = label + u'#' + QString::number(++count);
        midLine = false;
        // The envelope ("From " line) counts towards the size but is no part of the message.
        qint64 size = 0;
        bool over = false;
        QByteArray bytes;
        const bool whole = restOfLine([&](const char *p, qsizetype n) {
            size += n;
            if ((over = size > limit))
                return false;
            bytes.append(p, n);
            return true;
        });
        const qsizetype envelope = bytes.size();
        while (!over && (avail() > 0 || fill()) && !atFromLine()) {
            const bool lineEnded = restOfLine([&](const char *p, qsizetype n) {
                size += n;
                if (size > limit) {
                    over = true;
                    return false;
                }
                bytes.append(p, n);
                return true;
            });
            midLine = !lineEnded;
        }
        if (over) {
            skipping = true;
            midLine = midLine || !whole;
            mail = tooLarge(name, bytes.mid(envelope));
            return true;
        }
        // The line break before the next envelope belongs to it.
        if (avail() > 0 && bytes.size() > envelope && bytes.endsWith('\n'))
            bytes.chop(bytes.endsWith("\r\n") && bytes.size() - 2 >= envelope ? 2 : 1);
        // An envelope with nothing after it is an empty message, not a broken one.
        if (bytes.size() == envelope)
            bytes += '\n';
        mail = parsedMessage(bytes, name, true);
        return true;
    }
};

MailReader::MailReader(QIODevice &in, QString label, qint64 limit)
    : d(std::make_unique<Private>(in, std::move(label), limit)) {}

MailReader::~MailReader() = default;

FileKind MailReader::kind() {
    if (!d->kind) {
        // Each look goes over the whole head again, so the head at least
        // doubles between looks.
        qsizetype looked = 0;
        while (true) {
            const bool more = d->fill();
            const bool over = d->avail() > d->limit;
            if (!more || over || d->avail() >= 2 * looked) {
                d->kind = kindOf(d->at(), d->avail());
                looked = d->avail();
                if (d->kind || !more || over)
                    break;
            }
        }
        if (!d->kind)
            d->kind = FileKind::Other; // the source ended, or its head alone passes the limit
    }
    return *d->kind;
}

bool MailReader::next(MailText &mail) {
    if (d->finished)
        return false;
    switch (kind()) {
    case FileKind::Other:
        d->finished = true;
        return false;
    case FileKind::Message: {
        d->finished = true;
        QByteArray bytes;
        mail = d->readRest(bytes) ? parsedMessage(bytes, d->label, false) : d->tooLarge(d->label, bytes);
        return true;
    }
    case FileKind::Mbox:
        if (d->nextOfMbox(mail))
            return true;
        d->finished = true;
        return false;
    }
    return false;
}

QByteArray MailReader::text() {
    kind();
    d->finished = true;
    QByteArray bytes;
    if (!d->readRest(bytes))
        throw Error(QString::fromUtf8(MsgTooLargeText).arg(d->label, sizeText(d->limit)));
    return bytes;
}

QList<MailText> readMessages(const QByteArray &bytes, const QString &label) {
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    MailReader reader(in, label);
    QList<MailText> mails;
    MailText m;
    while (reader.next(m))
        mails.append(std::move(m));
    return mails;
}

// ---- files and folders -----------------------------------------------------

std::unique_ptr<QFile> openRegularFile(const QString &path) {
    const QByteArray native = QFile::encodeName(path);
    // Without O_NONBLOCK, opening a FIFO waits for a writer.
    const int fd = path.isEmpty() ? -1 : ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = path.isEmpty() ? ENOENT : errno;
        throw Error(QString::fromUtf8(MsgCannotOpenFile).arg(path), Error::Kind::General, err);
    }
    struct stat st = {};
    const bool unseen = ::fstat(fd, &st) != 0;
    if (unseen || !S_ISREG(st.st_mode)) {
        // A FIFO or a device has no errno: the message says what it is.
        const int err = unseen ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
        ::close(fd);
        throw Error(QString::fromUtf8(err ? MsgCannotOpenFile : MsgNotRegular).arg(path), Error::Kind::General, err);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw Error(QString::fromUtf8(MsgCannotOpenFile).arg(path));
    }
    return file;
}

namespace {

enum class Entry { Missing, Folder, File, Other };

// What stands under the path, links followed; an Error when it cannot be looked at.
Entry entryAt(const QString &path, const QString &named) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return Entry::Missing;
        throw Error(QString::fromUtf8(MsgCannotListFolder).arg(named), Error::Kind::General, err);
    }
    if (S_ISDIR(st.st_mode))
        return Entry::Folder;
    return S_ISREG(st.st_mode) ? Entry::File : Entry::Other;
}

} // namespace

bool isMaildir(const QString &dir) {
    for (const char *sub : {"new", "cur"})
        if (entryAt(dir + u'/' + QLatin1String(sub), dir) == Entry::Folder)
            return true;
    return false;
}

QStringList maildirFiles(const QString &dir) {
    if (!isMaildir(dir))
        return {};
    const QString root = QFileInfo(dir).absoluteFilePath();
    struct Found {
        QString name;
        QString path;
    };
    std::vector<Found> files;
    for (const char *sub : {"new", "cur"}) {
        const QString part = root + u'/' + QLatin1String(sub);
        if (entryAt(part, part) != Entry::Folder)
            continue;
        DIR *d = ::opendir(QFile::encodeName(part).constData());
        if (!d) {
            const int err = errno;
            throw Error(QString::fromUtf8(MsgCannotListFolder).arg(part), Error::Kind::General, err);
        }
        std::unique_ptr<DIR, int (*)(DIR *)> closer(d, ::closedir);
        while (true) {
            errno = 0;
            const dirent *e = ::readdir(d);
            if (!e) {
                if (const int err = errno; err != 0)
                    throw Error(QString::fromUtf8(MsgCannotListFolder).arg(part), Error::Kind::General, err);
                break;
            }
            // Names beginning with a dot are no messages in a Maildir.
            if (e->d_name[0] == '.')
                continue;
            const QString name = QFile::decodeName(e->d_name);
            const QString path = part + u'/' + name;
            // The listing's own type spares a look at each of thousands of files.
            const Entry type = e->d_type == DT_REG ? Entry::File
                               : e->d_type == DT_DIR ? Entry::Folder
                                                     : entryAt(path, path);
            switch (type) {
            case Entry::File:
                files.push_back({name, path});
                break;
            case Entry::Missing: // taken away meanwhile by the mail program
            case Entry::Folder:
                break;
            case Entry::Other:
                throw Error(QString::fromUtf8(MsgNotRegular).arg(path));
            }
        }
    }
    // Names begin with the delivery time, so name order is the order mail came in.
    std::stable_sort(files.begin(), files.end(), [](const Found &a, const Found &b) { return a.name < b.name; });
    QStringList paths;
    paths.reserve(qsizetype(files.size()));
    for (const Found &f : files)
        paths.append(f.path);
    return paths;
}

QString echoed(const QString &name) {
    QString out;
    const qsizetype n = std::min(name.size(), EchoedLength);
    out.reserve(n + 1);
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = name[i];
        out += (c.category() == QChar::Other_Control) ? QChar(QChar::ReplacementCharacter) : c;
    }
    if (name.size() > n) {
        // Never half of a surrogate pair.
        if (out.back().isHighSurrogate())
            out.chop(1);
        out += QChar(0x2026);
    }
    return out;
}

} // namespace quil::mail
