// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/core/Manual.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace quil {

QString manualToOpen(const QString &currentFolder, const QString &programFolder) {
    const QString file = QString::fromLatin1(ManualFile);
    QStringList candidates;
    if (!currentFolder.isEmpty())
        candidates << QDir(currentFolder).absoluteFilePath(file);
    // An empty program folder would make these relative to the current one.
    if (!programFolder.isEmpty()) {
        const QDir program(programFolder);
        candidates << program.absoluteFilePath(QStringLiteral("../share/doc/quillet/") + file)
                   << program.absoluteFilePath(file);
    }
    for (const QString &candidate : candidates) {
        const QString path = QDir::cleanPath(candidate);
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

} // namespace quil
