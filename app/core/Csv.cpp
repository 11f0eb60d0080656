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

// Reads values by the splitting rules straight from a text, without making a
// string per record first. In a file's text (Records) a line break outside
// quotes ends the record and one inside quotes is kept as CR LF; in a single
// record (OneRecord) line breaks are characters like any other. A NUL ends
// the text.
class CsvScanner {
public:
    enum Mode { Records, OneRecord };

    CsvScanner(const QChar *text, qsizetype size, Mode mode)
        : m_p(text), m_end(text + size), m_records(mode == Records) {}

    // Steps to the next record, past what is left of the current one; false
    // at the end of the text.
    bool nextRecord() {
        if (m_inRecord) {
            while (nextValue(nullptr)) {
            }
            if (!done() && isLineBreak(m_p->unicode())) {
                const bool cr = m_p->unicode() == u'\r';
                ++m_p;
                if (cr && !done() && m_p->unicode() == u'\n')
                    ++m_p;
            }
        }
        if (done())
            return false;
        m_inRecord = true;
        skipBlanks();
        return true;
    }

    // The next value of the current record into *value (skipped when null);
    // false at the end of the record.
    bool nextValue(QString *value) {
        if (done() || endsRecord(m_p->unicode()))
            return false;
        if (m_p->unicode() == kQuote)
            readQuoted(value);
        else
            readUnquoted(value);
        skipBlanks();
        if (!done() && m_p->unicode() == kComma) {
            ++m_p;
            skipBlanks();
        }
        return true;
    }

private:
    static bool isLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }
    bool endsRecord(char16_t c) const { return m_records && isLineBreak(c); }
    bool done() const { return m_p == m_end || m_p->unicode() == 0; }

    void skipBlanks() {
        while (!done() && m_p->unicode() <= 32 && !endsRecord(m_p->unicode()))
            ++m_p;
    }

    void readUnquoted(QString *value) {
        const QChar *start = m_p;
        while (!done() && m_p->unicode() > 32 && m_p->unicode() != kComma)
            ++m_p;
        if (value)
            *value = QString(start, m_p - start);
    }

    // From the opening quote to the closing one, or to the end of the text.
    void readQuoted(QString *value) {
        const QChar *run = ++m_p;
        if (value)
            value->clear();
        while (!done()) {
            const char16_t c = m_p->unicode();
            if (c == kQuote) {
                const bool doubled = m_p + 1 != m_end && m_p[1].unicode() == kQuote;
                if (value)
                    value->append(run, m_p + (doubled ? 1 : 0) - run); // one of two quotes stays
                m_p += doubled ? 2 : 1;
                if (!doubled)
                    return;
                run = m_p;
            } else if (m_records && isLineBreak(c)) {
                if (value) {
                    value->append(run, m_p - run);
                    value->append(QLatin1String("\r\n"));
                }
                ++m_p;
                if (c == u'\r' && !done() && m_p->unicode() == u'\n')
                    ++m_p;
                run = m_p;
            } else {
                ++m_p;
            }
        }
        if (value)
            value->append(run, m_p - run);
    }

    const QChar *m_p;
    const QChar *const m_end;
    const bool m_records;
    bool m_inRecord = false;
};

} // namespace

QStringList splitCsvLine(const QString &line) {
    QStringList values;
    CsvScanner scan(line.constData(), line.size(), CsvScanner::OneRecord);
    if (scan.nextRecord()) {
        QString value;
        while (scan.nextValue(&value))
            values.append(value);
    }
    return values;
}

QStringList csvRecords(const QString &text) {
    QStringList records;
    const QChar *s = text.constData();
    const qsizetype n = text.size();
    // Where the splitter would be: between values, inside an unquoted value,
    // inside a quoted one. Only the last keeps a line break.
    enum class At { Between, Unquoted, Quoted } at = At::Between;
    QString head; // the lines of a record so far, when a quoted value spans lines
    bool spans = false;
    qsizetype start = 0;
    qsizetype i = 0;
    auto endRecord = [&](qsizetype to) {
        if (spans) {
            head.append(s + start, to - start);
            records.append(head);
            head.clear();
            spans = false;
        } else {
            records.append(QString(s + start, to - start));
        }
    };
    for (; i < n; ++i) {
        const char16_t c = s[i].unicode();
        if (c == 0)
            break;
        const bool lineBreak = c == u'\r' || c == u'\n';
        if (at == At::Quoted) {
            if (c == kQuote) {
                if (i + 1 < n && s[i + 1].unicode() == kQuote)
                    ++i;
                else
                    at = At::Between;
            } else if (lineBreak) {
                head.append(s + start, i - start);
                head += QLatin1String("\r\n");
                spans = true;
                if (c == u'\r' && i + 1 < n && s[i + 1] == u'\n')
                    ++i;
                start = i + 1;
            }
            continue;
        }
        if (lineBreak) {
            endRecord(i);
            if (c == u'\r' && i + 1 < n && s[i + 1] == u'\n')
                ++i;
            start = i + 1;
            at = At::Between;
        } else if (c <= 32 || c == kComma) {
            at = At::Between;
        } else if (at == At::Between) {
            at = c == kQuote ? At::Quoted : At::Unquoted;
        }
    }
    if (i > start || spans)
        endRecord(i);
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
    const QString text = cp932::decode(textlist::readBytes(path));
    CsvScanner scan(text.constData(), text.size(), CsvScanner::Records);
    if (!scan.nextRecord())
        throw Error(listIndexError(0));
    QStringList names;
    QString value;
    while (scan.nextValue(&value))
        names.append(value);
    requireOpen(t);
    // Field objects once per file; a name that is no column fails only when
    // a data record reaches it, with the engine's own error.
    std::vector<Field *> fields;
    fields.reserve(size_t(names.size()));
    for (const QString &name : names)
        fields.push_back(t.findField(name));

    Table::DisabledControls quiet(t);
    Table::Walk walk(t);
    int count = 0;
    while (scan.nextRecord()) {
        t.append(); // stores the record the previous one filled
        ++count;
        for (qsizetype j = 0; j < names.size(); ++j) {
            Field *field = fields[size_t(j)] ? fields[size_t(j)] : &t.fieldByName(names[j]);
            if (!scan.nextValue(&value))
                throw Error(listIndexError(j));
            field->setAsString(value);
        }
    }
    // A record that got no value (a header naming no column) is dropped at
    // the next move like the ones before it, not stored empty.
    if (count > 0 && t.modified())
        t.post();
    walk.end();
    return count;
}

Notice exportDoneNotice(int records) {
    return {QStringLiteral("計 %1 件保存しました。").arg(records), QStringLiteral("保存完了"), MsgIcon::Information};
}

Notice importDoneNotice(int records) {
    return {QStringLiteral("計 %1 行のデータを書きこみました。").arg(records), QStringLiteral("書き込み完了"),
            MsgIcon::Information};
}

} // namespace quil
