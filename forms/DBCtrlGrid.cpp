#include "forms/DBCtrlGrid.h"

#include "forms/DataControls.h"
#include "platform/ErrorDisplay.h"

#include <QKeyEvent>
#include <limits>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFrame>
#include <QWheelEvent>

namespace quil {

DBCtrlGrid::DBCtrlGrid(QWidget *parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_panel = new QWidget(this);
    m_panel->setObjectName(QStringLiteral("Panel"));
    // The current record's row stands out from the pictures around it.
    m_panel->setAutoFillBackground(true);
    QPalette pal = m_panel->palette();
    const QColor window = pal.color(QPalette::Window), mark = pal.color(QPalette::Highlight);
    pal.setColor(QPalette::Window, QColor((window.red() * 4 + mark.red()) / 5, (window.green() * 4 + mark.green()) / 5,
                                          (window.blue() * 4 + mark.blue()) / 5));
    m_panel->setPalette(pal);
    m_panel->installEventFilter(this);
    m_scroll = new QScrollBar(Qt::Vertical, this);
    m_scroll->setObjectName(QStringLiteral("ScrollBar"));
    m_scroll->setFocusPolicy(Qt::NoFocus);
    connect(m_scroll, &QScrollBar::valueChanged, this, [this](int v) { scrolled(v); });
    arrange();
}

void DBCtrlGrid::setDataSource(DataSource *source) {
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &DataSource::recordChanged, this, &DBCtrlGrid::sync);
        connect(source, &DataSource::stateChanged, this, &DBCtrlGrid::sync);
        // A change typed into the panel shows in its picture once it moves on.
        connect(source, &DataSource::fieldChanged, this, [this] { update(); });
    }
    sync();
}

void DBCtrlGrid::setPanelWidth(int w) {
    m_panelWidth = qMax(1, w);
    arrange();
}

void DBCtrlGrid::setPanelHeight(int h) {
    m_panelHeight = qMax(1, h);
    arrange();
    sync();
}

void DBCtrlGrid::setRowCount(int rows) {
    rows = qBound(1, rows, 100);
    if (rows == m_rows)
        return;
    m_rows = rows;
    sync();
}

Table *DBCtrlGrid::table() const {
    Table *t = m_source ? m_source->dataSet() : nullptr;
    return t && t->active() ? t : nullptr;
}

int DBCtrlGrid::total() const {
    Table *t = table();
    if (!t)
        return 0;
    return t->recordCount() + (t->state() == DataSetState::Insert ? 1 : 0);
}

int DBCtrlGrid::activeRow() const {
    Table *t = table();
    if (!t)
        return -1;
    const int cur = t->currentPosition();
    if (cur < 0 || cur >= total())
        return -1;
    return cur - m_top;
}

int DBCtrlGrid::rowAt(const QPoint &pos) const {
    if (pos.x() < 0 || pos.x() >= m_panelWidth || pos.y() < 0)
        return -1;
    const int row = pos.y() / m_panelHeight;
    return row < m_rows ? row : -1;
}

void DBCtrlGrid::arrange() {
    const int bar = m_scroll->sizeHint().width();
    m_scroll->setGeometry(width() - bar, 0, bar, height());
}

// Keeps the current record's row on screen with as little scrolling as
// possible, and puts the panel on it.
void DBCtrlGrid::sync() {
    m_syncing = true;
    Table *t = table();
    const int n = total();
    const int cur = t ? t->currentPosition() : -1;
    if (cur < 0 || cur >= n) {
        m_top = 0;
        m_panel->hide();
    } else {
        if (cur < m_top)
            m_top = cur;
        else if (cur >= m_top + m_rows)
            m_top = cur - m_rows + 1;
        m_top = qBound(0, m_top, qMax(0, n - m_rows));
        if (cur < m_top)
            m_top = cur;
        // One pixel short, so that the row's bottom line shows under it too.
        m_panel->setGeometry(0, (cur - m_top) * m_panelHeight, m_panelWidth, m_panelHeight - 1);
        m_panel->show();
    }
    m_scroll->setRange(0, qMax(0, n - 1));
    m_scroll->setPageStep(m_rows);
    m_scroll->setValue(qMax(0, cur));
    m_scroll->setEnabled(n > 1);
    m_syncing = false;
    update();
}

void DBCtrlGrid::moveCursor(int distance) {
    Table *t = table();
    if (!t || distance == 0)
        return;
    t->moveBy(distance);
}

void DBCtrlGrid::scrolled(int value) {
    if (m_syncing)
        return;
    guard([&] {
        Table *t = table();
        if (t)
            moveCursor(value - qMax(0, t->currentPosition()));
    });
    // The cursor may not have gone where the bar points (an error, a new record).
    sync();
}

void DBCtrlGrid::selectRow(int row) {
    const int active = activeRow();
    if (row < 0 || active < 0 || row == active || m_top + row >= total())
        return;
    moveCursor(row - active);
}

void DBCtrlGrid::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    arrange();
}

void DBCtrlGrid::keyPressEvent(QKeyEvent *event) {
    int distance = 0;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up: distance = -1; break;
    case Qt::Key_Down: distance = 1; break;
    case Qt::Key_PageUp: distance = -m_rows; break;
    case Qt::Key_PageDown: distance = m_rows; break;
    case Qt::Key_Home:
        if (ctrl)
            distance = std::numeric_limits<int>::min() / 2;
        break;
    case Qt::Key_End:
        if (ctrl)
            distance = std::numeric_limits<int>::max() / 2;
        break;
    default: break;
    }
    if (distance == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    guard([&] { moveCursor(distance); });
}

void DBCtrlGrid::mousePressEvent(QMouseEvent *event) {
    const int row = rowAt(event->position().toPoint());
    if (row < 0 || row == activeRow()) {
        QWidget::mousePressEvent(event);
        return;
    }
    guard([&] { selectRow(row); });
    // The click lands on the control of the panel now under the pointer.
    const QPoint inPanel = m_panel->mapFrom(this, event->position().toPoint());
    if (m_panel->isVisible() && m_panel->rect().contains(inPanel)) {
        QWidget *child = m_panel->childAt(inPanel);
        if (child && (child->focusPolicy() & Qt::ClickFocus))
            child->setFocus(Qt::MouseFocusReason);
        else
            setFocus(Qt::MouseFocusReason);
    } else {
        setFocus(Qt::MouseFocusReason);
    }
    event->accept();
}

void DBCtrlGrid::wheelEvent(QWheelEvent *event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0)
        guard([&] { moveCursor(-steps); });
    event->accept();
}

bool DBCtrlGrid::eventFilter(QObject *watched, QEvent *event) {
    // Keys the panel's controls leave alone move the cursor.
    if (watched == m_panel && event->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent *>(event));
        return event->isAccepted();
    }
    return QWidget::eventFilter(watched, event);
}

void DBCtrlGrid::paintEvent(QPaintEvent *event) {
    QPainter p(this);
    const QRect area(0, 0, m_panelWidth, height());
    p.fillRect(event->rect(), palette().color(QPalette::Window));
    Table *t = table();
    if (!t)
        return;
    const int n = total();
    const int active = activeRow();
    for (int row = 0; row < m_rows; ++row) {
        const QRect rect(0, row * m_panelHeight, m_panelWidth, m_panelHeight);
        if (!rect.intersects(event->rect()) || row == active)
            continue;
        const int position = m_top + row;
        if (position >= n)
            break;
        // A new record being inserted takes its place among the stored ones.
        int stored = position;
        if (t->state() == DataSetState::Insert && position > t->currentPosition())
            stored = position - 1;
        guard([&] { paintRow(p, rect, stored); });
    }
    p.setPen(palette().color(QPalette::Mid));
    for (int row = 1; row <= m_rows; ++row)
        p.drawLine(area.left(), row * m_panelHeight - 1, area.right(), row * m_panelHeight - 1);
}

void DBCtrlGrid::paintRow(QPainter &p, const QRect &rect, int position) {
    Table *t = table();
    for (QObject *o : m_panel->children()) {
        auto *w = qobject_cast<QWidget *>(o);
        if (!w || w->isHidden())
            continue;
        const QRect r = w->geometry().translated(rect.topLeft());
        p.setFont(w->font());
        p.setPen(w->palette().color(QPalette::WindowText));
        if (auto *edit = qobject_cast<DBEdit *>(w)) {
            QStyleOptionFrame frame;
            frame.initFrom(edit);
            frame.rect = r;
            frame.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, edit);
            frame.midLineWidth = 0;
            frame.state |= QStyle::State_Sunken;
            frame.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
            edit->style()->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &p, edit);
            const Field *f = t->findField(edit->link().fieldName());
            const QString text = f ? t->displayTextAt(position, f->index()) : QString();
            const QRect inner = r.adjusted(frame.lineWidth + 2, 0, -frame.lineWidth - 2, 0);
            p.setPen(edit->palette().color(QPalette::Text));
            p.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter,
                       edit->fontMetrics().elidedText(text, Qt::ElideRight, inner.width()));
        } else if (auto *dbText = qobject_cast<DBText *>(w)) {
            const Field *f = t->findField(dbText->link().fieldName());
            const QString text = f ? t->displayTextAt(position, f->index()) : QString();
            p.drawText(r, int(dbText->alignment()), text);
        } else if (auto *label = qobject_cast<QLabel *>(w)) {
            p.drawText(r, int(label->alignment()), label->text());
        }
    }
}

} // namespace quil
