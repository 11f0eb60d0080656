// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Glyphs.h"

#include "platform/gui/LazyIcons.h"

#include <QPainter>
#include <QPalette>
#include <QPainterPath>
#include <QPixmap>

// The resources live in a static library; register them once before use.
static void initProgramIconResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(quillet);
        return true;
    }();
    (void)done;
}

namespace quil::glyph {

namespace {

constexpr int Size = 16;

// Outlines give each glyph its shape; they keep their hue but are lightened
// on a dark button face so the shape does not sink into it. Fills stay. One
// pixel wide, their edges blend into the face: they need more than text.
struct Ink {
    QColor face;
    QColor edge(const QColor &c) const { return readableOn(c, face, 7.0); }
};

void drawCancelPage(QPainter &p, const Ink &ink) {
    // An open door with an arrow leaving through it.
    p.setPen(QPen(ink.edge(QColor(0x6b, 0x42, 0x1e)), 1));
    p.setBrush(QColor(0xc8, 0x8a, 0x4a));
    p.drawRect(QRectF(1.5, 1.5, 7, 13));
    p.setBrush(QColor(0x40, 0x28, 0x10));
    p.drawEllipse(QPointF(7, 8.5), 0.8, 0.8);
    QPainterPath arrow;
    arrow.moveTo(6, 7);
    arrow.lineTo(11, 7);
    arrow.lineTo(11, 4);
    arrow.lineTo(15, 8.5);
    arrow.lineTo(11, 13);
    arrow.lineTo(11, 10);
    arrow.lineTo(6, 10);
    arrow.closeSubpath();
    p.setPen(QPen(ink.edge(QColor(0x1d, 0x6b, 0x1d)), 1));
    p.setBrush(QColor(0x3c, 0xb0, 0x3c));
    p.drawPath(arrow);
}

void drawDelete(QPainter &p, const Ink &ink) {
    p.setPen(QPen(ink.edge(QColor(0x8b, 0x10, 0x10)), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
    p.setPen(QPen(QColor(0xe8, 0x30, 0x30), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

void drawCancelHtml(QPainter &p, const Ink &ink) {
    // A page with a folded corner and angle brackets.
    QPainterPath page;
    page.moveTo(2.5, 0.5);
    page.lineTo(10.5, 0.5);
    page.lineTo(13.5, 3.5);
    page.lineTo(13.5, 15.5);
    page.lineTo(2.5, 15.5);
    page.closeSubpath();
    p.setPen(QPen(ink.edge(QColor(0x50, 0x50, 0x50)), 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPointF(10.5, 0.5), QPointF(10.5, 3.5));
    p.drawLine(QPointF(10.5, 3.5), QPointF(13.5, 3.5));
    p.setPen(QPen(QColor(0x1f, 0x5f, 0xbf), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(7, 6), QPointF(4.5, 9), QPointF(7, 12)}));
    p.drawPolyline(QPolygonF({QPointF(9, 6), QPointF(11.5, 9), QPointF(9, 12)}));
}

void drawFind(QPainter &p, const Ink &ink) {
    p.setPen(QPen(ink.edge(QColor(0x30, 0x30, 0x30)), 2));
    p.setBrush(QColor(0xbf, 0xe0, 0xff));
    p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
    p.setPen(QPen(ink.edge(QColor(0x60, 0x3a, 0x10)), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14, 14));
}

void drawNext(QPainter &p, const Ink &ink) {
    QPainterPath arrow;
    // On half pixels, so that the one-pixel outline is crisp, not a blur.
    arrow.moveTo(1.5, 5.5);
    arrow.lineTo(7.5, 5.5);
    arrow.lineTo(7.5, 1.5);
    arrow.lineTo(14.5, 8);
    arrow.lineTo(7.5, 14.5);
    arrow.lineTo(7.5, 10.5);
    arrow.lineTo(1.5, 10.5);
    arrow.closeSubpath();
    p.setPen(QPen(ink.edge(QColor(0x10, 0x40, 0x90)), 1));
    p.setBrush(QColor(0x40, 0x80, 0xe0));
    p.drawPath(arrow);
}

void draw(Kind kind, QPainter &p, const QPalette &palette) {
    const Ink ink{palette.color(QPalette::Button)};
    switch (kind) {
    case Kind::CancelPage: drawCancelPage(p, ink); break;
    case Kind::Delete: drawDelete(p, ink); break;
    case Kind::CancelHtml: drawCancelHtml(p, ink); break;
    case Kind::Find: drawFind(p, ink); break;
    case Kind::Next: drawNext(p, ink); break;
    }
}

} // namespace

QIcon buttonIcon(Kind kind) {
    return drawnIcon([kind](QPainter &p, const QPalette &palette) { draw(kind, p, palette); }, Size);
}

QIcon programIcon() {
    initProgramIconResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/quillet-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace quil::glyph
