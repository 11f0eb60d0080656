// SPDX-License-Identifier: GPL-3.0-or-later
// Outside bytes as a CSV file: the splitter, the records of a file and the
// import over in-memory tables, then the export of what was imported.
// quil::Error is an expected outcome; anything else is a finding:
// - a file in another encoding (cp932::otherEncoding) is refused, nothing added;
// - otherwise the import reads the same values as the published steps
//   (csvRecords, then splitCsvLine on each record), stops with the same error
//   and counts the same records stored;
// - what the import stored, exported and imported again, reads back the same
//   (characters Shift_JIS cannot hold as "?"), except for the one record the
//   format cannot tell from lines of their own (readsAsLines);
// - values the splitter gives, quoted as the export quotes them, split back
//   to themselves.
// The first byte picks whether a header of all 13 columns goes first, so
// that most inputs reach the data records.
#include "app/core/Csv.h"
#include "store/DataModules.h"
#include "text/Cp932.h"
#include "text/Error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using quil::Table;

[[noreturn]] void finding(const char *what) {
    std::fprintf(stderr, "fuzz_csv: %s\n", what);
    std::abort();
}

struct Setup {
    // tmpfs where there is one: the export flushes its file to disk.
    QTemporaryDir dir{QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/fuzz_csv-XXXXXX")
                                                                 : QDir::tempPath() + QStringLiteral("/fuzz_csv-XXXXXX")};
    Table imported{QStringLiteral("MMagaInfo.DB"), TDataModule1::schema()};
    Table reference{QStringLiteral("MMagaInfo.DB"), TDataModule1::schema()};
    Table again{QStringLiteral("MMagaInfo.DB"), TDataModule1::schema()};
    QString input, output;
    QByteArray header;

    Setup() {
        for (Table *t : {&imported, &reference, &again}) {
            t->setDirectory(QStringLiteral(":memory:"));
            t->createIfMissing();
            t->open();
        }
        input = dir.filePath(QStringLiteral("in.csv"));
        output = dir.filePath(QStringLiteral("out.csv"));
        QStringList names;
        for (const quil::FieldDef &f : TDataModule1::schema())
            names << QLatin1Char('"') + f.name + QLatin1Char('"');
        header = quil::cp932::encode(names.join(QLatin1Char(',')) + QStringLiteral("\r\n"));
    }

    static void empty(Table &t) {
        t.cancel();
        t.first();
        while (!t.isEmpty())
            t.remove();
    }
};

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        finding("cannot write the input file");
}

QString listIndexError(qsizetype j) { return QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(j); }

// The import as its steps read: records, then each split on its own.
int referenceImport(Table &t, const QString &text) {
    QList<qsizetype> lines;
    const QStringList records = quil::csvRecords(text, &lines);
    if (records.isEmpty())
        throw quil::Error(listIndexError(0));
    const QStringList names = quil::splitCsvLine(records.first());
    (void)t.recordCount();
    Table::Walk walk(t);
    int stored = 0;
    for (qsizetype r = 1; r < records.size(); ++r) {
        if (r > 1 && t.modified())
            ++stored;
        t.append();
        const QStringList values = quil::splitCsvLine(records[r]);
        for (qsizetype j = 0; j < names.size(); ++j) {
            quil::Field &field = t.fieldByName(names[j]);
            if (j >= values.size())
                throw quil::Error(QStringLiteral("%1: %2 行目に %3 列目「%4」の値がありません")
                                      .arg(listIndexError(j), QString::number(lines[r]), QString::number(j + 1),
                                           names[j]));
            field.setAsString(values[j]);
        }
    }
    if (records.size() > 1 && t.modified()) {
        t.post();
        ++stored;
    }
    walk.end();
    return stored;
}

template <typename F> QString errorOf(F &&f) {
    try {
        f();
    } catch (const quil::Error &e) {
        return QStringLiteral("error: ") + e.message();
    }
    return QString();
}

// A record begun and left by a failure goes as at the next move.
void settle(Table &t) {
    if (t.state() == quil::DataSetState::Insert && !t.modified())
        t.cancel();
    else
        t.post();
}

QList<QStringList> texts(Table &t, bool asWritten) {
    QList<QStringList> out;
    for (int i = 0; i < t.recordCount(); ++i) {
        const QVector<QVariant> v = t.recordAt(i);
        QStringList row;
        for (int c = 0; c < v.size(); ++c) {
            const QString s = t.textOf(c, v[c]);
            row << (asWritten ? quil::cp932::decode(quil::cp932::encode(s)) : s);
        }
        out << row;
    }
    return out;
}

// A record whose first line break is in the last column, where every line
// after the first, as the export writes it, splits on its own into all the
// columns: read line by line that file is valid, so it is read so, as a file
// written with values unchanged must be.
bool readsAsLines(const QList<QStringList> &rows) {
    for (const QStringList &row : rows) {
        qsizetype first = 0;
        while (first < row.size() && !row[first].contains(QLatin1String("\r\n")))
            ++first;
        if (first != row.size() - 1)
            continue;
        const QStringList parts = row[first].split(QStringLiteral("\r\n"));
        bool someLineShort = false;
        for (qsizetype k = 1; k < parts.size(); ++k) {
            QString line = parts[k];
            line.replace(QLatin1Char('"'), QLatin1String("\"\""));
            if (k + 1 == parts.size())
                line += QLatin1Char('"');
            someLineShort |= quil::splitCsvLine(line).size() < row.size();
        }
        if (!someLineShort)
            return true;
    }
    return false;
}

QString quoted(const QString &v) {
    QString q = v;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Setup *setup = new Setup; // lives until the process ends
    if (size == 0)
        return 0;
    QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    if (data[0] & 1)
        bytes.prepend(setup->header);
    const QString text = quil::cp932::decode(bytes);

    // Splitter: quoting what it gives and splitting again is the identity.
    const QStringList values = quil::splitCsvLine(text);
    QStringList requoted;
    for (const QString &v : values) {
        if (v.contains(QChar(0)))
            finding("a value holds a NUL");
        requoted << quoted(v);
    }
    if (quil::splitCsvLine(requoted.join(QLatin1Char(','))) != values)
        finding("quoted values do not split back to themselves");

    Setup::empty(setup->imported);
    Setup::empty(setup->reference);
    Setup::empty(setup->again);

    writeFile(setup->input, bytes);
    // A file in another encoding is refused whole.
    if (const QString other = quil::cp932::otherEncoding(bytes); !other.isEmpty()) {
        const QString err = errorOf([&] { quil::importCsv(setup->imported, setup->input); });
        if (!err.contains(other) || setup->imported.recordCount() != 0
            || setup->imported.state() == quil::DataSetState::Insert)
            finding("a file in another encoding is not refused before anything is added");
        return 0;
    }
    int importedCount = -1, referenceCount = -1;
    const QString err = errorOf([&] { importedCount = quil::importCsv(setup->imported, setup->input); });
    const QString refErr = errorOf([&] { referenceCount = referenceImport(setup->reference, text); });
    if (err != refErr) {
        std::fprintf(stderr, "import: %s\nsteps:  %s\n", qPrintable(err), qPrintable(refErr));
        finding("the import stops otherwise than its steps");
    }
    if (importedCount != referenceCount)
        finding("the import counts otherwise than its steps");
    const bool pendingSame = setup->imported.state() == setup->reference.state()
                             && setup->imported.modified() == setup->reference.modified();
    if (!pendingSame)
        finding("the import leaves the begun record otherwise than its steps");
    settle(setup->imported);
    settle(setup->reference);
    const QList<QStringList> stored = texts(setup->imported, false);
    if (stored != texts(setup->reference, false))
        finding("the import stores other values than its steps");

    // What was stored, exported and read again, is the same.
    QStringList columns;
    for (const quil::FieldDef &f : TDataModule1::schema())
        columns << f.name;
    const int exported = quil::exportCsv(setup->imported, columns, setup->output);
    if (exported != stored.size())
        finding("the export counts otherwise than the register");
    if (readsAsLines(texts(setup->imported, true)))
        return 0;
    int again = -1;
    const QString againErr = errorOf([&] { again = quil::importCsv(setup->again, setup->output); });
    if (!againErr.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(againErr));
        finding("the exported file does not import");
    }
    if (again != exported || texts(setup->again, false) != texts(setup->imported, true))
        finding("the exported file reads back to other values");
    return 0;
}
