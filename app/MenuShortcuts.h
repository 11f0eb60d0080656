// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>

class QWidget;

// The main window's menu shortcuts come before what a text box would make
// of the same keys (a line edit takes Shift+Del as Cut): while one of the
// program's windows is active and no modal box stands, a key that is the
// shortcut of an enabled menu command goes to that command.
class MenuShortcutsFirst : public QObject {
    Q_OBJECT
public:
    // Watches the whole application on behalf of `window`'s actions.
    explicit MenuShortcutsFirst(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
};
