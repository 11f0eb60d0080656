// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "store/Columns.h"
#include "store/DataModules.h"
#include "store/Table.h"
#include "tests/support/TestEnv.h"
#include "text/Error.h"

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>

namespace quil::test {

// Reads a table file straight through the SQLite C API, as an outside tool
// would: every value as text, NULL as "<null>".
inline QList<QStringList> rawRows(const QString &path, const QString &sql) {
    QList<QStringList> rows;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path.toStdString();
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db);
        sqlite3_close(db);
        return rows;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        QStringList row;
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(st, i));
            row << (p ? QString::fromUtf8(p) : QStringLiteral("<null>"));
        }
        rows << row;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

inline QStringList rawColumn(const QString &path, const QString &sql) {
    QStringList out;
    for (const auto &r : rawRows(path, sql))
        out << r.value(0);
    return out;
}


// A fixture with a magazine-schema table in a fresh folder of its own.
class StoreTest : public EnvTest {
protected:
    void SetUp() override {
        EnvTest::SetUp();
        dir = env->root() + QStringLiteral("/tables");
    }

    std::unique_ptr<Table> makeTable() {
        auto t = std::make_unique<Table>(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
        t->setDirectory(dir);
        t->createIfMissing();
        return t;
    }

    // Stores one record per name, in this order.
    void addNames(Table &t, const QStringList &names) {
        bool wasActive = t.active();
        if (!wasActive)
            t.open();
        for (const QString &n : names) {
            t.append();
            t.fieldByName(col::MBName).setAsString(n);
            t.post();
        }
        if (!wasActive)
            t.close();
    }

    QString path() const { return dir + QStringLiteral("/MMagaInfo.DB"); }

    // Names as stored, in stored order, read from the file itself.
    QStringList storedNames() const {
        return rawColumn(path(), QStringLiteral("SELECT \"メールマガジン名\" FROM MMagaInfo ORDER BY _sort_key"));
    }

    // Hooks that keep the cursor in editing, as the program does, and log events.
    void permanentEditing(Table &t) {
        t.afterScroll = [this](Table &tb) {
            log << QStringLiteral("scroll");
            tb.edit();
        };
        t.onNewRecord = [this](Table &) { log << QStringLiteral("new"); };
        t.beforeDelete = [this](Table &) { log << QStringLiteral("beforeDelete"); };
        t.afterDelete = [this](Table &) { log << QStringLiteral("afterDelete"); };
    }

    QString name(Table &t) { return t.fieldByName(col::MBName).asString(); }

    QString dir;
    QStringList log;
};

} // namespace quil::test
