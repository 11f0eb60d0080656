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

} // namespace

QStringList splitCsvLine(const QString &line) {
    QStringList values;
    const QChar *p = line.constData();
    const QChar *const end = p + line.size();
    // A NUL ends the record, as it ends a file's text.
    auto done = [&] { return p == end || p->unicode() == 0; };
    auto skipBlanks = [&] {
        while (!done() && p->unicode() <= 32)
            ++p;
    };

    skipBlanks();
    while (!done()) {
        if (p->unicode() == kQuote) {
            QString value;
            const QChar *run = ++p;
            bool closed = false;
            while (!done()) {
                if (p->unicode() != kQuote) {
                    ++p;
                    continue;
                }
                if (p + 1 != end && p[1].unicode() == kQuote) {
                    value.append(run, p + 1 - run); // keeps one of the two
                    p += 2;
                    run = p;
                    continue;
                }
                value.append(run, p - run);
                ++p;
                closed = true;
                break;
            }
            if (!closed)
                value.append(run, p - run);
            values.append(value);
        } else {
            const QChar *start = p;
            while (!done() && p->unicode() > 32 && p->unicode() != kComma)
                ++p;
            values.append(QString(start, p - start));
        }
        skipBlanks();
        if (!done() && p->unicode() == kComma) {
            ++p;
            skipBlanks();
        }
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
        Table::Walk walk(t);
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
    }
    textlist::writeBytes(path, cp932::encode(text));
    return count;
}

int importCsv(Table &t, const QString &path) {
    const QStringList records = csvRecords(cp932::decode(textlist::readBytes(path)));
    if (records.isEmpty())
        throw Error(listIndexError(0));
    const QStringList names = splitCsvLine(records.first());
    requireOpen(t);
    // Field objects once per file; a name that is no column fails only when
    // a data record reaches it, with the engine's own error.
    std::vector<Field *> fields;
    fields.reserve(size_t(names.size()));
    for (const QString &name : names)
        fields.push_back(t.findField(name));

    Table::DisabledControls quiet(t);
    Table::Walk walk(t);
    for (qsizetype r = 1; r < records.size(); ++r) {
        t.append(); // stores the record the previous line filled
        const QStringList values = splitCsvLine(records[r]);
        for (qsizetype j = 0; j < names.size(); ++j) {
            Field *field = fields[size_t(j)] ? fields[size_t(j)] : &t.fieldByName(names[j]);
            if (j >= values.size())
                throw Error(listIndexError(j));
            field->setAsString(values[j]);
        }
    }
    // A record that got no value (a header naming no column) is dropped at
    // the next move like the ones before it, not stored empty.
    if (records.size() > 1 && t.modified())
        t.post();
    return int(records.size() - 1);
}

Notice exportDoneNotice(int records) {
    return {QStringLiteral("計 %1 件保存しました。").arg(records), QStringLiteral("保存完了"), MsgIcon::Information};
}

Notice importDoneNotice(int records) {
    return {QStringLiteral("計 %1 行のデータを書きこみました。").arg(records), QStringLiteral("書き込み完了"),
            MsgIcon::Information};
}

} // namespace quil
