// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDialog>

class QPushButton;

namespace quil {
class DBComboBox;
class DBEdit;
} // namespace quil

// The member-ID copy window ("解除サポート"): floats above the browser while
// the reader logs in to a cancel page, with the current publishing system's
// member ID, password and address one click from the clipboard. Created
// seventh at start-up.
class TMIDCopyForm : public QDialog {
    Q_OBJECT
public:
    explicit TMIDCopyForm(QWidget *parent = nullptr);
    ~TMIDCopyForm() override;

    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();

    quil::DBComboBox *DBComboBoxMMagSys;
    quil::DBEdit *DBEditID;
    quil::DBEdit *DBEditPassword;
    quil::DBEdit *DBEditAddress;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
    QPushButton *BitBtn3;

protected:
    void showEvent(QShowEvent *event) override;
};

extern TMIDCopyForm *MIDCopyForm;
