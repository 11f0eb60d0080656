// SPDX-License-Identifier: GPL-3.0-or-later
// The import of 100,000 records of all 13 columns from a Paradox table (as
// pxlib's writer makes it), beside the CSV import of the same records
// through the real data modules. At the end the ratio is printed:
// Paradox import / CSV import (target: at most 1).
#include "BenchMain.h"
#include "BenchRegister.h"
#include "app/core/Csv.h"
#include "app/core/ParadoxImport.h"
#include "platform/MessageBox.h"
#include "store/DataModules.h"
#include "store/ParadoxTable.h"
#include "tests/support/ParadoxWriter.h"
#include "text/DateText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

using namespace quil;

namespace {

constexpr int kRecords = 100000;
constexpr int kRounds = 3;

using Clock = std::chrono::steady_clock;

double g_paradox = 0, g_csv = 0;

QStringList allColumns() {
    QStringList names;
    for (const FieldDef &f : TDataModule1::schema())
        names << f.name;
    return names;
}

struct App : bench::Modules {
    QTemporaryDir files;
    QString csv, paradox;
    double writeSeconds = 0;

    App() : Modules(kRecords) {
        MessageBox::setTestMode(true);
        csv = files.filePath(QStringLiteral("register.csv"));
        paradox = files.filePath(QStringLiteral("MMagaInfo.DB"));
        exportCsv(t(), allColumns(), csv);
        // The same records, value for value, in the old program's table.
        QList<test::PxRecord> records;
        records.reserve(kRecords);
        for (int i = 0; i < t().recordCount(); ++i) {
            const QVector<QVariant> row = t().recordAt(i);
            test::PxRecord r(row.size());
            for (int c = 0; c < row.size(); ++c)
                r[c] = row[c];
            records << r;
        }
        QElapsedTimer timer;
        timer.start();
        test::writeParadox(paradox, test::magazinePxColumns(), records);
        writeSeconds = double(timer.elapsed()) / 1e3;
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

template <typename Import> double run(benchmark::State &state, Import import) {
    App &a = app();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        a.emptyRegister();
        state.ResumeTiming();
        const auto start = Clock::now();
        const int n = import(a);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        if (n != kRecords || a.t().recordCount() != kRecords)
            state.SkipWithError("wrong count");
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    return seconds / double(state.iterations());
}

void BM_ImportParadox100000(benchmark::State &state) {
    g_paradox = run(state, [](App &a) { return importParadoxMagazines(a.t(), a.paradox); });
    state.SetBytesProcessed(state.iterations() * QFileInfo(app().paradox).size());
}

// The reader alone: the file read, checked and every record's values made.
void BM_ReadParadox100000(benchmark::State &state) {
    App &a = app();
    for (auto _ : state) {
        ParadoxTable file(a.paradox);
        qsizetype values = 0;
        for (int r = 0; r < file.recordCount(); ++r)
            values += file.record(r).size();
        if (values != qsizetype(kRecords) * 13)
            state.SkipWithError("wrong count");
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_ImportCsv100000(benchmark::State &state) {
    g_csv = run(state, [](App &a) { return importCsv(a.t(), a.csv); });
    state.SetBytesProcessed(state.iterations() * QFileInfo(app().csv).size());
}

} // namespace

BENCHMARK(BM_ImportParadox100000)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_ReadParadox100000)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_ImportCsv100000)->Unit(benchmark::kMillisecond)->Iterations(kRounds);

int main(int argc, char **argv) {
    quil::bench::runWithPrivateRegister(argc, argv);
    if (g_paradox > 0 && g_csv > 0)
        std::printf("Paradox import %.0f ms, CSV import %.0f ms: ratio %.2f (target <= 1)\n", g_paradox * 1e3,
                    g_csv * 1e3, g_paradox / g_csv);
    if (g_paradox > 0)
        std::printf("files: %d records, Paradox %.1f MB (written by pxlib in %.1f s), CSV %.1f MB\n", kRecords,
                    double(QFileInfo(app().paradox).size()) / 1e6, app().writeSeconds,
                    double(QFileInfo(app().csv).size()) / 1e6);
    return 0;
}
