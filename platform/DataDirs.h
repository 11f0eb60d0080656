// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace quil {

// Creates the directory and any missing parents, each 0700; throws
// quil::Error naming the folder when one cannot be made. Returns the path.
QString ensureDirectory(const QString &path);

// $XDG_DATA_HOME/quillet (default ~/.local/share/quillet), created 0700.
QString dataDirectory();
// $XDG_CONFIG_HOME/quillet (default ~/.config/quillet), created 0700.
QString configDirectory();
// The settings file inside configDirectory().
QString registryFilePath();

} // namespace quil
