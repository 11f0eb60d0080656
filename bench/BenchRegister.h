// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A large register written straight into the table file: building one
// through the cursor is measured on its own.
#include "store/DataModules.h"
#include "store/Sqlite.h"

#include <QString>
#include <memory>

namespace quil::bench {

inline void fillRegister(const QString &dir, int from, int count, double firstKey) {
    sql::Database db(dir + QStringLiteral("/MMagaInfo.DB"), sql::Database::Mode::ReadWrite, QStringLiteral("bench"));
    db.exec(QStringLiteral("BEGIN"));
    auto st = db.prepare(QStringLiteral("INSERT INTO MMagaInfo VALUES (?1, ?2, ?3, 'テキスト', '週刊', ?4, ?5, "
                                        "'reader@example.ne.jp', '2003-04-01T09:30:00.000', '192.168.0.1', '無料', "
                                        "'毎週の話題をお届けするメールマガジンです。', '購読中', ?6)"));
    for (int i = from; i < from + count; ++i) {
        st.bindText(1, i % 3 ? QStringLiteral("まぐまぐ") : QStringLiteral("melma"));
        st.bindText(2, QStringLiteral("メールマガジン第%1号").arg(i));
        st.bindInt(3, 100000 + i);
        st.bindText(4, QStringLiteral("http://www.example.jp/mag/%1/").arg(i));
        st.bindText(5, QStringLiteral("editor%1@example.jp").arg(i));
        st.bindDouble(6, firstKey + (i - from));
        st.run();
    }
    db.exec(QStringLiteral("COMMIT"));
}

// The program's two data modules over a register of `records` in a table
// file, both tables open, with the record form's radio sync present so that
// every move pays for it as in the program.
struct Modules {
    std::unique_ptr<TDataModule1> magazines = std::make_unique<TDataModule1>();
    std::unique_ptr<TMMagSysDataModule> systems = std::make_unique<TMMagSysDataModule>();
    explicit Modules(int records) {
        fillRegister(magazines->Table1->directory(), 0, records, 1.0);
        systems->Table2->open();
        magazines->Table1->open();
        magazines->syncPublishingRadio = [](const QString &) {};
    }
    Table &t() { return *magazines->Table1; }
};

} // namespace quil::bench
