// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/DateText.h"

#include <gtest/gtest.h>

using namespace quil;

namespace {
QDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return QDateTime(QDate(y, mo, d), QTime(h, mi, s)); }
} // namespace

TEST(DateText, PlainFormLeavesOutTheTimeOnlyAtExactMidnight) {
    EXPECT_EQ(datetext::plain(at(2001, 5, 12, 13, 4, 5)), QStringLiteral("2001/05/12 13:04:05"));
    EXPECT_EQ(datetext::plain(at(2001, 5, 2, 9, 5, 7)), QStringLiteral("2001/05/02 9:05:07"));
    EXPECT_EQ(datetext::plain(at(2001, 5, 12)), QStringLiteral("2001/05/12"));
    EXPECT_EQ(datetext::plain(at(2001, 5, 12, 0, 0, 1)), QStringLiteral("2001/05/12 0:00:01"));
    EXPECT_EQ(datetext::plain(QDateTime(QDate(2001, 5, 12), QTime(0, 0, 0, 500))), QStringLiteral("2001/05/12 0:00:00"));
    EXPECT_EQ(datetext::plain(QDateTime()), QString());
}

TEST(DateText, DisplayFormIsAlwaysFullWidthOfDigits) {
    EXPECT_EQ(datetext::display(at(2001, 5, 2, 9, 5, 7)), QStringLiteral("2001/05/02 09:05:07"));
    EXPECT_EQ(datetext::display(at(2001, 5, 12)), QStringLiteral("2001/05/12 00:00:00"));
    EXPECT_EQ(datetext::display(QDateTime()), QString());
}

TEST(DateText, ParseAcceptsTheShortDateWithOptionalTime) {
    EXPECT_EQ(datetext::parse("2001/5/2"), at(2001, 5, 2));
    EXPECT_EQ(datetext::parse("2001/05/12"), at(2001, 5, 12));
    EXPECT_EQ(datetext::parse("2001/05/12 9:05"), at(2001, 5, 12, 9, 5));
    EXPECT_EQ(datetext::parse("2001/05/12 09:05:07"), at(2001, 5, 12, 9, 5, 7));
    EXPECT_EQ(datetext::parse("2001/5/12 23:59:59"), at(2001, 5, 12, 23, 59, 59));
    EXPECT_EQ(datetext::parse("2000/2/29"), at(2000, 2, 29));
    // What the plain form writes reads back to the same moment.
    for (const QDateTime &v : {at(2001, 5, 12), at(1999, 12, 31, 23, 59, 59), at(2024, 1, 2, 3, 4, 5)})
        EXPECT_EQ(datetext::parse(datetext::plain(v)), v) << datetext::plain(v).toStdString();
}

TEST(DateText, ParseRejectsAnythingElse) {
    const char *bad[] = {
        "", " ", "2001/5/12 ", " 2001/5/12", "2001/5/12x", "2001-05-12", "01/5/12", "20011/5/12",
        "2001/13/1", "2001/0/1", "2001/2/29", "2001/2/30", "2001/5/0", "2001/5/123", "2001//12",
        "2001/5/12 24:00", "2001/5/12 9:60", "2001/5/12 9:5", "2001/5/12 9:05:7", "2001/5/12 9:05:60",
        "2001/5/12 9", "2001/5/12 9:", "2001/5/12  9:05", "2001/5/12 9:05:07:01", "2001/5/12T09:05",
        "abcd/ef/gh", "0000/1/1",
    };
    for (const char *text : bad)
        EXPECT_FALSE(datetext::parse(QString::fromUtf8(text)).has_value()) << text;
    // Full-width digits are not the short date format.
    EXPECT_FALSE(datetext::parse(QStringLiteral("２００１/5/12")).has_value());
}
