#include "autoinput/TQUILAutoInputForm.h"

TQUILAutoInputForm *QUILAutoInputForm = nullptr;

TQUILAutoInputForm::TQUILAutoInputForm(QWidget *parent) : QWidget(parent, Qt::Window) {
    setObjectName("QUILAutoInputForm");
    setWindowTitle(QStringLiteral("自動入力フォーム"));
}

TQUILAutoInputForm::~TQUILAutoInputForm() = default;
