// SPDX-License-Identifier: GPL-3.0-or-later
// The table view on a large register: opening it and paging through every
// record, and opening it over a million records.
#include "BenchRegister.h"
#include "app/Application.h"
#include "app/TDBGridForm.h"
#include "app/TQUILMainForm.h"
#include "forms/DBCtrlGrid.h"
#include "platform/MessageBox.h"
#include "platform/gui/GuiBackends.h"
#include "store/DataModules.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>

using namespace quil;

namespace {

// Resident memory of this process in MB.
double residentMb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// A fresh data folder holding a register of `records`, and the program on it.
struct Program {
    QTemporaryDir root;
    explicit Program(int records) {
        qputenv("XDG_DATA_HOME", (root.path() + "/data").toUtf8());
        qputenv("XDG_CONFIG_HOME", (root.path() + "/config").toUtf8());
        QDir::setCurrent(root.path());
        ensureTables(root.path() + "/data/quillet");
        bench::fillRegister(root.path() + "/data/quillet", 0, records, 1.0);
        MessageBox::setTestMode(true);
    }
    ~Program() { destroyApplicationObjects(); }
};

void showView() {
    QUILMainForm->ShowTabelAction->trigger();
    QApplication::processEvents();
}

void BM_OpenViewAndPageThrough100k(benchmark::State &state) {
    // QUIL_PAGES_RECORDS: a smaller register, for running this under a profiler.
    const int records = qEnvironmentVariableIntValue("QUIL_PAGES_RECORDS");
    Program program(records > 0 ? records : 100000);
    createApplicationObjects();
    Table &t = *DataModule1->Table1;
    for (auto _ : state) {
        state.PauseTiming();
        t.first();
        if (DBGridForm->isVisible())
            QUILMainForm->ShowTabelAction->trigger();
        QApplication::processEvents();
        state.ResumeTiming();
        showView();
        quil::DBCtrlGrid *grid = DBGridForm->DBCtrlGrid1;
        int pages = 0;
        while (!t.eof()) {
            QTest::keyClick(grid, Qt::Key_PageDown);
            if (state.range(0)) QApplication::processEvents(); // each page is painted
            ++pages;
        }
        state.counters["pages"] = pages;
    }
    state.counters["rss_MB"] = residentMb();
}

// Start-up opens the table: everything up to the main window on screen.
void BM_StartOverAMillion(benchmark::State &state) {
    Program program(1000000);
    for (auto _ : state) {
        createApplicationObjects();
        QApplication::processEvents();
        state.PauseTiming();
        state.counters["rss_MB"] = residentMb();
        destroyApplicationObjects();
        state.ResumeTiming();
    }
}

// F7 on a running program: the view shows its first rows.
void BM_OpenViewOverAMillion(benchmark::State &state) {
    Program program(1000000);
    for (auto _ : state) {
        state.PauseTiming();
        createApplicationObjects();
        QApplication::processEvents();
        state.ResumeTiming();
        showView();
        state.PauseTiming();
        state.counters["rss_MB"] = residentMb();
        destroyApplicationObjects();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_OpenViewAndPageThrough100k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_StartOverAMillion)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenViewOverAMillion)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The fonts the program itself uses.
    quil::installFontSubstitutions();
    quil::configureApplication(app);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
