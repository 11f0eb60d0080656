// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MenuShortcuts.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QWidget>

MenuShortcutsFirst::MenuShortcutsFirst(QWidget *window) : QObject(window), m_window(window) {
    qApp->installEventFilter(this);
}

bool MenuShortcutsFirst::eventFilter(QObject *, QEvent *event) {
    if (event->type() != QEvent::ShortcutOverride || QApplication::activeModalWidget())
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const QKeySequence pressed(key->keyCombination());
    const auto actions = m_window->findChildren<QAction *>();
    for (const QAction *a : actions) {
        if (!a->isEnabled() || a->shortcutContext() != Qt::ApplicationShortcut)
            continue;
        for (const QKeySequence &s : a->shortcuts())
            if (s == pressed)
                return true; // the text box never hears of it; the shortcut runs
    }
    return false;
}
