// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QWidget>

class QLabel;
class QFrame;

namespace quil {
class DBCtrlGrid;
class DBEdit;
class DBText;
} // namespace quil

// The table view ("一覧表表示フォーム"): the register as rows of record
// panels on the shared cursor. Created last at start-up and shown and hidden
// by the main window.
class TDBGridForm : public QWidget {
    Q_OBJECT
public:
    explicit TDBGridForm(QWidget *parent = nullptr);
    ~TDBGridForm() override;

    void FormResize();
    void Label6DblClick();

    // Header strip
    QFrame *Panel1;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    // The grid and the controls of its row panel
    quil::DBCtrlGrid *DBCtrlGrid1;
    QLabel *Label6;
    quil::DBText *DBTextPublishing;
    quil::DBEdit *DBEditMBName;
    quil::DBEdit *DBEditMBID;
    quil::DBEdit *DBEditRegAddress;
    quil::DBText *DBTextDeleteState;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

extern TDBGridForm *DBGridForm;
