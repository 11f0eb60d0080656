// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Value conversions of the field objects: text, numbers, dates and Booleans
// in and out of a column, and between the record buffer and SQLite.
// Internal to the engine.
#include "store/Sqlite.h"
#include "store/Table.h"

#include <QVariant>
#include <optional>

namespace quil::values {

QString closedError();
QString notEditingError();
QString variantError();

// A whole decimal number: leading blanks, an optional sign, ASCII digits, and
// (when allowed) trailing blanks. Fails on anything else or beyond 64 bits.
bool parseDecimal(const QString &text, bool trailingBlanks, qint64 &out);
std::optional<bool> parseBool(const QString &text);

// Range of a number column; `textForm` picks the error of a text conversion.
QVariant checkedInteger(const FieldDef &def, qint64 v, const QString &source, bool textForm);
// Text cut to the column's width; empty text is null.
QVariant cutText(const FieldDef &def, const QString &text);
// The "from text" conversion of a column.
QVariant fromText(const FieldDef &def, const QString &text);
// The "as a value" conversion of a column.
QVariant fromVariant(const FieldDef &def, const QVariant &value);
// The text form of a buffer value.
QString textOf(const FieldDef &def, const QVariant &v);

// SQLite side.
// The stored form of a date ("yyyy-MM-ddThh:mm:ss.zzz" for local dates).
QString storedDateText(const QDateTime &dt);
QString sqlType(FieldType t);
void bindValue(sql::Statement &s, int i, const FieldDef &def, const QVariant &v);
QVariant readValue(const sql::Statement &s, int col, const FieldDef &def);
// Turns a date still in its stored form into its value.
void materialize(const FieldDef &def, QVariant &v);

} // namespace quil::values
