// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/TAboutBox.h"
#include "app/TDBGridForm.h"
#include "autoinput/TQUILAutoInputForm.h"
#include "forms/TMAddSetForm.h"
#include "forms/TMIDCopyForm.h"
#include "forms/TOSConfigForm.h"
#include "forms/TQUILForm.h"
#include "platform/MessageBox.h"
#include "platform/Opener.h"
#include "store/DataModules.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

using namespace quil;
using namespace quil::test;

namespace {

// Records every change of a widget's enabled state.
class EnabledLog : public QObject {
public:
    explicit EnabledLog(QWidget *w) : m_widget(w) { w->installEventFilter(this); }
    QList<bool> changes;

protected:
    bool eventFilter(QObject *o, QEvent *e) override {
        if (o == m_widget && e->type() == QEvent::EnabledChange)
            changes << m_widget->isEnabled();
        return false;
    }

private:
    QWidget *m_widget;
};

} // namespace

TEST_F(AppTest, FunctionKeysToggleTheirWindows) {
    start();
    struct Case {
        Qt::Key key;
        QWidget *window;
    };
    const Case cases[] = {{Qt::Key_F2, QUILForm}, {Qt::Key_F4, QUILAutoInputForm}, {Qt::Key_F7, DBGridForm}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.window->objectName().toStdString());
        ASSERT_TRUE(activate(QUILMainForm));
        QWidget *const before = c.window;
        QTest::keyClick(QUILMainForm, c.key);
        EXPECT_TRUE(c.window->isVisible());
        ASSERT_TRUE(activate(QUILMainForm));
        QTest::keyClick(QUILMainForm, c.key);
        EXPECT_FALSE(c.window->isVisible());
        // The window is neither created nor destroyed by its action.
        EXPECT_EQ(c.window, before);
    }
    EXPECT_TRUE(QUILMainForm->isVisible());
}

TEST_F(AppTest, MainWindowShortcutsAlsoWorkFromTheRecordForm) {
    start();
    QUILMainForm->ShowDatabaseAction->trigger();
    ASSERT_TRUE(QUILForm->isVisible());
    ASSERT_TRUE(activate(QUILForm));
    QTest::keyClick(QUILForm, Qt::Key_F7);
    EXPECT_TRUE(DBGridForm->isVisible());
    ASSERT_TRUE(activate(QUILForm));
    QTest::keyClick(QUILForm, Qt::Key_F2);
    EXPECT_FALSE(QUILForm->isVisible());
    // The menu items bound to the actions run them too.
    QUILMainForm->DBGridForm1->trigger();
    EXPECT_FALSE(DBGridForm->isVisible());
    QUILMainForm->AutoInputForm1->trigger();
    EXPECT_TRUE(QUILAutoInputForm->isVisible());
}

TEST_F(AppTest, F5ShowsTheSameConfigurationWindowModallyEachTime) {
    start();
    QList<QWidget *> seen;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(activate(QUILMainForm));
        QWidget *modal = whileModal([] { QTest::keyClick(QUILMainForm, Qt::Key_F5); },
                                    [i](QWidget *m) {
                                        // What the first use left is still there the second time.
                                        if (i == 0)
                                            m->setProperty("visited", true);
                                        else
                                            EXPECT_TRUE(m->property("visited").toBool());
                                    });
        seen << modal;
        EXPECT_FALSE(OSConfigForm->isVisible());
    }
    EXPECT_EQ(seen[0], OSConfigForm);
    EXPECT_EQ(seen[1], OSConfigForm);
}

TEST_F(AppTest, AddressWindowAndAboutBoxAreCreatedForEachUseAndDestroyed) {
    start();
    ASSERT_TRUE(activate(QUILMainForm));
    QWidget *address = whileModal([] { QTest::keyClick(QUILMainForm, Qt::Key_F3); }, [](QWidget *m) {
        EXPECT_TRUE(qobject_cast<TMAddSetForm *>(m));
        EXPECT_EQ(m->parentWidget(), QUILMainForm);
    });
    EXPECT_TRUE(address);
    EXPECT_TRUE(QUILMainForm->findChildren<TMAddSetForm *>().isEmpty());

    ASSERT_TRUE(activate(QUILMainForm));
    bool closedByOk = false;
    QWidget *about = whileModal([] { QTest::keyClick(QUILMainForm, Qt::Key_F12); }, [&](QWidget *m) {
        auto *box = qobject_cast<TAboutBox *>(m);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("バージョン情報"));
        EXPECT_EQ(box->size(), QSize(298, 249));
        EXPECT_EQ(box->minimumSize(), box->maximumSize());
        EXPECT_EQ(box->ProductName->text(), "Quillet");
        EXPECT_EQ(box->Version->text(), "Version 4.00");
        EXPECT_FALSE(box->ProgramIcon->pixmap().isNull());
        EXPECT_EQ(box->ProgramIcon->size(), QSize(32, 32));
        EXPECT_TRUE(box->OKButton->isDefault());
        EXPECT_EQ(box->OKButton->text(), "OK");
        // Everything stands inside the box.
        for (QWidget *child : box->findChildren<QWidget *>())
            EXPECT_TRUE(box->rect().contains(child->mapTo(box, child->rect().bottomRight())))
                << child->objectName().toStdString();
        QTest::mouseClick(box->OKButton, Qt::LeftButton);
        closedByOk = !box->isVisible();
    });
    EXPECT_TRUE(about);
    EXPECT_TRUE(closedByOk);
    EXPECT_TRUE(QUILMainForm->findChildren<TAboutBox *>().isEmpty());
}

TEST_F(AppTest, HelpOpensTheManualUnderTheCurrentFolderWithoutMessages) {
    QDir().mkpath("Manual");
    env->writeFile("Manual/QUIL.html", "<html></html>");
    start();
    ASSERT_TRUE(activate(QUILMainForm));
    QTest::keyClick(QUILMainForm, Qt::Key_F1);
    ASSERT_EQ(Opener::opened().size(), 1);
    EXPECT_TRUE(Opener::opened()[0].localFile);
    EXPECT_EQ(Opener::opened()[0].address, QDir(env->cwd()).absoluteFilePath("Manual/QUIL.html"));
    EXPECT_EQ(MessageBox::shown().size(), 1); // only the first-start question
}

TEST_F(AppTest, HelpWithoutAManualUnderTheCurrentFolderOpensOnlyAnExistingCopyBesideTheProgram) {
    start();
    ASSERT_TRUE(activate(QUILMainForm));
    QTest::keyClick(QUILMainForm, Qt::Key_F1);
    // Whether this build has an installed or copied manual near the test
    // program is not this test's business; whatever is opened must exist.
    const QDir program(QCoreApplication::applicationDirPath());
    const QStringList copies = {QDir::cleanPath(program.absoluteFilePath("../share/doc/quillet/Manual/QUIL.html")),
                                QDir::cleanPath(program.absoluteFilePath("Manual/QUIL.html"))};
    const bool anyCopy = QFileInfo(copies[0]).isFile() || QFileInfo(copies[1]).isFile();
    ASSERT_EQ(Opener::opened().size(), anyCopy ? 1 : 0);
    for (const Opener::Request &r : Opener::opened()) {
        EXPECT_TRUE(r.localFile);
        EXPECT_TRUE(copies.contains(r.address)) << r.address.toStdString();
        EXPECT_TRUE(QFileInfo(r.address).isFile()) << r.address.toStdString();
    }
    // A missing manual is not reported.
    EXPECT_EQ(MessageBox::shown().size(), 1); // only the first-start question
}

TEST_F(AppTest, NoticeOptionClickWritesTheNewStateAtOnce) {
    start();
    QAction *item = QUILMainForm->CancelNoticeMaker;
    ASSERT_TRUE(item->isChecked());
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(QUILMainForm->cancelNoticeEnabled());
    ASSERT_TRUE(stored("CNMCheck"));
    EXPECT_EQ(stored("CNMCheck")->type, RegType::String);
    EXPECT_EQ(stored("CNMCheck")->text, "0");
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ(stored("CNMCheck")->text, "1");
    item->trigger();
    // The next start reads what the last click wrote.
    restart();
    EXPECT_FALSE(QUILMainForm->CancelNoticeMaker->isChecked());
}

TEST_F(AppTest, PubzineIpItemIsGreyedUncheckedAndCannotBeChosen) {
    start();
    QAction *item = QUILMainForm->PubzineIP;
    EXPECT_FALSE(item->isEnabled());
    EXPECT_TRUE(item->isCheckable());
    EXPECT_FALSE(item->isChecked());
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(stored("PIPCheck"));
    // A stored value is never read back.
    destroyApplicationObjects();
    seed("PIPCheck", RegValue::string("1"));
    createApplicationObjects();
    EXPECT_FALSE(QUILMainForm->PubzineIP->isChecked());
}

TEST_F(AppTest, ExitItemOnTheMenuBarClosesTheMainWindow) {
    start();
    QSignalSpy closed(QUILMainForm, &TQUILMainForm::closed);
    QUILMainForm->ShowDatabaseAction->trigger();
    ASSERT_TRUE(activate(QUILMainForm));
    QTest::keyClick(QUILMainForm, Qt::Key_Q, Qt::AltModifier);
    EXPECT_FALSE(QUILMainForm->isVisible());
    EXPECT_EQ(closed.count(), 1);

    restart();
    QSignalSpy again(QUILMainForm, &TQUILMainForm::closed);
    QUILMainForm->Q1->trigger();
    EXPECT_FALSE(QUILMainForm->isVisible());
    EXPECT_EQ(again.count(), 1);
}

TEST_F(AppTest, DeleteButtonDeletesTheOnlyRecordAndFollowsTheBlankRecord) {
    start();
    Table &t = *DataModule1->Table1;
    ASSERT_TRUE(t.active());
    t.edit();
    DataModule1->Table1MBNameSF->setAsString(QStringLiteral("ただ一つ"));
    t.post();
    ASSERT_EQ(t.recordCount(), 1);

    QPushButton *button = QUILMainForm->BitDeleteBtn;
    EnabledLog log(button);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(t.recordCount(), 0);
    // Disabled by the after-delete, enabled again by the fresh blank record.
    EXPECT_EQ(log.changes, QList<bool>({false, true}));
    EXPECT_TRUE(button->isEnabled());
    EXPECT_TRUE(DataModule1->Table1MBNameSF->asString().isEmpty());

    // On an empty table the click only disables the button.
    log.changes.clear();
    MessageBox::clearShown();
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(button->isEnabled());
    EXPECT_EQ(t.recordCount(), 0);
    EXPECT_TRUE(MessageBox::shown().isEmpty()) << "no notice for a record that was never stored";
}

TEST_F(AppTest, DeleteOnAClosedTableReportsTheErrorCaptionedQuillet) {
    start();
    DataModule1->Table1->close();
    MessageBox::clearShown();
    QTest::mouseClick(QUILMainForm->BitDeleteBtn, Qt::LeftButton);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].caption, "Quillet");
    EXPECT_EQ(MessageBox::shown()[0].icon, MsgIcon::Error);
    EXPECT_FALSE(MessageBox::shown()[0].text.isEmpty());
    EXPECT_TRUE(QUILMainForm->isVisible());
}

TEST_F(AppTest, ShellWindowsHaveTheirCaptionsSizesAndBorders) {
    start();
    EXPECT_EQ(OSConfigForm->windowTitle(), QStringLiteral("発行システム設定フォーム"));
    EXPECT_EQ(OSConfigForm->size(), QSize(574, 262));
    EXPECT_EQ(OSConfigForm->minimumSize(), OSConfigForm->maximumSize());
    EXPECT_EQ(MIDCopyForm->windowTitle(), QStringLiteral("解除サポート"));
    EXPECT_TRUE(MIDCopyForm->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(MIDCopyForm->size(), QSize(177, 165));
    EXPECT_EQ(MIDCopyForm->minimumSize(), MIDCopyForm->maximumSize());
    EXPECT_EQ(DBGridForm->windowTitle(), QStringLiteral("一覧表表示フォーム"));
    EXPECT_NE(DBGridForm->minimumSize(), DBGridForm->maximumSize());
}
