#include "app/TDBGridForm.h"

TDBGridForm *DBGridForm = nullptr;

TDBGridForm::TDBGridForm(QWidget *parent) : QWidget(parent, Qt::Window) {
    DBGridForm = this;
    setObjectName(QStringLiteral("DBGridForm"));
    setWindowTitle(QStringLiteral("一覧表表示フォーム"));
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    // 703 × 402 outside: the 25-pixel header strip over ten 35-pixel rows of
    // 679-pixel panels beside a scroll bar.
    resize(695, 375);
}

TDBGridForm::~TDBGridForm() {
    if (DBGridForm == this)
        DBGridForm = nullptr;
}
