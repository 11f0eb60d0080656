// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// English forms of the program's own Japanese messages (the register's
// errors, the file errors, the mail reader's), for quillet-cli in an English
// locale. The window keeps showing the Japanese texts.
#include <QString>

namespace quil::cli {

// The English form of a message the program composes, its quoted values
// (file names, column names, values from a file) kept as they are; a
// message it does not know comes back unchanged.
QString englishMessage(const QString &japanese);

} // namespace quil::cli
