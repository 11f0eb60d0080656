// SPDX-License-Identifier: GPL-3.0-or-later
// Writes Paradox tables with pxlib's writer into a folder, for the
// command-line test and as seeds of the reader's fuzz target:
//   MMagaInfo.DB  the sample register's magazines
//   MMagaSys.DB   its publishing systems
//   many.DB       60 magazines over several blocks
//   empty.DB      the magazine table without records
//   missing.DB    magazines without the column 説明
//   tiny.DB       a small table of small blocks
//   memo.DB       a table with a memo column, its memo left empty
// usage: paradox_fixture FOLDER
#include "store/Columns.h"
#include "tests/support/ParadoxWriter.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

extern "C" {
#include <paradox.h>
}

using namespace quil;
using namespace quil::test;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: paradox_fixture FOLDER\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "paradox_fixture: cannot make the folder\n");
        return 1;
    }
    writeParadox(dir.filePath(QStringLiteral("MMagaInfo.DB")), magazinePxColumns(), sampleMagazineRecords());
    writeParadox(dir.filePath(QStringLiteral("MMagaSys.DB")), systemPxColumns(), sampleSystemRecords());
    QList<PxRecord> many;
    for (int i = 0; i < 60; ++i)
        many << PxRecord{QStringLiteral("まぐまぐ"), QStringLiteral("第%1号").arg(i + 1), 1000 + i};
    writeParadox(dir.filePath(QStringLiteral("many.DB")), magazinePxColumns(), many);
    writeParadox(dir.filePath(QStringLiteral("empty.DB")), magazinePxColumns(), {});
    QList<PxColumn> missing = magazinePxColumns();
    missing.removeAt(11);
    writeParadox(dir.filePath(QStringLiteral("missing.DB")), missing, {{QStringLiteral("まぐまぐ")}});
    writeParadox(dir.filePath(QStringLiteral("tiny.DB")),
                 {pxColumn(col::MMSysID, pxfShort), pxColumn(col::MMSysName, pxfAlpha, 12)},
                 {{1, QStringLiteral("ＡＢＣ")}, {2, QStringLiteral("①～")}, {QVariant(), QVariant()}});
    writeParadox(dir.filePath(QStringLiteral("memo.DB")),
                 {pxColumn(QStringLiteral("名前"), pxfAlpha, 10), pxColumn(col::Explanation, pxfMemoBLOb, 20)},
                 {{QStringLiteral("一")}});
    return 0;
}
