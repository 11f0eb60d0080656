// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDialog>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;

namespace quil {
class DBCheckBox;
class DBComboBox;
class DBCtrlGrid;
class DBEdit;
class DBNavigator;
class DBText;
} // namespace quil

// Configuration of other publishing systems ("発行システム設定フォーム"):
// the rows of the publishing-system table, with the rule of each system's
// cancel page and its member ID. Created fourth at start-up and shown
// modally by the main window, always the same object, so it keeps its state
// between uses.
class TOSConfigForm : public QDialog {
    Q_OBJECT
public:
    explicit TOSConfigForm(QWidget *parent = nullptr);
    ~TOSConfigForm() override;

    void FormCreate();
    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void DBCheckBoxClick();

    quil::DBCtrlGrid *DBCtrlGrid1;
    quil::DBText *DBText1;
    QLabel *Label1;
    quil::DBEdit *DBEditMMagSysID;
    quil::DBNavigator *DBNavigator1;
    QLabel *Label2;
    quil::DBEdit *DBEditMMagSysName;
    QLabel *Label4;
    quil::DBEdit *DBEditMMagSysCancelWeb;
    quil::DBCheckBox *DBCheckBoxID;
    quil::DBEdit *DBEditMMagID;
    QLabel *Label3;
    QLabel *Label5;
    quil::DBEdit *DBEditExc;
    QFrame *Panel1;
    quil::DBCheckBox *DBCheckBoxMemberID;
    QGroupBox *GroupBoxMemberID;
    QLabel *Label6;
    quil::DBEdit *DBEditMemberID;
    QLabel *Label7;
    quil::DBEdit *DBEditPassword;
    QLabel *Label8;
    quil::DBComboBox *DBComboBoxRegAddress;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
    QPushButton *BitBtn3;
    QPushButton *BitBtn4;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void bindControls();
};

extern TOSConfigForm *OSConfigForm;
