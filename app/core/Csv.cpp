// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/core/Csv.h"

#include "text/Cp932.h"
#include "text/Error.h"
#include "text/TextList.h"

#include <vector>

namespace quil {
namespace {

constexpr char16_t kQuote = u'"';
constexpr char16_t kComma = u',';

QString listIndexError(qsizetype index) {
    return QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(index);
}

// A record with fewer values than the header: the list-index error, with the
// line and the column so that the reader can find it in the file.
QString missingValueError(qsizetype line, qsizetype index, const QString &name) {
    return QStringLiteral("%1: %2 行目に %3 列目「%4」の値がありません")
        .arg(listIndexError(index), QString::number(line), QString::number(index + 1), name);
}

// The engine's closed-table error, before anything else is done.
void requireOpen(const Table &t) { (void)t.recordCount(); }

// Appends the value between double quotes, a quote inside doubled and every
// line break as CR LF, so that common CSV readers take it back unchanged.
void appendQuoted(QString &out, const QString &value) {
    out += QChar(kQuote);
    const QChar *p = value.constData();
    const qsizetype n = value.size();
    qsizetype run = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i].unicode();
        if (c != kQuote && c != u'\r' && c != u'\n')
            continue;
        out.append(p + run, i - run);
        if (c == kQuote) {
            out += QLatin1String("\"\"");
        } else {
            out += QLatin1String("\r\n");
            if (c == u'\r' && i + 1 < n && p[i + 1] == u'\n')
                ++i;
        }
        run = i + 1;
    }
    out.append(p + run, n - run);
    out += QChar(kQuote);
}

void appendLine(QString &out, const std::vector<QString> &values) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            out += QChar(kComma);
        appendQuoted(out, values[i]);
    }
    out += QLatin1String("\r\n");
}

bool isLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }

// Past the line break at p (CR, LF or CR LF).
const QChar *afterLineBreak(const QChar *p, const QChar *end) {
    const bool cr = p->unicode() == u'\r';
    ++p;
    if (cr && p != end && p->unicode() == u'\n')
        ++p;
    return p;
}

// The splitting rules over [begin, end), one value at a time, without a
// string per record. Line breaks in the range are characters like any other:
// inside quotes they belong to the value (as CR LF when `crlf` is set, the way
// memo text is stored), outside they end a value like any character <= 32.
// `inside`: the range begins within a quoted value that began before it; its
// rest is the first value given. The range holds no NUL.
class Splitter {
public:
    Splitter(const QChar *begin, const QChar *end, bool inside, bool crlf)
        : m_p(begin), m_end(end), m_crlf(crlf), m_inside(inside) {
        if (!inside)
            skipBlanks();
    }

    // The next value into *value (skipped when null); false at the end.
    bool next(QString *value) {
        if (m_inside) {
            m_inside = false;
            readQuotedRest(value);
        } else if (m_p == m_end) {
            return false;
        } else if (m_p->unicode() == kQuote) {
            ++m_p;
            readQuotedRest(value);
        } else {
            readUnquoted(value);
        }
        skipBlanks();
        if (m_p != m_end && m_p->unicode() == kComma) {
            ++m_p;
            skipBlanks();
        }
        return true;
    }

    // The last value given ran to the end of the range without its closing quote.
    bool open() const { return m_open; }

private:
    void skipBlanks() {
        while (m_p != m_end && m_p->unicode() <= 32)
            ++m_p;
    }

    void readUnquoted(QString *value) {
        const QChar *start = m_p;
        while (m_p != m_end && m_p->unicode() > 32 && m_p->unicode() != kComma)
            ++m_p;
        if (value)
            *value = QString(start, m_p - start);
        m_open = false;
    }

    // From after the opening quote to the closing one, or to the end.
    void readQuotedRest(QString *value) {
        const QChar *run = m_p;
        if (value)
            value->clear();
        while (m_p != m_end) {
            const char16_t c = m_p->unicode();
            if (c == kQuote) {
                const bool doubled = m_p + 1 != m_end && m_p[1].unicode() == kQuote;
                if (value)
                    value->append(run, m_p + (doubled ? 1 : 0) - run); // one of two quotes stays
                m_p += doubled ? 2 : 1;
                if (!doubled) {
                    m_open = false;
                    return;
                }
                run = m_p;
            } else if (m_crlf && isLineBreak(c)) {
                if (value) {
                    value->append(run, m_p - run);
                    value->append(QLatin1String("\r\n"));
                }
                m_p = afterLineBreak(m_p, m_end);
                run = m_p;
            } else {
                ++m_p;
            }
        }
        if (value)
            value->append(run, m_p - run);
        m_open = true;
    }

    const QChar *m_p;
    const QChar *const m_end;
    const bool m_crlf;
    bool m_inside;
    bool m_open = false;
};

// One line as the splitter reads it: on its own, or (`inside`) as the part
// after a line break inside a quoted value.
struct LineScan {
    const QChar *end;  // its line break, or the end of the text
    qsizetype values;  // values that begin on the line
    bool open;         // it ends inside a quoted value
};

LineScan scanLine(const QChar *p, const QChar *textEnd, bool inside) {
    const QChar *e = p;
    while (e != textEnd && !isLineBreak(e->unicode()))
        ++e;
    Splitter split(p, e, inside, false);
    qsizetype values = inside ? -1 : 0;
    while (split.next(nullptr))
        ++values;
    return {e, values, split.open()};
}

// The records of a file's text. A file is read as lines, each line one
// record, split by the rules above. A file of our own export may hold a value
// with a line break; such a value continues past a line end only when the
// line ends inside its quotes and reading the lines as one record is the only
// reading that works: the joined record has exactly the header's number of
// values, its quotes close, and on their own the lines would not all be
// records (one of them has fewer values than the header). So a file written
// with nothing doubled reads line by line, and a missing closing quote never
// swallows the lines after it.
class RecordReader {
public:
    struct Record {
        const QChar *begin;
        const QChar *end;
        qsizetype line; // where it begins, from 1
        bool joined;    // it runs over more than one line
    };

    explicit RecordReader(const QString &text) : m_p(text.constData()), m_end(text.constData()) {
        const QChar *const end = text.constData() + text.size();
        while (m_end != end && m_end->unicode() != 0) // a NUL ends the text
            ++m_end;
    }

    // The next record; `columns` is the header's number of names, or -1 for
    // the header itself, which is always one line.
    bool next(qsizetype columns, Record &r) {
        if (m_p == m_end)
            return false;
        const LineScan alone = scanLine(m_p, m_end, false);
        if (m_ahead.valid)
            leaveAhead(alone, columns);
        r = {m_p, alone.end, m_line, false};
        qsizetype lines = 1;
        const QChar *following = alone.end == m_end ? m_end : afterLineBreak(alone.end, m_end);
        if (columns > 0 && alone.open && following != m_end) {
            if (!m_ahead.valid)
                lookAhead(m_line + 1, following, columns);
            if (m_ahead.closed && alone.values + m_ahead.added == columns
                && (alone.values < columns || m_ahead.shortLines > 0)) {
                r.end = m_ahead.end;
                r.joined = true;
                lines += m_ahead.lastLine - m_line;
                m_ahead.valid = false;
            }
        }
        m_p = r.end == m_end ? m_end : afterLineBreak(r.end, m_end);
        m_line += lines;
        return true;
    }

private:
    // The lines after a line that ends inside quotes, up to the one where
    // those quotes close (or the last line), as the continued record would
    // read them. It is kept while the lines are read one by one, so that
    // each line is looked at a bounded number of times whatever the file.
    struct Ahead {
        bool valid = false;
        qsizetype firstLine = 0, lastLine = 0;
        const QChar *end = nullptr; // end of the last line
        qsizetype added = 0;        // values that begin in these lines
        qsizetype shortLines = 0;   // lines that on their own have fewer values than the header
        bool closed = false;        // the quotes close before the text ends
    };

    void lookAhead(qsizetype line, const QChar *p, qsizetype columns) {
        m_ahead = Ahead{true, line, line, nullptr, 0, 0, false};
        for (;;) {
            const LineScan in = scanLine(p, m_end, true);
            m_ahead.added += in.values;
            if (scanLine(p, m_end, false).values < columns)
                ++m_ahead.shortLines;
            m_ahead.lastLine = line;
            m_ahead.end = in.end;
            if (!in.open) {
                m_ahead.closed = true;
                return;
            }
            if (in.end == m_end)
                return;
            p = afterLineBreak(in.end, m_end);
            if (p == m_end)
                return;
            ++line;
        }
    }

    // The current line is read on its own: it leaves the lines ahead.
    void leaveAhead(const LineScan &alone, qsizetype columns) {
        if (m_ahead.firstLine != m_line) {
            m_ahead.valid = false;
            return;
        }
        m_ahead.added -= scanLine(m_p, m_end, true).values;
        if (alone.values < columns)
            --m_ahead.shortLines;
        if (++m_ahead.firstLine > m_ahead.lastLine)
            m_ahead.valid = false;
    }

    const QChar *m_p;
    const QChar *m_end;
    qsizetype m_line = 1;
    Ahead m_ahead;
};

QStringList values(const RecordReader::Record &r) {
    QStringList out;
    Splitter split(r.begin, r.end, false, true);
    QString value;
    while (split.next(&value))
        out.append(value);
    return out;
}

} // namespace

QStringList splitCsvLine(const QString &line) {
    const QChar *end = line.constData();
    while (end != line.constData() + line.size() && end->unicode() != 0)
        ++end;
    QStringList out;
    Splitter split(line.constData(), end, false, false);
    QString value;
    while (split.next(&value))
        out.append(value);
    return out;
}

QStringList csvRecords(const QString &text, QList<qsizetype> *lines) {
    QStringList records;
    RecordReader reader(text);
    RecordReader::Record r;
    qsizetype columns = -1;
    while (reader.next(columns, r)) {
        QString record(r.begin, r.end - r.begin);
        if (columns < 0)
            columns = values(r).size();
        if (r.joined)
            record = textlist::normalizeLineBreaks(record);
        records.append(record);
        if (lines)
            lines->append(r.line);
    }
    return records;
}

int exportCsv(Table &t, const QStringList &columns, const QString &path) {
    requireOpen(t);
    std::vector<Field *> fields;
    fields.reserve(size_t(columns.size()));
    for (const QString &name : columns)
        fields.push_back(&t.fieldByName(name));

    QString text;
    std::vector<QString> values(columns.begin(), columns.end());
    appendLine(text, values);
    int count = 0;
    {
        Table::DisabledControls quiet(t);
        Table::Walk walk(t, Table::Walk::Kind::Reading);
        if (t.state() == DataSetState::Insert) {
            if (t.modified())
                t.post();
            else
                t.cancel(); // back on the record it was begun from
        }
        const Bookmark mark = t.bookmark();
        t.first();
        while (!t.eof()) {
            for (size_t j = 0; j < fields.size(); ++j)
                values[j] = fields[j]->asString();
            appendLine(text, values);
            t.next();
            ++count;
        }
        if (t.bookmarkValid(mark)) {
            t.gotoBookmark(mark);
            t.freeBookmark(mark);
        }
        walk.end();
    }
    textlist::writeBytes(path, cp932::encode(text));
    return count;
}

int importCsv(Table &t, const QString &path) {
    const QByteArray bytes = textlist::readBytes(path);
    // Read as CP932 such a file gives garbled names (a BOM glued to the first
    // one) or garbled records; say what it is instead, before anything is added.
    if (const QString other = cp932::otherEncoding(bytes); !other.isEmpty())
        throw Error(QStringLiteral("ファイル %1 は %2 で書かれています。読みこめるのは Shift_JIS のファイルだけです")
                        .arg(path, other));
    const QString text = cp932::decode(bytes);
    RecordReader reader(text);
    RecordReader::Record record;
    if (!reader.next(-1, record))
        throw Error(listIndexError(0));
    const QStringList names = values(record);
    requireOpen(t);
    // Field objects once per file; a name that is no column fails only when
    // a data record reaches it, with the engine's own error.
    std::vector<Field *> fields;
    fields.reserve(size_t(names.size()));
    for (const QString &name : names)
        fields.push_back(t.findField(name));

    Table::DisabledControls quiet(t);
    Table::Walk walk(t);
    int stored = 0;
    bool begun = false;
    QString value;
    while (reader.next(names.size(), record)) {
        // The append stores the record the previous one filled, if anything was set.
        if (begun && t.modified())
            ++stored;
        t.append();
        begun = true;
        Splitter split(record.begin, record.end, false, true);
        for (qsizetype j = 0; j < names.size(); ++j) {
            Field *field = fields[size_t(j)] ? fields[size_t(j)] : &t.fieldByName(names[j]);
            if (!split.next(&value))
                throw Error(missingValueError(record.line, j, names[j]));
            field->setAsString(value);
        }
    }
    // A record that got no value (a header naming no column) is dropped at
    // the next move like the ones before it, not stored empty.
    if (begun && t.modified()) {
        t.post();
        ++stored;
    }
    walk.end();
    return stored;
}

Notice exportDoneNotice(int records) {
    return {QStringLiteral("計 %1 件保存しました。").arg(records), QStringLiteral("保存完了"), MsgIcon::Information};
}

Notice importDoneNotice(int records) {
    return {QStringLiteral("計 %1 行のデータを書きこみました。").arg(records), QStringLiteral("書き込み完了"),
            MsgIcon::Information};
}

} // namespace quil
