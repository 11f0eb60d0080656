// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/Glyphs.h"
#include "tests/support/GlyphContrast.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>

using namespace quil;
using namespace quil::test;

namespace {

struct Bounds {
    const char *name;
    const char *parent;
    QRect rect;
};

// The designed bounds, relative to the client area or to the group box.
const Bounds kBounds[] = {
    {"GroupBox1", "ClientArea", {8, 8, 177, 177}},
    {"BitKaijoBtn", "GroupBox1", {10, 24, 153, 25}},
    {"BitDeleteBtn", "GroupBox1", {10, 60, 153, 25}},
    {"BitCancelHTMLBtn", "GroupBox1", {10, 96, 153, 25}},
    {"GroupBox4", "ClientArea", {192, 8, 137, 177}},
    {"SpeedButton1", "GroupBox4", {8, 24, 121, 25}},
    {"SpeedButton2", "GroupBox4", {8, 56, 121, 22}},
    {"SpeedButton3", "GroupBox4", {8, 88, 121, 22}},
    {"GroupBox2", "ClientArea", {336, 8, 321, 113}},
    {"FindEdit1", "GroupBox2", {8, 24, 209, 21}},
    {"BitFindBtn1", "GroupBox2", {232, 24, 75, 25}},
    {"FindSpeedButton1", "GroupBox2", {64, 53, 97, 22}},
    {"FindSpeedButton2", "GroupBox2", {160, 53, 97, 22}},
    {"FindOptionCB1", "GroupBox2", {16, 88, 161, 17}},
    {"GroupBox3", "ClientArea", {336, 128, 321, 57}},
    {"StateSButton1", "GroupBox3", {16, 24, 89, 22}},
    {"StateSButton2", "GroupBox3", {104, 24, 89, 22}},
    {"StateFindBitBtn", "GroupBox3", {232, 24, 75, 25}},
};

struct Item {
    const char *name;
    QString text;      // "-" for a separator
    QKeySequence keys; // shown shortcut
    QString hint;
};

QString shownText(QAction *a) { return a->text().section(u'\t', 0, 0); }

QKeySequence shownKeys(QAction *a) {
    if (!a->shortcut().isEmpty())
        return a->shortcut();
    return QKeySequence(a->text().section(u'\t', 1), QKeySequence::NativeText);
}

} // namespace

TEST_F(AppTest, MainWindowHasTheDesignedFixedClientAreaAndBorder) {
    start();
    TQUILMainForm *w = QUILMainForm;
    EXPECT_EQ(w->windowTitle(), "Quillet");
    EXPECT_EQ(w->ClientArea->size(), QSize(662, 191));
    EXPECT_EQ(w->width(), 662);
    EXPECT_EQ(w->height(), 191 + w->menuBar()->height());
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    const Qt::WindowFlags f = w->windowFlags();
    EXPECT_TRUE(f & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(f & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(w->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    EXPECT_EQ(w->font().pixelSize(), 12);
    EXPECT_EQ(w->GroupBox1->font().pixelSize(), 13);
    EXPECT_EQ(w->GroupBox2->font().pixelSize(), 13);
    EXPECT_EQ(w->GroupBox3->font().pixelSize(), 12);
    EXPECT_EQ(w->GroupBox4->font().pixelSize(), 12);
}

TEST_F(AppTest, EveryControlStandsAtItsDesignedBounds) {
    start();
    for (const Bounds &b : kBounds) {
        SCOPED_TRACE(b.name);
        auto *widget = QUILMainForm->findChild<QWidget *>(b.name);
        ASSERT_TRUE(widget);
        EXPECT_EQ(widget->parentWidget()->objectName(), b.parent);
        EXPECT_EQ(widget->geometry(), b.rect);
        EXPECT_TRUE(widget->isVisible());
    }
}

TEST_F(AppTest, CaptionsTooltipsAndBitmapsOfTheControls) {
    start();
    TQUILMainForm *w = QUILMainForm;
    EXPECT_EQ(w->GroupBox1->title(), QStringLiteral("表示項目への操作"));
    EXPECT_EQ(w->GroupBox4->title(), QStringLiteral("フォームの表示"));
    EXPECT_EQ(w->GroupBox2->title(), QStringLiteral("検　　索"));
    EXPECT_EQ(w->GroupBox3->title(), QStringLiteral("状態によるのサーチ"));
    EXPECT_EQ(w->BitKaijoBtn->text(), QStringLiteral("解除のページへ"));
    EXPECT_EQ(w->BitDeleteBtn->toolTip(), QStringLiteral("現在、表示している項目を削除します"));
    EXPECT_EQ(w->BitCancelHTMLBtn->text(), QStringLiteral("解除候補のＨＴＭＬ化"));
    EXPECT_EQ(w->BitFindBtn1->text(), QStringLiteral("検　索"));
    EXPECT_EQ(w->StateFindBitBtn->text(), QStringLiteral("次　へ"));
    EXPECT_EQ(w->StateFindBitBtn->toolTip(), QStringLiteral("状態による検索を行います"));
    EXPECT_EQ(w->FindOptionCB1->toolTip(), QStringLiteral("部分文字検索が可能になります"));
    for (QPushButton *b : {w->BitKaijoBtn, w->BitDeleteBtn, w->BitCancelHTMLBtn, w->BitFindBtn1, w->StateFindBitBtn}) {
        SCOPED_TRACE(b->objectName().toStdString());
        EXPECT_FALSE(b->icon().isNull());
        // The caption and bitmap fit the designed width.
        EXPECT_LE(b->sizeHint().width(), b->width() + 8);
    }
    // The flat buttons take their captions from the actions they run.
    EXPECT_EQ(w->SpeedButton1->defaultAction(), w->ShowAutoInputAction);
    EXPECT_EQ(w->SpeedButton2->defaultAction(), w->ShowDatabaseAction);
    EXPECT_EQ(w->SpeedButton3->defaultAction(), w->ShowTabelAction);
    EXPECT_TRUE(w->SpeedButton2->text().startsWith(QStringLiteral("データベース")));
    for (QAction *a : {w->ShowDatabaseAction, w->ShowAutoInputAction, w->ShowTabelAction})
        EXPECT_EQ(a->property("category").toString(), QStringLiteral("表示"));
}

TEST_F(AppTest, ToggleButtonPairsAreExclusiveWithTheirInitialSelections) {
    start();
    TQUILMainForm *w = QUILMainForm;
    EXPECT_FALSE(w->FindSpeedButton1->isChecked());
    EXPECT_TRUE(w->FindSpeedButton2->isChecked());
    EXPECT_TRUE(w->StateSButton1->isChecked());
    EXPECT_FALSE(w->StateSButton2->isChecked());
    EXPECT_FALSE(w->FindOptionCB1->isChecked());
    EXPECT_TRUE(w->FindOptionCB1->isEnabled());

    QTest::mouseClick(w->FindSpeedButton1, Qt::LeftButton);
    EXPECT_TRUE(w->FindSpeedButton1->isChecked());
    EXPECT_FALSE(w->FindSpeedButton2->isChecked());
    // Pressing the button that is down keeps it down.
    QTest::mouseClick(w->FindSpeedButton1, Qt::LeftButton);
    EXPECT_TRUE(w->FindSpeedButton1->isChecked());
    QTest::mouseClick(w->StateSButton2, Qt::LeftButton);
    EXPECT_TRUE(w->StateSButton2->isChecked());
    EXPECT_FALSE(w->StateSButton1->isChecked());
    // The pairs are independent of each other.
    EXPECT_TRUE(w->FindSpeedButton1->isChecked());
}

TEST_F(AppTest, TabKeyVisitsTheGroupBoxesInTheirOrder) {
    start();
    ASSERT_TRUE(activate(QUILMainForm));
    QUILMainForm->BitKaijoBtn->setFocus();
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited, QStringList({"BitKaijoBtn", "BitDeleteBtn", "BitCancelHTMLBtn", "FindEdit1", "BitFindBtn1",
                                    "FindOptionCB1", "StateFindBitBtn", "BitKaijoBtn"}));
}

TEST_F(AppTest, MenuBarHoldsEveryItemInOrder) {
    start();
    QMenuBar *bar = QUILMainForm->MainMenu1;
    ASSERT_EQ(QUILMainForm->menuBar(), bar);
    const QList<QAction *> top = bar->actions();
    ASSERT_EQ(top.size(), 5);
    QStringList captions;
    for (QAction *a : top)
        captions << a->text();
    EXPECT_EQ(captions, QStringList({QStringLiteral("ファイル(&F)"), QStringLiteral("設定(&S)"),
                                     QStringLiteral("フォーム(&V)"), QStringLiteral("バージョン情報(&H)"),
                                     QStringLiteral("終了(&Q)")}));
    // "終了(&Q)" is an item of its own, without a submenu.
    EXPECT_EQ(top[4], QUILMainForm->Q1);
    EXPECT_EQ(top[4]->menu(), nullptr);
    EXPECT_EQ(top[4]->statusTip(), QStringLiteral("終了します"));

    const QList<QList<Item>> menus = {
        {{"Save1", QStringLiteral("CSV ファイルとして保存"), QKeySequence("Ctrl+S"),
          QStringLiteral("データベースの内容をCSVファイルとして書き出します")},
         {"CSVFileOpen", QStringLiteral("ファイルから読みこみ(&O)"), QKeySequence("Ctrl+O"),
          QStringLiteral("このソフトで保存したCSVファイルをデータベースに読みこみます")},
         {"N3", "-", {}, {}},
         {"Del1", QStringLiteral("データベース項目の全削除"), QKeySequence("Shift+Del"),
          QStringLiteral("データベースを空にします")},
         {"DeleteStateCancel", QStringLiteral("「解除」のデータをデータベースより削除"), {}, {}},
         {"N5", "-", {}, {}},
         {"AllToCancelTarget", QStringLiteral("全てを「解除候補」に変更"), {},
          QStringLiteral("「状態」を全て解除候補に変更します")},
         {"AllToReading", QStringLiteral("全てを「購読中」に変更"), {}, {}}},
        {{"MailAd", QStringLiteral("メールアドレスの設定(&M)"), QKeySequence("F3"),
          QStringLiteral("使用しているメールアドレスを設定します")},
         {"CancelNoticeMaker", QStringLiteral("解除通知の作成"), {}, QStringLiteral("解除通知の作成の要否を選択します")},
         {"N2", "-", {}, {}},
         {"PubzineIP", QStringLiteral("IPアドレスの自動入力(Pubzine)"), {}, {}}},
        {{"DataForm1", QStringLiteral("データベース(&D)"), QKeySequence("F2"), {}},
         {"AutoInputForm1", QStringLiteral("自動入力フォーム(&I)"), QKeySequence("F4"), {}},
         {"DBGridForm1", QStringLiteral("一覧表表示(&T)"), QKeySequence("F7"), {}},
         {"N4", "-", {}, {}},
         {"MMagSysConfigForm1", QStringLiteral("発行システム設定フォーム"), QKeySequence("F5"), {}}},
        {{"Help1", QStringLiteral("ヘルプ"), QKeySequence("F1"), {}},
         {"N1", "-", {}, {}},
         {"About2", QStringLiteral("バージョン情報(&A)"), QKeySequence("F12"), {}}},
    };
    const char *menuNames[] = {"File1", "Setting1", "Show1", "About1"};
    for (int m = 0; m < 4; ++m) {
        SCOPED_TRACE(menuNames[m]);
        QMenu *menu = top[m]->menu();
        ASSERT_TRUE(menu);
        EXPECT_EQ(menu->objectName(), menuNames[m]);
        const QList<QAction *> items = menu->actions();
        ASSERT_EQ(items.size(), menus[m].size());
        for (int i = 0; i < items.size(); ++i) {
            const Item &want = menus[m][i];
            SCOPED_TRACE(want.name);
            QAction *a = items[i];
            EXPECT_EQ(a->objectName(), want.name);
            if (want.text == "-") {
                EXPECT_TRUE(a->isSeparator());
                continue;
            }
            EXPECT_EQ(shownText(a), want.text);
            EXPECT_EQ(shownKeys(a), want.keys);
            EXPECT_EQ(a->statusTip(), want.hint);
        }
    }
    EXPECT_TRUE(QUILMainForm->CancelNoticeMaker->isCheckable());
    EXPECT_TRUE(QUILMainForm->CancelNoticeMaker->isChecked());
}

TEST(MainWindowGlyphs, KeepTheirShapeOnLightAndDarkButtons) {
    const QPalette light = QApplication::palette();
    using glyph::Kind;
    const std::pair<Kind, const char *> kinds[] = {
        {Kind::CancelPage, "cancel page"}, {Kind::Delete, "delete"}, {Kind::CancelHtml, "cancel html"},
        {Kind::Find, "find"},              {Kind::Next, "next"},
    };
    QList<QIcon> icons;
    for (const auto &k : kinds)
        icons << glyph::buttonIcon(k.first);
    for (const QPalette &palette : {light, test::darkPalette()}) {
        QApplication::setPalette(palette);
        const QColor face = palette.color(QPalette::Button);
        for (int i = 0; i < icons.size(); ++i)
            EXPECT_GE(test::edgeShareStandingOut(icons[i].pixmap(QSize(16, 16)).toImage(), face), 0.8)
                << kinds[i].second << " on " << face.name().toStdString();
    }
    QApplication::setPalette(light);
}
