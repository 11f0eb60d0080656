// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a publishing-system settings file of many KAV-SYP blocks into the
// systems table of the real data module (table file, one walk).
#include "forms/core/SystemSettings.h"
#include "store/DataModules.h"
#include "text/Cp932.h"
#include "text/TextList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

using namespace quil;

namespace {

// Every label once, with values of everyday length, plus a line of remarks
// that the reader skips.
QString settingsFile(int blocks) {
    QStringList lines{QStringLiteral("メールマガジン発行システム設定ファイル")};
    for (int i = 0; i < blocks; ++i) {
        lines << QStringLiteral("[KAV-SYP]") << QStringLiteral("■発行システムＩＤ：") << QString::number(100 + i)
              << QStringLiteral("■発行システム名：") << QStringLiteral("発行システム第%1号").arg(i)
              << QStringLiteral("■解除ページアドレス：") << QStringLiteral("http://www%1.example.jp/cancel/").arg(i)
              << QStringLiteral("■マガジンＩＤ桁数：") << QStringLiteral("6") << QStringLiteral("■拡張子：")
              << QStringLiteral("html") << QStringLiteral("■会員ＩＤ：") << QStringLiteral("member%1").arg(i)
              << QStringLiteral("■パスワード：") << QStringLiteral("password") << QStringLiteral("■登録メールアドレス：")
              << QStringLiteral("reader%1@example.com").arg(i) << QStringLiteral("（この行は読み飛ばされます）")
              << QStringLiteral("[/KAV-SYP]") << QString();
    }
    const QString path = QDir::current().filePath(QStringLiteral("systems%1.ini").arg(blocks));
    textlist::writeFile(path, lines);
    return path;
}

void BM_ReadSettingsFile(benchmark::State &state) {
    const int blocks = int(state.range(0));
    const QString path = settingsFile(blocks);
    TMMagSysDataModule dm;
    Table &t = *dm.Table2;
    for (auto _ : state) {
        state.PauseTiming();
        // A fresh table with only the built-in rows for every round.
        t.close();
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(t.filePath() + QLatin1String(suffix));
        dm.MMagSysDataModuleCreate();
        t.open();
        const int before = t.recordCount();
        state.ResumeTiming();
        if (readSystemSettingsFile(t, path) != blocks)
            state.SkipWithError("wrong block count");
        state.PauseTiming();
        if (t.recordCount() != before + blocks)
            state.SkipWithError("wrong row count");
        state.ResumeTiming();
    }
    state.counters["blocks/s"] = benchmark::Counter(double(blocks), benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

// 10,000 blocks shows the read grows linearly with the file.
BENCHMARK(BM_ReadSettingsFile)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    QCoreApplication qapp(argc, argv);
    QTemporaryDir data;
    QTemporaryDir cwd;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    QDir::setCurrent(cwd.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
