// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/TMAddSetForm.h"

#include "forms/TQUILForm.h"
#include "platform/ErrorDisplay.h"
#include "platform/gui/LazyIcons.h"
#include "text/TextList.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

namespace {
const QString kAddressFile = QStringLiteral("MADDRESS.ini");

// A small up or down arrow for the two (inactive) glyph buttons, navy on a
// light button and lightened on a dark one.
QIcon arrowGlyph(bool up) {
    return quil::drawnIcon([up](QPainter &p, const QPalette &palette) {
        p.setPen(Qt::NoPen);
        p.setBrush(quil::readableOn(QColor(0, 0, 128), palette.color(QPalette::Button)));
        QPolygonF tri;
        if (up)
            tri << QPointF(8, 3) << QPointF(14, 11) << QPointF(2, 11);
        else
            tri << QPointF(2, 5) << QPointF(14, 5) << QPointF(8, 13);
        p.drawPolygon(tri);
    });
}
} // namespace

TMAddSetForm::TMAddSetForm(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint) {
    setObjectName("MAddSetForm");
    setWindowTitle(QStringLiteral("メールアドレスの設定"));
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(12);
    setFont(f);
    setFixedSize(370, 190);

    Label1 = new QLabel(QStringLiteral("登録済みメールアドレス"), this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(8, 8, 300, 14);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setGeometry(8, 24, 318, 100);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    Delete1 = PopupMenu1->addAction(QStringLiteral("削除(&D)"));
    Delete1->setObjectName("Delete1");
    connect(Delete1, &QAction::triggered, this, [this] { quil::guard([this] { Delete1Click(); }); });
    connect(ListBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(pos)); });

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName("SpeedButton1");
    SpeedButton1->setGeometry(334, 24, 25, 25);
    SpeedButton1->setIcon(arrowGlyph(true));
    SpeedButton1->setEnabled(false);
    SpeedButton2 = new QToolButton(this);
    SpeedButton2->setObjectName("SpeedButton2");
    SpeedButton2->setGeometry(334, 54, 25, 25);
    SpeedButton2->setIcon(arrowGlyph(false));
    SpeedButton2->setEnabled(false);

    Label2 = new QLabel(QStringLiteral("メールアドレスの追加"), this);
    Label2->setObjectName("Label2");
    Label2->setGeometry(8, 136, 300, 14);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setGeometry(8, 152, 270, 21);
    BitBtn1 = new QPushButton(QStringLiteral("追　加"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(286, 150, 75, 25);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { quil::guard([this] { BitBtn1Click(); }); });

    QWidget::setTabOrder(ListBox1, Edit1);
    QWidget::setTabOrder(Edit1, BitBtn1);

    quil::guard([this] { FormCreate(); });
}

TMAddSetForm::~TMAddSetForm() = default;

void TMAddSetForm::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    // Centred on the screen, not on the owner.
    if (QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TMAddSetForm::FormCreate() {
    ListBox1->clear();
    ListBox1->addItems(quil::textlist::readFileIfExists(kAddressFile));
}

void TMAddSetForm::BitBtn1Click() {
    if (Edit1->text().isEmpty())
        return;
    ListBox1->addItem(Edit1->text());
    SaveAddressList();
    Edit1->clear();
}

void TMAddSetForm::Delete1Click() {
    const QList<QListWidgetItem *> chosen = ListBox1->selectedItems();
    if (!chosen.isEmpty())
        delete ListBox1->takeItem(ListBox1->row(chosen.first()));
    SaveAddressList();
}

void TMAddSetForm::SaveAddressList() {
    QStringList lines;
    for (int i = 0; i < ListBox1->count(); ++i)
        lines << ListBox1->item(i)->text();
    quil::textlist::writeFile(kAddressFile, lines);
    if (QUILForm)
        QUILForm->setAddressChoices(lines);
}
