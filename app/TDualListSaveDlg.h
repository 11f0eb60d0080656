// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;
class QToolButton;

// The field chooser of the CSV export ("保存項目選択ダイアログ"): the reader
// moves the columns to save, in the order of the file, from the left list to
// the right one; OK asks for the file and writes it. Created for each export.
class TDualListSaveDlg : public QDialog {
    Q_OBJECT
public:
    explicit TDualListSaveDlg(QWidget *owner = nullptr);
    ~TDualListSaveDlg() override;

    void FormCreate();
    void IncludeBtnClick();
    void ExcludeBtnClick();
    void IncAllBtnClick();
    void ExcAllBtnClick();
    void OKBtnClick();

    void MoveSelected(QListWidget *source, QListWidget *destination);
    static int GetFirstSelection(QListWidget *list);
    void SetItem(QListWidget *list, int index);
    void SetButtons();

    // The names in DstList, top to bottom: the columns of the file.
    QStringList chosenColumns() const;

    QLabel *SrcLabel;
    QLabel *DstLabel;
    QListWidget *SrcList;
    QListWidget *DstList;
    QToolButton *IncludeBtn;
    QToolButton *IncAllBtn;
    QToolButton *ExcludeBtn;
    QToolButton *ExAllBtn;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
    QPushButton *HelpBtn;

protected:
    void showEvent(QShowEvent *event) override;
};
