// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which copy of the manual help (F1) opens.
#include <QString>

namespace quil {

// The manual's file under a folder that holds one.
inline constexpr const char *ManualFile = "Manual/QUIL.html";

// The absolute path of the manual to open, or an empty string when there is
// none. A manual under the folder the program was started from comes first,
// as it always has; then the installed one, found from the program's own
// folder (`<programFolder>/../share/doc/quillet/Manual`), so that a moved
// installation still finds it; last the copy a build puts beside its
// program. Only files count.
QString manualToOpen(const QString &currentFolder, const QString &programFolder);

} // namespace quil
