// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QStringList>

namespace quil {

class Table;

// Reads publishing-system settings: every [KAV-SYP] block of the lines
// becomes a new row of the systems table, and the row of the last block is
// stored at the end. Returns the number of blocks begun. Errors (a block not
// closed, a label on the last line, a value a number column cannot take)
// propagate as quil::Error; rows of the complete blocks before stay stored
// and the broken block's row is left being inserted with what was read.
// Runs as one walk of the table.
int readSystemSettings(Table &systems, QStringList lines);
// The same from a Shift_JIS file (CR LF, LF or CR line ends).
int readSystemSettingsFile(Table &systems, const QString &path);

} // namespace quil
