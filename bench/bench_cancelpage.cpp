// SPDX-License-Identifier: GPL-3.0-or-later
// The page of cancel forms on 100,000 records holding 10,000 cancel candidates.
#include "BenchRegister.h"
#include "cancel/core/CancelPage.h"
#include "cancel/core/Hosts.h"
#include "store/DataModules.h"
#include "store/Sqlite.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

using namespace quil;

namespace {

struct Register {
    std::unique_ptr<TDataModule1> magazines = std::make_unique<TDataModule1>();
    std::unique_ptr<TMMagSysDataModule> systems = std::make_unique<TMMagSysDataModule>();
    Register() {
        const QString dir = magazines->Table1->directory();
        bench::fillRegister(dir, 0, 100000, 1.0);
        sql::Database db(dir + QStringLiteral("/MMagaInfo.DB"), sql::Database::Mode::ReadWrite, QStringLiteral("bench"));
        db.exec(QStringLiteral("UPDATE MMagaInfo SET \"削除状態\" = '解除候補', \"発行媒体\" = CASE rowid % 3 "
                               "WHEN 0 THEN 'まぐまぐ' WHEN 1 THEN 'Pubzine' ELSE 'Clickincome' END "
                               "WHERE rowid % 10 = 0"));
        systems->Table2->open();
        magazines->Table1->open();
        magazines->Table1->moveBy(50000);
    }
};

void BM_WriteCancelPage(benchmark::State &state) {
    static Register r;
    auto &magazines = r.magazines;
    const Hosts hosts = Hosts::defaults();
    int written = 0;
    for (auto _ : state)
        written = writeCancelPage(*magazines->Table1, hosts, QStringLiteral("Cancel.html"));
    if (written != 10000)
        state.SkipWithError(("wrong number of candidates: " + std::to_string(written)).c_str());
    state.counters["candidates"] = written;
    state.counters["page_MB"] = double(QFileInfo(QStringLiteral("Cancel.html")).size()) / (1024 * 1024);
}

} // namespace

BENCHMARK(BM_WriteCancelPage)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    qputenv("XDG_DATA_HOME", (scratch.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (scratch.path() + "/config").toUtf8());
    QDir::setCurrent(scratch.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
