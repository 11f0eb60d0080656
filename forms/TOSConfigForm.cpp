// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/TOSConfigForm.h"

#include "forms/DBCtrlGrid.h"
#include "forms/DataControls.h"
#include "forms/core/SystemSettings.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "text/TextList.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>

TOSConfigForm *OSConfigForm = nullptr;

namespace {

const QString kSettingsFilter = QStringLiteral("メールマガジン発行システム設定ファイル(*.ini)|*.ini");

template <typename W> W *named(W *w, const char *name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel *label(QWidget *parent, const char *name, const QString &text, int x, int y, int w = 120) {
    auto *l = named(new QLabel(text, parent), name);
    l->setGeometry(x, y, w, 14);
    return l;
}

QFont gothic(int pixels) {
    QFont f(QStringLiteral("ＭＳ ゴシック"));
    f.setPixelSize(pixels);
    f.setStyleHint(QFont::TypeWriter);
    return f;
}

} // namespace

TOSConfigForm::TOSConfigForm(QWidget *parent) : QDialog(parent) {
    OSConfigForm = this;
    setObjectName(QStringLiteral("OSConfigForm"));
    setWindowTitle(QStringLiteral("発行システム設定フォーム"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    setFixedSize(574, 262);
    buildControls();
    bindControls();
    quil::guard([this] { FormCreate(); });
}

TOSConfigForm::~TOSConfigForm() {
    if (MMagSysDataModule)
        MMagSysDataModule->configView = {};
    if (OSConfigForm == this)
        OSConfigForm = nullptr;
}

void TOSConfigForm::buildControls() {
    using namespace quil;
    // The list of systems: eight panels of names.
    DBCtrlGrid1 = named(new DBCtrlGrid(this), "DBCtrlGrid1");
    DBCtrlGrid1->setGeometry(8, 8, 160, 248);
    DBCtrlGrid1->setPanelWidth(160 - DBCtrlGrid1->scrollBar()->sizeHint().width());
    DBCtrlGrid1->setPanelHeight(31);
    DBCtrlGrid1->setRowCount(8);
    DBText1 = named(new DBText(DBCtrlGrid1->panel()), "DBText1");
    DBText1->setFont(gothic(12));
    DBText1->setGeometry(6, 8, DBCtrlGrid1->panelWidth() - 12, 15);
    DBText1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    Label1 = label(this, "Label1", QStringLiteral("発行媒体ＩＤ"), 176, 8);
    DBEditMMagSysID = named(new DBEdit(this), "DBEditMMagSysID");
    DBEditMMagSysID->setGeometry(176, 24, 60, 21);
    DBNavigator1 = named(new DBNavigator(this), "DBNavigator1");
    DBNavigator1->setGeometry(248, 22, 207, 25);
    DBNavigator1->setVisibleButtons({DBNavigator::First, DBNavigator::Prior, DBNavigator::Next, DBNavigator::Last,
                                     DBNavigator::Insert, DBNavigator::Edit, DBNavigator::Post, DBNavigator::Cancel,
                                     DBNavigator::Refresh});
    Label2 = label(this, "Label2", QStringLiteral("発行システム名"), 176, 52);
    DBEditMMagSysName = named(new DBEdit(this), "DBEditMMagSysName");
    DBEditMMagSysName->setGeometry(176, 68, 220, 21);

    Label4 = label(this, "Label4", QStringLiteral("解除のページアドレス"), 176, 96);
    DBEditMMagSysCancelWeb = named(new DBEdit(this), "DBEditMMagSysCancelWeb");
    DBEditMMagSysCancelWeb->setGeometry(176, 112, 388, 21);
    DBCheckBoxID = named(new DBCheckBox(QStringLiteral("マガジンＩＤの付加"), this), "DBCheckBoxID");
    DBCheckBoxID->setGeometry(176, 142, 124, 17);
    DBEditMMagID = named(new DBEdit(this), "DBEditMMagID");
    DBEditMMagID->setGeometry(304, 140, 36, 21);
    Label3 = label(this, "Label3", QStringLiteral("桁"), 344, 144, 16);
    Label5 = label(this, "Label5", QStringLiteral("付加する拡張子"), 392, 144, 88);
    DBEditExc = named(new DBEdit(this), "DBEditExc");
    DBEditExc->setGeometry(484, 140, 80, 21);
    // Covers the address and its rule on the built-in rows.
    Panel1 = named(new QFrame(this), "Panel1");
    Panel1->setGeometry(176, 92, 388, 72);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setAutoFillBackground(true);
    auto *locked = named(new QLabel(QStringLiteral("変更できません"), Panel1), "Panel1Caption");
    locked->setFont(gothic(35));
    locked->setAlignment(Qt::AlignCenter);
    locked->setGeometry(Panel1->rect());
    Panel1->hide();

    DBCheckBoxMemberID = named(new DBCheckBox(QStringLiteral("解除にはＩＤが必要"), this), "DBCheckBoxMemberID");
    DBCheckBoxMemberID->setGeometry(176, 172, 150, 17);
    GroupBoxMemberID = named(new QGroupBox(QStringLiteral("ＩＤとパスワード"), this), "GroupBoxMemberID");
    GroupBoxMemberID->setGeometry(176, 192, 300, 64);
    Label6 = label(GroupBoxMemberID, "Label6", QStringLiteral("ＩＤ"), 8, 18, 70);
    DBEditMemberID = named(new DBEdit(GroupBoxMemberID), "DBEditMemberID");
    DBEditMemberID->setGeometry(8, 34, 72, 21);
    Label7 = label(GroupBoxMemberID, "Label7", QStringLiteral("パスワード"), 86, 18, 70);
    DBEditPassword = named(new DBEdit(GroupBoxMemberID), "DBEditPassword");
    DBEditPassword->setGeometry(86, 34, 72, 21);
    Label8 = label(GroupBoxMemberID, "Label8", QStringLiteral("登録メールアドレス"), 164, 18, 128);
    DBComboBoxRegAddress = named(new DBComboBox(GroupBoxMemberID), "DBComboBoxRegAddress");
    DBComboBoxRegAddress->setGeometry(164, 34, 128, 21);

    BitBtn1 = named(new QPushButton(QStringLiteral("登　録"), this), "BitBtn1");
    BitBtn1->setGeometry(470, 22, 94, 25);
    BitBtn2 = named(new QPushButton(QStringLiteral("削　除"), this), "BitBtn2");
    BitBtn2->setGeometry(470, 64, 94, 25);
    BitBtn3 = named(new QPushButton(QStringLiteral("読み込み"), this), "BitBtn3");
    BitBtn3->setGeometry(484, 198, 80, 25);
    BitBtn4 = named(new QPushButton(QStringLiteral("閉じる"), this), "BitBtn4");
    BitBtn4->setGeometry(484, 231, 80, 25);
    // The close icon comes from the icon theme, a slow look-up; it is set
    // when the window is first shown, not while the program starts.
    // Both carry the default mark; Enter registers a new row.
    BitBtn1->setDefault(true);
    BitBtn3->setAutoDefault(false);
    BitBtn2->setAutoDefault(false);
    BitBtn4->setAutoDefault(false);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { quil::guard([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { quil::guard([this] { BitBtn2Click(); }); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { quil::guard([this] { BitBtn3Click(); }); });
    connect(BitBtn4, &QPushButton::clicked, this, &QDialog::reject);
    connect(DBCheckBoxID, &QCheckBox::clicked, this, [this] { quil::guard([this] { DBCheckBoxClick(); }); });
    connect(DBCheckBoxMemberID, &QCheckBox::clicked, this, [this] { quil::guard([this] { DBCheckBoxClick(); }); });

    const QList<QWidget *> chain{DBEditMMagSysID, DBEditMMagSysName, DBEditMMagSysCancelWeb, DBCheckBoxID,
                                 DBEditMMagID,    DBEditExc,         DBCheckBoxMemberID,     DBEditMemberID,
                                 DBEditPassword,  DBComboBoxRegAddress, BitBtn1,             BitBtn2,
                                 BitBtn3,         BitBtn4};
    for (int i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void TOSConfigForm::bindControls() {
    if (!MMagSysDataModule)
        return;
    quil::DataSource *ds = MMagSysDataModule->DataSource2;
    DBCtrlGrid1->setDataSource(ds);
    DBText1->setDataField(quil::col::MMSysName);
    DBText1->setDataSource(ds);
    DBNavigator1->setDataSource(ds);
    const std::pair<quil::DBEdit *, QString> edits[] = {
        {DBEditMMagSysID, quil::col::MMSysID},       {DBEditMMagSysName, quil::col::MMSysName},
        {DBEditMMagSysCancelWeb, quil::col::CancelUrl}, {DBEditMMagID, quil::col::MMIDFigure},
        {DBEditExc, quil::col::Expansion},          {DBEditMemberID, quil::col::MemberID},
        {DBEditPassword, quil::col::MemberPass},
    };
    for (const auto &[edit, column] : edits) {
        edit->setDataField(column);
        edit->setDataSource(ds);
    }
    DBCheckBoxID->setDataField(quil::col::AppendMMID);
    DBCheckBoxID->setDataSource(ds);
    DBCheckBoxMemberID->setDataField(quil::col::NeedMemberID);
    DBCheckBoxMemberID->setDataSource(ds);
    DBComboBoxRegAddress->setDataField(quil::col::SysRegAddress);
    DBComboBoxRegAddress->setDataSource(ds);

    // What the systems table's after-scroll does to this window.
    MMagSysDataModule->configView.setDigitsVisible = [this](bool on) {
        DBEditMMagID->setVisible(on);
        Label3->setVisible(on);
    };
    MMagSysDataModule->configView.setMemberGroupVisible = [this](bool on) { GroupBoxMemberID->setVisible(on); };
    MMagSysDataModule->configView.setLocked = [this](bool on) {
        Panel1->setVisible(on);
        BitBtn2->setEnabled(!on);
        DBEditMMagSysID->setEnabled(!on);
        DBEditMMagSysName->setEnabled(!on);
    };
}

void TOSConfigForm::FormCreate() {
    if (!MMagSysDataModule)
        return;
    quil::Table &systems = *MMagSysDataModule->Table2;
    const bool alreadyOpen = systems.active();
    systems.open();
    // The version upgrade looks the systems up before this window exists;
    // the row was then current with no window to mirror it.
    if (alreadyOpen)
        MMagSysDataModule->Table2AfterScroll(systems);
}

void TOSConfigForm::FormShow() {
    DBComboBoxRegAddress->setItems(quil::textlist::readFileIfExists(QStringLiteral("MADDRESS.ini")));
}

void TOSConfigForm::BitBtn1Click() {
    if (MMagSysDataModule)
        MMagSysDataModule->Table2->append();
}

void TOSConfigForm::BitBtn2Click() {
    if (MMagSysDataModule)
        MMagSysDataModule->Table2->remove();
}

void TOSConfigForm::DBCheckBoxClick() {
    DBEditMMagID->setVisible(DBCheckBoxID->isChecked());
    Label3->setVisible(DBCheckBoxID->isChecked());
    GroupBoxMemberID->setVisible(DBCheckBoxMemberID->isChecked());
}

void TOSConfigForm::BitBtn3Click() {
    const QString path = quil::FileDialog::getOpenFileName(QString(), kSettingsFilter);
    if (path.isEmpty() || !MMagSysDataModule)
        return;
    quil::Table &systems = *MMagSysDataModule->Table2;
    // Whatever the read-in ends with, the window shows the row now current
    // with its own visibilities and lock, not those of the row it began as.
    struct Refresh {
        quil::Table &t;
        ~Refresh() {
            if (MMagSysDataModule && t.active())
                MMagSysDataModule->Table2AfterScroll(t);
        }
    } refresh{systems};
    quil::readSystemSettingsFile(systems, path);
}

void TOSConfigForm::showEvent(QShowEvent *event) {
    if (BitBtn4->icon().isNull())
        BitBtn4->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    QDialog::showEvent(event);
    if (!event->spontaneous())
        quil::guard([this] { FormShow(); });
}
