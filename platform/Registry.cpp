// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Registry.h"

#include "platform/DataDirs.h"
#include "text/Error.h"
#include "text/TextList.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringList>

#include <algorithm>

namespace quil {

QString normalisedKeyPath(const QString &key) {
    QStringList parts;
    for (const QString &part : key.split(u'\\')) {
        const QString p = part.trimmed();
        if (!p.isEmpty())
            parts << p;
    }
    return parts.join(u'\\');
}

static bool isHex(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

std::optional<QByteArray> readHexBytes(const QString &list) {
    QByteArray out;
    const QString trimmed = list.trimmed();
    if (trimmed.isEmpty())
        return out;
    for (const QString &token : trimmed.split(u',')) {
        const QString t = token.trimmed();
        if (t.isEmpty() || t.size() > 2 || !isHex(t[0]) || (t.size() == 2 && !isHex(t[1])))
            return std::nullopt;
        out += char(t.toUInt(nullptr, 16));
    }
    return out;
}

namespace {

const QLatin1String kRoot("HKEY_CURRENT_USER");

// One line of a section, or a value that may span several lines. Raw lines
// are written back byte for byte until the entry is changed.
struct Entry {
    QList<QByteArray> raw;
    bool isValue = false;
    QString name;
    RegValue value;
    bool openEnd = false; // a hex list whose last line still asks for more
};

struct Section {
    QList<QByteArray> header;
    bool ours = false; // a key of the current user's branch
    QString key;       // relative to the branch, normalised
    QList<Entry> entries;
};

bool sameName(const QString &a, const QString &b) { return QString::compare(a, b, Qt::CaseInsensitive) == 0; }

// A section header is read with the blanks inside its brackets trimmed, so
// blanks around a key's parts cannot count anywhere, or a value set under
// such a key could not be found again once written.
QString normaliseKey(const QString &key) { return normalisedKeyPath(key); }


// A quoted text starting at pos (on the opening quote); pos ends after the
// closing quote. \\ and \" are escapes; any other backslash stands for itself.
std::optional<QString> readQuoted(const QString &line, qsizetype &pos) {
    if (pos >= line.size() || line[pos] != u'"')
        return std::nullopt;
    QString out;
    for (++pos; pos < line.size(); ++pos) {
        QChar c = line[pos];
        if (c == u'"') {
            ++pos;
            return out;
        }
        if (c == u'\\' && pos + 1 < line.size() && (line[pos + 1] == u'\\' || line[pos + 1] == u'"')) {
            out += line[++pos];
            continue;
        }
        out += c;
    }
    return std::nullopt;
}

void skipBlanks(const QString &line, qsizetype &pos) {
    while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t'))
        ++pos;
}


QString fromUtf16le(const QByteArray &bytes) {
    QString out;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        out += QChar(char16_t(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8)));
    while (out.endsWith(QChar(u'\0')))
        out.chop(1);
    return out;
}

QByteArray toUtf16le(const QString &text) {
    QByteArray out;
    for (QChar c : text) {
        out += char(c.unicode() & 0xFF);
        out += char(c.unicode() >> 8);
    }
    out += QByteArray(2, '\0');
    return out;
}

// Where the data of a value line starts: after the name and "=".
std::optional<qsizetype> dataStart(const QString &line, QString *name) {
    qsizetype pos = 0;
    QString n;
    if (line.startsWith(u'@')) {
        pos = 1;
    } else {
        auto quoted = readQuoted(line, pos);
        if (!quoted)
            return std::nullopt;
        n = *quoted;
    }
    skipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != u'=')
        return std::nullopt;
    ++pos;
    skipBlanks(line, pos);
    if (name)
        *name = n;
    return pos;
}

std::optional<RegValue> parseData(const QString &data) {
    RegValue v;
    if (data.startsWith(u'"')) {
        qsizetype pos = 0;
        auto text = readQuoted(data, pos);
        if (!text || !data.mid(pos).trimmed().isEmpty())
            return std::nullopt;
        v.type = RegType::String;
        v.text = *text;
        return v;
    }
    if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        const QString digits = data.mid(6).trimmed();
        if (digits.isEmpty() || digits.size() > 8 || !std::all_of(digits.begin(), digits.end(), isHex))
            return std::nullopt;
        v.type = RegType::DWord;
        v.dword = digits.toUInt(nullptr, 16);
        return v;
    }
    if (!data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive))
        return std::nullopt;
    qsizetype pos = 3;
    int kind = 3; // plain "hex:" is binary
    if (pos < data.size() && data[pos] == u'(') {
        const qsizetype close = data.indexOf(u')', pos);
        const QString number = close < 0 ? QString() : data.mid(pos + 1, close - pos - 1);
        if (number.isEmpty() || number.size() > 8 || !std::all_of(number.begin(), number.end(), isHex))
            return std::nullopt;
        kind = int(number.toUInt(nullptr, 16));
        pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != u':')
        return std::nullopt;
    auto bytes = readHexBytes(data.mid(pos + 1));
    if (!bytes)
        return std::nullopt;
    if (kind == 1 || kind == 2) {
        v.type = kind == 1 ? RegType::String : RegType::ExpandString;
        v.text = fromUtf16le(*bytes);
    } else if (kind == 4 && bytes->size() == 4) {
        v.type = RegType::DWord;
        v.dword = quint32(uchar((*bytes)[0])) | quint32(uchar((*bytes)[1])) << 8 | quint32(uchar((*bytes)[2])) << 16
            | quint32(uchar((*bytes)[3])) << 24;
    } else {
        // Every other type (multi-string, 64-bit number, ...) is no text to the program.
        v.type = RegType::Binary;
        v.data = *bytes;
    }
    return v;
}

QString escape(const QString &text) {
    QString out;
    out.reserve(text.size() + 2);
    for (QChar c : text) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        out += c;
    }
    return out;
}

bool hasControl(const QString &text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

// Hex lists are wrapped the way regedit wraps them, so a person can read them.
QList<QByteArray> hexLines(const QByteArray &prefix, const QByteArray &bytes) {
    QList<QByteArray> lines;
    QByteArray line = prefix;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        line += QByteArray::number(uchar(bytes[i]), 16).rightJustified(2, '0');
        if (i + 1 < bytes.size()) {
            line += ',';
            if (line.size() >= 76) {
                line += '\\';
                lines.append(line);
                line = "  ";
            }
        }
    }
    lines.append(line);
    return lines;
}

// A registry text ends at its first NUL, as the system's string calls store
// it; the reader drops the terminator, so anything behind it would not come back.
QString registryText(const QString &text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

QList<QByteArray> formatValue(const QString &name, const RegValue &v) {
    const QByteArray n = name.isEmpty() ? QByteArray("@") : ('"' + escape(name).toUtf8() + '"');
    switch (v.type) {
    case RegType::String: {
        const QString text = registryText(v.text);
        // Line breaks cannot stand in a quoted text; such text is kept as UTF-16 bytes.
        if (hasControl(text))
            return hexLines(n + "=hex(1):", toUtf16le(text));
        return {n + "=\"" + escape(text).toUtf8() + '"'};
    }
    case RegType::ExpandString:
        return hexLines(n + "=hex(2):", toUtf16le(registryText(v.text)));
    case RegType::DWord:
        return {n + "=dword:" + QByteArray::number(v.dword, 16).rightJustified(8, '0')};
    case RegType::Binary:
        return hexLines(n + "=hex:", v.data);
    }
    return {};
}

// Every CR at the end goes: the line end is written back as the file had it
// (serialise), and a CR left behind would read as a line end of its own the
// next time.
QByteArray chopCr(QByteArray line) {
    while (line.endsWith('\r'))
        line.chop(1);
    return line;
}

void checkName(const QString &what) {
    if (hasControl(what))
        throw Error(QStringLiteral("'%1' はレジストリの名前に使えません").arg(what.simplified()));
}

} // namespace

struct RegistryDocument {
    QList<Entry> preamble;
    QList<Section> sections;
    // A file whose lines end in CR LF, as Windows tools write it, is written
    // back so; any other, and a new one, with LF.
    QByteArray eol = "\n";

    void parse(const QByteArray &fileBytes);
    QByteArray serialise() const;

    bool keyExists(const QString &key) const;
    Entry *find(const QString &key, const QString &name);
    Section &sectionFor(const QString &key);
};

void RegistryDocument::parse(const QByteArray &fileBytes) {
    QByteArray bytes = fileBytes;
    if (bytes.startsWith("\xFF\xFE")) // a Unicode export of regedit
        bytes = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2), (bytes.size() - 2) / 2)
                    .toUtf8();
    else if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.mid(3);
    const qsizetype lf = bytes.indexOf('\n');
    if (lf > 0 && bytes[lf - 1] == '\r' && (lf < 2 || bytes[lf - 2] != '\r'))
        eol = "\r\n";
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    Section *current = nullptr;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray raw = chopCr(lines[i]);
        const QString text = QString::fromUtf8(raw);
        const QString trimmed = text.trimmed();
        if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
            Section s;
            s.header = {raw};
            const QString inner = trimmed.mid(1, trimmed.size() - 2).trimmed();
            for (const QString &root : {QStringLiteral("HKEY_CURRENT_USER"), QStringLiteral("HKCU")}) {
                if (sameName(inner, root)) {
                    s.ours = true;
                } else if (inner.startsWith(root + u'\\', Qt::CaseInsensitive)) {
                    s.ours = true;
                    s.key = normaliseKey(inner.mid(root.size() + 1));
                }
            }
            sections.append(s);
            current = &sections.last();
            continue;
        }
        Entry e;
        e.raw = {raw};
        QString name;
        std::optional<qsizetype> start = current ? dataStart(trimmed, &name) : std::nullopt;
        if (start) {
            QString data = trimmed.mid(*start);
            // A hex list goes on over the following lines for as long as each
            // ends with "\". Only the line itself decides: a "\" that is left
            // in the data after the mark is taken off is no mark, so the blank
            // line written after a list open at the end of the file closes it.
            if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
                bool more = data.endsWith(u'\\');
                while (more) {
                    data.chop(1);
                    if (i + 1 >= lines.size()) {
                        e.openEnd = true;
                        break;
                    }
                    const QByteArray next = chopCr(lines[++i]);
                    e.raw.append(next);
                    const QString part = QString::fromUtf8(next).trimmed();
                    data += part;
                    more = part.endsWith(u'\\');
                }
            }
            if (auto value = parseData(data)) {
                e.isValue = true;
                e.name = name;
                e.value = *value;
            }
        }
        (current ? current->entries : preamble).append(e);
    }
}

QByteArray RegistryDocument::serialise() const {
    QByteArray out;
    const QByteArray first = preamble.isEmpty() || preamble[0].raw.isEmpty() ? QByteArray() : preamble[0].raw[0].trimmed();
    if (first != "REGEDIT4" && first != "Windows Registry Editor Version 5.00")
        out += "REGEDIT4" + eol + eol;
    auto put = [&out, this](const Entry &e) {
        const QList<QByteArray> lines = e.raw.isEmpty() ? formatValue(e.name, e.value) : e.raw;
        for (const QByteArray &l : lines)
            out += l + eol;
        // Close a list left open at the end of the file, or it would swallow
        // whatever is written after it.
        if (e.openEnd && !e.raw.isEmpty())
            out += eol;
    };
    for (const Entry &e : preamble)
        put(e);
    for (const Section &s : sections) {
        for (const QByteArray &l : s.header)
            out += l + eol;
        for (const Entry &e : s.entries)
            put(e);
    }
    return out;
}

bool RegistryDocument::keyExists(const QString &key) const {
    const QString k = normaliseKey(key);
    if (k.isEmpty())
        return true;
    for (const Section &s : sections) {
        if (!s.ours)
            continue;
        if (sameName(s.key, k) || s.key.startsWith(k + u'\\', Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// The value that counts: the last one of that name, as an import would leave it.
Entry *RegistryDocument::find(const QString &key, const QString &name) {
    const QString k = normaliseKey(key);
    Entry *found = nullptr;
    for (Section &s : sections)
        if (s.ours && sameName(s.key, k))
            for (Entry &e : s.entries)
                if (e.isValue && sameName(e.name, name))
                    found = &e;
    return found;
}

Section &RegistryDocument::sectionFor(const QString &key) {
    const QString k = normaliseKey(key);
    for (qsizetype i = sections.size() - 1; i >= 0; --i)
        if (sections[i].ours && sameName(sections[i].key, k))
            return sections[i];
    // Keep a blank line between sections, as regedit writes them.
    QList<Entry> &before = sections.isEmpty() ? preamble : sections.last().entries;
    if (!before.isEmpty() && !(before.last().raw.size() == 1 && before.last().raw[0].trimmed().isEmpty()))
        before.append(Entry{{QByteArray()}, false, {}, {}});
    Section s;
    s.ours = true;
    s.key = k;
    s.header = {"[" + QByteArray(kRoot.data(), kRoot.size()) + (k.isEmpty() ? "" : "\\" + k.toUtf8()) + "]"};
    s.entries.append(Entry{{QByteArray()}, false, {}, {}});
    sections.append(s);
    return sections.last();
}

RegistryFile::RegistryFile(QString path) : m_path(std::move(path)) {}

void RegistryFile::load() const {
    m_doc = std::make_shared<RegistryDocument>();
    QFile f(m_path);
    if (!f.exists())
        return;
    if (QFileInfo(m_path).isDir() || !f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("ファイル %1 を開けません").arg(m_path));
    m_doc->parse(f.readAll());
}

// A new settings file is the user's alone; an existing one keeps the mode it has.
void RegistryFile::save() const { textlist::writeBytes(m_path, m_doc->serialise(), 0600); }

bool RegistryFile::keyExists(const QString &key) const {
    load();
    return m_doc->keyExists(key);
}

void RegistryFile::createKey(const QString &key) {
    checkName(key);
    load();
    if (m_doc->keyExists(key))
        return;
    m_doc->sectionFor(key);
    save();
}

std::optional<RegValue> RegistryFile::value(const QString &key, const QString &name) const {
    load();
    if (const Entry *e = m_doc->find(key, name))
        return e->value;
    return std::nullopt;
}

void RegistryFile::setValue(const QString &key, const QString &name, const RegValue &value) {
    checkName(key);
    checkName(name);
    load();
    if (Entry *e = m_doc->find(key, name)) {
        e->value = value;
        e->raw.clear();
    } else {
        Section &s = m_doc->sectionFor(key);
        // New values go after the last value, ahead of the blank lines that
        // close the section.
        qsizetype at = s.entries.size();
        while (at > 0 && !s.entries[at - 1].isValue && s.entries[at - 1].raw.size() == 1
               && s.entries[at - 1].raw[0].trimmed().isEmpty())
            --at;
        s.entries.insert(at, Entry{{}, true, name, value});
    }
    save();
}

bool RegistryFile::deleteValue(const QString &key, const QString &name) {
    load();
    const QString k = normaliseKey(key);
    bool removed = false;
    for (Section &s : m_doc->sections) {
        if (!s.ours || !sameName(s.key, k))
            continue;
        removed |= s.entries.removeIf([&](const Entry &e) { return e.isValue && sameName(e.name, name); }) > 0;
    }
    if (removed)
        save();
    return removed;
}

Registry::Registry() : m_owned(new RegistryFile(registryFilePath())) { m_file = m_owned; }

Registry::Registry(RegistryFile &file) : m_file(&file) {}

Registry::~Registry() { delete m_owned; }

QString Registry::fullKey(const QString &subkey) const {
    const QString sub = normaliseKey(subkey);
    if (m_key.isEmpty())
        return sub;
    return sub.isEmpty() ? m_key : m_key + u'\\' + sub;
}

void Registry::openKey(const QString &keyPath) {
    // A path with a leading backslash starts at the branch's root; any other
    // is taken below the key already open.
    m_key = keyPath.startsWith(u'\\') ? normaliseKey(keyPath) : fullKey(keyPath);
    // Opening never fails for the caller; a file that cannot be written is
    // reported by the first write.
    try {
        m_file->createKey(m_key);
    } catch (const Error &) {
    }
}

QString Registry::readText(const QString &subkey, const QString &name, const QString &defaultText) {
    const std::optional<RegValue> v = m_file->value(fullKey(subkey), name);
    if (!v)
        return defaultText;
    if (v->type != RegType::String && v->type != RegType::ExpandString)
        throw Error(QStringLiteral("'%1' のデータ型が不正です").arg(name));
    return v->text;
}

void Registry::writeText(const QString &subkey, const QString &name, const QString &text) {
    m_file->setValue(fullKey(subkey), name, RegValue::string(text));
}

bool Registry::readBool(const QString &subkey, const QString &name, bool defaultValue) {
    const QString text = readText(subkey, name, QString());
    // A whole number: leading blanks and a sign allowed, digits to the end,
    // within 32 bits.
    qsizetype pos = 0;
    while (pos < text.size() && text[pos] == u' ')
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-'))
        negative = text[pos++] == u'-';
    if (pos >= text.size())
        return defaultValue;
    qint64 n = 0;
    for (; pos < text.size(); ++pos) {
        const char16_t c = text[pos].unicode();
        if (c < u'0' || c > u'9')
            return defaultValue;
        n = n * 10 + (c - u'0');
        if (n > qint64(2147483648LL))
            return defaultValue;
    }
    if (!negative && n > 2147483647LL)
        return defaultValue;
    return n != 0;
}

void Registry::writeBool(const QString &subkey, const QString &name, bool value) {
    writeText(subkey, name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void Registry::deleteValue(const QString &subkey, const QString &name) { m_file->deleteValue(fullKey(subkey), name); }

void Registry::releaseKey() { m_key.clear(); }

} // namespace quil
