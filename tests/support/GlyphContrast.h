// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QColor>
#include <QImage>
#include <QPalette>

#include <cmath>

namespace quil::test {

// A dark desktop's palette, as a dark theme gives it: light text on dark
// grey faces.
inline QPalette darkPalette() {
    QPalette p;
    const QColor face(0x35, 0x35, 0x35), text(0xee, 0xee, 0xec);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, face);
        p.setColor(group, QPalette::Button, face);
        p.setColor(group, QPalette::Base, QColor(0x2d, 0x2d, 0x2d));
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Highlight, QColor(0x15, 0x53, 0x9e));
    }
    p.setColor(QPalette::Disabled, QPalette::Window, face);
    p.setColor(QPalette::Disabled, QPalette::Button, face);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x91, 0x91, 0x91));
    return p;
}

// WCAG 2's contrast ratio, 1 to 21.
inline double contrast(const QColor &a, const QColor &b) {
    auto lum = [](const QColor &c) {
        auto ch = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * ch(c.redF()) + 0.7152 * ch(c.greenF()) + 0.0722 * ch(c.blueF());
    };
    const double x = lum(a), y = lum(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// What makes a glyph seen is its silhouette: the share of its edge pixels
// (drawn pixels beside undrawn ones), laid over `face`, that stand out from
// it by at least `ratio`. 0 for an empty picture.
inline double edgeShareStandingOut(const QImage &picture, const QColor &face, double ratio = 3.0) {
    const QImage img = picture.convertToFormat(QImage::Format_ARGB32);
    auto drawn = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < img.width() && y < img.height() && qAlpha(img.pixel(x, y)) >= 128;
    };
    int edge = 0, standing = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            if (!drawn(x, y) || (drawn(x - 1, y) && drawn(x + 1, y) && drawn(x, y - 1) && drawn(x, y + 1)))
                continue;
            const QRgb px = img.pixel(x, y);
            const double a = qAlpha(px) / 255.0;
            const QColor over(int(qRed(px) * a + face.red() * (1 - a)), int(qGreen(px) * a + face.green() * (1 - a)),
                              int(qBlue(px) * a + face.blue() * (1 - a)));
            ++edge;
            standing += contrast(over, face) >= ratio ? 1 : 0;
        }
    return edge ? double(standing) / edge : 0.0;
}

} // namespace quil::test
