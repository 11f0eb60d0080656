// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TDBGridForm.h"

#include "forms/DBCtrlGrid.h"
#include "forms/DataControls.h"
#include "forms/TQUILForm.h"
#include "platform/ErrorDisplay.h"
#include "store/Columns.h"
#include "store/DataModules.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QScrollBar>

TDBGridForm *DBGridForm = nullptr;

namespace {

constexpr int kHeaderHeight = 25;
constexpr int kRowHeight = 35;

QFont uiFont(int pixels) {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(pixels);
    return font;
}

template <typename W> W *named(W *w, const char *name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel *headerLabel(QWidget *parent, const char *name, const QString &text, int left) {
    auto *l = named(new QLabel(text, parent), name);
    l->setGeometry(left, 0, 120, kHeaderHeight);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return l;
}

} // namespace

TDBGridForm::TDBGridForm(QWidget *parent) : QWidget(parent, Qt::Window) {
    DBGridForm = this;
    setObjectName(QStringLiteral("DBGridForm"));
    setWindowTitle(QStringLiteral("一覧表表示フォーム"));
    setFont(uiFont(12));

    // The header strip and the grid cover the whole window and paint their
    // own background; a fill of the window under them would only be painted
    // over at every page.
    setAttribute(Qt::WA_NoSystemBackground);
    Panel1 = named(new QFrame(this), "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setAutoFillBackground(true);
    Label1 = headerLabel(Panel1, "Label1", QStringLiteral("発行システム"), 24);
    Label2 = headerLabel(Panel1, "Label2", QStringLiteral("メールマガジン名"), 136);
    Label3 = headerLabel(Panel1, "Label3", QStringLiteral("マガジンＩＤ"), 376);
    Label4 = headerLabel(Panel1, "Label4", QStringLiteral("登録アドレス"), 456);
    Label5 = headerLabel(Panel1, "Label5", QStringLiteral("状　態"), 600);

    DBCtrlGrid1 = named(new quil::DBCtrlGrid(this), "DBCtrlGrid1");
    DBCtrlGrid1->setPanelWidth(679);
    DBCtrlGrid1->setPanelHeight(kRowHeight);
    QWidget *row = DBCtrlGrid1->panel();

    // Left, width and vertical centre of each control in its 35-pixel row.
    Label6 = named(new QLabel(QStringLiteral("○"), row), "Label6");
    Label6->setFont(uiFont(20));
    Label6->setGeometry(8, 5, 20, 25);
    Label6->setAlignment(Qt::AlignCenter);
    Label6->installEventFilter(this);
    DBTextPublishing = named(new quil::DBText(row), "DBTextPublishing");
    DBTextPublishing->setGeometry(40, 9, 65, 17);
    DBTextPublishing->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    DBEditMBName = named(new quil::DBEdit(row), "DBEditMBName");
    DBEditMBName->setGeometry(152, 7, 225, 21);
    DBEditMBID = named(new quil::DBEdit(row), "DBEditMBID");
    DBEditMBID->setGeometry(392, 7, 57, 21);
    DBEditRegAddress = named(new quil::DBEdit(row), "DBEditRegAddress");
    DBEditRegAddress->setGeometry(464, 7, 129, 21);
    DBTextDeleteState = named(new quil::DBText(row), "DBTextDeleteState");
    DBTextDeleteState->setGeometry(616, 9, 49, 17);
    DBTextDeleteState->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QWidget::setTabOrder(DBEditMBName, DBEditMBID);
    QWidget::setTabOrder(DBEditMBID, DBEditRegAddress);

    if (DataModule1) {
        quil::DataSource *ds = DataModule1->DataSource1;
        const std::pair<quil::DBText *, QString> texts[] = {{DBTextPublishing, quil::col::Publishing},
                                                              {DBTextDeleteState, quil::col::DeleteState}};
        for (const auto &[text, column] : texts) {
            text->setDataField(column);
            text->setDataSource(ds);
        }
        const std::pair<quil::DBEdit *, QString> edits[] = {{DBEditMBName, quil::col::MBName},
                                                              {DBEditMBID, quil::col::MBID},
                                                              {DBEditRegAddress, quil::col::RegAddress}};
        for (const auto &[edit, column] : edits) {
            edit->setDataField(column);
            edit->setDataSource(ds);
        }
        DBCtrlGrid1->setDataSource(ds);
    }

    // 703 × 402 outside: the 25-pixel header strip over ten 35-pixel rows of
    // 679-pixel panels beside the scroll bar.
    resize(679 + DBCtrlGrid1->scrollBar()->sizeHint().width(), kHeaderHeight + 10 * kRowHeight);
}

TDBGridForm::~TDBGridForm() {
    if (DBGridForm == this)
        DBGridForm = nullptr;
}

void TDBGridForm::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    Panel1->setGeometry(0, 0, width(), kHeaderHeight);
    DBCtrlGrid1->setGeometry(0, kHeaderHeight, width(), qMax(0, height() - kHeaderHeight));
    quil::guard([this] { FormResize(); });
}

void TDBGridForm::FormResize() {
    DBCtrlGrid1->setPanelHeight(kRowHeight);
    DBCtrlGrid1->setRowCount(qBound(1, DBCtrlGrid1->height() / kRowHeight, 100));
}

void TDBGridForm::Label6DblClick() {
    if (QUILForm && !QUILForm->isVisible())
        QUILForm->show();
}

bool TDBGridForm::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Label6 && event->type() == QEvent::MouseButtonDblClick)
        quil::guard([this] { Label6DblClick(); });
    return QWidget::eventFilter(watched, event);
}
