// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/core/ParadoxImport.h"

#include "app/core/Csv.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "text/Cp932.h"
#include "text/Error.h"

#include <QDate>
#include <QDateTime>
#include <QSet>

#include <vector>

namespace quil {
namespace {

bool holds(FieldType column, ParadoxType type) {
    switch (column) {
    case FieldType::String:
        return type == ParadoxType::Alpha || type == ParadoxType::Memo;
    case FieldType::Integer:
        return type == ParadoxType::Short || type == ParadoxType::Long || type == ParadoxType::AutoIncrement;
    case FieldType::SmallInt:
        return type == ParadoxType::Short;
    case FieldType::DateTime:
        return type == ParadoxType::Timestamp || type == ParadoxType::Date;
    case FieldType::Boolean:
        return type == ParadoxType::Logical;
    }
    return false;
}

// For each of the table's columns, the file's field that fills it; throws
// for a file whose columns are not exactly the table's.
std::vector<int> columnsOf(const ParadoxTable &file, const std::vector<FieldDef> &schema) {
    std::vector<int> map(schema.size(), -1);
    const std::vector<ParadoxField> &fields = file.fields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const ParadoxField &f = fields[i];
        size_t c = 0;
        while (c < schema.size() && schema[c].name != f.name)
            ++c;
        if (c == schema.size())
            throw Error(QStringLiteral("ファイル %1 の列「%2」は、読みこむ表にない列です").arg(file.name(), f.name));
        if (map[c] >= 0)
            throw Error(QStringLiteral("ファイル %1 には列「%2」が二つ以上あります").arg(file.name(), f.name));
        if (!holds(schema[c].type, f.type))
            throw Error(QStringLiteral("ファイル %1 の列「%2」の型 %3 では、この列を読みこめません")
                            .arg(file.name(), f.name, paradoxTypeName(f.type)));
        map[c] = int(i);
    }
    for (size_t c = 0; c < schema.size(); ++c)
        if (map[c] < 0)
            throw Error(QStringLiteral("ファイル %1 には列「%2」がありません").arg(file.name(), schema[c].name));
    return map;
}

void set(Field &field, const QVariant &value) {
    if (!value.isValid()) {
        field.clear();
        return;
    }
    switch (field.dataType()) {
    case FieldType::String:
        field.setAsString(value.toString());
        break;
    case FieldType::Integer:
    case FieldType::SmallInt:
        field.setAsInteger(value.toInt());
        break;
    case FieldType::DateTime:
        field.setAsDateTime(value.typeId() == QMetaType::QDate ? QDateTime(value.toDate(), QTime(0, 0))
                                                                : value.toDateTime());
        break;
    case FieldType::Boolean:
        field.setAsBoolean(value.toBool());
        break;
    }
}

// The record read last appended with every column; text goes as text, as
// empty text empties a column. An empty record is a record too: it is
// stored, not dropped as an untouched new one would be.
void appendRecord(Table &t, const std::vector<int> &map, const ParadoxTable &file) {
    t.append();
    for (size_t c = 0; c < map.size(); ++c) {
        Field &field = t.field(int(c));
        if (field.dataType() == FieldType::String)
            field.setAsString(file.text(map[c]));
        else
            set(field, file.value(map[c]));
    }
    t.setModified(true);
}

QStringList names(const std::vector<FieldDef> &schema) {
    QStringList out;
    for (const FieldDef &f : schema)
        out << f.name;
    return out;
}

} // namespace

ParadoxTableKind paradoxTableKind(const ParadoxTable &file) {
    static const QStringList magazines = names(TDataModule1::schema());
    static const QStringList systems = names(TMMagSysDataModule::schema());
    int m = 0, s = 0;
    for (const ParadoxField &f : file.fields()) {
        m += magazines.contains(f.name);
        s += systems.contains(f.name);
    }
    if (m == s)
        return ParadoxTableKind::Neither;
    return m > s ? ParadoxTableKind::Magazines : ParadoxTableKind::Systems;
}

ParadoxTableKind paradoxTableKind(const QString &path) {
    const ParadoxTable file(path);
    return paradoxTableKind(file);
}

int importParadoxMagazines(Table &t, ParadoxTable &file) {
    (void)t.recordCount(); // the engine's closed-table error first
    const std::vector<int> map = columnsOf(file, t.schema());
    Table::DisabledControls quiet(t);
    Table::Walk walk(t);
    // What the reader typed is theirs: stored before, and kept if the file fails.
    t.checkBrowseMode();
    int stored = 0;
    {
        Table::Part all(t);
        for (int r = 0; r < file.recordCount(); ++r) {
            file.read(r);
            appendRecord(t, map, file);
            ++stored;
        }
        if (stored > 0)
            t.post();
        all.keep();
    }
    walk.end();
    return stored;
}

int importParadoxMagazines(Table &magazines, const QString &path) {
    ParadoxTable file(path);
    return importParadoxMagazines(magazines, file);
}

ParadoxSystemsImport importParadoxSystems(Table &s, ParadoxTable &file) {
    (void)s.recordCount();
    const std::vector<FieldDef> &schema = s.schema();
    const std::vector<int> map = columnsOf(file, schema);
    const int nameColumn = s.fieldByName(col::MMSysName).index();
    const int nameWidth = s.fieldByName(col::MMSysName).size();
    ParadoxSystemsImport result;
    Table::DisabledControls quiet(s);
    Table::Walk walk(s);
    s.checkBrowseMode();
    QSet<QString> present;
    for (const QString &name : s.columnTexts(col::MMSysName) + builtInSystemNames())
        present.insert(name);
    {
        Table::Part all(s);
        for (int r = 0; r < file.recordCount(); ++r) {
            file.read(r);
            // Compared as the table would hold it.
            const QString name = cp932::cutToWidth(file.text(map[size_t(nameColumn)]), nameWidth);
            if (present.contains(name)) {
                ++result.kept;
                continue;
            }
            appendRecord(s, map, file);
            present.insert(name);
            ++result.added;
        }
        if (result.added > 0)
            s.post();
        all.keep();
    }
    walk.end();
    return result;
}

ParadoxSystemsImport importParadoxSystems(Table &systems, const QString &path) {
    ParadoxTable file(path);
    return importParadoxSystems(systems, file);
}

Notice paradoxSystemsNotice(const ParadoxSystemsImport &result) {
    return {QStringLiteral("計 %1 行の発行システムを追加しました（%2 行は既にあるため変更していません）。")
                .arg(result.added)
                .arg(result.kept),
            QStringLiteral("書き込み完了"), MsgIcon::Information};
}

Error neitherParadoxTableError(const QString &name) {
    return Error(QStringLiteral("ファイル %1 は、メールマガジンの表 (MMagaInfo.DB) でも発行システムの表 (MMagaSys.DB) でもありません")
                     .arg(name));
}

ParadoxImport importParadox(Table &magazines, Table &systems, const QString &path) {
    ParadoxTable file(path);
    return importParadox(magazines, systems, file);
}

ParadoxImport importParadox(Table &magazines, Table &systems, ParadoxTable &file) {
    ParadoxImport result;
    result.kind = paradoxTableKind(file);
    switch (result.kind) {
    case ParadoxTableKind::Magazines:
        result.added = importParadoxMagazines(magazines, file);
        result.notice = importDoneNotice(result.added);
        break;
    case ParadoxTableKind::Systems: {
        const ParadoxSystemsImport rows = importParadoxSystems(systems, file);
        result.added = rows.added;
        result.kept = rows.kept;
        result.notice = paradoxSystemsNotice(rows);
        break;
    }
    case ParadoxTableKind::Neither:
        throw neitherParadoxTableError(file.name());
    }
    return result;
}

} // namespace quil
