#include "forms/TQUILForm.h"

#include "platform/ErrorDisplay.h"

TQUILForm *QUILForm = nullptr;

TQUILForm::TQUILForm(QWidget *parent) : QWidget(parent, Qt::Window) {
    setObjectName("QUILForm");
    setWindowTitle(QStringLiteral("データベースフォーム"));
    quil::guard([this] { FormCreate(); });
}

TQUILForm::~TQUILForm() = default;

void TQUILForm::FormCreate() {}
