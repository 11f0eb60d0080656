// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/DropText.h"
#include "text/Cp932.h"

#include <QMimeData>

namespace NuvraOLE {

namespace {

// Real plain text only: Qt also offers the addresses of a file drag as text,
// which is no dragged text.
bool carriesText(const QMimeData *data) {
    if (!data)
        return false;
    for (const QString &f : data->formats())
        if (f == QLatin1String("text/plain") || f.startsWith(QLatin1String("text/plain;")))
            return true;
    return false;
}

} // namespace

TOLEDropText::TOLEDropText(QObject *AOwner) : TCustomDropTarget(AOwner) {}

void TOLEDropText::DoDragEnter(const QMimeData *data, quint32 keys, QPoint pt, quint32 &effect) {
    Text.clear();
    if (!carriesText(data)) {
        Acceptable = false;
    } else {
        QByteArray bytes = quil::cp932::encode(data->text());
        const qsizetype nul = bytes.indexOf('\0');
        if (nul >= 0)
            bytes.truncate(nul);
        Text = bytes;
        Acceptable = true;
    }
    TCustomDropTarget::DoDragEnter(data, keys, pt, effect);
}

} // namespace NuvraOLE
