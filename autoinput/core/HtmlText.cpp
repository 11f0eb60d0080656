// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/HtmlText.h"

#include <QHash>

namespace quil::mail {

namespace {

bool isAsciiAlpha(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool isAsciiAlnum(QChar c) { return isAsciiAlpha(c) || (c >= u'0' && c <= u'9'); }
int digitValue(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}
bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f'; }

// A no-break space has no Shift_JIS form, and the layouts the parser knows
// are written with plain blanks; it reads as one.
const QHash<QString, char32_t> &namedEntities() {
    static const QHash<QString, char32_t> names = {
        {"amp", U'&'},       {"lt", U'<'},        {"gt", U'>'},        {"quot", U'"'},      {"apos", U'\''},
        {"nbsp", U' '},      {"ensp", U' '},      {"emsp", U' '},      {"thinsp", U' '},    {"yen", U'¥'},
        {"copy", U'©'},      {"reg", U'®'},       {"trade", U'™'},     {"hellip", U'…'},    {"mdash", U'—'},
        {"ndash", U'–'},     {"middot", U'·'},    {"bull", U'•'},      {"times", U'×'},     {"divide", U'÷'},
        {"laquo", U'«'},     {"raquo", U'»'},     {"lsquo", U'‘'},     {"rsquo", U'’'},     {"ldquo", U'“'},
        {"rdquo", U'”'},     {"larr", U'←'},      {"rarr", U'→'},      {"uarr", U'↑'},      {"darr", U'↓'},
    };
    return names;
}

// Elements whose start and end both end a line that holds text.
bool isBlock(const QString &name) {
    static const QStringList blocks = {"p",  "div", "tr", "li", "h1", "h2",    "h3",         "h4",  "h5",
                                       "h6", "hr",  "ul", "ol", "table", "blockquote", "pre", "center"};
    return blocks.contains(name);
}

class Converter {
public:
    explicit Converter(const QString &html) : s(html), n(html.size()) {}

    QString run() {
        while (i < n) {
            const QChar c = s[i];
            if (c == u'<' && tag())
                continue;
            if (c == u'&') {
                entity();
            } else if (pre > 0) {
                if (c == u'\r' || c == u'\n') {
                    i += (c == u'\r' && i + 1 < n && s[i + 1] == u'\n') ? 2 : 1;
                    newline();
                } else {
                    put(c);
                    ++i;
                }
            } else if (isBlank(c)) {
                blanks();
            } else {
                put(c);
                ++i;
            }
        }
        if (lineHasText)
            newline();
        return out;
    }

private:
    void put(QChar c) {
        if (pendingBlank && lineHasText)
            out += u' ';
        pendingBlank = false;
        out += c;
        lineHasText = true;
    }

    void newline() {
        out += u'\n';
        lineHasText = false;
        pendingBlank = false;
    }

    void endLine() {
        if (lineHasText)
            newline();
    }

    // A run of blanks outside <pre>: one that crosses a source line break is
    // only a gap between words; one that does not stays as written.
    void blanks() {
        qsizetype j = i;
        bool lineBreak = false;
        while (j < n && isBlank(s[j])) {
            if (s[j] == u'\r' || s[j] == u'\n')
                lineBreak = true;
            ++j;
        }
        if (lineBreak) {
            pendingBlank = true;
        } else {
            pendingBlank = false;
            for (qsizetype k = i; k < j; ++k) {
                out += s[k];
                lineHasText = true;
            }
        }
        i = j;
    }

    void entity() {
        // Named references need their ';'; numeric ones do without, as browsers read them.
        qsizetype j = i + 1;
        if (j < n && s[j] == u'#') {
            ++j;
            const bool hex = j < n && (s[j] == u'x' || s[j] == u'X');
            if (hex)
                ++j;
            const qsizetype digits = j;
            char32_t value = 0;
            bool tooBig = false;
            while (j < n) {
                const int d = digitValue(s[j]);
                if (d < 0 || d >= (hex ? 16 : 10))
                    break;
                value = value * (hex ? 16 : 10) + char32_t(d);
                if (value > 0x10FFFF) {
                    tooBig = true;
                    value = 0x110000;
                }
                ++j;
            }
            if (j == digits) {
                put(u'&');
                ++i;
                return;
            }
            if (j < n && s[j] == u';')
                ++j;
            i = j;
            if (tooBig || value == 0 || (value >= 0xD800 && value <= 0xDFFF))
                value = 0xFFFD;
            putCodePoint(value);
            return;
        }
        while (j < n && j - i <= 32 && isAsciiAlnum(s[j]))
            ++j;
        if (j < n && s[j] == u';' && j > i + 1) {
            const auto it = namedEntities().constFind(s.mid(i + 1, j - i - 1));
            if (it != namedEntities().constEnd()) {
                i = j + 1;
                putCodePoint(*it);
                return;
            }
        }
        put(u'&');
        ++i;
    }

    void putCodePoint(char32_t value) {
        if (value == 0xA0) {
            value = U' ';
        } else if (value == U'\r' || value == U'\n') {
            pendingBlank = pre == 0;
            if (pre > 0)
                newline();
            return;
        }
        const QString text = QString::fromUcs4(&value, 1);
        for (QChar c : text)
            put(c);
    }

    // At a '<': handles a tag, comment or declaration and returns true, or
    // returns false when the '<' is plain text.
    bool tag() {
        if (i + 1 >= n)
            return false;
        const QChar next = s[i + 1];
        if (next == u'!') {
            if (s.mid(i, 4) == QLatin1String("<!--")) {
                const qsizetype end = s.indexOf(QLatin1String("-->"), i + 4);
                i = end < 0 ? n : end + 3;
            } else {
                skipPast(u'>');
            }
            return true;
        }
        if (next == u'?') {
            skipPast(u'>');
            return true;
        }
        const bool closing = next == u'/';
        qsizetype j = i + (closing ? 2 : 1);
        if (j >= n || !isAsciiAlpha(s[j]))
            return false;
        const qsizetype nameStart = j;
        while (j < n && isAsciiAlnum(s[j]))
            ++j;
        const QString name = s.mid(nameStart, j - nameStart).toLower();
        // Attributes may quote a '>'.
        QChar quote;
        bool selfClosing = false;
        while (j < n) {
            const QChar c = s[j];
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u'>') {
                selfClosing = j > 0 && s[j - 1] == u'/';
                break;
            }
            ++j;
        }
        i = j < n ? j + 1 : n;
        element(name, closing, selfClosing);
        return true;
    }

    void element(const QString &name, bool closing, bool selfClosing) {
        if (name == QLatin1String("br")) {
            newline();
            return;
        }
        if (isBlock(name))
            endLine();
        if (name == QLatin1String("pre")) {
            if (closing)
                pre = qMax(0, pre - 1);
            else if (!selfClosing)
                ++pre;
            return;
        }
        if (!closing && !selfClosing &&
            (name == QLatin1String("script") || name == QLatin1String("style") || name == QLatin1String("title")))
            skipRawText(name);
    }

    // Script, style and title hold no text the reader sees; they end at
    // their own end tag only.
    void skipRawText(const QString &name) {
        const QString endTag = QStringLiteral("</") + name;
        qsizetype j = i;
        while (true) {
            j = s.indexOf(endTag, j, Qt::CaseInsensitive);
            if (j < 0) {
                i = n;
                return;
            }
            const qsizetype after = j + endTag.size();
            if (after >= n || !isAsciiAlnum(s[after]))
                break;
            j = after;
        }
        i = j;
        skipPast(u'>');
    }

    void skipPast(QChar c) {
        const qsizetype end = s.indexOf(c, i);
        i = end < 0 ? n : end + 1;
    }

    const QString &s;
    const qsizetype n;
    qsizetype i = 0;
    QString out;
    bool lineHasText = false;
    bool pendingBlank = false;
    int pre = 0;
};

} // namespace

QString htmlToText(const QString &html) { return Converter(html).run(); }

} // namespace quil::mail
