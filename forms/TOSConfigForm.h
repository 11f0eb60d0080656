#pragma once
#include <QDialog>

// Configuration of other publishing systems ("発行システム設定フォーム").
// Created fourth at start-up and shown modally by the main window, always
// the same object, so it keeps its state between uses.
class TOSConfigForm : public QDialog {
    Q_OBJECT
public:
    explicit TOSConfigForm(QWidget *parent = nullptr);
    ~TOSConfigForm() override;
    void FormCreate();

protected:
    void showEvent(QShowEvent *event) override;
};

extern TOSConfigForm *OSConfigForm;
