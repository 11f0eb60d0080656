// SPDX-License-Identifier: GPL-3.0-or-later
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

// The records of a file's text, the header first. The text is read as lines
// as text-list files are (CR, LF or CR LF; a NUL ends the text; a last line
// without a line end counts), and each line is one record, with one
// exception for values with line breaks, which our export writes inside
// their quotes: a line that ends inside a quoted value runs on over the
// following lines when all of this holds, and only then:
// - the joined lines close their quotes and split into exactly as many
//   values as the header has names;
// - read one by one they would not all be records: the line itself, or one
//   of the lines it would take, has fewer values than the header.
// So a file whose values are written unchanged reads line by line, and a
// quote left open never takes the lines after it. The header is always one
// line. Line breaks inside a joined record are CR LF. `lines`, when given,
// gets the line each record begins on, from 1.
QStringList csvRecords(const QString &text, QList<qsizetype> *lines = nullptr);

// Writes the header of the column names and one line per record in stored
// order, every value between double quotes (a double quote inside doubled,
// line breaks as CR LF), each line ended by CR LF, characters Shift_JIS
// cannot hold as "?". Returns the number of records. A new record the reader
// has typed into is stored first and exported; an untouched one is dropped.
// The cursor returns to the record that was current before the file is
// written whole, so a write error leaves it there too.
int exportCsv(Table &magazines, const QStringList &columns, const QString &path);

// Appends one record per data record of the file (csvRecords), in one
// transaction with the bound controls quiet, and returns the number of
// records stored. Errors (quil::Error) stop the import; the records before
// stay stored and the record begun for the failing one keeps what was set:
// - a file in another encoding (UTF-8, UTF-16, UTF-32; cp932::otherEncoding):
//   an error naming the file and the encoding, nothing added;
// - an empty file: the list-index error (0), nothing added;
// - fewer values than names: the list-index error of the first missing one,
//   naming the line and the column;
// - a name that is no column: the engine's field-not-found error at the
//   first data record;
// - a value the column cannot take: the engine's conversion error.
// Extra values are ignored. A record that sets nothing (a header naming no
// column) is not stored and not counted. Afterwards the cursor stands on the
// last imported record, stored.
int importCsv(Table &magazines, const QString &path);

// "計 N 件保存しました。" / "保存完了".
Notice exportDoneNotice(int records);
// "計 N 行のデータを書きこみました。" / "書き込み完了", N the records stored.
Notice importDoneNotice(int records);

} // namespace quil
