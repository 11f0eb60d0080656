#pragma once
#include <QIcon>

#include <functional>

class QApplication;
class QPainter;

namespace quil {

// An icon drawn only when it is first painted, at the size and scale asked
// for. `draw` paints on a `designSize` square; the painter is scaled to the
// pixmap asked for. Windows that start hidden then pay nothing for their
// icons while the program starts.
QIcon drawnIcon(std::function<void(QPainter &)> draw, int designSize = 16);

// Makes the style's standard icons load when they are first painted
// instead of when a widget asks for them: the menu bar's extension arrow,
// never shown on a fixed window, would otherwise load the image readers
// while the main window is built.
void installLazyStandardIcons(QApplication &app);

} // namespace quil
