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
