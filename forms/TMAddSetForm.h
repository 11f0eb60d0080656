#pragma once
#include <QDialog>

// The mail-address settings window ("メールアドレスの設定"), created for each use.
class TMAddSetForm : public QDialog {
    Q_OBJECT
public:
    explicit TMAddSetForm(QWidget *owner = nullptr);
    ~TMAddSetForm() override;
    void FormCreate();
};
