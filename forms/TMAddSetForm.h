// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDialog>

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QToolButton;

// The mail-address settings window ("メールアドレスの設定"), created for each
// use and shown modally. Every change is written to MADDRESS.ini at once.
class TMAddSetForm : public QDialog {
    Q_OBJECT
public:
    explicit TMAddSetForm(QWidget *owner = nullptr);
    ~TMAddSetForm() override;

    void FormCreate();
    void BitBtn1Click();
    void Delete1Click();
    void SaveAddressList();

    QLabel *Label1;
    QListWidget *ListBox1;
    QMenu *PopupMenu1;
    QAction *Delete1;
    QToolButton *SpeedButton1;
    QToolButton *SpeedButton2;
    QLabel *Label2;
    QLineEdit *Edit1;
    QPushButton *BitBtn1;

protected:
    void showEvent(QShowEvent *event) override;
};
