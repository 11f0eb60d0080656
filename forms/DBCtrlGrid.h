// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "store/Table.h"

#include <QHash>
#include <QPixmap>
#include <QPointer>
#include <QRawFont>
#include <QWidget>

class QScrollBar;

namespace quil {

// A grid of record panels bound to a data source, like a classic control
// grid: one column of rows, each showing one record. The row of the current
// record holds the real panel with its controls (bound to the same data
// source, so they show and edit the current record); the other rows are
// painted pictures of those controls with their own record's values, read
// without moving the cursor. A click on a row, the arrow and page keys, the
// wheel and the scroll bar move the shared cursor; a move made elsewhere
// moves the panel. Only the rows on screen are ever read. The grid neither
// inserts nor deletes records.
class DBCtrlGrid : public QWidget {
    Q_OBJECT
public:
    explicit DBCtrlGrid(QWidget *parent = nullptr);

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_source; }

    // Where the controls of a row go; it is moved to the current record's row.
    QWidget *panel() const { return m_panel; }
    int panelWidth() const { return m_panelWidth; }
    int panelHeight() const { return m_panelHeight; }
    void setPanelWidth(int w);
    void setPanelHeight(int h);
    int rowCount() const { return m_rows; }
    // 1 to 100.
    void setRowCount(int rows);

    // Visible row of the current record, -1 when there is none.
    int activeRow() const;
    // Stored position shown in the first row.
    int topPosition() const { return m_top; }
    QScrollBar *scrollBar() const { return m_scroll; }
    // The row under a point of the grid, -1 below the last row.
    int rowAt(const QPoint &pos) const;
    // Moves the cursor to the record shown in that row (no effect past the end).
    void selectRow(int row);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Table *table() const;
    int total() const; // rows the table offers, a new record included
    void sync();
    void arrange();
    void scrolled(int value);
    void moveCursor(int distance);
    // The painted picture of the panel for the record at a position.
    void paintRow(QPainter &p, const QRect &rect, int position);
    QPixmap editFrame(QWidget *edit);
    void drawPlainText(QPainter &p, const QRect &r, const QWidget *control, Qt::Alignment align, const QString &text);

    QPointer<DataSource> m_source;
    QWidget *m_panel;
    QScrollBar *m_scroll;
    int m_panelWidth = 200;
    int m_panelHeight = 72;
    int m_rows = 3;
    int m_top = 0;
    bool m_syncing = false;
    QHash<QString, QPixmap> m_frames;
    QHash<const QWidget *, std::pair<QFont, QRawFont>> m_rawFonts; // by control of the panel
};

} // namespace quil
