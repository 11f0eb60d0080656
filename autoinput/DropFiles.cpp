// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/DropFiles.h"

#include <QMimeData>
#include <QUrl>

namespace NuvraOLE {

TOLEDropFiles::TOLEDropFiles(QObject *AOwner) : TCustomDropTarget(AOwner) {}

void TOLEDropFiles::DoDragEnter(const QMimeData *data, quint32 keys, QPoint pt, quint32 &effect) {
    // Only local files count; web addresses dragged from a browser are no file list.
    QStringList paths;
    if (data && data->hasUrls()) {
        for (const QUrl &url : data->urls())
            if (url.isLocalFile() && !url.toLocalFile().isEmpty())
                paths.append(url.toLocalFile());
    }
    if (paths.isEmpty()) {
        Acceptable = false;
    } else {
        Files = paths;
        Acceptable = true;
    }
    TCustomDropTarget::DoDragEnter(data, keys, pt, effect);
}

} // namespace NuvraOLE
