// SPDX-License-Identifier: GPL-3.0-or-later
#include "FormsTestSupport.h"

#include "store/Columns.h"
#include "tests/support/GlyphContrast.h"

#include <QToolButton>

using namespace quil;
using namespace quil::test;

namespace {
class DataControlsTest : public AppTest {};
} // namespace

TEST_F(DataControlsTest, CheckBoxStoresTrueAndFalseOnABooleanColumn) {
    startApp();
    DBCheckBox box(QStringLiteral("付加する"));
    box.setDataField(col::AppendMMID);
    box.setDataSource(MMagSysDataModule->DataSource2);
    box.show();
    t2->first(); // まぐまぐ
    const bool before = MMagSysDataModule->Table2MMIDBF->asBoolean();
    EXPECT_EQ(box.isChecked(), before);
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(6, box.height() / 2));
    EXPECT_EQ(MMagSysDataModule->Table2MMIDBF->asBoolean(), !before);
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(6, box.height() / 2));
    EXPECT_EQ(MMagSysDataModule->Table2MMIDBF->asBoolean(), before);

    t2->edit();
    MMagSysDataModule->Table2MMIDBF->setAsBoolean(true);
    EXPECT_TRUE(box.isChecked());
    MMagSysDataModule->Table2MMIDBF->clear();
    EXPECT_FALSE(box.isChecked());

    // A closed table takes no clicks.
    t2->close();
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(6, box.height() / 2));
    EXPECT_FALSE(box.isChecked());
    EXPECT_TRUE(errorsShown().isEmpty());
}

TEST_F(DataControlsTest, NavigatorShowsOnlyTheChosenButtons) {
    startApp();
    DBNavigator nav;
    nav.resize(180, 25);
    nav.setDataSource(DataModule1->DataSource1);
    DBNavigator::Buttons without = DBNavigator::allButtons();
    without.removeAll(DBNavigator::Delete);
    nav.setVisibleButtons(without);
    nav.show();
    EXPECT_FALSE(nav.button(DBNavigator::Delete)->isVisible());
    EXPECT_TRUE(nav.button(DBNavigator::Refresh)->isVisible());
    EXPECT_EQ(nav.button(DBNavigator::First)->width(), 180 / 9);
    EXPECT_GE(nav.button(DBNavigator::Refresh)->geometry().right(), 170);
}

TEST_F(DataControlsTest, LookupShowsOnlyValuesOfItsListAndReadsNewRows) {
    startApp();
    DBLookupComboBox lookup;
    lookup.setDataField(col::Publishing);
    lookup.setDataSource(DataModule1->DataSource1);
    lookup.setListField(col::MMSysName);
    lookup.setListSource(MMagSysDataModule->DataSource2);
    DataModule1->Table1PublishingSF->setAsString(QStringLiteral("未知のシステム"));
    EXPECT_EQ(lookup.text(), QString()) << "a key the list lacks shows nothing";
    EXPECT_EQ(lookup.currentIndex(), -1);
    EXPECT_EQ(lookup.listValues().size(), 5);
    addSystem(QStringLiteral("未知のシステム"));
    EXPECT_EQ(lookup.listValues().size(), 6);
    EXPECT_EQ(lookup.currentText(), QStringLiteral("未知のシステム"));
    EXPECT_EQ(lookup.text(), QStringLiteral("未知のシステム"));
}

TEST_F(DataControlsTest, TypingIntoABrowsingEmptyTableBeginsARecordAndKeepsTheText) {
    Table table("scratch.DB", TDataModule1::schema());
    table.setDirectory(":memory:");
    table.open();
    DataSource source(&table);
    DBEdit edit;
    edit.setDataField(col::MBName);
    edit.setDataSource(&source);
    DBMemo memo;
    memo.setDataField(col::Explanation);
    memo.setDataSource(&source);
    ASSERT_EQ(table.state(), DataSetState::Browse);

    typeText(&edit, QStringLiteral("abc名前"));
    EXPECT_EQ(table.state(), DataSetState::Insert);
    EXPECT_EQ(edit.text(), QStringLiteral("abc名前"));
    table.post();
    EXPECT_EQ(table.recordCount(), 1);
    EXPECT_EQ(table.fieldByName(col::MBName).asString(), QStringLiteral("abc名前"));

    table.remove();
    ASSERT_EQ(table.recordCount(), 0);
    typeText(&memo, "m");
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("m"));
    table.post();
    EXPECT_EQ(table.fieldByName(col::Explanation).asString(), QStringLiteral("m"));
}

TEST_F(DataControlsTest, NavigatorGlyphsStandOutOnLightAndDarkButtonsAndFollowAPaletteChange) {
    const QPalette light = QApplication::palette();
    DBNavigator nav;
    nav.resize(240, 25);
    nav.show();
    const char *names[] = {"first", "prior", "next", "last", "insert", "delete", "edit", "post", "cancel", "refresh"};
    // Light first: the pictures drawn then must not be the ones shown after
    // the switch.
    for (const QPalette &palette : {light, darkPalette()}) {
        QApplication::setPalette(palette);
        const QColor face = palette.color(QPalette::Button);
        for (DBNavigator::Button b : DBNavigator::allButtons()) {
            const QImage glyph = nav.button(b)->icon().pixmap(QSize(16, 16)).toImage();
            EXPECT_GE(edgeShareStandingOut(glyph, face), 0.8)
                << names[b] << " on " << face.name().toStdString();
        }
    }
    QApplication::setPalette(light);
}
