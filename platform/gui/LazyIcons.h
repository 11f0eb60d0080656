// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QColor>
#include <QIcon>

#include <functional>

class QApplication;
class QPainter;
class QPalette;

namespace quil {

// An icon drawn only when it is first painted, at the size and scale asked
// for. `draw` paints on a `designSize` square; the painter is scaled to the
// pixmap asked for. Windows that start hidden then pay nothing for their
// icons while the program starts.
QIcon drawnIcon(std::function<void(QPainter &)> draw, int designSize = 16);

// The same for a drawing that takes its colours from the application's
// palette: it is drawn again after the palette changes (a dark desktop
// theme, or one switched while the program runs).
QIcon drawnIcon(std::function<void(QPainter &, const QPalette &)> draw, int designSize = 16);

// The contrast ratio of two colours as WCAG 2 defines it: 1 (same
// luminance) to 21 (black on white).
double contrastRatio(const QColor &a, const QColor &b);

// `ink` itself when it stands out on `background` by `ratio`; otherwise the
// same hue lightened on a dark background or darkened on a light one until
// it does. A glyph's dark green stays dark green on a light button and
// turns light green on a dark one.
QColor readableOn(const QColor &ink, const QColor &background, double ratio = 4.5);

// Makes the style's standard icons load when they are first painted
// instead of when a widget asks for them: the menu bar's extension arrow,
// never shown on a fixed window, would otherwise load the image readers
// while the main window is built.
void installLazyStandardIcons(QApplication &app);

} // namespace quil
