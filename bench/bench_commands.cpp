// SPDX-License-Identifier: GPL-3.0-or-later
// The register commands of the main window on 100,000 records in table files,
// through the real data modules and their handlers (notices off).
#include "BenchMain.h"
#include "BenchRegister.h"
#include "app/core/RegisterCommands.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "store/DataModules.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

using namespace quil;
using quil::bench::fillRegister;

namespace {

constexpr int kRecords = 100000;

struct App : bench::Modules {
    App() : Modules(kRecords) {
        MessageBox::setTestMode(true); // confirmations answer OK
    }
};

App &app() {
    static App a;
    return a;
}

void BM_WholeNameSearch(benchmark::State &state) {
    Table &t = app().t();
    const FindRequest request{QStringLiteral("メールマガジン第%1号").arg(kRecords - 10), true, false};
    for (auto _ : state) {
        t.first();
        if (!findRecord(t, request).empty())
            state.SkipWithError("not found");
    }
}

void BM_WholeIdSearch(benchmark::State &state) {
    Table &t = app().t();
    const FindRequest request{QString::number(100000 + kRecords - 10), false, false};
    for (auto _ : state) {
        t.first();
        if (!findRecord(t, request).empty())
            state.SkipWithError("not found");
    }
}

// Both forward searches walk from the first record to the end without a match.
void BM_PartialSearchToTheEnd(benchmark::State &state) {
    Table &t = app().t();
    const FindRequest request{QStringLiteral("見当たらない"), true, true};
    for (auto _ : state) {
        state.PauseTiming();
        t.first();
        state.ResumeTiming();
        if (findRecord(t, request).empty())
            state.SkipWithError("found");
    }
}

void BM_StateSearchToTheEnd(benchmark::State &state) {
    Table &t = app().t();
    for (auto _ : state) {
        state.PauseTiming();
        t.first();
        state.ResumeTiming();
        if (findNextInState(t, state::Cancelled).empty())
            state.SkipWithError("found");
    }
}

void BM_StateChangeFromFirst(benchmark::State &state) {
    Table &t = app().t();
    bool candidate = true;
    for (auto _ : state) {
        state.PauseTiming();
        t.first();
        state.ResumeTiming();
        setStateFromCurrent(t, candidate ? state::CancelCandidate : state::Subscribed);
        candidate = !candidate;
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

// Every tenth record is "解除": 10,000 deletions in one walk.
void BM_DeleteCancelled10000(benchmark::State &state) {
    Table &t = app().t();
    for (auto _ : state) {
        state.PauseTiming();
        t.first();
        for (int i = 0; i < kRecords; ++i) {
            if (i % 10 == 0) {
                t.edit();
                app().magazines->Table1DeleteStateSF->setAsString(state::Cancelled);
            }
            t.next();
        }
        t.first();
        state.ResumeTiming();
        if (deleteCancelledRecords(t) != kRecords / 10)
            state.SkipWithError("wrong count");
        state.PauseTiming();
        // Back to full size for the next round.
        t.close();
        fillRegister(t.directory(), kRecords, kRecords / 10, 1e7 + state.iterations() * kRecords);
        t.open();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_WholeNameSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeIdSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PartialSearchToTheEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StateSearchToTheEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StateChangeFromFirst)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteCancelled10000)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv) {
    quil::bench::runWithPrivateRegister(argc, argv);
    return 0;
}
