// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "app/Application.h"
#include "app/TQUILMainForm.h"
#include "platform/DataDirs.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace quil::test {

inline const QString QuilKey = QStringLiteral("software\\KAV\\QUIL");

// The whole application in its start-up order over fresh directories.
class AppTest : public EnvTest {
protected:
    // A reader who already keeps an (empty) address list, so that start-up
    // shows nothing but the first-start question.
    void SetUp() override {
        EnvTest::SetUp();
        env->writeFile("MADDRESS.ini", QByteArray());
    }
    void TearDown() override {
        destroyApplicationObjects();
        EnvTest::TearDown();
    }

    void start() { createApplicationObjects(); }
    void restart() {
        destroyApplicationObjects();
        MessageBox::clearShown();
        createApplicationObjects();
    }

    static RegistryFile registry() { return RegistryFile(registryFilePath()); }
    static void seed(const QString &name, const RegValue &value) { registry().setValue(QuilKey, name, value); }
    static std::optional<RegValue> stored(const QString &name) { return registry().value(QuilKey, name); }

    static bool activate(QWidget *window) {
        window->activateWindow();
        return QTest::qWaitForWindowActive(window);
    }
};

// Runs `trigger`, which opens a modal window, hands that window to `inspect`
// once it is up, and closes it unless `inspect` already did. Gives up after
// a bounded number of polls. Returns the modal window seen (or null).
inline QWidget *whileModal(const std::function<void()> &trigger, const std::function<void(QWidget *)> &inspect = {}) {
    QWidget *seen = nullptr;
    int polls = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            timer.stop();
            seen = modal;
            if (inspect)
                inspect(modal);
            if (modal->isVisible())
                modal->close();
        } else if (++polls > 1000) {
            timer.stop();
        }
    });
    timer.start();
    trigger();
    timer.stop();
    return seen;
}

} // namespace quil::test
