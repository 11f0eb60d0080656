// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The start of a benchmark program that works on the register as
// quillet-cli does.
#include "text/DateText.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace quil::bench {

// Runs every registered benchmark with the local time zone settled, a core
// application, and the register in a data folder of its own that is gone
// when this returns.
inline void runWithPrivateRegister(int argc, char **argv) {
    datetext::settleLocalTimeZone();
    QCoreApplication qapp(argc, argv);
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}

} // namespace quil::bench
