#include "forms/TMAddSetForm.h"

#include "platform/ErrorDisplay.h"

TMAddSetForm::TMAddSetForm(QWidget *owner) : QDialog(owner) {
    setObjectName("MAddSetForm");
    setWindowTitle(QStringLiteral("メールアドレスの設定"));
    quil::guard([this] { FormCreate(); });
}

TMAddSetForm::~TMAddSetForm() = default;

void TMAddSetForm::FormCreate() {}
