// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TAboutBox.h"

#include "app/Glyphs.h"
#include "platform/ErrorDisplay.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace {
QFont aboutFont(int pixels) {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(pixels);
    return font;
}
} // namespace

TAboutBox::TAboutBox(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(aboutFont(12));
    setFixedSize(298, 249);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 281, 193);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    Bevel1 = new QFrame(Panel1);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(2, 2, 277, 189);
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bevel1->setLineWidth(1);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(40, 76, 32, 32);
    ProgramIcon->setPixmap(quil::glyph::programIcon().pixmap(QSize(32, 32)));

    ProductName = new QLabel(QStringLiteral("Quillet"), Panel1);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->setGeometry(88, 72, 170, 20);
    QFont nameFont = aboutFont(16);
    nameFont.setBold(true);
    ProductName->setFont(nameFont);

    Version = new QLabel(QStringLiteral("Version 4.00"), Panel1);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setGeometry(88, 96, 170, 16);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(111, 212, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { quil::guard([this] { OKButtonClick(); }); });
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::OKButtonClick() { accept(); }

void TAboutBox::showEvent(QShowEvent *event) {
    // Centred on the screen, not on the main window that owns it.
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    QDialog::showEvent(event);
}
