// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QStringList>

class QApplication;

namespace quil {

// Start-up step 4: creates the eight application-wide objects in their fixed
// order (the two data modules, then the main window and the other windows);
// each window's creation handler runs inside the general error display.
// Only the main window is shown; it is shown and painted as soon as it
// exists, before the windows that start hidden are made.
void createApplicationObjects();
// Stores a changed record still being edited in either table, then destroys
// the objects in reverse order.
void destroyApplicationObjects();

// Start-up steps 1 to 6 around the message loop; returns the exit code (0).
int runApplication(int argc, char **argv);

// Start-up steps 2 and 3 on an existing application object: the title
// "Quillet", the Japanese locale for Qt's own widgets, the help file name
// (property "HelpFile", opened by nothing) and the default font. The
// program icon is set once the main window has painted.
void configureApplication(QApplication &app);

// Object names in the order the last createApplicationObjects() made them.
QStringList applicationObjectOrder();

} // namespace quil
