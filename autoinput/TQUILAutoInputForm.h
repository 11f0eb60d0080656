#pragma once
#include <QWidget>

// The automatic-input window ("自動入力フォーム"). Created sixth at start-up.
class TQUILAutoInputForm : public QWidget {
    Q_OBJECT
public:
    explicit TQUILAutoInputForm(QWidget *parent = nullptr);
    ~TQUILAutoInputForm() override;
};

extern TQUILAutoInputForm *QUILAutoInputForm;
