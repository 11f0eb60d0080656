// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RegExport.h"

#include "text/Cp932.h"
#include "text/Error.h"
#include "text/TextList.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>

namespace quil {

namespace {

const QLatin1String kVersion5Header("Windows Registry Editor Version 5.00");
const QLatin1String kRegedit4Header("REGEDIT4");

// Why a line cannot be read; the message names the file and the line.
struct LineError {
    QString reason;
};

[[noreturn]] void failLine(const char *reason) { throw LineError{QString::fromUtf8(reason)}; }

bool isHex(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool allHex(QStringView s) { return !s.isEmpty() && std::all_of(s.begin(), s.end(), isHex); }

QString normalisePath(const QString &path) { return normalisedKeyPath(path); }

QString fullRoot(const QString &root) {
    const QString r = root.trimmed().toUpper();
    static const std::pair<const char *, const char *> abbreviations[] = {
        {"HKCU", "HKEY_CURRENT_USER"}, {"HKLM", "HKEY_LOCAL_MACHINE"}, {"HKCR", "HKEY_CLASSES_ROOT"},
        {"HKU", "HKEY_USERS"},         {"HKCC", "HKEY_CURRENT_CONFIG"},
    };
    for (const auto &[shortName, longName] : abbreviations)
        if (r == QLatin1String(shortName))
            return QString::fromLatin1(longName);
    return r;
}

// CR LF, LF and a lone CR each end a line; a line end at the very end starts
// no further line.
QStringList splitLines(const QString &text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        lines << text.mid(start, i - start);
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

// A quoted text from pos (on the opening quote); pos ends after the closing
// quote. \\ and \" are escapes; any other backslash stands for itself, as the
// registry editor reads it.
std::optional<QString> readQuoted(const QString &line, qsizetype &pos) {
    QString out;
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line[pos];
        if (c == u'"') {
            ++pos;
            return out;
        }
        if (c == u'\\' && pos + 1 < line.size() && (line[pos + 1] == u'\\' || line[pos + 1] == u'"'))
            ++pos;
        out += line[pos];
    }
    return std::nullopt;
}

void skipBlanks(const QString &line, qsizetype &pos) {
    while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t'))
        ++pos;
}

QByteArray hexBytes(const QString &list) {
    std::optional<QByteArray> bytes = readHexBytes(list);
    if (!bytes)
        failLine("16 進のバイトの並びが正しくありません");
    return *bytes;
}

// Text stored as bytes ends at its first NUL, the terminator the registry keeps.
QString bytesAsText(const QByteArray &bytes, RegExportFormat format) {
    if (format == RegExportFormat::Regedit4) {
        const qsizetype nul = bytes.indexOf('\0');
        return cp932::decode(nul < 0 ? bytes : bytes.left(nul));
    }
    if (bytes.size() % 2 != 0)
        failLine("UTF-16 の文字の途中で終わっています");
    QString out;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = char16_t(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8));
        if (unit == 0)
            break;
        out += QChar(unit);
    }
    return out;
}

RegValue hexValue(quint32 type, const QByteArray &bytes, RegExportFormat format) {
    RegValue v;
    if (type == 1 || type == 2) {
        v.type = type == 1 ? RegType::String : RegType::ExpandString;
        v.text = bytesAsText(bytes, format);
    } else if (type == 4 && bytes.size() == 4) {
        v.type = RegType::DWord;
        v.dword = quint32(uchar(bytes[0])) | quint32(uchar(bytes[1])) << 8 | quint32(uchar(bytes[2])) << 16
            | quint32(uchar(bytes[3])) << 24;
    } else {
        v.type = RegType::Binary;
        v.data = bytes;
    }
    return v;
}

class Parser {
public:
    Parser(const QStringList &lines, RegExportFormat format) : m_lines(lines) { m_out.format = format; }

    RegExport run(const QString &fileName) {
        // Line 1 is the header, checked before.
        for (m_at = 1; m_at < m_lines.size(); ++m_at) {
            // A value continued over several lines is named by its first.
            const qsizetype first = m_at;
            try {
                line(m_lines[m_at].trimmed());
            } catch (const LineError &e) {
                throw Error(QStringLiteral("ファイル %1 の %2 行目を読めません: %3")
                                .arg(fileName, QString::number(first + 1), e.reason));
            }
        }
        return m_out;
    }

private:
    void line(const QString &text) {
        if (text.isEmpty() || text.startsWith(u';'))
            return;
        if (text.startsWith(u'['))
            return key(text);
        if (text.startsWith(u'"') || text.startsWith(u'@'))
            return value(text);
        failLine("キーの行でも値の行でもありません");
    }

    void key(const QString &text) {
        if (!text.endsWith(u']'))
            failLine("キーの行が「]」で終わっていません");
        RegExportKey k;
        k.line = m_at + 1;
        QString inner = text.mid(1, text.size() - 2).trimmed();
        if (inner.startsWith(u'-')) {
            k.deletion = true;
            inner = inner.mid(1);
        }
        const qsizetype slash = inner.indexOf(u'\\');
        k.root = fullRoot(slash < 0 ? inner : inner.left(slash));
        k.path = slash < 0 ? QString() : normalisePath(inner.mid(slash + 1));
        if (k.root.isEmpty())
            failLine("キーの名前がありません");
        m_out.keys.append(k);
    }

    void value(const QString &text) {
        if (m_out.keys.isEmpty())
            failLine("最初のキーの前に値があります");
        RegExportValue v;
        v.line = m_at + 1;
        qsizetype pos = 0;
        if (text.startsWith(u'@')) {
            pos = 1;
        } else {
            std::optional<QString> name = readQuoted(text, pos);
            if (!name)
                failLine("値の名前の引用符が閉じていません");
            v.name = *name;
        }
        skipBlanks(text, pos);
        if (pos >= text.size() || text[pos] != u'=')
            failLine("値の名前のあとに「=」がありません");
        ++pos;
        skipBlanks(text, pos);
        QString data = text.mid(pos);
        if (data == QLatin1String("-")) {
            v.deletion = true;
        } else if (data.startsWith(u'"')) {
            qsizetype end = 0;
            std::optional<QString> t = readQuoted(data, end);
            if (!t)
                failLine("値の引用符が閉じていません");
            if (!data.mid(end).trimmed().isEmpty())
                failLine("値のあとに余分な文字があります");
            v.value = RegValue::string(*t);
        } else if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            const QString digits = data.mid(6).trimmed();
            if (digits.size() > 8 || !allHex(digits))
                failLine("dword の値は 16 進 8 桁までの数です");
            v.type = 4;
            v.value = RegValue::number(digits.toUInt(nullptr, 16));
        } else if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
            hex(data, v);
        } else {
            failLine("値の形式が「\"…\"」「dword:」「hex:」のどれでもありません");
        }
        m_out.keys.last().values.append(v);
    }

    void hex(QString data, RegExportValue &v) {
        // The list goes on over the following lines for as long as each ends
        // with "\"; a file that ends before the list does is cut short.
        while (data.endsWith(u'\\')) {
            data.chop(1);
            if (m_at + 1 >= m_lines.size())
                failLine("続きの行がないままファイルが終わっています");
            data += m_lines[++m_at].trimmed();
        }
        qsizetype pos = 3;
        quint32 type = 3;
        if (pos < data.size() && data[pos] == u'(') {
            const qsizetype close = data.indexOf(u')', pos);
            const QString number = close < 0 ? QString() : data.mid(pos + 1, close - pos - 1);
            if (number.size() > 8 || !allHex(number))
                failLine("hex の種類の番号が正しくありません");
            type = number.toUInt(nullptr, 16);
            pos = close + 1;
        }
        if (pos >= data.size() || data[pos] != u':')
            failLine("hex のあとに「:」がありません");
        v.type = type;
        v.value = hexValue(type, hexBytes(data.mid(pos + 1)), m_out.format);
    }

    const QStringList &m_lines;
    qsizetype m_at = 0;
    RegExport m_out;
};

Error notAnExport(const QString &fileName) {
    return Error(QStringLiteral("ファイル %1 はレジストリエディタで書き出したファイルではありません"
                                "（1 行目が「%2」でも「%3」でもありません）")
                     .arg(fileName, kVersion5Header, kRegedit4Header));
}

Error cutShort(const QString &fileName, const char *where) {
    return Error(QStringLiteral("ファイル %1 は途中で切れています: %2").arg(fileName, QString::fromUtf8(where)));
}

std::optional<QString> utf8(const QByteArray &bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// A half of a UTF-16 pair without its other half, before the last unit
// (which, alone, means the file was cut).
bool hasUnpairedSurrogate(const QString &text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i].isHighSurrogate() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return true;
    }
    return !text.isEmpty() && text.back().isLowSurrogate() &&
           (text.size() < 2 || !text[text.size() - 2].isHighSurrogate());
}

// The header among the first bytes, in an encoding that keeps ASCII as it is.
QString asciiFirstLine(const QByteArray &bytes) {
    qsizetype end = 0;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
        ++end;
    return QString::fromLatin1(bytes.left(std::min<qsizetype>(end, 64))).trimmed();
}

} // namespace

bool RegExportKey::isUserKey(const QString &key) const {
    return root == QLatin1String("HKEY_CURRENT_USER") && QString::compare(path, normalisePath(key), Qt::CaseInsensitive) == 0;
}

RegExport parseRegExport(const QByteArray &bytes, const QString &fileName) {
    QString text;
    const bool utf16 = bytes.startsWith("\xFF\xFE");
    if (utf16) {
        text = QString(reinterpret_cast<const QChar *>(bytes.constData() + 2), (bytes.size() - 2) / 2);
        // Such a character could be stored only as something else.
        if (hasUnpairedSurrogate(text))
            throw Error(QStringLiteral("ファイル %1 は UTF-16 として正しくない文字を含んでいます").arg(fileName));
    } else {
        const bool bom = bytes.startsWith("\xEF\xBB\xBF");
        const QByteArray body = bom ? bytes.mid(3) : bytes;
        const QString header = asciiFirstLine(body);
        if (header != kVersion5Header && header != kRegedit4Header)
            throw notAnExport(fileName);
        // A REGEDIT4 file is in the code page, unless a person saved it as
        // UTF-8 (which Japanese Shift_JIS text practically never is).
        if (!bom && header == kRegedit4Header && cp932::otherEncoding(body).isEmpty()) {
            text = cp932::decode(body);
        } else {
            std::optional<QString> decoded = utf8(body);
            if (!decoded)
                throw Error(QStringLiteral("ファイル %1 は UTF-8 として正しくないバイトを含んでいます").arg(fileName));
            text = *decoded;
        }
    }

    const QStringList lines = splitLines(text);
    const QString header = lines.isEmpty() ? QString() : lines.first().trimmed();
    RegExportFormat format;
    if (header == kVersion5Header)
        format = RegExportFormat::Version5;
    else if (header == kRegedit4Header)
        format = RegExportFormat::Regedit4;
    else
        throw notAnExport(fileName);

    if (utf16) {
        // The editor writes these files whole, each line with its end: an odd
        // byte, the first half of a pair or a last line without its end means
        // the file was cut, and its last value may be cut with it.
        if (bytes.size() % 2 != 0 || text.back().isHighSurrogate())
            throw cutShort(fileName, "UTF-16 の文字の途中で終わっています");
        if (!lines.last().trimmed().isEmpty() && !text.endsWith(u'\n') && !text.endsWith(u'\r'))
            throw cutShort(fileName, "最後の行に行末がありません");
    }
    return Parser(lines, format).run(fileName);
}

RegExport readRegExport(const QString &path) {
    const QFileInfo info(path);
    // A FIFO or a device could be read for ever.
    if (info.exists() && !info.isFile() && !info.isDir())
        throw Error(QStringLiteral("'%1' は通常のファイルではないので読み込めません (FIFO や装置は読みません)。").arg(path));
    if (info.isFile() && info.size() > RegExportMaxBytes)
        throw Error(QStringLiteral("'%1' は大きすぎて読み込めません (%2 を超えています)。")
                        .arg(path, QStringLiteral("%1 バイト").arg(RegExportMaxBytes)));
    return parseRegExport(textlist::readBytes(path), path);
}

} // namespace quil
