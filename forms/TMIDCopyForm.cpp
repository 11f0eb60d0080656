#include "forms/TMIDCopyForm.h"

TMIDCopyForm *MIDCopyForm = nullptr;

TMIDCopyForm::TMIDCopyForm(QWidget *parent) : QDialog(parent) {
    MIDCopyForm = this;
    setObjectName(QStringLiteral("MIDCopyForm"));
    setWindowTitle(QStringLiteral("解除サポート"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    // 185 × 192 with the frame and caption; the client area is what Qt sizes.
    setFixedSize(177, 165);
}

TMIDCopyForm::~TMIDCopyForm() {
    if (MIDCopyForm == this)
        MIDCopyForm = nullptr;
}
