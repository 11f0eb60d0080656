// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// Version information, created for each use and shown modally.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *owner = nullptr);
    ~TAboutBox() override;

    QFrame *Panel1;
    QFrame *Bevel1;
    QLabel *ProgramIcon;
    QLabel *ProductName;
    QLabel *Version;
    QPushButton *OKButton;

    void OKButtonClick();

protected:
    void showEvent(QShowEvent *event) override;
};
