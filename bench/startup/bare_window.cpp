// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick for start-up: a Qt Widgets program that shows nothing but one
// window of the main window's size and caption.
#include <QApplication>
#include <QWidget>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Quillet"));
    window.setFixedSize(662, 191);
    window.show();
    return app.exec();
}
