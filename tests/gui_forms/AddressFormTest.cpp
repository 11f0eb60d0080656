// SPDX-License-Identifier: GPL-3.0-or-later
#include "FormsTestSupport.h"

#include "forms/TMAddSetForm.h"
#include "tests/support/GlyphContrast.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

using namespace quil;
using namespace quil::test;

namespace {

class AddressFormTest : public AppTest {
protected:
    std::unique_ptr<TMAddSetForm> open() {
        auto dlg = std::make_unique<TMAddSetForm>();
        dlg->show(); // not modal here, so that the test can press its keys
        return dlg;
    }
    void add(TMAddSetForm &dlg, const QString &text) {
        replaceText(dlg.Edit1, text);
        QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
    }
    void removeRow(TMAddSetForm &dlg, int row) {
        if (row >= 0)
            dlg.ListBox1->setCurrentRow(row);
        else
            dlg.ListBox1->clearSelection();
        dlg.Delete1->trigger();
    }
    QStringList listed(const TMAddSetForm &dlg) const {
        QStringList out;
        for (int i = 0; i < dlg.ListBox1->count(); ++i)
            out << dlg.ListBox1->item(i)->text();
        return out;
    }
    QByteArray file() const { return env->readFile("MADDRESS.ini"); }
};

} // namespace

TEST_F(AddressFormTest, WindowIsAFixedDialogWithItsControls) {
    env->writeFile("MADDRESS.ini", "");
    startApp();
    auto dlg = open();
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("メールアドレスの設定"));
    EXPECT_EQ(dlg->size(), QSize(370, 190));
    EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize());
    EXPECT_FALSE(dlg->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(dlg->ListBox1->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_FALSE(dlg->ListBox1->isSortingEnabled());
    EXPECT_FALSE(dlg->SpeedButton1->isEnabled());
    EXPECT_FALSE(dlg->SpeedButton2->isEnabled());
    EXPECT_EQ(dlg->Delete1->text(), QStringLiteral("削除(&D)"));
    EXPECT_EQ(dlg->BitBtn1->text(), QStringLiteral("追　加"));
    EXPECT_TRUE(errorsShown().isEmpty());
}

TEST_F(AddressFormTest, AddingKeepsDuplicatesInOrderAndIgnoresEmptyText) {
    env->writeFile("MADDRESS.ini", "first@x\r\n");
    startApp();
    auto dlg = open();
    add(*dlg, "");
    EXPECT_EQ(listed(*dlg), QStringList({"first@x"}));
    EXPECT_EQ(file(), QByteArray("first@x\r\n"));

    add(*dlg, "dup@x");
    EXPECT_TRUE(dlg->Edit1->text().isEmpty());
    add(*dlg, "dup@x");
    add(*dlg, "  "); // blanks are an address too
    EXPECT_EQ(listed(*dlg), QStringList({"first@x", "dup@x", "dup@x", "  "}));
    EXPECT_EQ(file(), QByteArray("first@x\r\ndup@x\r\ndup@x\r\n  \r\n"));

    // Enter in the edit field presses the add button.
    typeText(dlg->Edit1, QStringLiteral("日本@x"));
    QTest::keyClick(dlg->Edit1, Qt::Key_Return);
    EXPECT_EQ(listed(*dlg).last(), QStringLiteral("日本@x"));
    EXPECT_TRUE(file().endsWith(QByteArray("\x93\xfa\x96\x7b@x\r\n"))); // Shift_JIS
}

TEST_F(AddressFormTest, RemovingTheLastAddressLeavesAnEmptyFile) {
    env->writeFile("MADDRESS.ini", "a@x\r\nb@x\r\n");
    startApp();
    auto dlg = open();
    removeRow(*dlg, -1); // nothing chosen: nothing removed, same content
    EXPECT_EQ(listed(*dlg), QStringList({"a@x", "b@x"}));
    EXPECT_EQ(file(), QByteArray("a@x\r\nb@x\r\n"));
    removeRow(*dlg, 0);
    EXPECT_EQ(file(), QByteArray("b@x\r\n"));
    removeRow(*dlg, 0);
    EXPECT_TRUE(listed(*dlg).isEmpty());
    EXPECT_TRUE(QFile::exists(env->cwd() + "/MADDRESS.ini"));
    EXPECT_EQ(QFile(env->cwd() + "/MADDRESS.ini").size(), 0);
    EXPECT_TRUE(form->DBComboBoxRegAddress->items().isEmpty());
}

TEST_F(AddressFormTest, ForeignLineEndsAreReadAndRewrittenWithCrLf) {
    env->writeFile("MADDRESS.ini", "a@x\nb@x\n\nc@x");
    startApp();
    auto dlg = open();
    EXPECT_EQ(listed(*dlg), QStringList({"a@x", "b@x", "", "c@x"}));
    add(*dlg, "d@x");
    EXPECT_EQ(file(), QByteArray("a@x\r\nb@x\r\n\r\nc@x\r\nd@x\r\n"));
}

TEST_F(AddressFormTest, RecordFormOffersANewAddressAtOnce) {
    env->writeFile("MADDRESS.ini", "old@x\r\n");
    startApp();
    typeText(form->DBComboBoxRegAddress, "typing@x");
    auto dlg = open();
    add(*dlg, "new@x");
    EXPECT_EQ(form->DBComboBoxRegAddress->items(), QStringList({"old@x", "new@x"}));
    EXPECT_EQ(form->DBComboBoxRegAddress->currentText(), QStringLiteral("typing@x"));
    dlg.reset();
    chooseInPopup(form->DBComboBoxRegAddress, "new@x");
    click(DBNavigator::Post);
    EXPECT_EQ(DataModule1->Table1RegAddressSF->asString(), QStringLiteral("new@x"));
}

TEST_F(AddressFormTest, MissingFileIsAnEmptyListAndTheFirstAdditionCreatesIt) {
    startApp();
    auto dlg = open();
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    EXPECT_TRUE(listed(*dlg).isEmpty());
    EXPECT_FALSE(QFile::exists(env->cwd() + "/MADDRESS.ini")); // opening creates nothing
    add(*dlg, "a@x");
    EXPECT_EQ(file(), QByteArray("a@x\r\n"));
    EXPECT_EQ(form->DBComboBoxRegAddress->items(), QStringList({"a@x"}));
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    dlg.reset();

    // One that is there and cannot be read is still reported; a directory
    // in its place cannot be read, even by root.
    ASSERT_TRUE(QFile::remove(env->cwd() + "/MADDRESS.ini"));
    ASSERT_TRUE(QDir(env->cwd()).mkdir("MADDRESS.ini"));
    dlg = open();
    auto errors = errorsShown();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].text, QStringLiteral("ファイル MADDRESS.ini を開けません."));
    EXPECT_TRUE(listed(*dlg).isEmpty());
}

TEST_F(AddressFormTest, AReadOnlyFileIsReportedAndKept) {
    env->writeFile("MADDRESS.ini", "a@x\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(env->cwd() + "/MADDRESS.ini").constData(), 0444), 0);
    startApp();
    auto dlg = open();
    add(*dlg, "b@x");
    auto errors = errorsShown();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].text.contains("MADDRESS.ini")) << errors[0].text.toStdString();
    EXPECT_TRUE(errors[0].text.contains(QStringLiteral("作成できません")));
    EXPECT_EQ(file(), QByteArray("a@x\r\n"));
    EXPECT_EQ(fileMode(env->cwd() + "/MADDRESS.ini"), 0444);
    EXPECT_EQ(form->DBComboBoxRegAddress->items(), QStringList({"a@x"}));
}

TEST_F(AddressFormTest, WriteErrorIsReportedAndChoicesAreNotRefreshed) {
    env->writeFile("MADDRESS.ini", "a@x\r\n");
    startApp();
    auto dlg = open();
    // A directory in the file's place cannot be written over, even by root.
    ASSERT_TRUE(QFile::remove(env->cwd() + "/MADDRESS.ini"));
    ASSERT_TRUE(QDir(env->cwd()).mkdir("MADDRESS.ini"));
    add(*dlg, "b@x");
    auto errors = errorsShown();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].text.contains("MADDRESS.ini"));
    EXPECT_EQ(listed(*dlg), QStringList({"a@x", "b@x"}));      // the list keeps the change
    EXPECT_EQ(dlg->Edit1->text(), QStringLiteral("b@x"));      // the handler stopped
    EXPECT_EQ(form->DBComboBoxRegAddress->items(), QStringList({"a@x"}));
}

TEST_F(AddressFormTest, TheInactiveArrowsAreSeenOnLightAndDarkDesktops) {
    env->writeFile("MADDRESS.ini", "");
    startApp();
    auto dlg = open();
    const QPalette light = QApplication::palette();
    for (const QPalette &palette : {light, darkPalette()}) {
        QApplication::setPalette(palette);
        const QColor face = palette.color(QPalette::Button);
        for (QToolButton *arrow : {dlg->SpeedButton1, dlg->SpeedButton2}) {
            // Greyed as the buttons show them, yet not sunk into the face.
            const QImage shown = arrow->icon().pixmap(QSize(16, 16), QIcon::Disabled).toImage();
            EXPECT_GE(edgeShareStandingOut(shown, face, 1.5), 0.8) << face.name().toStdString();
        }
    }
    QApplication::setPalette(light);
}
