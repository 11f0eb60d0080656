// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/DataControls.h"

#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/gui/LazyIcons.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStyleOptionFrame>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTextBlock>

namespace quil {

namespace {

bool isEditingState(DataSetState s) { return s == DataSetState::Edit || s == DataSetState::Insert; }

bool isEnterKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// Text the reader types into an integer column: a classic bound edit lets
// through digits and signs only.
bool acceptsIntegerInput(const QString &typed) {
    for (QChar c : typed) {
        if (!c.isPrint())
            return true; // control keys pass
        if (!(c.isDigit() && c.unicode() < 128) && c != u'+' && c != u'-')
            return false;
    }
    return true;
}

// Shows a one-line box's value from its first character, so a value that
// does not fit loses its end, not its beginning. The substituted faces set
// Latin letters and digits wider than the faces the boxes were laid out
// for, so a value that would just fit there (a whole date, an address) is
// set a little condensed here, and only then.
void showFromStart(QLineEdit *edit) {
    static const int kStretches[] = {100, 94, 88};
    const QString text = edit->displayText();
    QStyleOptionFrame opt;
    opt.initFrom(edit);
    opt.rect = edit->rect();
    opt.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit) : 0;
    const QMargins margins = edit->textMargins();
    const int room = edit->style()->subElementRect(QStyle::SE_LineEditContents, &opt, edit).width() - margins.left()
                   - margins.right() - 2; // the cursor and the line edit's own inner margin
    QFont font = edit->font();
    int stretch = kStretches[0];
    for (int s : kStretches) {
        stretch = s;
        font.setStretch(s);
        if (QFontMetrics(font).horizontalAdvance(text) <= room)
            break;
    }
    if (edit->font().stretch() != stretch) {
        QFont f; // only the stretch is the box's own; the rest follows the window
        f.setStretch(stretch);
        edit->setFont(f);
    }
    edit->setCursorPosition(0);
}

QString memoShownText(QString stored) {
    stored.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    stored.replace(u'\r', u'\n');
    return stored;
}

QString memoStoredText(QString shown) {
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\n', QStringLiteral("\r\n"));
    return shown;
}

} // namespace

// ---------------------------------------------------------------------------
// FieldLink

FieldLink::FieldLink(FieldLinkClient &client, QObject *parent) : QObject(parent), m_client(client) {}

void FieldLink::setDataSource(DataSource *source) {
    if (m_source == source)
        return;
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &DataSource::recordChanged, this, &FieldLink::onRecordChanged);
        connect(source, &DataSource::fieldChanged, this, &FieldLink::onFieldChanged);
        connect(source, &DataSource::stateChanged, this, &FieldLink::onStateChanged);
        // Errors while writing must reach the post or move that asked, so
        // that it stops and the typed text stays.
        connect(source, &DataSource::updateRecordRequested, this, &FieldLink::updateRecord);
    }
    onRecordChanged();
}

void FieldLink::setFieldName(const QString &name) {
    m_fieldName = name;
    onRecordChanged();
}

Table *FieldLink::table() const { return m_source ? m_source->dataSet() : nullptr; }

bool FieldLink::active() const {
    Table *t = table();
    return t && t->active();
}

bool FieldLink::editing() const { return active() && isEditingState(table()->state()); }

Field *FieldLink::field() const {
    Table *t = table();
    if (!t || !t->active() || m_fieldName.isEmpty())
        return nullptr;
    return t->findField(m_fieldName);
}

QString FieldLink::text() const {
    try {
        Field *f = field();
        return f ? f->asString() : QString();
    } catch (...) {
        return QString();
    }
}

QString FieldLink::displayText() const {
    try {
        Field *f = field();
        return f ? f->displayText() : QString();
    } catch (...) {
        return QString();
    }
}

bool FieldLink::isIntegerField() const {
    Table *t = table();
    Field *f = t ? t->findField(m_fieldName) : nullptr;
    return f && (f->dataType() == FieldType::Integer || f->dataType() == FieldType::SmallInt);
}

bool FieldLink::edit() {
    Table *t = table();
    if (!t || !field())
        return false;
    if (t->state() == DataSetState::Browse) {
        ++m_inEdit;
        try {
            t->edit();
        } catch (...) {
            --m_inEdit;
            throw;
        }
        --m_inEdit;
    }
    return t->active() && isEditingState(t->state());
}

void FieldLink::setModified() {
    m_modified = true;
    if (Table *t = table())
        t->setModified(true);
}

void FieldLink::reset() {
    m_modified = false;
    m_client.dataChanged();
}

void FieldLink::updateRecord() {
    if (!m_modified)
        return;
    m_client.updateData();
    m_modified = false;
}

void FieldLink::onRecordChanged() {
    m_modified = false;
    m_client.dataChanged();
    m_client.activeChanged();
}

void FieldLink::onFieldChanged(int index) {
    Field *f = field();
    if (f && f->index() == index) {
        m_modified = false;
        m_client.dataChanged();
    }
}

void FieldLink::onStateChanged() {
    // Editing ended without the text being handed over (cancel): drop it,
    // so the control never shows what the record does not hold.
    if (m_modified && !editing())
        reset();
    m_client.activeChanged();
}

// ---------------------------------------------------------------------------
// DBEdit

DBEdit::DBEdit(QWidget *parent) : QLineEdit(parent), m_link(*this, this) {
    setReadOnly(true);
    connect(this, &QLineEdit::textEdited, this, [this] { userEdited(); });
}

void DBEdit::dataChanged() {
    // Dates show their display form except while the reader is in the field.
    QString v = hasFocus() ? m_link.text() : m_link.displayText();
    if (text() != v) {
        m_loading = true;
        setText(v);
        m_loading = false;
    }
    if (!hasFocus())
        showFromStart(this);
}

void DBEdit::updateData() {
    if (Field *f = m_link.field())
        f->setAsString(text());
}

void DBEdit::activeChanged() {
    setReadOnly(!m_link.field());
    // What the keyboard may not type into a number, an input method may not
    // commit and a paste may not bring either.
    const bool integer = m_link.isIntegerField();
    if (integer && !validator()) {
        setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9+-]*")), this));
        setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhNoPredictiveText);
    } else if (!integer && validator()) {
        setValidator(nullptr);
        setInputMethodHints(Qt::ImhNone);
    }
}

void DBEdit::userEdited() {
    if (m_loading || m_link.inEdit())
        return;
    const QString typed = text();
    const int pos = cursorPosition();
    bool ok = guard([&] {
        if (!m_link.edit()) {
            m_link.reset();
            return;
        }
        // Beginning a new record may have shown the blank record.
        if (text() != typed) {
            m_loading = true;
            setText(typed);
            setCursorPosition(pos);
            m_loading = false;
        }
        m_link.setModified();
    });
    if (!ok)
        m_link.reset();
}

void DBEdit::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape && m_link.modified()) {
        m_link.reset();
        selectAll();
        event->accept();
        return;
    }
    if (isEnterKey(event->key()))
        guard([this] { m_link.updateRecord(); });
    else if (!isReadOnly() && m_link.isIntegerField()
             && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
             && !acceptsIntegerInput(event->text())) {
        QApplication::beep();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void DBEdit::focusInEvent(QFocusEvent *event) {
    QLineEdit::focusInEvent(event);
    if (!m_link.modified())
        dataChanged();
}

void DBEdit::focusOutEvent(QFocusEvent *event) {
    QLineEdit::focusOutEvent(event);
    // A box or another window taking the focus is no leaving of the field:
    // the text goes to the record when the reader leaves it, or at the
    // record's next store, and an error box does not report its own cause
    // a second time.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    guard([this] { m_link.updateRecord(); });
    if (!m_link.modified())
        dataChanged();
}

// ---------------------------------------------------------------------------
// DBText

DBText::DBText(QWidget *parent) : QLabel(parent), m_link(*this, this) { setTextFormat(Qt::PlainText); }

void DBText::dataChanged() {
    const QString v = m_link.displayText();
    if (text() != v)
        setText(v);
}

// ---------------------------------------------------------------------------
// DBComboBox

DBComboBox::DBComboBox(QWidget *parent) : QComboBox(parent), m_link(*this, this) {
    setEditable(true);
    // The text stays exactly as typed: no insertion into the list on Enter
    // and no completion from the choices.
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    lineEdit()->setReadOnly(true);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { userEdited(); });
    connect(this, &QComboBox::activated, this, [this] { userEdited(); });
}

void DBComboBox::setItems(const QStringList &list) {
    const QString shown = currentText();
    m_loading = true;
    clear();
    addItems(list);
    setCurrentIndex(-1);
    setEditText(shown);
    m_loading = false;
}

QStringList DBComboBox::items() const {
    QStringList out;
    for (int i = 0; i < count(); ++i)
        out << itemText(i);
    return out;
}

void DBComboBox::dataChanged() {
    QString v = m_link.text();
    if (currentText() != v) {
        m_loading = true;
        setEditText(v);
        m_loading = false;
    }
    if (!hasFocus())
        showFromStart(lineEdit());
}

void DBComboBox::updateData() {
    if (Field *f = m_link.field())
        f->setAsString(currentText());
}

void DBComboBox::activeChanged() { lineEdit()->setReadOnly(m_readOnly || !m_link.field()); }

void DBComboBox::setReadOnly(bool on) {
    m_readOnly = on;
    activeChanged();
}

void DBComboBox::showPopup() {
    if (!m_readOnly)
        QComboBox::showPopup();
}

void DBComboBox::userEdited() {
    if (m_loading || m_link.inEdit())
        return;
    if (m_readOnly) {
        m_link.reset();
        return;
    }
    const QString typed = currentText();
    const int pos = lineEdit()->cursorPosition();
    bool ok = guard([&] {
        if (!m_link.edit()) {
            m_link.reset();
            return;
        }
        if (currentText() != typed) {
            m_loading = true;
            setEditText(typed);
            lineEdit()->setCursorPosition(pos);
            m_loading = false;
        }
        m_link.setModified();
    });
    if (!ok)
        m_link.reset();
}

void DBComboBox::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape && m_link.modified() && !view()->isVisible()) {
        m_link.reset();
        lineEdit()->selectAll();
        event->accept();
        return;
    }
    if (isEnterKey(event->key()) && !view()->isVisible())
        guard([this] { m_link.updateRecord(); });
    QComboBox::keyPressEvent(event);
}

void DBComboBox::focusOutEvent(QFocusEvent *event) {
    QComboBox::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason)
        guard([this] { m_link.updateRecord(); });
}

// ---------------------------------------------------------------------------
// DBMemo

namespace {
QString plainTextOf(const QPlainTextEdit &edit) {
    // toPlainText() would turn no-break spaces into blanks.
    QString s = edit.document()->toRawText();
    s.replace(QChar::ParagraphSeparator, u'\n');
    s.replace(QChar::LineSeparator, u'\n');
    return s;
}
} // namespace

DBMemo::DBMemo(QWidget *parent) : QPlainTextEdit(parent), m_link(*this, this) {
    setTabChangesFocus(true);
    setReadOnly(true);
    connect(this, &QPlainTextEdit::textChanged, this, [this] { userEdited(); });
}

void DBMemo::dataChanged() {
    QString v = memoShownText(m_link.text());
    if (plainTextOf(*this) != v) {
        m_loading = true;
        setPlainText(v);
        m_loading = false;
    }
}

void DBMemo::updateData() {
    if (Field *f = m_link.field())
        f->setAsString(memoStoredText(plainTextOf(*this)));
}

void DBMemo::activeChanged() { setReadOnly(!m_link.field()); }

void DBMemo::userEdited() {
    if (m_loading || m_link.inEdit())
        return;
    const QString typed = plainTextOf(*this);
    const int pos = textCursor().position();
    bool ok = guard([&] {
        if (!m_link.edit()) {
            m_link.reset();
            return;
        }
        if (plainTextOf(*this) != typed) {
            m_loading = true;
            setPlainText(typed);
            QTextCursor c = textCursor();
            c.setPosition(qMin(pos, int(typed.size())));
            setTextCursor(c);
            m_loading = false;
        }
        m_link.setModified();
    });
    if (!ok)
        m_link.reset();
}

void DBMemo::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape && m_link.modified()) {
        m_link.reset();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void DBMemo::focusOutEvent(QFocusEvent *event) {
    QPlainTextEdit::focusOutEvent(event);
    guard([this] { m_link.updateRecord(); });
}

// ---------------------------------------------------------------------------
// RadioGroup

RadioGroup::RadioGroup(const QString &caption, const QStringList &items, int columns, QWidget *parent)
    : QGroupBox(caption, parent), m_items(items), m_columns(qMax(1, columns)) {
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items[i], this);
        b->setObjectName(QStringLiteral("item%1").arg(i));
        connect(b, &QRadioButton::toggled, this, [this, i](bool on) {
            if (on && m_index != i) {
                m_index = i;
                emit changed();
            }
        });
        connect(b, &QRadioButton::clicked, this, [this, i] { emit itemClicked(i); });
        m_buttons << b;
    }
    arrange();
}

QRadioButton *RadioGroup::button(int index) const {
    return index >= 0 && index < m_buttons.size() ? m_buttons[index] : nullptr;
}

QString RadioGroup::itemText(int index) const {
    return index >= 0 && index < m_items.size() ? m_items[index] : QString();
}

void RadioGroup::setItemIndex(int index) {
    if (index < 0 || index >= m_buttons.size()) {
        if (QRadioButton *b = button(m_index)) {
            // An exclusive button cannot be unchecked directly.
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(true);
        }
        m_index = -1;
        return;
    }
    if (index != m_index)
        m_buttons[index]->setChecked(true);
}

void RadioGroup::setButtonArea(const QRect &area) {
    m_area = area;
    arrange();
}

void RadioGroup::resizeEvent(QResizeEvent *event) {
    QGroupBox::resizeEvent(event);
    arrange();
}

// Column by column, like a classic radio group: the first column is filled
// from the top before the next begins.
void RadioGroup::arrange() {
    if (m_buttons.isEmpty())
        return;
    QRect area = m_area.isValid() ? m_area : contentsRect().adjusted(6, 0, -2, -2);
    const int perColumn = (int(m_buttons.size()) + m_columns - 1) / m_columns;
    const int w = area.width() / m_columns;
    const int h = qMax(1, area.height() / perColumn);
    for (int i = 0; i < m_buttons.size(); ++i) {
        const int col = i / perColumn, row = i % perColumn;
        m_buttons[i]->setGeometry(area.x() + col * w, area.y() + row * h, w, h);
    }
}

// ---------------------------------------------------------------------------
// DBRadioGroup

DBRadioGroup::DBRadioGroup(const QString &caption, const QStringList &items, int columns, QWidget *parent)
    : RadioGroup(caption, items, columns, parent), m_link(*this, this) {
    connect(this, &RadioGroup::itemClicked, this, [this](int i) { userClicked(i); });
}

void DBRadioGroup::dataChanged() { setItemIndex(items().indexOf(m_link.text())); }

void DBRadioGroup::updateData() {}

void DBRadioGroup::userClicked(int index) {
    bool ok = guard([&] {
        if (m_link.text() == itemText(index))
            return;
        if (!m_link.edit()) {
            dataChanged();
            return;
        }
        m_link.field()->setAsString(itemText(index));
    });
    if (!ok)
        dataChanged();
}

// ---------------------------------------------------------------------------
// DBCheckBox

DBCheckBox::DBCheckBox(const QString &caption, QWidget *parent) : QCheckBox(caption, parent), m_link(*this, this) {
    connect(this, &QCheckBox::clicked, this, [this] { userClicked(); });
}

void DBCheckBox::dataChanged() {
    setChecked(m_link.text().compare(m_valueChecked, Qt::CaseInsensitive) == 0);
}

void DBCheckBox::updateData() {}

void DBCheckBox::userClicked() {
    const bool on = isChecked();
    bool ok = guard([&] {
        if (!m_link.edit()) {
            dataChanged();
            return;
        }
        m_link.field()->setAsString(on ? m_valueChecked : m_valueUnchecked);
    });
    if (!ok)
        dataChanged();
}

// ---------------------------------------------------------------------------
// DBLookupComboBox

DBLookupComboBox::DBLookupComboBox(QWidget *parent) : QComboBox(parent), m_link(*this, this) {
    setMaxVisibleItems(10);
    setEditable(false);
    connect(this, &QComboBox::activated, this, [this](int i) { userChose(i); });
}

void DBLookupComboBox::setListSource(DataSource *source) {
    if (m_listSource)
        disconnect(m_listSource, nullptr, this, nullptr);
    m_listSource = source;
    if (source) {
        auto dirty = [this] { m_listDirty = true; };
        connect(source, &DataSource::recordChanged, this, dirty);
        connect(source, &DataSource::stateChanged, this, dirty);
        connect(source, &DataSource::fieldChanged, this, dirty);
    }
    m_listDirty = true;
}

void DBLookupComboBox::setListField(const QString &name) {
    m_listField = name;
    m_listDirty = true;
}

// Read from the list table without moving its shared cursor.
QStringList DBLookupComboBox::readListTable() const {
    Table *lt = m_listSource ? m_listSource->dataSet() : nullptr;
    if (!lt || !lt->active() || m_listField.isEmpty())
        return {};
    try {
        return lt->columnTexts(m_listField);
    } catch (...) {
        return {}; // an unreadable list offers nothing
    }
}

void DBLookupComboBox::ensureList() {
    if (!m_listDirty)
        return;
    const QStringList values = readListTable();
    m_loading = true;
    clear();
    addItems(values);
    setCurrentIndex(findText(m_text));
    m_loading = false;
    m_listDirty = false;
}

void DBLookupComboBox::refreshList() {
    m_listDirty = true;
    ensureList();
}

QStringList DBLookupComboBox::listValues() {
    ensureList();
    QStringList out;
    for (int i = 0; i < count(); ++i)
        out << itemText(i);
    return out;
}

void DBLookupComboBox::showPopup() {
    ensureList();
    QComboBox::showPopup();
}

void DBLookupComboBox::keyPressEvent(QKeyEvent *event) {
    ensureList();
    QComboBox::keyPressEvent(event);
}

QString DBLookupComboBox::text() {
    ensureList();
    return findText(m_text) >= 0 ? m_text : QString();
}

void DBLookupComboBox::paintEvent(QPaintEvent *) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.currentText = text();
    opt.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);
    painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

void DBLookupComboBox::dataChanged() {
    m_text = m_link.text();
    if (!m_listDirty) {
        m_loading = true;
        setCurrentIndex(findText(m_text));
        m_loading = false;
    }
    update();
}

void DBLookupComboBox::updateData() {}

void DBLookupComboBox::userChose(int index) {
    if (m_loading || index < 0)
        return;
    const QString value = itemText(index);
    bool written = false;
    bool ok = guard([&] {
        if (!m_link.edit())
            return;
        m_link.field()->setAsString(value);
        written = true;
    });
    if (!ok || !written) {
        dataChanged();
        return;
    }
    emit clicked();
}

// ---------------------------------------------------------------------------
// DBNavigator

namespace {

const char *const kButtonNames[DBNavigator::ButtonCount] = {
    "nbFirst", "nbPrior", "nbNext", "nbLast", "nbInsert", "nbDelete", "nbEdit", "nbPost", "nbCancel", "nbRefresh",
};

QString buttonHint(DBNavigator::Button b) {
    switch (b) {
    case DBNavigator::First: return QStringLiteral("先頭レコード");
    case DBNavigator::Prior: return QStringLiteral("前のレコード");
    case DBNavigator::Next: return QStringLiteral("次のレコード");
    case DBNavigator::Last: return QStringLiteral("最終レコード");
    case DBNavigator::Insert: return QStringLiteral("レコードの挿入");
    case DBNavigator::Delete: return QStringLiteral("レコードの削除");
    case DBNavigator::Edit: return QStringLiteral("レコードの編集");
    case DBNavigator::Post: return QStringLiteral("編集結果の登録");
    case DBNavigator::Cancel: return QStringLiteral("編集の取り消し");
    case DBNavigator::Refresh: return QStringLiteral("データの再表示");
    default: return QString();
    }
}

// Small drawn glyphs; the disabled look comes from QIcon. The shapes take
// the button's text colour and the three marks keep their hue, lightened on
// a dark button, so that all stand out on light and dark desktops alike.
void drawButtonGlyph(DBNavigator::Button b, QPainter &p, const QPalette &palette) {
    const QColor face = palette.color(QPalette::Button);
    // The marks are thin strokes whose edges blend into the face: they need
    // more than text does.
    auto mark = [&face](const QColor &hue) { return readableOn(hue, face, 7.0); };
    const QColor ink = readableOn(palette.color(QPalette::ButtonText), face);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    auto tri = [&](bool left, int x) {
        QPolygonF poly;
        if (left)
            poly << QPointF(x + 6, 3) << QPointF(x + 6, 13) << QPointF(x, 8);
        else
            poly << QPointF(x, 3) << QPointF(x, 13) << QPointF(x + 6, 8);
        p.drawPolygon(poly);
    };
    switch (b) {
    case DBNavigator::First: p.drawRect(3, 3, 2, 10); tri(true, 6); break;
    case DBNavigator::Prior: tri(true, 5); break;
    case DBNavigator::Next: tri(false, 5); break;
    case DBNavigator::Last: tri(false, 4); p.drawRect(11, 3, 2, 10); break;
    case DBNavigator::Insert: p.drawRect(7, 3, 2, 10); p.drawRect(3, 7, 10, 2); break;
    case DBNavigator::Delete: p.drawRect(3, 7, 10, 2); break;
    case DBNavigator::Edit: {
        QPolygonF poly;
        poly << QPointF(3, 11) << QPointF(13, 11) << QPointF(8, 4);
        p.drawPolygon(poly);
        break;
    }
    case DBNavigator::Post: {
        QPen pen(mark(QColor(0, 110, 0)), 2.2);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF() << QPointF(3, 8) << QPointF(7, 12) << QPointF(13, 4));
        break;
    }
    case DBNavigator::Cancel: {
        QPen pen(mark(QColor(170, 0, 0)), 2.2);
        p.setPen(pen);
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    }
    case DBNavigator::Refresh: {
        const QColor blue = mark(QColor(0, 0, 150));
        QPen pen(blue, 1.8);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 60 * 16, 280 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(blue);
        p.drawPolygon(QPolygonF() << QPointF(10, 1) << QPointF(14, 4) << QPointF(9, 6));
        break;
    }
    default: break;
    }
}

QIcon buttonGlyph(DBNavigator::Button b) {
    return quil::drawnIcon([b](QPainter &p, const QPalette &palette) { drawButtonGlyph(b, p, palette); });
}

} // namespace

DBNavigator::Buttons DBNavigator::allButtons() {
    return {First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh};
}

DBNavigator::DBNavigator(QWidget *parent) : QWidget(parent) {
    for (int i = 0; i < ButtonCount; ++i) {
        auto b = Button(i);
        auto *btn = new QToolButton(this);
        btn->setObjectName(QString::fromLatin1(kButtonNames[i]));
        btn->setToolTip(buttonHint(b));
        btn->setIcon(buttonGlyph(b));
        // Like a classic navigator the buttons take no focus, so the field
        // being typed in keeps it.
        btn->setFocusPolicy(Qt::NoFocus);
        btn->setAutoRaise(false);
        connect(btn, &QToolButton::clicked, this, [this, b] { btnClick(b); });
        m_buttons[i] = btn;
        m_visible[i] = true;
    }
    updateButtons();
}

void DBNavigator::setDataSource(DataSource *source) {
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &DataSource::recordChanged, this, &DBNavigator::updateButtons);
        connect(source, &DataSource::stateChanged, this, &DBNavigator::updateButtons);
    }
    updateButtons();
}

void DBNavigator::setVisibleButtons(const Buttons &buttons) {
    for (int i = 0; i < ButtonCount; ++i) {
        m_visible[i] = buttons.contains(Button(i));
        m_buttons[i]->setVisible(m_visible[i]);
    }
    arrange();
}

void DBNavigator::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    arrange();
}

void DBNavigator::arrange() {
    int n = 0;
    for (int i = 0; i < ButtonCount; ++i)
        n += m_visible[i] ? 1 : 0;
    if (n == 0)
        return;
    const int w = width() / n;
    int x = (width() - w * n) / 2;
    for (int i = 0; i < ButtonCount; ++i) {
        if (!m_visible[i])
            continue;
        m_buttons[i]->setGeometry(x, 0, w, height());
        x += w;
    }
}

void DBNavigator::updateButtons() {
    Table *t = m_source ? m_source->dataSet() : nullptr;
    const bool active = t && t->active();
    const bool up = active && !t->bof();
    const bool down = active && !t->eof();
    const bool editing = active && isEditingState(t->state());
    m_buttons[First]->setEnabled(up);
    m_buttons[Prior]->setEnabled(up);
    m_buttons[Next]->setEnabled(down);
    m_buttons[Last]->setEnabled(down);
    m_buttons[Delete]->setEnabled(active && !(t->bof() && t->eof()));
    m_buttons[Insert]->setEnabled(active);
    m_buttons[Edit]->setEnabled(active && !editing);
    m_buttons[Post]->setEnabled(editing);
    m_buttons[Cancel]->setEnabled(editing);
    m_buttons[Refresh]->setEnabled(active);
}

void DBNavigator::doAction(Button b) {
    Table *t = m_source ? m_source->dataSet() : nullptr;
    if (!t)
        return;
    switch (b) {
    case First: t->first(); break;
    case Prior: t->prior(); break;
    case Next: t->next(); break;
    case Last: t->last(); break;
    case Insert: t->insert(); break;
    case Edit: t->edit(); break;
    case Post: t->post(); break;
    case Cancel: t->cancel(); break;
    case Delete:
        if (m_confirmDelete
            && MessageBox::show(QStringLiteral("レコードを削除しますか?"), QStringLiteral("確認"), MsgButtons::OkCancel,
                                MsgIcon::Question)
                   != MsgAnswer::Ok)
            return;
        t->remove();
        break;
    case Refresh: {
        // Store or drop the edit first, then read the current row again.
        if (isEditingState(t->state())) {
            if (t->modified())
                t->post();
            else
                t->cancel();
        }
        Bookmark mark = t->bookmark();
        if (mark != 0 && t->bookmarkValid(mark))
            t->gotoBookmark(mark);
        break;
    }
    default: break;
    }
}

void DBNavigator::btnClick(Button b) {
    guard([&] { doAction(b); });
    updateButtons();
    emit clicked(b);
}

} // namespace quil
