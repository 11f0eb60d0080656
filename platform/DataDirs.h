#pragma once
#include <QString>

namespace quil {

// $XDG_DATA_HOME/quillet (default ~/.local/share/quillet), created 0700.
QString dataDirectory();
// $XDG_CONFIG_HOME/quillet (default ~/.config/quillet), created 0700.
QString configDirectory();
// The settings file inside configDirectory().
QString registryFilePath();

} // namespace quil
