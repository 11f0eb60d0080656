// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "autoinput/DropTarget.h"

#include <QByteArray>

namespace NuvraOLE {

// Accepts dragged plain text. Text holds it as Shift_JIS bytes, read when the
// drag enters, up to the first NUL.
class TOLEDropText : public TCustomDropTarget {
    Q_OBJECT
public:
    explicit TOLEDropText(QObject *AOwner = nullptr);

    QByteArray Text;

    void DoDragEnter(const QMimeData *data, quint32 keys, QPoint pt, quint32 &effect) override;
};

} // namespace NuvraOLE
