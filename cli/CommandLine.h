// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "cli/Console.h"

#include <QStringList>

namespace quil::cli {

// The help text in the console's language.
QString helpText(const Console &console);

// Reads the command line (the program's name first), runs the command and
// returns the exit status: 0 done, 1 failed, 2 an unknown command or bad
// options (the usage is then on standard error).
int runCommandLine(const QStringList &arguments, Console &console);

} // namespace quil::cli
