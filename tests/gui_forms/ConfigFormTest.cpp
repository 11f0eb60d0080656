// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration window of other publishing systems, through its controls.
#include "FormsTestSupport.h"

#include "forms/DBCtrlGrid.h"
#include "forms/TOSConfigForm.h"
#include "store/Columns.h"
#include "text/Cp932.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

using namespace quil;
using namespace quil::test;

namespace {

class ConfigFormTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        startApp();
        w = OSConfigForm;
        ASSERT_NE(w, nullptr);
        w->show();
    }
    void TearDown() override {
        if (w)
            w->hide();
        AppTest::TearDown();
    }
    void addSystemWithId(const QString &name, const QVariant &id) {
        t2->append();
        MMagSysDataModule->Table2MMSysNameSF->setAsString(name);
        if (id.isValid())
            MMagSysDataModule->Table2MMSysIDIF->setAsInteger(id.toInt());
        else
            MMagSysDataModule->Table2MMSysIDIF->clear();
        t2->post();
    }
    bool locked() const {
        return w->Panel1->isVisible() && !w->BitBtn2->isEnabled() && !w->DBEditMMagSysID->isEnabled()
               && !w->DBEditMMagSysName->isEnabled();
    }
    bool unlocked() const {
        return !w->Panel1->isVisible() && w->BitBtn2->isEnabled() && w->DBEditMMagSysID->isEnabled()
               && w->DBEditMMagSysName->isEnabled();
    }
    TOSConfigForm *w = nullptr;
};

} // namespace

TEST_F(ConfigFormTest, BuiltInRowsAreLockedNumberedRowsAreNot) {
    addSystemWithId("三番", 3);
    addSystemWithId("未採番", -1);
    addSystemWithId("十番", 10);
    addSystemWithId("空番", QVariant());
    const std::pair<QString, bool> cases[] = {{"三番", true}, {"未採番", false}, {"十番", false}, {"空番", true},
                                              {"まぐまぐ", true}};
    for (const auto &[name, isLocked] : cases) {
        ASSERT_TRUE(t2->locate(col::MMSysName, name));
        EXPECT_EQ(locked(), isLocked) << name.toStdString();
        EXPECT_EQ(unlocked(), !isLocked) << name.toStdString();
        // The member values stay editable on every row.
        EXPECT_TRUE(w->DBEditPassword->isEnabled());
    }
    auto *caption = w->Panel1->findChild<QLabel *>();
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->text(), QStringLiteral("変更できません"));
    EXPECT_EQ(caption->font().pixelSize(), 35);
    // The panel covers the address and the row of its rule.
    for (QWidget *covered : {static_cast<QWidget *>(w->DBEditMMagSysCancelWeb), static_cast<QWidget *>(w->DBEditExc),
                             static_cast<QWidget *>(w->DBCheckBoxID)})
        EXPECT_TRUE(w->Panel1->geometry().contains(covered->geometry())) << covered->objectName().toStdString();
}

TEST_F(ConfigFormTest, TickingTheCheckBoxesShowsTheirControlsAtOnce) {
    addSystemWithId("新方式", 12);
    ASSERT_FALSE(w->DBEditMMagID->isVisible());
    ASSERT_FALSE(w->GroupBoxMemberID->isVisible());
    QTest::mouseClick(w->DBCheckBoxID, Qt::LeftButton, {}, QPoint(4, w->DBCheckBoxID->height() / 2));
    EXPECT_TRUE(w->DBEditMMagID->isVisible());
    EXPECT_TRUE(w->Label3->isVisible());
    EXPECT_EQ(w->Label3->text(), QStringLiteral("桁"));
    EXPECT_EQ(MMagSysDataModule->Table2MMIDBF->asString(), "True");
    QTest::mouseClick(w->DBCheckBoxMemberID, Qt::LeftButton, {}, QPoint(4, w->DBCheckBoxMemberID->height() / 2));
    EXPECT_TRUE(w->GroupBoxMemberID->isVisible());
    QTest::mouseClick(w->DBCheckBoxID, Qt::LeftButton, {}, QPoint(4, w->DBCheckBoxID->height() / 2));
    EXPECT_FALSE(w->DBEditMMagID->isVisible());
    EXPECT_FALSE(w->Label3->isVisible());
    // Moving to another row and back shows what the row holds.
    t2->post();
    t2->first();
    EXPECT_FALSE(w->GroupBoxMemberID->isVisible());
    t2->last();
    EXPECT_TRUE(w->GroupBoxMemberID->isVisible());
    EXPECT_FALSE(w->DBEditMMagID->isVisible());
}

TEST_F(ConfigFormTest, RegisterDeleteAndReadIn) {
    const int before = t2->recordCount();
    QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(t2->state(), DataSetState::Insert);
    EXPECT_EQ(MMagSysDataModule->Table2MMSysIDIF->asInteger(), -1) << "not numbered yet";
    EXPECT_TRUE(unlocked());
    MMagSysDataModule->Table2MMSysNameSF->setAsString("手入力");
    t2->post();
    EXPECT_EQ(t2->recordCount(), before + 1);
    QTest::mouseClick(w->BitBtn2, Qt::LeftButton);
    EXPECT_EQ(t2->recordCount(), before) << "deleted at once, without a question";
    EXPECT_TRUE(MessageBox::shown().isEmpty());

    env->writeFile("systems.ini", cp932::encode(QStringLiteral(
                                      "前置き\r\n[KAV-SYP]\r\n■発行システムＩＤ：\r\n21\r\n■発行システム名：\r\n読込方式\r\n"
                                      "■マガジンＩＤ桁数：\r\n5\r\n[/KAV-SYP]\r\n")));
    FileDialog::setNextFileName(env->cwd() + "/systems.ini");
    QTest::mouseClick(w->BitBtn3, Qt::LeftButton);
    EXPECT_EQ(t2->recordCount(), before + 1);
    // The row read last is current, shown with its own digits box at once.
    EXPECT_EQ(MMagSysDataModule->Table2MMSysNameSF->asString(), QStringLiteral("読込方式"));
    EXPECT_TRUE(w->DBEditMMagID->isVisible());
    EXPECT_TRUE(w->Label3->isVisible());
    EXPECT_TRUE(unlocked());
    ASSERT_TRUE(t2->locate(col::MMSysName, QStringLiteral("読込方式")));
    EXPECT_EQ(MMagSysDataModule->Table2MMIDFigureIF->asInteger(), 5);
    env->writeFile("locked.ini", cp932::encode(QStringLiteral(
                                     "[KAV-SYP]\r\n■発行システムＩＤ：\r\n5\r\n■発行システム名：\r\n低番号\r\n[/KAV-SYP]\r\n")));
    FileDialog::setNextFileName(env->cwd() + "/locked.ini");
    QTest::mouseClick(w->BitBtn3, Qt::LeftButton);
    EXPECT_TRUE(locked()) << "a row numbered below 10 is locked as soon as it is read";
    EXPECT_FALSE(w->DBEditMMagID->isVisible());
    // Cancelling the dialog reads nothing.
    FileDialog::setNextFileName(QString());
    QTest::mouseClick(w->BitBtn3, Qt::LeftButton);
    EXPECT_EQ(t2->recordCount(), before + 2);
}

TEST_F(ConfigFormTest, AddressChoicesAreReadAtEveryShowing) {
    EXPECT_TRUE(w->DBComboBoxRegAddress->items().isEmpty()) << "no MADDRESS.ini: no choices, no message";
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    w->hide();
    env->writeFile("MADDRESS.ini", "a@x\r\nb@x\r\n");
    w->show();
    EXPECT_EQ(w->DBComboBoxRegAddress->items(), (QStringList{"a@x", "b@x"}));
    // The list shows the systems, eight panels high.
    EXPECT_EQ(w->DBCtrlGrid1->rowCount(), 8);
    EXPECT_EQ(w->DBText1->text(), MMagSysDataModule->Table2MMSysNameSF->asString());
    EXPECT_FALSE(w->DBNavigator1->button(DBNavigator::Delete)->isVisible());
    EXPECT_EQ(w->size(), QSize(574, 262));
}
