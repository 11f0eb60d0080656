// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "autoinput/DropTarget.h"

#include <QStringList>

namespace NuvraOLE {

// Accepts dragged files. Files holds their full local paths in the order of
// the drag, read when the drag enters; a drag without files leaves the
// previous list.
class TOLEDropFiles : public TCustomDropTarget {
    Q_OBJECT
public:
    explicit TOLEDropFiles(QObject *AOwner = nullptr);

    QStringList Files;

    void DoDragEnter(const QMimeData *data, quint32 keys, QPoint pt, quint32 &effect) override;
};

} // namespace NuvraOLE
