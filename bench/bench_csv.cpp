// SPDX-License-Identifier: GPL-3.0-or-later
// CSV export and import of 100,000 records of all 13 columns through the real
// data modules, beside the sqlite3 shell's .import of the same rows (as UTF-8)
// into a table of the same columns. At the end the ratios are printed:
// import / sqlite3 .import (target: at most 2) and export / import (target:
// at most 1).
#include "BenchMain.h"
#include "BenchRegister.h"
#include "app/core/Csv.h"
#include "platform/MessageBox.h"
#include "store/DataModules.h"
#include "text/Cp932.h"
#include "text/TextList.h"

#include "text/DateText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>

using namespace quil;
using quil::bench::fillRegister;

namespace {

constexpr int kRecords = 100000;
constexpr int kRounds = 3;

using Clock = std::chrono::steady_clock;

// Mean seconds of one round, for the ratios; 0 when the benchmark did not run.
double g_import = 0, g_sqlite = 0, g_export = 0;

QStringList allColumns() {
    QStringList names;
    for (const FieldDef &f : TDataModule1::schema())
        names << f.name;
    return names;
}

struct App : bench::Modules {
    QTemporaryDir files;
    QString sjisCsv, utf8Csv, exportCsvPath;
    qint64 bytes = 0;

    App() : Modules(kRecords) {
        MessageBox::setTestMode(true);

        // The file to import is what the export writes of a filled register.
        sjisCsv = files.filePath(QStringLiteral("register.csv"));
        utf8Csv = files.filePath(QStringLiteral("register-utf8.csv"));
        exportCsvPath = files.filePath(QStringLiteral("export.csv"));
        exportCsv(t(), allColumns(), sjisCsv);
        const QByteArray sjis = textlist::readBytes(sjisCsv);
        bytes = sjis.size();
        textlist::writeBytes(utf8Csv, cp932::decode(sjis).toUtf8());
    }

    void emptyRegister() {
        t().close();
        t().openExclusive();
        t().emptyTable();
    }
};

App &app() {
    static App a;
    return a;
}

QString sqlIdent(const QString &name) { return QLatin1Char('"') + name + QLatin1Char('"'); }

// The shell's whole run: start, create the table, import in csv mode, count.
int sqliteImport(const QString &db, const QString &csv) {
    QStringList defs;
    for (const FieldDef &f : TDataModule1::schema())
        defs << sqlIdent(f.name) + (f.type == FieldType::Integer ? QStringLiteral(" INTEGER") : QStringLiteral(" TEXT"));
    const QString script = QStringLiteral("CREATE TABLE MMagaInfo (%1);\n.mode csv\n.import --skip 1 '%2' MMagaInfo\n"
                                          "SELECT count(*) FROM MMagaInfo;\n")
                               .arg(defs.join(QStringLiteral(", ")), csv);
    QProcess p;
    p.start(QStringLiteral("/usr/bin/sqlite3"), {db});
    if (!p.waitForStarted())
        return -1;
    p.write(script.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    return p.readAllStandardOutput().trimmed().toInt();
}

void BM_ImportCsv100000(benchmark::State &state) {
    App &a = app();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        a.emptyRegister();
        state.ResumeTiming();
        const auto start = Clock::now();
        const int n = importCsv(a.t(), a.sjisCsv);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        if (n != kRecords || a.t().recordCount() != kRecords)
            state.SkipWithError("wrong count");
    }
    g_import = seconds / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.SetBytesProcessed(state.iterations() * a.bytes);
}

void BM_Sqlite3ShellImport100000(benchmark::State &state) {
    App &a = app();
    const QString db = QDir(a.files.path()).filePath(QStringLiteral("shell.db"));
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(db);
        state.ResumeTiming();
        const auto start = Clock::now();
        const int n = sqliteImport(db, a.utf8Csv);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        if (n != kRecords)
            state.SkipWithError("sqlite3 .import failed or counted otherwise");
    }
    g_sqlite = seconds / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_ExportCsv100000(benchmark::State &state) {
    App &a = app();
    const QStringList columns = allColumns();
    double seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const int n = exportCsv(a.t(), columns, a.exportCsvPath);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        if (n != kRecords)
            state.SkipWithError("wrong count");
    }
    g_export = seconds / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.SetBytesProcessed(state.iterations() * a.bytes);
}

} // namespace

BENCHMARK(BM_ImportCsv100000)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_Sqlite3ShellImport100000)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_ExportCsv100000)->Unit(benchmark::kMillisecond)->Iterations(kRounds);

int main(int argc, char **argv) {
    quil::bench::runWithPrivateRegister(argc, argv);
    if (g_import > 0 && g_sqlite > 0)
        std::printf("import %.0f ms, sqlite3 .import %.0f ms: ratio %.2f (target <= 2)\n", g_import * 1e3,
                    g_sqlite * 1e3, g_import / g_sqlite);
    if (g_import > 0 && g_export > 0)
        std::printf("export %.0f ms, import %.0f ms: ratio %.2f (target <= 1)\n", g_export * 1e3, g_import * 1e3,
                    g_export / g_import);
    if (g_import > 0)
        std::printf("file: %d records, %.1f MB of Shift_JIS\n", kRecords, double(app().bytes) / 1e6);
    return 0;
}
