#pragma once
#include <QWidget>

// The record form ("データベースフォーム"). Created fifth at start-up.
class TQUILForm : public QWidget {
    Q_OBJECT
public:
    explicit TQUILForm(QWidget *parent = nullptr);
    ~TQUILForm() override;
    void FormCreate();
};

extern TQUILForm *QUILForm;
