#pragma once
// The register as a comma-separated Shift_JIS file: export of chosen columns,
// import of a file whose first record names the columns, and the splitting
// of a record into values that both rely on.
#include "app/core/RegisterCommands.h"
#include "store/Table.h"

#include <QString>
#include <QStringList>

namespace quil {

// The values of one record. Characters 1..32 before the first value are
// skipped. A value starting with a double quote runs to the next single
// double quote ("" inside stands for one, commas, blanks and line breaks are
// ordinary inside); without a closing quote it runs to the end. Any other
// value runs up to the next comma or character <= 32. After a value,
// characters 1..32 are skipped; a comma is stepped over together with the
// characters 1..32 after it. Two commas give an empty value, a comma at the
// end adds none. A NUL ends the record. Works on decoded text, so a
// double-byte character never ends a value.
QStringList splitCsvLine(const QString &line);

// The records of a file's text. Lines end as in text-list files (CR, LF or
// CR LF; a NUL ends the text; a last line without a line end counts), except
// that a line break inside a quoted value belongs to the value and the record
// goes on in the next line; such a line break is kept as CR LF.
QStringList csvRecords(const QString &text);

// Writes the header of the column names and one line per record in stored
// order, every value between double quotes (a double quote inside doubled,
// line breaks as CR LF), each line ended by CR LF, characters Shift_JIS
// cannot hold as "?". Returns the number of records. A new record the reader
// has typed into is stored first and exported; an untouched one is dropped.
// The cursor returns to the record that was current before the file is
// written whole, so a write error leaves it there too.
int exportCsv(Table &magazines, const QStringList &columns, const QString &path);

// Appends one record per data record of the file, in one transaction with the
// bound controls quiet, and returns the number of data records. Errors
// (quil::Error) stop the import; the records before stay stored and the
// record begun for the failing one keeps what was set:
// - an empty file: the list-index error (0), nothing added;
// - fewer values than names: the list-index error of the first missing one;
// - a name that is no column: the engine's field-not-found error at the
//   first data record;
// - a value the column cannot take: the engine's conversion error.
// Extra values are ignored. Afterwards the cursor stands on the last
// imported record, stored.
int importCsv(Table &magazines, const QString &path);

// "計 N 件保存しました。" / "保存完了".
Notice exportDoneNotice(int records);
// "計 N 行のデータを書きこみました。" / "書き込み完了".
Notice importDoneNotice(int records);

} // namespace quil
