// SPDX-License-Identifier: GPL-3.0-or-later
// Prepares what the CSV reader test reads: a few records whose values need
// quoting (a double quote, a comma, blanks, a two-line description, an empty
// ID, double-byte characters with ASCII second bytes) in fresh tables,
// exported with all 13 columns to the file named by the first argument. On
// standard output, as JSON: the column names and every record's values as the
// register holds them. XDG_DATA_HOME, XDG_CONFIG_HOME and the current folder
// are the caller's temporary directories.
#include "app/core/Csv.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "text/Error.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <exception>

namespace {

using quil::Table;
namespace col = quil::col;

struct Value {
    const QString &column;
    const char *text;
};

void add(Table &t, std::initializer_list<Value> values) {
    t.append();
    for (const Value &v : values)
        t.fieldByName(v.column).setAsString(QString::fromUtf8(v.text));
    t.post();
}

int run(const QString &path) {
    TDataModule1 magazines;
    TMMagSysDataModule systems;
    systems.Table2->open();
    Table &t = *magazines.Table1;
    t.open();

    add(t, {{col::Publishing, "まぐまぐ"},
            {col::MBName, "週刊\"ニュース\", 第1号"},
            {col::MBID, "123"},
            {col::MBType, "テキスト, HTML"},
            {col::MBCycle, "週 1 回"},
            {col::Web, "http://www.example.jp/mag/123/"},
            {col::Publisher, "editor@example.jp"},
            {col::RegAddress, " reader@example.jp "},
            {col::RegTime, "2003/04/01 9:30:05"},
            {col::IPAddress, "192.168.0.1"},
            {col::ChargeOrFree, "無料"},
            {col::Explanation, "一行目, \"引用\"\r\n二行目"},
            {col::DeleteState, "購読中"}});
    add(t, {{col::Publishing, "melma"},
            {col::MBName, "ソフト表現ポータル～①"},
            {col::RegTime, "2003/04/02"},
            {col::ChargeOrFree, "有料"},
            {col::Explanation, "\"\""},
            {col::DeleteState, "解除候補"}});
    add(t, {{col::MBName, ","}, {col::MBID, "-5"}, {col::Explanation, "\r\n"}});
    add(t, {});

    QStringList columns;
    for (const quil::FieldDef &f : TDataModule1::schema())
        columns << f.name;
    const int written = quil::exportCsv(t, columns, path);
    if (written != t.recordCount()) {
        std::fprintf(stderr, "csv_export_fixture: %d records written of %d\n", written, t.recordCount());
        return 1;
    }

    QJsonArray rows;
    for (int i = 0; i < t.recordCount(); ++i) {
        const QVector<QVariant> record = t.recordAt(i);
        QJsonArray row;
        for (int c = 0; c < record.size(); ++c)
            row.append(t.textOf(c, record[c]));
        rows.append(row);
    }
    const QJsonObject out{{QStringLiteral("columns"), QJsonArray::fromStringList(columns)},
                          {QStringLiteral("rows"), rows}};
    const QByteArray json = QJsonDocument(out).toJson(QJsonDocument::Compact);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    std::fputc('\n', stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: csv_export_fixture FILE.csv\n");
        return 2;
    }
    try {
        return run(QString::fromLocal8Bit(argv[1]));
    } catch (const quil::Error &e) {
        std::fprintf(stderr, "csv_export_fixture: %s\n", e.what());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "csv_export_fixture: %s\n", e.what());
    }
    return 1;
}
