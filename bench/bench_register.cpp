// SPDX-License-Identifier: GPL-3.0-or-later
// The register at its heaviest: 100,000 records in a table file.
#include "store/Columns.h"
#include "store/DataModules.h"
#include "store/Table.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

using namespace quil;

namespace {

constexpr int kRecords = 100000;

struct Register {
    QTemporaryDir dir;
    std::unique_ptr<Table> table;

    explicit Register(bool inMemory = false) {
        table = std::make_unique<Table>(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
        table->setDirectory(inMemory ? QStringLiteral(":memory:") : dir.path());
        table->createIfMissing();
        table->open();
        {
            Table::Walk walk(*table);
            for (int i = 0; i < kRecords; ++i)
                appendRecord(*table, i);
            walk.end();
        }
        table->close();
    }

    static void appendRecord(Table &t, int i) {
        static const QDateTime base(QDate(2003, 4, 1), QTime(9, 30));
        t.append();
        t.fieldByName(col::Publishing).setAsString(i % 3 ? QStringLiteral("まぐまぐ") : QStringLiteral("melma"));
        t.fieldByName(col::MBName).setAsString(QStringLiteral("メールマガジン第%1号").arg(i));
        t.fieldByName(col::MBID).setAsInteger(100000 + i);
        t.fieldByName(col::MBType).setAsString(QStringLiteral("テキスト"));
        t.fieldByName(col::MBCycle).setAsString(QStringLiteral("週刊"));
        t.fieldByName(col::Web).setAsString(QStringLiteral("http://www.example.jp/mag/%1/").arg(i));
        t.fieldByName(col::Publisher).setAsString(QStringLiteral("editor%1@example.jp").arg(i));
        t.fieldByName(col::RegAddress).setAsString(QStringLiteral("reader@example.ne.jp"));
        t.fieldByName(col::RegTime).setAsDateTime(base.addSecs(i * 61));
        t.fieldByName(col::IPAddress).setAsString(QStringLiteral("192.168.%1.%2").arg(i / 256 % 256).arg(i % 256));
        t.fieldByName(col::ChargeOrFree).setAsString(QStringLiteral("無料"));
        t.fieldByName(col::Explanation).setAsString(QStringLiteral("毎週の話題をお届けするメールマガジンです。"));
        t.fieldByName(col::DeleteState).setAsString(state::Subscribed);
        t.post();
    }
};

Register &shared() {
    static Register r;
    return r;
}

// The same register without a file: what the engine itself costs.
Register &inMemory() {
    static Register r(true);
    return r;
}

// The program keeps the current record in editing after every move.
void holdInEditing(Table &t) {
    t.afterScroll = [](Table &tb) { tb.edit(); };
}

void BM_BuildRegister(benchmark::State &state) {
    for (auto _ : state) {
        Register r;
        benchmark::DoNotOptimize(r.table.get());
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_Open(benchmark::State &state) {
    Table &t = *shared().table;
    for (auto _ : state) {
        t.open();
        benchmark::DoNotOptimize(t.recordCount());
        state.PauseTiming();
        t.close();
        state.ResumeTiming();
    }
}

void BM_FullWalk(benchmark::State &state) {
    Table &t = state.range(0) ? *inMemory().table : *shared().table;
    t.open();
    holdInEditing(t);
    for (auto _ : state) {
        int n = 0;
        t.first();
        while (!t.eof()) {
            ++n;
            t.next();
        }
        if (n != kRecords)
            state.SkipWithError("walk missed records");
    }
    t.afterScroll = nullptr;
    t.close();
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_StateWalk(benchmark::State &state) {
    Table &t = state.range(0) ? *inMemory().table : *shared().table;
    t.open();
    holdInEditing(t);
    bool candidate = true;
    for (auto _ : state) {
        const QString target = candidate ? state::CancelCandidate : state::Subscribed;
        Table::Walk walk(t);
        t.first();
        Field &deleteState = t.fieldByName(col::DeleteState);
        while (!t.eof()) {
            deleteState.setAsString(target);
            t.next();
        }
        walk.end();
        candidate = !candidate;
    }
    t.afterScroll = nullptr;
    t.close();
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_LocateNearEnd(benchmark::State &state) {
    Table &t = *shared().table;
    t.open();
    const QString name = QStringLiteral("メールマガジン第%1号").arg(kRecords - 10);
    LocateOptions options{state.range(0) != 0};
    for (auto _ : state) {
        if (!t.locate(col::MBName, name, options))
            state.SkipWithError("not found");
    }
    t.close();
}

// Deletes 1,000 records one by one from the front (the costliest place for
// the ordered list), each durable at once or all inside one walk.
void BM_Delete1000(benchmark::State &state) {
    Table &t = *shared().table;
    t.open();
    const bool inWalk = state.range(0) != 0;
    for (auto _ : state) {
        {
            std::unique_ptr<Table::Walk> walk;
            if (inWalk)
                walk = std::make_unique<Table::Walk>(t);
            t.first();
            for (int i = 0; i < 1000; ++i)
                t.remove();
            if (walk)
                walk->end();
        }
        state.PauseTiming();
        {
            Table::Walk walk(t);
            t.first();
            for (int i = 0; i < 1000; ++i) {
                t.insert();
                t.fieldByName(col::MBName).setAsString(QStringLiteral("restored %1").arg(i));
                t.post();
            }
            walk.end();
        }
        if (t.recordCount() != kRecords)
            state.SkipWithError("register size drifted");
        state.ResumeTiming();
    }
    t.close();
    state.SetItemsProcessed(state.iterations() * 1000);
}

} // namespace

BENCHMARK(BM_BuildRegister)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond);
// Argument 1: the register in memory instead of a file.
BENCHMARK(BM_FullWalk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StateWalk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocateNearEnd)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Delete1000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
