// SPDX-License-Identifier: GPL-3.0-or-later
// Cancellation notices: the bulk deletion of cancelled records with notices
// on, and one notice against a notice file that has grown long.
#include "BenchRegister.h"
#include "app/core/RegisterCommands.h"
#include "cancel/core/NoticeWriter.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "text/TextList.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

using namespace quil;
using quil::bench::fillRegister;

namespace {

constexpr int kRecords = 100000;
constexpr int kCancelled = 1000;

struct App : bench::Modules {
    App() : Modules(kRecords) {
        MessageBox::setTestMode(true); // the confirmation and every information box answer OK
        // As the main window wires it while notices are on.
        DataModule1->writeCancelNotice = [] { writeCancelNotice(*DataModule1->Table1, QDate::currentDate()); };
    }
};

App &app() {
    static App a;
    return a;
}

void removeNoticeFiles() {
    for (NoticeKind k : {NoticeKind::Mag2, NoticeKind::Pubzine, NoticeKind::Other})
        QFile::remove(noticeFileName(k));
}

// Every hundredth record is "解除": 1,000 deletions, each with its box and its
// notice flushed to disk, in one walk over 100,000 records.
void BM_DeleteCancelled1000WithNotices(benchmark::State &state) {
    Table &t = app().t();
    Field &deleteState = *app().magazines->Table1DeleteStateSF;
    for (auto _ : state) {
        state.PauseTiming();
        removeNoticeFiles();
        MessageBox::clearShown();
        t.first();
        for (int i = 0; i < kCancelled; ++i) {
            t.edit();
            deleteState.setAsString(state::Cancelled);
            t.moveBy(kRecords / kCancelled);
        }
        t.first();
        state.ResumeTiming();
        if (deleteCancelledRecords(t) != kCancelled)
            state.SkipWithError("wrong count");
        state.PauseTiming();
        if (MessageBox::shown().size() != kCancelled + 1)
            state.SkipWithError("one box per notice expected");
        t.close();
        fillRegister(t.directory(), kRecords, kCancelled, 1e7 + state.iterations() * kRecords);
        t.open();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kCancelled);
}

// A まぐまぐ notice file holding this many entries already.
void prepareLongFile(int entries) {
    Table &t = app().t();
    t.first();
    const QStringList entry = cancelNoticeEntry(t, QDate(2024, 1, 1));
    QStringList lines{noticeTitle(NoticeKind::Mag2), QString()};
    for (int i = 0; i < entries; ++i)
        lines += entry;
    removeNoticeFiles();
    textlist::writeFile(noticeFileName(NoticeKind::Mag2), lines);
}

// One notice (box and append, no deletion) to a file of state.range(0) entries.
void BM_OneNotice(benchmark::State &state) {
    prepareLongFile(int(state.range(0)));
    Table &t = app().t();
    const QDate today = QDate::currentDate();
    for (auto _ : state)
        writeCancelNotice(t, today);
    MessageBox::clearShown();
    state.counters["file_kB"] = double(QFile(noticeFileName(NoticeKind::Mag2)).size()) / 1024;
}

// For comparison: what one notice would cost by reading and rewriting the
// whole file.
void BM_OneNoticeByWholeRewrite(benchmark::State &state) {
    prepareLongFile(int(state.range(0)));
    Table &t = app().t();
    const QString name = noticeFileName(NoticeKind::Mag2);
    const QDate today = QDate::currentDate();
    for (auto _ : state) {
        QStringList lines = textlist::readFile(name);
        lines += cancelNoticeEntry(t, today);
        textlist::writeFile(name, lines);
    }
}

} // namespace

BENCHMARK(BM_DeleteCancelled1000WithNotices)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OneNotice)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OneNoticeByWholeRewrite)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv) {
    QCoreApplication qapp(argc, argv);
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    // The notice files go to the current folder: keep them out of the caller's.
    QTemporaryDir scratch;
    const QString caller = QDir::currentPath();
    QDir::setCurrent(scratch.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QDir::setCurrent(caller);
    return 0;
}
