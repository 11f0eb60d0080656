// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/LineBuffer.h"

#include "text/Cp932.h"

#include <QStringList>
#include <gtest/gtest.h>

using quil::LineBuffer;

namespace {

QStringList drain(const QString &text) {
    LineBuffer b(text);
    QStringList out;
    while (b.hasLines()) {
        out << b.text();
        b.remove();
    }
    return out;
}

} // namespace

TEST(LineBuffer, EveryKindOfBreakEndsALine) {
    EXPECT_EQ(drain(QStringLiteral("a\r\nb\rc\nd")), (QStringList{"a", "b", "c", "d"}));
    // A break at the very end starts no further line; a blank line does.
    EXPECT_EQ(drain(QStringLiteral("a\r\n")), (QStringList{"a"}));
    EXPECT_EQ(drain(QStringLiteral("a\r\n\r\n")), (QStringList{"a", ""}));
    EXPECT_EQ(drain(QStringLiteral("\r\r\n\n")), (QStringList{"", "", ""}));
    EXPECT_TRUE(drain(QString()).isEmpty());
}

TEST(LineBuffer, RemainingIsTheOriginalText) {
    const QString text = QStringLiteral("一\r\n二\r三～①\n\r\n");
    LineBuffer b(text);
    b.remove();
    EXPECT_EQ(b.remaining(), QStringLiteral("二\r三～①\n\r\n"));
    b.remove();
    EXPECT_EQ(b.text(), QStringLiteral("三～①"));
    EXPECT_EQ(b.bytes(), quil::cp932::encode(QStringLiteral("三～①")));
    b.remove();
    b.remove();
    EXPECT_FALSE(b.hasLines());
    b.remove(); // nothing left: no effect
    EXPECT_EQ(b.remaining(), QString());
    EXPECT_TRUE(b.bytes().isEmpty());
}

TEST(LineBuffer, LinesAreReadAtMost4096BytesLong) {
    // 4095 half-width bytes then a full-width character: the 4096th byte is
    // half of it. The bytes stop there; the text keeps whole characters.
    const QString longLine = QString(4095, QLatin1Char('x')) + QStringLiteral("漢字");
    LineBuffer b(longLine + QStringLiteral("\nnext"));
    EXPECT_EQ(b.bytes().size(), 4096);
    EXPECT_EQ(b.text(), QString(4095, QLatin1Char('x')));
    b.remove(); // removes the whole line
    EXPECT_EQ(b.text(), QStringLiteral("next"));

    const QString wide = QString(2048, QChar(0x3042)); // exactly 4096 bytes
    EXPECT_EQ(LineBuffer(wide).text(), wide);
    auto r = LineBuffer(wide + QStringLiteral("\r\n") + longLine).reader();
    EXPECT_EQ(r.nextBytes().size(), 4096);
    EXPECT_EQ(r.nextBytes().size(), 4096);
    EXPECT_TRUE(r.atEnd());
}
