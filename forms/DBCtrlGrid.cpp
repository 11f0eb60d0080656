// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/DBCtrlGrid.h"

#include "forms/DataControls.h"
#include "platform/ErrorDisplay.h"

#include <QKeyEvent>
#include <limits>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QPixmap>
#include <QRawFont>
#include <QScrollBar>
#include <QStyleOptionFrame>
#include <QWheelEvent>

namespace quil {

DBCtrlGrid::DBCtrlGrid(QWidget *parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
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

void DBCtrlGrid::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::PaletteChange)
        m_frames.clear();
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ChildRemoved)
        m_rawFonts.clear();
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
    // Row by row: one fill of the whole height is split across threads by
    // the raster engine, which costs more than it saves at this size.
    const QRect dirty = event->rect();
    for (int y = dirty.top(); y <= dirty.bottom(); y += m_panelHeight)
        p.fillRect(QRect(dirty.left(), y, dirty.width(), qMin(m_panelHeight, dirty.bottom() + 1 - y)),
                   palette().color(QPalette::Window));
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
        // A painting that fails shows nothing for that row: a message box
        // from inside a paint would only ask for the next paint.
        try {
            paintRow(p, rect, stored);
        } catch (...) {
        }
    }
    const QColor line = palette().color(QPalette::Mid);
    for (int row = 1; row <= m_rows; ++row)
        p.fillRect(QRect(area.left(), row * m_panelHeight - 1, area.width(), 1), line);
}

// The empty frame of an edit box as the style draws it; drawn once per size,
// since a rounded, smoothed frame costs more than everything else in a row.
QPixmap DBCtrlGrid::editFrame(QWidget *edit) {
    const QString key = QStringLiteral("%1x%2").arg(edit->width()).arg(edit->height());
    auto it = m_frames.constFind(key);
    if (it != m_frames.constEnd())
        return it.value();
    const qreal dpr = devicePixelRatioF();
    QPixmap pm(edit->size() * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter fp(&pm);
    QStyleOptionFrame frame;
    frame.initFrom(edit);
    frame.rect = QRect(QPoint(0, 0), edit->size());
    frame.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, edit);
    frame.midLineWidth = 0;
    frame.state |= QStyle::State_Sunken;
    frame.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
    edit->style()->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &fp, edit);
    fp.end();
    m_frames.insert(key, pm);
    return pm;
}

// Plain text on one line, cut at the rectangle's edge. The glyphs come
// straight from the font without shaping: paging shows every row's texts
// anew, and shaping each one costs more than the rest of the picture. Text
// with a character the font lacks takes the ordinary path, with fallback fonts.
void DBCtrlGrid::drawPlainText(QPainter &p, const QRect &r, const QWidget *control, Qt::Alignment align,
                               const QString &text) {
    if (text.isEmpty())
        return;
    const QFont &font = control->font();
    auto it = m_rawFonts.find(control);
    if (it == m_rawFonts.end() || it->first != font)
        it = m_rawFonts.insert(control, {font, QRawFont::fromFont(font, QFontDatabase::Japanese)});
    const QRawFont &raw = it->second;
    const QList<quint32> glyphs = raw.isValid() ? raw.glyphIndexesForString(text) : QList<quint32>();
    if (glyphs.isEmpty() || glyphs.contains(0u)) {
        p.setFont(font);
        p.drawText(r, int(align), text);
        return;
    }
    const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs);
    qreal width = 0;
    for (const QPointF &a : advances)
        width += a.x();
    qreal x = r.left();
    if (align & Qt::AlignHCenter)
        x += (r.width() - width) / 2;
    else if (align & Qt::AlignRight)
        x += r.width() - width;
    const qreal baseline = r.top() + (r.height() - (raw.ascent() + raw.descent())) / 2 + raw.ascent();
    QList<QPointF> positions;
    QList<quint32> shown;
    positions.reserve(glyphs.size());
    shown.reserve(glyphs.size());
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        if (x + advances[i].x() > r.right() + 1 && !(align & Qt::AlignHCenter))
            break;
        shown << glyphs[i];
        positions << QPointF(x, baseline);
        x += advances[i].x();
    }
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes(shown);
    run.setPositions(positions);
    p.drawGlyphRun(QPointF(0, 0), run);
}

void DBCtrlGrid::paintRow(QPainter &p, const QRect &rect, int position) {
    Table *t = table();
    for (QObject *o : m_panel->children()) {
        auto *w = qobject_cast<QWidget *>(o);
        if (!w || w->isHidden())
            continue;
        const QRect r = w->geometry().translated(rect.topLeft());
        if (auto *edit = qobject_cast<DBEdit *>(w)) {
            const int lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
            p.drawPixmap(r.topLeft(), editFrame(edit));
            const Field *f = t->findField(edit->link().fieldName());
            const QString text = f ? t->displayTextAt(position, f->index()) : QString();
            p.setPen(edit->palette().color(QPalette::Text));
            drawPlainText(p, r.adjusted(lineWidth + 2, 0, -lineWidth - 2, 0), edit,
                          Qt::AlignLeft | Qt::AlignVCenter, text);
        } else if (auto *dbText = qobject_cast<DBText *>(w)) {
            const Field *f = t->findField(dbText->link().fieldName());
            const QString text = f ? t->displayTextAt(position, f->index()) : QString();
            p.setPen(dbText->palette().color(QPalette::WindowText));
            drawPlainText(p, r, dbText, dbText->alignment(), text);
        } else if (auto *label = qobject_cast<QLabel *>(w)) {
            p.setPen(label->palette().color(QPalette::WindowText));
            drawPlainText(p, r, label, label->alignment(), label->text());
        }
    }
}

} // namespace quil
