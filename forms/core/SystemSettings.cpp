#include "forms/core/SystemSettings.h"

#include "store/Table.h"
#include "text/TextList.h"

namespace quil {

int readSystemSettings(Table &, QStringList) { return 0; }

int readSystemSettingsFile(Table &systems, const QString &path) {
    return readSystemSettings(systems, textlist::readFile(path));
}

} // namespace quil
