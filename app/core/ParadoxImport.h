// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The old Windows program's Paradox tables read into the register:
// MMagaInfo.DB into the magazine table, MMagaSys.DB into the
// publishing-system table, each told by its columns whatever its name.
//
// A file's columns must be exactly the table's, by name, in any order, each
// of a type that holds the column's values:
// - text columns: alpha (longer text is cut as the table cuts it) or memo;
// - マガジンＩＤ (32 bits): short, long integer or autoincrement;
// - the short integers of the systems table: short;
// - 登録日時: timestamp, or date (at midnight);
// - the Boolean columns: logical.
// A missing, repeated or extra column, or one of another type, is an error
// naming the file and the column, before anything is stored. Each import is
// one walk in one transaction and stores every record or none: a record
// that cannot be read (store/ParadoxTable.h) undoes the records before it,
// and a record the reader was editing is stored first, as a move would.
#include "app/core/RegisterCommands.h"
#include "store/ParadoxTable.h"
#include "store/Table.h"
#include "text/Error.h"

#include <QString>

namespace quil {

enum class ParadoxTableKind { Neither, Magazines, Systems };

// The table whose column names the file has more of; Neither when it has
// none of either, or as many of both.
ParadoxTableKind paradoxTableKind(const ParadoxTable &file);
// The same for a file on disk; throws the reader's errors.
ParadoxTableKind paradoxTableKind(const QString &path);
// The error for a file whose columns name neither table.
Error neitherParadoxTableError(const QString &name);

// Appends every record of the file in its stored order with all 13
// columns, empty fields empty, timestamps to the second, and returns the
// number of records stored. Afterwards the cursor stands on the last
// imported record, stored; importDoneNotice(count) is what to show.
int importParadoxMagazines(Table &magazines, ParadoxTable &file);
int importParadoxMagazines(Table &magazines, const QString &path);

struct ParadoxSystemsImport {
    int added = 0; // rows appended
    int kept = 0;  // rows whose name the table already had (the built-in ones among them)
};
// Appends, with all 11 columns, the rows whose "発行システム名" (as the
// table would store it) the table does not have yet; the built-in rows and
// every name already there are left as they are, and a name that comes
// twice is added once. The cursor stands on the last row added, stored, or
// where it stood when none was.
ParadoxSystemsImport importParadoxSystems(Table &systems, ParadoxTable &file);
ParadoxSystemsImport importParadoxSystems(Table &systems, const QString &path);

// "計 N 行の発行システムを追加しました（M 行は既にあるため変更していません）。" / "書き込み完了".
Notice paradoxSystemsNotice(const ParadoxSystemsImport &result);

struct ParadoxImport {
    ParadoxTableKind kind = ParadoxTableKind::Neither;
    int added = 0; // records or rows stored
    int kept = 0;  // systems rows left as they were
    Notice notice; // importDoneNotice or paradoxSystemsNotice
};
// Reads the file once and imports it into the table its columns name. A
// file that names neither is an error naming the file; nothing is stored.
ParadoxImport importParadox(Table &magazines, Table &systems, const QString &path);
ParadoxImport importParadox(Table &magazines, Table &systems, ParadoxTable &file);

} // namespace quil
