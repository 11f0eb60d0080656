// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gui/LazyIcons.h"

#include <QApplication>
#include <QImage>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

#include <gtest/gtest.h>

using namespace quil;

namespace {

int drawCount = 0;

void drawSquare(QPainter &p) {
    ++drawCount;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 0, 0));
    p.drawRect(QRectF(4, 4, 8, 8));
}

} // namespace

TEST(LazyIconsTest, DrawnIconsAreDrawnWhenFirstAskedAtTheSizeAskedAndKeptAfterwards) {
    drawCount = 0;
    QIcon icon = drawnIcon(drawSquare);
    EXPECT_EQ(drawCount, 0) << "making the icon draws nothing";
    EXPECT_EQ(icon.availableSizes(), QList<QSize>{QSize(16, 16)});

    QImage small = icon.pixmap(QSize(16, 16)).toImage();
    ASSERT_EQ(small.size(), QSize(16, 16));
    EXPECT_EQ(QColor(small.pixel(8, 8)), QColor(200, 0, 0));
    EXPECT_EQ(qAlpha(small.pixel(1, 1)), 0);

    // Twice the size: the drawing is scaled, not cut.
    QImage large = icon.pixmap(QSize(32, 32)).toImage();
    ASSERT_EQ(large.size(), QSize(32, 32));
    EXPECT_EQ(QColor(large.pixel(16, 16)), QColor(200, 0, 0));
    EXPECT_EQ(qAlpha(large.pixel(5, 5)), 0);

    const int drawn = drawCount;
    icon.pixmap(QSize(16, 16));
    EXPECT_EQ(drawCount, drawn) << "a size already drawn is not drawn again";

    // The disabled look is the style's, so it differs from the normal one.
    QImage disabled = icon.pixmap(QSize(16, 16), QIcon::Disabled).toImage();
    EXPECT_NE(QColor(disabled.pixel(8, 8)), QColor(200, 0, 0));
}

TEST(LazyIconsTest, StandardIconsLoadLateButShowTheStylesPicture) {
    const QString styleName = QApplication::style()->name();
    installLazyStandardIcons(*qobject_cast<QApplication *>(QCoreApplication::instance()));
    QMenuBar bar; // asks for the extension arrow while it is made
    QStyle *style = QApplication::style();
    QWidget owner;
    QIcon lazy = style->standardIcon(QStyle::SP_DialogCloseButton, nullptr, &owner);
    QIcon eager = style->standardIcon(QStyle::SP_DialogCloseButton);
    ASSERT_FALSE(lazy.isNull());
    EXPECT_EQ(lazy.pixmap(QSize(16, 16)).toImage(), eager.pixmap(QSize(16, 16)).toImage());
    QApplication::setStyle(styleName);
}

TEST(LazyIconsTest, IconsDrawnFromThePaletteAreDrawnAgainWhenItChanges) {
    const QPalette before = QApplication::palette();
    int draws = 0;
    QIcon icon = drawnIcon([&draws](QPainter &p, const QPalette &palette) {
        ++draws;
        p.fillRect(QRectF(0, 0, 16, 16), palette.color(QPalette::ButtonText));
    });
    QPalette other = before;
    other.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xec));

    EXPECT_EQ(QColor(icon.pixmap(QSize(16, 16)).toImage().pixel(8, 8)), before.color(QPalette::ButtonText));
    icon.pixmap(QSize(16, 16));
    EXPECT_EQ(draws, 1) << "kept while the palette stays";
    QApplication::setPalette(other);
    EXPECT_EQ(QColor(icon.pixmap(QSize(16, 16)).toImage().pixel(8, 8)), QColor(0xee, 0xee, 0xec));
    QApplication::setPalette(before);
    EXPECT_EQ(QColor(icon.pixmap(QSize(16, 16)).toImage().pixel(8, 8)), before.color(QPalette::ButtonText));
    EXPECT_EQ(draws, 3);
}

TEST(LazyIconsTest, AnInkTooFaintForItsBackgroundKeepsItsHueAndGetsEnoughContrast) {
    const QColor lightFace(0xef, 0xef, 0xef), darkFace(0x35, 0x35, 0x35);
    const QColor green(0, 110, 0), navy(0, 0, 128), black(0, 0, 0), yellow(0xff, 0xe0, 0x40);
    // Already readable: unchanged, so light desktops look as before.
    EXPECT_EQ(readableOn(green, lightFace), green);
    EXPECT_EQ(readableOn(navy, lightFace), navy);
    EXPECT_NEAR(contrastRatio(black, Qt::white), 21.0, 0.01);
    EXPECT_NEAR(contrastRatio(darkFace, darkFace), 1.0, 0.001);

    for (const auto &[ink, face] : {std::pair{green, darkFace}, std::pair{navy, darkFace}, std::pair{black, darkFace},
                                    std::pair{yellow, lightFace}}) {
        const QColor out = readableOn(ink, face);
        EXPECT_GE(contrastRatio(out, face), 4.5) << ink.name().toStdString() << " on " << face.name().toStdString();
        EXPECT_GE(contrastRatio(readableOn(ink, face, 7.0), face), 7.0);
        if (ink.hslHue() >= 0) {
            EXPECT_NEAR(out.hslHue(), ink.hslHue(), 3) << ink.name().toStdString();
        }
        // Lighter on the dark face, darker on the light one.
        EXPECT_EQ(out.lightness() > ink.lightness(), face == darkFace) << ink.name().toStdString();
    }
}
