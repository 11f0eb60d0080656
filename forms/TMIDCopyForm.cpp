// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/TMIDCopyForm.h"

#include "forms/DataControls.h"
#include "forms/TQUILForm.h"
#include "platform/ErrorDisplay.h"
#include "platform/Opener.h"
#include "store/Columns.h"
#include "store/DataModules.h"

#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

TMIDCopyForm *MIDCopyForm = nullptr;

namespace {
template <typename W> W *named(W *w, const char *name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}
} // namespace

TMIDCopyForm::TMIDCopyForm(QWidget *parent) : QDialog(parent) {
    MIDCopyForm = this;
    setObjectName(QStringLiteral("MIDCopyForm"));
    setWindowTitle(QStringLiteral("解除サポート"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    // 185 × 192 with the frame and caption; the client area is what Qt sizes.
    setFixedSize(177, 165);

    // The system's name shows which row the values belong to; it is not chosen here.
    DBComboBoxMMagSys = named(new quil::DBComboBox(this), "DBComboBoxMMagSys");
    DBComboBoxMMagSys->setGeometry(8, 8, 161, 21);
    DBComboBoxMMagSys->setReadOnly(true);
    DBEditID = named(new quil::DBEdit(this), "DBEditID");
    DBEditID->setGeometry(8, 48, 88, 21);
    BitBtn1 = named(new QPushButton(QStringLiteral("Ｉ　Ｄ"), this), "BitBtn1");
    BitBtn1->setGeometry(102, 46, 67, 25);
    DBEditPassword = named(new quil::DBEdit(this), "DBEditPassword");
    DBEditPassword->setGeometry(8, 88, 88, 21);
    BitBtn2 = named(new QPushButton(QStringLiteral("Ｐａｓｓｗｏｒｄ"), this), "BitBtn2");
    BitBtn2->setGeometry(102, 86, 67, 25);
    DBEditAddress = named(new quil::DBEdit(this), "DBEditAddress");
    DBEditAddress->setGeometry(8, 128, 88, 21);
    BitBtn3 = named(new QPushButton(QStringLiteral("Ａｄｄｒｅｓｓ"), this), "BitBtn3");
    BitBtn3->setGeometry(102, 126, 67, 25);
    for (QPushButton *b : {BitBtn1, BitBtn2, BitBtn3})
        b->setAutoDefault(false);
    QWidget::setTabOrder(DBEditID, BitBtn1);
    QWidget::setTabOrder(BitBtn1, DBEditPassword);
    QWidget::setTabOrder(DBEditPassword, BitBtn2);
    QWidget::setTabOrder(BitBtn2, DBEditAddress);
    QWidget::setTabOrder(DBEditAddress, BitBtn3);

    if (MMagSysDataModule) {
        quil::DataSource *ds = MMagSysDataModule->DataSource2;
        DBComboBoxMMagSys->setDataField(quil::col::MMSysName);
        DBComboBoxMMagSys->setDataSource(ds);
        const std::pair<quil::DBEdit *, QString> edits[] = {{DBEditID, quil::col::MemberID},
                                                              {DBEditPassword, quil::col::MemberPass},
                                                              {DBEditAddress, quil::col::SysRegAddress}};
        for (const auto &[edit, column] : edits) {
            edit->setDataField(column);
            edit->setDataSource(ds);
        }
    }
    connect(BitBtn1, &QPushButton::clicked, this, [this] { quil::guard([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { quil::guard([this] { BitBtn2Click(); }); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { quil::guard([this] { BitBtn3Click(); }); });
}

TMIDCopyForm::~TMIDCopyForm() {
    if (MIDCopyForm == this)
        MIDCopyForm = nullptr;
}

void TMIDCopyForm::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        quil::guard([this] { FormShow(); });
}

void TMIDCopyForm::FormShow() {
    if (QUILForm)
        DBComboBoxMMagSys->setEditText(QUILForm->publishingText());
}

void TMIDCopyForm::BitBtn1Click() { quil::Clipboard::setText(DBEditID->text()); }
void TMIDCopyForm::BitBtn2Click() { quil::Clipboard::setText(DBEditPassword->text()); }
void TMIDCopyForm::BitBtn3Click() { quil::Clipboard::setText(DBEditAddress->text()); }
