// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gui/LazyIcons.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>

#include <algorithm>
#include <cmath>

namespace quil {

namespace {

QPixmap modeLook(const QPixmap &pm, QIcon::Mode mode) {
    if (mode != QIcon::Disabled || pm.isNull())
        return pm;
    QStyleOption opt;
    opt.palette = QApplication::palette();
    return QApplication::style()->generatedIconPixmap(QIcon::Disabled, pm, &opt);
}

using PaletteDraw = std::function<void(QPainter &, const QPalette &)>;

class DrawnIconEngine : public QIconEngine {
public:
    DrawnIconEngine(PaletteDraw draw, int designSize) : m_draw(std::move(draw)), m_size(designSize) {}

    QIconEngine *clone() const override { return new DrawnIconEngine(m_draw, m_size); }
    QString key() const override { return QStringLiteral("quil.drawn"); }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override {
        const int side = std::min({size.width(), size.height(), m_size});
        return QSize(side, side);
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {QSize(m_size, m_size)}; }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        const int side = std::max(1, std::min(size.width(), size.height()));
        // Pictures drawn with another palette are stale, the disabled look
        // too: it is made from the palette's window colour.
        const QPalette palette = QGuiApplication::palette();
        if (palette.cacheKey() != m_paletteKey) {
            m_cache.clear();
            m_paletteKey = palette.cacheKey();
        }
        const quint64 cacheKey = (quint64(side) << 8) | quint64(mode);
        auto it = m_cache.constFind(cacheKey);
        if (it != m_cache.constEnd())
            return *it;
        QPixmap pm(side, side);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(qreal(side) / m_size, qreal(side) / m_size);
            m_draw(p, palette);
        }
        pm = modeLook(pm, mode);
        Q_UNUSED(scale);
        m_cache.insert(cacheKey, pm);
        return pm;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        QPixmap pm = scaledPixmap(rect.size() * dpr, mode, state, dpr);
        pm.setDevicePixelRatio(dpr);
        painter->drawPixmap(rect, pm);
    }

private:
    PaletteDraw m_draw;
    int m_size;
    qint64 m_paletteKey = 0;
    QHash<quint64, QPixmap> m_cache;
};

// WCAG 2's relative luminance of an sRGB colour.
double luminance(const QColor &c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// Asks the real style for its icon the first time a picture is wanted.
class DeferredStandardIcon : public QIconEngine {
public:
    DeferredStandardIcon(QStyle *style, QStyle::StandardPixmap which) : m_style(style), m_which(which) {}

    QIconEngine *clone() const override {
        auto *copy = new DeferredStandardIcon(m_style, m_which);
        copy->m_icon = m_icon;
        copy->m_loaded = m_loaded;
        return copy;
    }
    QString key() const override { return QStringLiteral("quil.standard"); }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        return icon().pixmap(size / scale, scale, mode, state);
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    bool isNull() override { return icon().isNull(); }

private:
    const QIcon &icon() {
        if (!m_loaded) {
            m_loaded = true;
            if (m_style)
                m_icon = m_style->standardIcon(m_which);
        }
        return m_icon;
    }

    QPointer<QStyle> m_style;
    QStyle::StandardPixmap m_which;
    QIcon m_icon;
    bool m_loaded = false;
};

class LazyIconStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    QIcon standardIcon(StandardPixmap which, const QStyleOption *option, const QWidget *widget) const override {
        // An option may change the picture; ask at once then.
        if (option)
            return QProxyStyle::standardIcon(which, option, widget);
        return QIcon(new DeferredStandardIcon(baseStyle(), which));
    }
};

} // namespace

QIcon drawnIcon(std::function<void(QPainter &)> draw, int designSize) {
    return QIcon(new DrawnIconEngine([draw = std::move(draw)](QPainter &p, const QPalette &) { draw(p); }, designSize));
}

QIcon drawnIcon(std::function<void(QPainter &, const QPalette &)> draw, int designSize) {
    return QIcon(new DrawnIconEngine(std::move(draw), designSize));
}

double contrastRatio(const QColor &a, const QColor &b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor &ink, const QColor &background, double ratio) {
    if (contrastRatio(ink, background) >= ratio)
        return ink;
    // Below this luminance white stands out more than black does.
    const bool lighten = luminance(background) < 0.18;
    float h, s, l, a;
    ink.toHsl().getHslF(&h, &s, &l, &a);
    if (h < 0) // grey
        h = 0;
    QColor out = ink;
    for (int step = 0; step < 50 && contrastRatio(out, background) < ratio; ++step) {
        l = std::clamp(l + (lighten ? 0.02f : -0.02f), 0.0f, 1.0f);
        out = QColor::fromHslF(h, s, l, a).toRgb();
    }
    return out;
}

void installLazyStandardIcons(QApplication &app) {
    Q_UNUSED(app);
    QApplication::setStyle(new LazyIconStyle(QApplication::style()->name()));
}

} // namespace quil
