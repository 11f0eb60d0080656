// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "app/Application.h"
#include "forms/DataControls.h"
#include "forms/TQUILForm.h"
#include "platform/MessageBox.h"
#include "store/DataModules.h"
#include "tests/support/TestEnv.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QInputMethodEvent>
#include <QTest>

namespace quil::test {

// Types text the way a reader does: ASCII through key events, other
// characters through the input method, as a Japanese IME commits them.
inline void typeText(QWidget *w, const QString &text) {
    QString pending;
    auto commit = [&] {
        if (pending.isEmpty())
            return;
        QInputMethodEvent ev;
        ev.setCommitString(pending);
        QApplication::sendEvent(w, &ev);
        pending.clear();
    };
    for (QChar c : text) {
        if (c.unicode() >= 32 && c.unicode() < 127) {
            commit();
            QTest::keyClick(w, char(c.unicode()));
        } else {
            pending += c;
        }
    }
    commit();
}

inline void replaceText(QWidget *w, const QString &text) {
    QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w, Qt::Key_Delete);
    typeText(w, text);
}

inline QList<ShownMessage> errorsShown() {
    QList<ShownMessage> out;
    for (const ShownMessage &m : MessageBox::shown())
        if (m.icon == MsgIcon::Error)
            out << m;
    return out;
}

// The whole application in its start-up order over fresh directories.
class AppTest : public EnvTest {
protected:
    void startApp() {
        createApplicationObjects();
        form = QUILForm;
        t1 = DataModule1->Table1;
        t2 = MMagSysDataModule->Table2;
        ASSERT_NE(form, nullptr);
        MessageBox::clearShown();
    }
    void TearDown() override {
        destroyApplicationObjects();
        EnvTest::TearDown();
    }
    // Stores a record through the table and leaves the cursor on it.
    void addRecord(const QString &name, const QString &publishing = QString()) {
        t1->append();
        DataModule1->Table1MBNameSF->setAsString(name);
        if (!publishing.isEmpty())
            DataModule1->Table1PublishingSF->setAsString(publishing);
        t1->post();
    }
    void addSystem(const QString &name) {
        t2->append();
        MMagSysDataModule->Table2MMSysNameSF->setAsString(name);
        t2->post();
    }
    void click(DBNavigator::Button b) { QTest::mouseClick(form->DBNavigator->button(b), Qt::LeftButton); }
    void showActive() {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    }

    TQUILForm *form = nullptr;
    Table *t1 = nullptr;
    Table *t2 = nullptr;
};

inline void clickItem(QRadioButton *b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2)); }

// Chooses an entry of a drop-down list through its popup, as the reader does.
inline void chooseInPopup(QComboBox *combo, const QString &text) {
    combo->showPopup();
    const int row = combo->findText(text);
    ASSERT_GE(row, 0) << text.toStdString();
    combo->view()->setCurrentIndex(combo->model()->index(row, 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
}

} // namespace quil::test
