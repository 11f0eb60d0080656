// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QMainWindow>

class QAction;
class QActionGroup;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QToolButton;

// The main window ("Quillet"): the hub from which every operation on the
// register is reached. Created third at start-up; closing it ends the program.
class TQUILMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TQUILMainForm(QWidget *parent = nullptr);
    ~TQUILMainForm() override;

    // Whether a cancellation notice is written when a record is deleted.
    bool cancelNoticeEnabled() const;

    // Group boxes and their controls.
    QWidget *ClientArea;
    QGroupBox *GroupBox1;
    QPushButton *BitKaijoBtn;
    QPushButton *BitDeleteBtn;
    QPushButton *BitCancelHTMLBtn;
    QGroupBox *GroupBox4;
    QToolButton *SpeedButton1;
    QToolButton *SpeedButton2;
    QToolButton *SpeedButton3;
    QGroupBox *GroupBox2;
    QLineEdit *FindEdit1;
    QPushButton *BitFindBtn1;
    QToolButton *FindSpeedButton1;
    QToolButton *FindSpeedButton2;
    QCheckBox *FindOptionCB1;
    QGroupBox *GroupBox3;
    QToolButton *StateSButton1;
    QToolButton *StateSButton2;
    QPushButton *StateFindBitBtn;
    QButtonGroup *FindModeGroup;
    QButtonGroup *StateGroup;

    // Actions (category "表示").
    QAction *ShowDatabaseAction;
    QAction *ShowAutoInputAction;
    QAction *ShowTabelAction;

    // Menu bar.
    QMenuBar *MainMenu1;
    QMenu *File1;
    QAction *Save1;
    QAction *CSVFileOpen;
    QAction *N3;
    QAction *Del1;
    QAction *DeleteStateCancel;
    QAction *N5;
    QAction *AllToCancelTarget;
    QAction *AllToReading;
    QMenu *Setting1;
    QAction *MailAd;
    QAction *CancelNoticeMaker;
    QAction *N2;
    QAction *PubzineIP;
    QMenu *Show1;
    QAction *DataForm1;
    QAction *AutoInputForm1;
    QAction *DBGridForm1;
    QAction *N4;
    QAction *MMagSysConfigForm1;
    QMenu *About1;
    QAction *Help1;
    QAction *N1;
    QAction *About2;
    QAction *Q1;

    void FormCreate();
    void CancelNoticeMakerClick();
    void PubzineIPClick();
    void Help1Click();
    void MailAdClick();
    void About2Click();
    void MMagSysConfigForm1Click();
    void Q1Click();
    void BitDeleteBtnClick();
    void BitKaijoBtnClick();
    void Save1Click();
    void CSVFileOpenClick();
    void BitCancelHTMLBtnClick();
    void BitFindBtn1Click();
    void FindEdit1KeyDown(int key);
    void StateFindBitBtnClick();
    void AllToCancelTargetClick();
    void AllToReadingClick();
    void DeleteStateCancelClick();
    void Del1Click();
    void ShowDatabaseActionExecute();
    void ShowAutoInputActionExecute();
    void ShowTabelActionExecute();

signals:
    // The window was closed: the message loop ends.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildActions();
    void buildMenu();
    void connectDataModule();
};

extern TQUILMainForm *QUILMainForm;
