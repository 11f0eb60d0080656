// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/TQUILForm.h"

#include "cancel/core/Services.h"
#include "forms/DataControls.h"
#include "platform/ErrorDisplay.h"
#include "platform/Opener.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "text/TextList.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFrame>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <utility>

TQUILForm *QUILForm = nullptr;

namespace {
const QString kAddressFile = QStringLiteral("MADDRESS.ini");

QLabel *makeLabel(const QString &name, const QString &text, QWidget *parent, int x, int y) {
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setGeometry(x, y, 200, 14);
    return l;
}

template <typename W> W *named(W *w, const char *name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}
} // namespace

TQUILForm::TQUILForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    QUILForm = this;
    setObjectName("QUILForm");
    setWindowTitle(QStringLiteral("データベースフォーム"));
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(12);
    setFont(f);
    setFixedSize(381, 453);

    buildControls();
    arrangeTabOrder();
    bindControls();
    quil::guard([this] { FormCreate(); });
}

TQUILForm::~TQUILForm() {
    if (DataModule1)
        DataModule1->syncPublishingRadio = nullptr;
    if (QUILForm == this)
        QUILForm = nullptr;
}

void TQUILForm::buildControls() {
    using namespace quil;

    Panel1 = named(new QFrame(this), "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setGeometry(0, 0, 381, 33);
    DBNavigator = named(new quil::DBNavigator(Panel1), "DBNavigator");
    DBNavigator->setGeometry(4, 4, 240, 25);
    BitBtn1 = named(new QPushButton(QStringLiteral("新規レコード"), Panel1), "BitBtn1");
    BitBtn1->setGeometry(272, 4, 105, 25);

    Panel2 = named(new QFrame(this), "Panel2");
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setGeometry(0, 33, 381, 420);
    QWidget *p = Panel2;

    RadioGroupPublishing = named(
        new RadioGroup(QStringLiteral("発行システム"), quil::radioServiceNames() << QStringLiteral("その他"), 3, p),
        "RadioGroupPublishing");
    RadioGroupPublishing->setGeometry(8, 4, 365, 62);
    // The buttons fill two of three columns; the lookup list takes the third.
    RadioGroupPublishing->setButtonArea(QRect(8, 16, 270, 42));
    DBLookupPublishing = named(new DBLookupComboBox(RadioGroupPublishing), "DBLookupPublishing");
    DBLookupPublishing->setGeometry(190, 36, 167, 21);
    DBLookupPublishing->view()->setMinimumWidth(200); // system names run to 30 bytes

    Label1 = makeLabel("Label1", QStringLiteral("メールマガジン名"), p, 8, 72);
    EditMBName = named(new DBEdit(p), "EditMBName");
    EditMBName->setGeometry(8, 86, 254, 20);
    Label2 = makeLabel("Label2", QStringLiteral("マガジンＩＤ"), p, 8, 110);
    EditMBID = named(new DBEdit(p), "EditMBID");
    EditMBID->setGeometry(8, 124, 120, 20);
    Label3 = makeLabel("Label3", QStringLiteral("データタイプ"), p, 136, 110);
    EditMBType = named(new DBEdit(p), "EditMBType");
    EditMBType->setGeometry(136, 124, 126, 20);
    Label4 = makeLabel("Label4", QStringLiteral("発行周期"), p, 8, 148);
    EditMBCycle = named(new DBEdit(p), "EditMBCycle");
    EditMBCycle->setGeometry(8, 162, 254, 20);

    DBRadioGroup1 = named(new DBRadioGroup(QStringLiteral("状　態"),
                                           {QStringLiteral("未購読"), QStringLiteral("購読中"),
                                            QStringLiteral("解除候補"), QStringLiteral("解除")},
                                           1, p),
                          "DBRadioGroup1");
    DBRadioGroup1->setGeometry(270, 70, 103, 112);

    Label5 = makeLabel("Label5", QStringLiteral("関連Ｗｅｂページ"), p, 8, 186);
    EditWeb = named(new DBEdit(p), "EditWeb");
    EditWeb->setGeometry(8, 200, 296, 20);
    BitJapmBtn = named(new QPushButton(QStringLiteral("ジャンプ"), p), "BitJapmBtn");
    BitJapmBtn->setGeometry(310, 199, 63, 22);

    Label6 = makeLabel("Label6", QStringLiteral("発行者メールアドレス"), p, 8, 224);
    EditPublisher = named(new DBEdit(p), "EditPublisher");
    EditPublisher->setGeometry(8, 238, 296, 20);
    BitMailBtn = named(new QPushButton(QStringLiteral("メール"), p), "BitMailBtn");
    BitMailBtn->setGeometry(310, 237, 63, 22);

    Label7 = makeLabel("Label7", QStringLiteral("登録アドレス"), p, 8, 262);
    DBComboBoxRegAddress = named(new DBComboBox(p), "DBComboBoxRegAddress");
    DBComboBoxRegAddress->setGeometry(8, 276, 206, 21);
    BitClipCopyBtn = named(new QPushButton(QStringLiteral("クリップボードへのコピー"), p), "BitClipCopyBtn");
    BitClipCopyBtn->setGeometry(220, 275, 153, 22);

    Label8 = makeLabel("Label8", QStringLiteral("登録日時"), p, 8, 300);
    EditRegTime = named(new DBEdit(p), "EditRegTime");
    EditRegTime->setGeometry(8, 314, 130, 20);
    Label9 = makeLabel("Label9", QStringLiteral("ＩＰアドレス"), p, 144, 300);
    EditIPAddress = named(new DBEdit(p), "EditIPAddress");
    EditIPAddress->setGeometry(144, 314, 100, 20);
    DBRadioGroupChargeOrFree = named(new DBRadioGroup(QStringLiteral("有料／無料の区別"),
                                                      {QStringLiteral("無料"), QStringLiteral("有料")}, 2, p),
                                     "DBRadioGroupChargeOrFree");
    DBRadioGroupChargeOrFree->setGeometry(250, 298, 123, 40);

    Label10 = makeLabel("Label10", QStringLiteral("説明"), p, 8, 340);
    DBMemoExplanation = named(new DBMemo(p), "DBMemoExplanation");
    DBMemoExplanation->setGeometry(8, 354, 365, 58);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { quil::guard([this] { BitBtn1Click(); }); });
    connect(BitJapmBtn, &QPushButton::clicked, this, [this] { quil::guard([this] { BitJapmBtnClick(); }); });
    connect(BitMailBtn, &QPushButton::clicked, this, [this] { quil::guard([this] { BitMailBtnClick(); }); });
    connect(BitClipCopyBtn, &QPushButton::clicked, this,
            [this] { quil::guard([this] { BitClipCopyBtnClick(); }); });
    connect(RadioGroupPublishing, &quil::RadioGroup::changed, this,
            [this] { quil::guard([this] { RadioGroupPublishingClick(); }); });
    connect(DBLookupPublishing, &quil::DBLookupComboBox::clicked, this,
            [this] { quil::guard([this] { DBLookupPublishingClick(); }); });
    EditMBName->installEventFilter(this);
}

void TQUILForm::arrangeTabOrder() {
    QList<QWidget *> chain{EditMBName, EditMBID, EditMBType, EditMBCycle, EditWeb, EditPublisher,
                           DBComboBoxRegAddress, EditRegTime, EditIPAddress};
    for (int i = 0; i < DBRadioGroupChargeOrFree->count(); ++i)
        chain << DBRadioGroupChargeOrFree->button(i);
    chain << DBMemoExplanation;
    for (int i = 0; i < RadioGroupPublishing->count(); ++i)
        chain << RadioGroupPublishing->button(i);
    chain << DBLookupPublishing << BitClipCopyBtn << BitJapmBtn << BitMailBtn;
    for (int i = 0; i < DBRadioGroup1->count(); ++i)
        chain << DBRadioGroup1->button(i);
    chain << BitBtn1;
    for (int i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void TQUILForm::bindControls() {
    if (!DataModule1)
        return;
    quil::DataSource *ds = DataModule1->DataSource1;
    DBNavigator->setDataSource(ds);
    const std::pair<quil::DBEdit *, QString> edits[] = {
        {EditMBName, quil::col::MBName},       {EditMBID, quil::col::MBID},
        {EditMBType, quil::col::MBType},       {EditMBCycle, quil::col::MBCycle},
        {EditWeb, quil::col::Web},             {EditPublisher, quil::col::Publisher},
        {EditRegTime, quil::col::RegTime},     {EditIPAddress, quil::col::IPAddress},
    };
    for (const auto &[edit, column] : edits) {
        edit->setDataField(column);
        edit->setDataSource(ds);
    }
    DBComboBoxRegAddress->setDataField(quil::col::RegAddress);
    DBComboBoxRegAddress->setDataSource(ds);
    DBRadioGroupChargeOrFree->setDataField(quil::col::ChargeOrFree);
    DBRadioGroupChargeOrFree->setDataSource(ds);
    DBMemoExplanation->setDataField(quil::col::Explanation);
    DBMemoExplanation->setDataSource(ds);
    DBRadioGroup1->setDataField(quil::col::DeleteState);
    DBRadioGroup1->setDataSource(ds);
    DBLookupPublishing->setDataField(quil::col::Publishing);
    DBLookupPublishing->setDataSource(ds);
    if (MMagSysDataModule) {
        DBLookupPublishing->setListField(quil::col::MMSysName);
        DBLookupPublishing->setListSource(MMagSysDataModule->DataSource2);
    }

    // After every move the radio group follows the looked-up value; a
    // different item acts as the reader's click, the same item does nothing.
    DataModule1->syncPublishingRadio = [this](const QString &value) {
        const int i = publishingRadioIndex(value);
        if (i >= 0)
            RadioGroupPublishing->setItemIndex(i);
    };
}

QString TQUILForm::publishingText() const { return DataModule1 ? DataModule1->lookedUpPublishing() : QString(); }
QString TQUILForm::webText() const { return EditWeb->text(); }
QString TQUILForm::magazineIdText() const { return EditMBID->text(); }

void TQUILForm::setAddressChoices(const QStringList &choices) { DBComboBoxRegAddress->setItems(choices); }

int TQUILForm::publishingRadioIndex(const QString &value) { return quil::radioItemFor(value); }

void TQUILForm::FormCreate() {
    if (DataModule1 && MMagSysDataModule) {
        quil::Table *t1 = DataModule1->Table1;
        quil::Table *t2 = MMagSysDataModule->Table2;
        if (!t1->active())
            t1->open();
        if (!t2->active())
            t2->open();
        t1->edit();
        t2->edit();
        // The tables may have been opened before this form existed (the
        // version upgrade does): the radio group starts in step all the same.
        DataModule1->syncPublishing();
    }
    setAddressChoices(quil::textlist::readFileIfExists(kAddressFile));
}

void TQUILForm::BitBtn1Click() {
    if (DataModule1)
        DataModule1->Table1->append();
}

void TQUILForm::BitJapmBtnClick() { quil::Opener::openAddress(EditWeb->text()); }

void TQUILForm::BitMailBtnClick() { quil::Opener::openAddress(QStringLiteral("mailto:") + EditPublisher->text()); }

void TQUILForm::BitClipCopyBtnClick() { quil::Clipboard::setText(DBComboBoxRegAddress->currentText()); }

void TQUILForm::RadioGroupPublishingClick() {
    if (!DataModule1)
        return;
    DataModule1->Table1->edit();
    const int i = RadioGroupPublishing->itemIndex();
    if (i < 0 || i > 2)
        return; // "その他": the reader picks the system in the lookup list
    DataModule1->Table1PublishingSF->setAsString(RadioGroupPublishing->itemText(i));
}

void TQUILForm::DBLookupPublishingClick() {
    const int i = publishingRadioIndex(publishingText());
    if (i >= 0)
        RadioGroupPublishing->setItemIndex(i);
}

void TQUILForm::EditKeyUp(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    for (QWidget *w = EditMBName->nextInFocusChain(); w && w != EditMBName; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->window() == this && w->isVisibleTo(this)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

bool TQUILForm::eventFilter(QObject *watched, QEvent *event) {
    if (watched == EditMBName) {
        switch (event->type()) {
        case QEvent::InputMethod:
            // A conversion is open while the input method shows text of its own.
            m_composing = !static_cast<QInputMethodEvent *>(event)->preeditString().isEmpty();
            break;
        case QEvent::FocusOut:
            m_composing = false;
            m_enterPressed = false;
            break;
        case QEvent::KeyPress: {
            const auto *k = static_cast<QKeyEvent *>(event);
            if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)
                m_enterPressed = !m_composing && !k->isAutoRepeat();
            break;
        }
        case QEvent::KeyRelease: {
            const auto *k = static_cast<QKeyEvent *>(event);
            const int key = k->key();
            const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
            if (enter && k->isAutoRepeat())
                break;
            if (!enter || std::exchange(m_enterPressed, false))
                quil::guard([this, key] { EditKeyUp(key); });
            break;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
