// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TDualListSaveDlg.h"

#include "app/core/Csv.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "store/DataModules.h"

#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

namespace {

const QString kCsvFilter = QStringLiteral("カンマ区切り子ファイル(*.csv , *.k3)|*.csv;*.k3|テキストファイル(*.txt)|*.txt");

template <typename W> W *placed(W *w, const char *name, int x, int y, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}

QToolButton *flatButton(QWidget *parent, const char *name, const QString &caption, int x, int y) {
    auto *b = placed(new QToolButton(parent), name, x, y, 24, 24);
    b->setText(caption);
    b->setAutoRaise(true);
    return b;
}

QListWidget *list(QWidget *parent, const char *name, int x) {
    auto *l = placed(new QListWidget(parent), name, x, 24, 144, 185);
    l->setSelectionMode(QAbstractItemView::ExtendedSelection);
    l->setSortingEnabled(false);
    return l;
}

} // namespace

TDualListSaveDlg::TDualListSaveDlg(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("DualListSaveDlg"));
    setWindowTitle(QStringLiteral("保存項目選択ダイアログ"));
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(12);
    setFont(f);
    setFixedSize(345, 255);

    SrcLabel = placed(new QLabel(QStringLiteral("選択できる項目 :"), this), "SrcLabel", 8, 8, 97, 16);
    DstLabel = placed(new QLabel(QStringLiteral("保存する項目 :"), this), "DstLabel", 192, 8, 89, 16);
    SrcList = list(this, "SrcList", 8);
    DstList = list(this, "DstList", 192);
    IncludeBtn = flatButton(this, "IncludeBtn", QStringLiteral(">"), 160, 32);
    IncAllBtn = flatButton(this, "IncAllBtn", QStringLiteral(">>"), 160, 64);
    ExcludeBtn = flatButton(this, "ExcludeBtn", QStringLiteral("<"), 160, 96);
    ExAllBtn = flatButton(this, "ExAllBtn", QStringLiteral("<<"), 160, 128);
    ExcludeBtn->setEnabled(false);
    ExAllBtn->setEnabled(false);
    OKBtn = placed(new QPushButton(QStringLiteral("OK"), this), "OKBtn", 101, 220, 75, 25);
    OKBtn->setDefault(true);
    CancelBtn = placed(new QPushButton(QStringLiteral("キャンセル"), this), "CancelBtn", 181, 220, 75, 25);
    CancelBtn->setAutoDefault(false);
    HelpBtn = placed(new QPushButton(QStringLiteral("ヘルプ(&H)"), this), "HelpBtn", 261, 220, 75, 25);
    HelpBtn->setAutoDefault(false);
    HelpBtn->setEnabled(false);
    HelpBtn->hide();

    auto guarded = [this](void (TDualListSaveDlg::*handler)()) {
        return [this, handler] { quil::guard([this, handler] { (this->*handler)(); }); };
    };
    connect(IncludeBtn, &QToolButton::clicked, this, guarded(&TDualListSaveDlg::IncludeBtnClick));
    connect(IncAllBtn, &QToolButton::clicked, this, guarded(&TDualListSaveDlg::IncAllBtnClick));
    connect(ExcludeBtn, &QToolButton::clicked, this, guarded(&TDualListSaveDlg::ExcludeBtnClick));
    connect(ExAllBtn, &QToolButton::clicked, this, guarded(&TDualListSaveDlg::ExcAllBtnClick));
    // OK closes the chooser after its handler, whatever became of the export.
    connect(OKBtn, &QPushButton::clicked, this, [this] {
        quil::guard([this] { OKBtnClick(); });
        accept();
    });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    quil::guard([this] { FormCreate(); });
}

TDualListSaveDlg::~TDualListSaveDlg() = default;

void TDualListSaveDlg::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    // Centred on the screen, not on the owner.
    if (QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TDualListSaveDlg::FormCreate() {
    SrcList->clear();
    for (const quil::FieldDef &def : TDataModule1::schema())
        SrcList->addItem(def.name);
}

void TDualListSaveDlg::MoveSelected(QListWidget *source, QListWidget *destination) {
    // From the last item up: several selected items arrive in reverse order.
    for (int i = source->count() - 1; i >= 0; --i) {
        if (source->item(i)->isSelected()) {
            destination->addItem(source->item(i)->text());
            delete source->takeItem(i);
        }
    }
}

int TDualListSaveDlg::GetFirstSelection(QListWidget *list) {
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            return i;
    return -1;
}

void TDualListSaveDlg::SetItem(QListWidget *list, int index) {
    list->setFocus();
    if (index < 0)
        index = 0;
    if (index > list->count() - 1)
        index = list->count() - 1;
    list->clearSelection();
    if (index >= 0) {
        list->setCurrentRow(index, QItemSelectionModel::NoUpdate);
        list->item(index)->setSelected(true);
    }
    SetButtons();
}

void TDualListSaveDlg::SetButtons() {
    const bool source = SrcList->count() > 0;
    const bool destination = DstList->count() > 0;
    IncludeBtn->setEnabled(source);
    IncAllBtn->setEnabled(source);
    ExcludeBtn->setEnabled(destination);
    ExAllBtn->setEnabled(destination);
}

void TDualListSaveDlg::IncludeBtnClick() {
    const int index = GetFirstSelection(SrcList);
    MoveSelected(SrcList, DstList);
    SetItem(SrcList, index);
}

void TDualListSaveDlg::ExcludeBtnClick() {
    const int index = GetFirstSelection(DstList);
    MoveSelected(DstList, SrcList);
    SetItem(DstList, index);
}

void TDualListSaveDlg::IncAllBtnClick() {
    while (SrcList->count() > 0)
        DstList->addItem(SrcList->takeItem(0));
    SetItem(SrcList, 0);
}

void TDualListSaveDlg::ExcAllBtnClick() {
    while (DstList->count() > 0)
        SrcList->addItem(DstList->takeItem(0));
    SetItem(DstList, 0);
}

QStringList TDualListSaveDlg::chosenColumns() const {
    QStringList out;
    for (int i = 0; i < DstList->count(); ++i)
        out << DstList->item(i)->text();
    return out;
}

void TDualListSaveDlg::OKBtnClick() {
    const QString path = quil::FileDialog::getSaveFileName(QString(), kCsvFilter, QStringLiteral("csv"));
    if (path.isEmpty() || !DataModule1)
        return;
    const int records = quil::exportCsv(*DataModule1->Table1, chosenColumns(), path);
    quil::exportDoneNotice(records).show();
}
