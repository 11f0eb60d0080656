#include "forms/TOSConfigForm.h"

#include "platform/ErrorDisplay.h"
#include "store/DataModules.h"

#include <QScreen>

TOSConfigForm *OSConfigForm = nullptr;

TOSConfigForm::TOSConfigForm(QWidget *parent) : QDialog(parent) {
    OSConfigForm = this;
    setObjectName(QStringLiteral("OSConfigForm"));
    setWindowTitle(QStringLiteral("発行システム設定フォーム"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    setFixedSize(574, 262);
    quil::guard([this] { FormCreate(); });
}

TOSConfigForm::~TOSConfigForm() {
    if (OSConfigForm == this)
        OSConfigForm = nullptr;
}

void TOSConfigForm::FormCreate() {
    if (MMagSysDataModule)
        MMagSysDataModule->Table2->open();
}

void TOSConfigForm::showEvent(QShowEvent *event) {
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    QDialog::showEvent(event);
}
