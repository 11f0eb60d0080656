// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TQUILMainForm.h"

#include "app/Glyphs.h"
#include "app/ListLeaveWindow.h"
#include "app/MenuShortcuts.h"
#include "app/core/RegisterCommands.h"
#include "app/TAboutBox.h"
#include "app/TDBGridForm.h"
#include "app/TDualListSaveDlg.h"
#include "app/core/Csv.h"
#include "app/core/ParadoxImport.h"
#include "app/core/Manual.h"
#include "autoinput/TQUILAutoInputForm.h"
#include "cancel/core/CancelAddress.h"
#include "cancel/core/CancelPage.h"
#include "cancel/core/Hosts.h"
#include "cancel/core/NoticeWriter.h"
#include "forms/TMIDCopyForm.h"
#include "forms/TMAddSetForm.h"
#include "forms/TOSConfigForm.h"
#include "forms/TQUILForm.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Opener.h"
#include "platform/Registry.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "store/Settings.h"
#include "text/Error.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDate>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>

TQUILMainForm *QUILMainForm = nullptr;

namespace {

// Every handler runs inside the general error display.
template <typename Sender, typename Signal>
void connectGuarded(Sender *sender, Signal signal, TQUILMainForm *form, void (TQUILMainForm::*handler)()) {
    QObject::connect(sender, signal, form, [form, handler] { quil::guard([form, handler] { (form->*handler)(); }); });
}

QFont mainFont(int pixels) {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(pixels);
    return font;
}

template <typename W>
W *place(W *widget, const char *name, int x, int y, int w, int h) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

QToolButton *toggleButton(QWidget *parent, const char *name, const QString &caption, int x, int y, int w, int h) {
    auto *b = place(new QToolButton(parent), name, x, y, w, h);
    b->setText(caption);
    b->setCheckable(true);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // Like the classic speed button: clicked with the mouse, never focused.
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QPushButton *glyphButton(QWidget *parent, const char *name, const QString &caption, const QString &tip,
                         quil::glyph::Kind glyph, int x, int y, int w, int h) {
    auto *b = place(new QPushButton(caption, parent), name, x, y, w, h);
    b->setToolTip(tip);
    b->setIcon(quil::glyph::buttonIcon(glyph));
    b->setIconSize(QSize(16, 16));
    b->setAutoDefault(false);
    return b;
}

QAction *menuItem(QMenu *menu, const char *name, const QString &caption, const QKeySequence &shortcut = {},
                  const QString &hint = {}) {
    auto *a = new QAction(caption, menu);
    a->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        // The main window's shortcuts also work while one of the other
        // non-modal windows has the focus.
        a->setShortcutContext(Qt::ApplicationShortcut);
    }
    if (!hint.isEmpty())
        a->setStatusTip(hint);
    menu->addAction(a);
    return a;
}

QAction *separator(QMenu *menu, const char *name) {
    QAction *a = menu->addSeparator();
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

// A menu item bound to an action: same caption, the action's shortcut shown
// beside it, and choosing it executes the action.
QAction *boundItem(QMenu *menu, const char *name, QAction *action) {
    auto *item = new QAction(menu);
    item->setObjectName(QString::fromLatin1(name));
    auto sync = [item, action] {
        item->setText(action->text() + QLatin1Char('\t') + action->shortcut().toString(QKeySequence::NativeText));
        item->setEnabled(action->isEnabled());
        item->setVisible(action->isVisible());
    };
    sync();
    QObject::connect(action, &QAction::changed, item, sync);
    QObject::connect(item, &QAction::triggered, action, [action] { action->trigger(); });
    menu->addAction(item);
    return item;
}

} // namespace

TQUILMainForm::TQUILMainForm(QWidget *parent) : QMainWindow(parent) {
    QUILMainForm = this;
    setObjectName(QStringLiteral("QUILMainForm"));
    setWindowTitle(QStringLiteral("Quillet"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(mainFont(12));

    buildControls();
    buildActions();
    buildMenu();
    // The client area is fixed; the menu bar adds its own height above it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    connectDataModule();
    new MenuShortcutsFirst(this);

    quil::guard([this] { FormCreate(); });
}

TQUILMainForm::~TQUILMainForm() {
    if (DataModule1) {
        DataModule1->deleteButtonEnabled = nullptr;
        DataModule1->setDeleteButtonEnabled = nullptr;
        DataModule1->writeCancelNotice = nullptr;
    }
    if (QUILMainForm == this)
        QUILMainForm = nullptr;
}

void TQUILMainForm::buildControls() {
    using quil::glyph::Kind;
    ClientArea = new QWidget(this);
    ClientArea->setObjectName(QStringLiteral("ClientArea"));
    ClientArea->setFixedSize(662, 191);
    setCentralWidget(ClientArea);

    GroupBox1 = place(new QGroupBox(QStringLiteral("表示項目への操作"), ClientArea), "GroupBox1", 8, 8, 177, 177);
    GroupBox1->setFont(mainFont(13));
    BitKaijoBtn = glyphButton(GroupBox1, "BitKaijoBtn", QStringLiteral("解除のページへ"),
                              QStringLiteral("登録メールアドレスを、クリップボードにコピーし、解除するためのページを開きます。"),
                              Kind::CancelPage, 10, 24, 153, 25);
    BitDeleteBtn = glyphButton(GroupBox1, "BitDeleteBtn", QStringLiteral("選択項目の削除"),
                               QStringLiteral("現在、表示している項目を削除します"), Kind::Delete, 10, 60, 153, 25);
    BitCancelHTMLBtn = glyphButton(GroupBox1, "BitCancelHTMLBtn", QStringLiteral("解除候補のＨＴＭＬ化"),
                                   QStringLiteral("状態が「解除候補」となっている項目を抽出し、簡単に解除できるようＨＴＭＬファイルとして書き出します。"),
                                   Kind::CancelHtml, 10, 96, 153, 25);

    GroupBox4 = place(new QGroupBox(QStringLiteral("フォームの表示"), ClientArea), "GroupBox4", 192, 8, 137, 177);
    auto flat = [this](const char *name, int x, int y, int w, int h) {
        auto *b = place(new QToolButton(GroupBox4), name, x, y, w, h);
        b->setAutoRaise(true);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    SpeedButton1 = flat("SpeedButton1", 8, 24, 121, 25);
    SpeedButton2 = flat("SpeedButton2", 8, 56, 121, 22);
    SpeedButton3 = flat("SpeedButton3", 8, 88, 121, 22);

    GroupBox2 = place(new QGroupBox(QStringLiteral("検　　索"), ClientArea), "GroupBox2", 336, 8, 321, 113);
    GroupBox2->setFont(mainFont(13));
    FindEdit1 = place(new QLineEdit(GroupBox2), "FindEdit1", 8, 24, 209, 21);
    BitFindBtn1 = glyphButton(GroupBox2, "BitFindBtn1", QStringLiteral("検　索"),
                              QStringLiteral("選択項目により、データベースを検索し、アクティブにします"), Kind::Find, 232,
                              24, 75, 25);
    FindSpeedButton1 = toggleButton(GroupBox2, "FindSpeedButton1", QStringLiteral("マガジン名"), 64, 53, 97, 22);
    FindSpeedButton2 = toggleButton(GroupBox2, "FindSpeedButton2", QStringLiteral("マガジンID"), 160, 53, 97, 22);
    FindOptionCB1 = place(new QCheckBox(QStringLiteral("検索機能の強化版を使用"), GroupBox2), "FindOptionCB1", 16, 88,
                          161, 17);
    FindOptionCB1->setToolTip(QStringLiteral("部分文字検索が可能になります"));
    FindOptionCB1->setChecked(false);
    FindModeGroup = new QButtonGroup(this);
    FindModeGroup->setObjectName(QStringLiteral("FindModeGroup"));
    FindModeGroup->setExclusive(true);
    FindModeGroup->addButton(FindSpeedButton1);
    FindModeGroup->addButton(FindSpeedButton2);
    FindSpeedButton2->setChecked(true);

    GroupBox3 = place(new QGroupBox(QStringLiteral("状態によるのサーチ"), ClientArea), "GroupBox3", 336, 128, 321, 57);
    StateSButton1 = toggleButton(GroupBox3, "StateSButton1", QStringLiteral("解除候補"), 16, 24, 89, 22);
    StateSButton2 = toggleButton(GroupBox3, "StateSButton2", QStringLiteral("解　　除"), 104, 24, 89, 22);
    StateFindBitBtn = glyphButton(GroupBox3, "StateFindBitBtn", QStringLiteral("次　へ"),
                                  QStringLiteral("状態による検索を行います"), Kind::Next, 232, 24, 75, 25);
    StateGroup = new QButtonGroup(this);
    StateGroup->setObjectName(QStringLiteral("StateGroup"));
    StateGroup->setExclusive(true);
    StateGroup->addButton(StateSButton1);
    StateGroup->addButton(StateSButton2);
    StateSButton1->setChecked(true);

    // GroupBox1, GroupBox4 (nothing focusable), GroupBox2, GroupBox3.
    QWidget::setTabOrder(BitKaijoBtn, BitDeleteBtn);
    QWidget::setTabOrder(BitDeleteBtn, BitCancelHTMLBtn);
    QWidget::setTabOrder(BitCancelHTMLBtn, FindEdit1);
    QWidget::setTabOrder(FindEdit1, BitFindBtn1);
    QWidget::setTabOrder(BitFindBtn1, FindOptionCB1);
    QWidget::setTabOrder(FindOptionCB1, StateFindBitBtn);

    connectGuarded(BitDeleteBtn, &QPushButton::clicked, this, &TQUILMainForm::BitDeleteBtnClick);
    connectGuarded(BitKaijoBtn, &QPushButton::clicked, this, &TQUILMainForm::BitKaijoBtnClick);
    connectGuarded(BitCancelHTMLBtn, &QPushButton::clicked, this, &TQUILMainForm::BitCancelHTMLBtnClick);
    connectGuarded(BitFindBtn1, &QPushButton::clicked, this, &TQUILMainForm::BitFindBtn1Click);
    connectGuarded(StateFindBitBtn, &QPushButton::clicked, this, &TQUILMainForm::StateFindBitBtnClick);
    FindEdit1->installEventFilter(this);
}

void TQUILMainForm::buildActions() {
    auto action = [this](const char *name, const QString &caption, Qt::Key key) {
        auto *a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(name));
        a->setProperty("category", QStringLiteral("表示"));
        a->setShortcut(QKeySequence(key));
        a->setShortcutContext(Qt::ApplicationShortcut);
        addAction(a);
        return a;
    };
    ShowDatabaseAction = action("ShowDatabaseAction", QStringLiteral("データベース(&D)"), Qt::Key_F2);
    ShowAutoInputAction = action("ShowAutoInputAction", QStringLiteral("自動入力フォーム(&I)"), Qt::Key_F4);
    ShowTabelAction = action("ShowTabelAction", QStringLiteral("一覧表表示(&T)"), Qt::Key_F7);
    connectGuarded(ShowDatabaseAction, &QAction::triggered, this, &TQUILMainForm::ShowDatabaseActionExecute);
    connectGuarded(ShowAutoInputAction, &QAction::triggered, this, &TQUILMainForm::ShowAutoInputActionExecute);
    connectGuarded(ShowTabelAction, &QAction::triggered, this, &TQUILMainForm::ShowTabelActionExecute);

    auto bind = [](QToolButton *button, QAction *a) {
        button->setDefaultAction(a);
        // The actions carry no hint, so their buttons show no tooltip.
        button->setToolTip(QString());
    };
    bind(SpeedButton1, ShowAutoInputAction);
    bind(SpeedButton2, ShowDatabaseAction);
    bind(SpeedButton3, ShowTabelAction);
}

void TQUILMainForm::buildMenu() {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    setMenuBar(MainMenu1);
    auto menu = [this](const char *name, const QString &caption) {
        auto *m = new QMenu(caption, MainMenu1);
        m->setObjectName(QString::fromLatin1(name));
        MainMenu1->addMenu(m);
        return m;
    };

    File1 = menu("File1", QStringLiteral("ファイル(&F)"));
    Save1 = menuItem(File1, "Save1", QStringLiteral("CSV ファイルとして保存"), QKeySequence(Qt::CTRL | Qt::Key_S),
                     QStringLiteral("データベースの内容をCSVファイルとして書き出します"));
    CSVFileOpen = menuItem(File1, "CSVFileOpen", QStringLiteral("ファイルから読みこみ(&O)"),
                           QKeySequence(Qt::CTRL | Qt::Key_O),
                           QStringLiteral("このソフトで保存したCSVファイルをデータベースに読みこみます"));
    N3 = separator(File1, "N3");
    Del1 = menuItem(File1, "Del1", QStringLiteral("データベース項目の全削除"), QKeySequence(Qt::SHIFT | Qt::Key_Delete),
                    QStringLiteral("データベースを空にします"));
    DeleteStateCancel = menuItem(File1, "DeleteStateCancel", QStringLiteral("「解除」のデータをデータベースより削除"));
    N5 = separator(File1, "N5");
    AllToCancelTarget = menuItem(File1, "AllToCancelTarget", QStringLiteral("全てを「解除候補」に変更"), {},
                                 QStringLiteral("「状態」を全て解除候補に変更します"));
    AllToReading = menuItem(File1, "AllToReading", QStringLiteral("全てを「購読中」に変更"));

    Setting1 = menu("Setting1", QStringLiteral("設定(&S)"));
    MailAd = menuItem(Setting1, "MailAd", QStringLiteral("メールアドレスの設定(&M)"), QKeySequence(Qt::Key_F3),
                      QStringLiteral("使用しているメールアドレスを設定します"));
    CancelNoticeMaker = menuItem(Setting1, "CancelNoticeMaker", QStringLiteral("解除通知の作成"), {},
                                 QStringLiteral("解除通知の作成の要否を選択します"));
    CancelNoticeMaker->setCheckable(true);
    CancelNoticeMaker->setChecked(true);
    N2 = separator(Setting1, "N2");
    PubzineIP = menuItem(Setting1, "PubzineIP", QStringLiteral("IPアドレスの自動入力(Pubzine)"));
    PubzineIP->setCheckable(true);
    PubzineIP->setChecked(false);
    PubzineIP->setEnabled(false);

    Show1 = menu("Show1", QStringLiteral("フォーム(&V)"));
    DataForm1 = boundItem(Show1, "DataForm1", ShowDatabaseAction);
    AutoInputForm1 = boundItem(Show1, "AutoInputForm1", ShowAutoInputAction);
    DBGridForm1 = boundItem(Show1, "DBGridForm1", ShowTabelAction);
    N4 = separator(Show1, "N4");
    MMagSysConfigForm1 = menuItem(Show1, "MMagSysConfigForm1", QStringLiteral("発行システム設定フォーム"),
                                  QKeySequence(Qt::Key_F5));

    About1 = menu("About1", QStringLiteral("バージョン情報(&H)"));
    Help1 = menuItem(About1, "Help1", QStringLiteral("ヘルプ"), QKeySequence(Qt::Key_F1));
    N1 = separator(About1, "N1");
    About2 = menuItem(About1, "About2", QStringLiteral("バージョン情報(&A)"), QKeySequence(Qt::Key_F12));

    // An item directly on the menu bar, without a submenu.
    Q1 = new QAction(QStringLiteral("終了(&Q)"), MainMenu1);
    Q1->setObjectName(QStringLiteral("Q1"));
    Q1->setStatusTip(QStringLiteral("終了します"));
    MainMenu1->addAction(Q1);

    // The check mark is inverted by the item itself before the handler runs.
    connectGuarded(CancelNoticeMaker, &QAction::triggered, this, &TQUILMainForm::CancelNoticeMakerClick);
    connectGuarded(PubzineIP, &QAction::triggered, this, &TQUILMainForm::PubzineIPClick);
    connectGuarded(MailAd, &QAction::triggered, this, &TQUILMainForm::MailAdClick);
    connectGuarded(MMagSysConfigForm1, &QAction::triggered, this, &TQUILMainForm::MMagSysConfigForm1Click);
    connectGuarded(Help1, &QAction::triggered, this, &TQUILMainForm::Help1Click);
    connectGuarded(About2, &QAction::triggered, this, &TQUILMainForm::About2Click);
    connectGuarded(Q1, &QAction::triggered, this, &TQUILMainForm::Q1Click);
    connectGuarded(Save1, &QAction::triggered, this, &TQUILMainForm::Save1Click);
    connectGuarded(CSVFileOpen, &QAction::triggered, this, &TQUILMainForm::CSVFileOpenClick);
    connectGuarded(Del1, &QAction::triggered, this, &TQUILMainForm::Del1Click);
    connectGuarded(DeleteStateCancel, &QAction::triggered, this, &TQUILMainForm::DeleteStateCancelClick);
    connectGuarded(AllToCancelTarget, &QAction::triggered, this, &TQUILMainForm::AllToCancelTargetClick);
    connectGuarded(AllToReading, &QAction::triggered, this, &TQUILMainForm::AllToReadingClick);
}

void TQUILMainForm::connectDataModule() {
    if (!DataModule1)
        return;
    DataModule1->deleteButtonEnabled = [this] { return BitDeleteBtn->isEnabled(); };
    DataModule1->setDeleteButtonEnabled = [this](bool on) { BitDeleteBtn->setEnabled(on); };
    // Before each deletion of a stored record: its notice, while the option is on.
    DataModule1->writeCancelNotice = [this] {
        if (CancelNoticeMaker->isChecked())
            quil::writeCancelNotice(*DataModule1->Table1, QDate::currentDate());
    };
}

bool TQUILMainForm::cancelNoticeEnabled() const { return CancelNoticeMaker->isChecked(); }

void TQUILMainForm::FormCreate() {
    quil::Registry registry;
    registry.openKey(quil::SettingsKeyPath);
    if (!DataModule1)
        throw quil::Error(QStringLiteral("データモジュールがありません"));
    quil::runVersionCheck(registry, *DataModule1->Table1);
    CancelNoticeMaker->setChecked(quil::loadNoticeOption(registry, CancelNoticeMaker->isChecked()));
    registry.releaseKey();
}

void TQUILMainForm::CancelNoticeMakerClick() { quil::storeNoticeOption(CancelNoticeMaker->isChecked()); }

void TQUILMainForm::PubzineIPClick() { quil::storePubzineIpOption(PubzineIP->isChecked()); }

void TQUILMainForm::Help1Click() {
    const QString manual = quil::manualToOpen(QDir::currentPath(), QCoreApplication::applicationDirPath());
    if (!manual.isEmpty())
        quil::Opener::openLocalFile(manual);
}

void TQUILMainForm::MailAdClick() {
    TMAddSetForm form(this);
    form.exec();
}

void TQUILMainForm::About2Click() {
    TAboutBox box(this);
    box.exec();
}

void TQUILMainForm::MMagSysConfigForm1Click() {
    if (OSConfigForm)
        OSConfigForm->exec();
}

void TQUILMainForm::Q1Click() { close(); }

void TQUILMainForm::BitDeleteBtnClick() {
    if (!DataModule1)
        return;
    quil::Table &table = *DataModule1->Table1;
    if (table.recordCount() == 0) {
        BitDeleteBtn->setEnabled(false);
        return;
    }
    table.remove();
}

namespace {
quil::Table &magazines() {
    if (!DataModule1)
        throw quil::Error(QStringLiteral("データモジュールがありません"));
    return *DataModule1->Table1;
}
} // namespace

void TQUILMainForm::BitFindBtn1Click() {
    quil::findRecord(magazines(), {FindEdit1->text(), FindSpeedButton1->isChecked(), FindOptionCB1->isChecked()})
        .show();
}

void TQUILMainForm::FindEdit1KeyDown(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        BitFindBtn1Click();
}

void TQUILMainForm::StateFindBitBtnClick() {
    const QString target = StateSButton2->isChecked() ? quil::state::Cancelled : quil::state::CancelCandidate;
    quil::findNextInState(magazines(), target).show();
}

void TQUILMainForm::BitKaijoBtnClick() {
    if (!MMagSysDataModule)
        throw quil::Error(QStringLiteral("データモジュールがありません"));
    quil::Table &t = magazines();
    // A list that announces itself is left by what its headers offer.
    if (const std::optional<quil::ListLeavePlan> plan = quil::listLeavePlan(t)) {
        quil::leaveListInWindow(this, t, *plan);
        return;
    }
    // The ID and the web page as the record form shows them (typed or stored).
    quil::CancelRecord record;
    record.publishing = DataModule1->lookedUpPublishing();
    record.idText = QUILForm ? QUILForm->magazineIdText() : DataModule1->Table1MBIDIF->asString();
    record.webBox = QUILForm ? QUILForm->webText() : DataModule1->Table1WebSF->asString();
    record.webColumn = DataModule1->Table1WebSF->asString();
    quil::openCancelPage(t, *MMagSysDataModule->Table2, record, quil::Hosts::load(), [] {
        if (MIDCopyForm)
            MIDCopyForm->show();
    });
}

void TQUILMainForm::BitCancelHTMLBtnClick() {
    const QString page = QStringLiteral("Cancel.html");
    quil::writeCancelPage(magazines(), quil::Hosts::load(), page);
    quil::Opener::openLocalFile(page);
}

void TQUILMainForm::Save1Click() {
    TDualListSaveDlg chooser(this);
    chooser.exec();
}

void TQUILMainForm::CSVFileOpenClick() {
    // The old Windows program's tables come after the CSV filters: a .DB file
    // goes to the table its columns name.
    const QString path = quil::FileDialog::getOpenFileName(
        QString(),
        QStringLiteral("カンマ区切り子ファイル(*.csv , *.k3)|*.csv;*.k3|テキストファイル(*.txt)|*.txt"
                       "|Paradox テーブル(*.db)|*.db;*.DB;*.Db"),
        QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    if (path.endsWith(QLatin1String(".db"), Qt::CaseInsensitive) && MMagSysDataModule) {
        quil::importParadox(magazines(), *MMagSysDataModule->Table2, path).notice.show();
        return;
    }
    quil::importDoneNotice(quil::importCsv(magazines(), path)).show();
}

void TQUILMainForm::AllToCancelTargetClick() { quil::setStateFromCurrent(magazines(), quil::state::CancelCandidate); }

void TQUILMainForm::AllToReadingClick() { quil::setStateFromCurrent(magazines(), quil::state::Subscribed); }

void TQUILMainForm::DeleteStateCancelClick() { quil::deleteCancelledRecords(magazines()); }

void TQUILMainForm::Del1Click() { quil::emptyRegister(magazines()); }

bool TQUILMainForm::eventFilter(QObject *watched, QEvent *event) {
    if (watched == FindEdit1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        quil::guard([this, key] { FindEdit1KeyDown(key); });
    }
    return QMainWindow::eventFilter(watched, event);
}

namespace {
void toggle(QWidget *window) {
    if (window)
        window->setVisible(!window->isVisible());
}
} // namespace

void TQUILMainForm::ShowDatabaseActionExecute() { toggle(QUILForm); }
void TQUILMainForm::ShowAutoInputActionExecute() { toggle(QUILAutoInputForm); }
void TQUILMainForm::ShowTabelActionExecute() { toggle(DBGridForm); }

void TQUILMainForm::closeEvent(QCloseEvent *event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}
