#pragma once
#include <QWidget>

// The table view ("一覧表表示フォーム"). Created last at start-up and shown
// and hidden by the main window.
class TDBGridForm : public QWidget {
    Q_OBJECT
public:
    explicit TDBGridForm(QWidget *parent = nullptr);
    ~TDBGridForm() override;
};

extern TDBGridForm *DBGridForm;
