// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/ByteLine.h"
#include "text/Cp932.h"

#include <gtest/gtest.h>

using namespace quil;

namespace {

QByteArray hex(const char *h) { return QByteArray::fromHex(h); }

// Byte values from the code page's published table (decoding is one to one
// there), not from our own converter.
struct Known {
    const char16_t *text;
    const char *bytes;
};
const Known kTable[] = {
    {u"～", "8160"},       // full-width tilde, not the wave dash of JIS
    {u"－", "817c"},       // full-width hyphen-minus
    {u"∥", "8161"},
    {u"。", "8142"},
    {u"ー", "815b"},
    {u"ソ", "835c"},       // trail byte is a backslash
    {u"表", "955c"},
    {u"メ", "8381"},       // trail byte lies in the lead-byte range
    {u"①", "8740"},       // NEC special characters
    {u"⑳", "8753"},
    {u"Ⅹ", "875d"},
    {u"㈱", "878a"},
    {u"∵", "81e6"},
    {u"ｱ", "b1"},         // half-width katakana are single bytes
    {u"ﾟ", "df"},
    {u"abc", "616263"},
};

} // namespace

TEST(Cp932, EncodesAndDecodesTheCodePageTable) {
    for (const Known &k : kTable) {
        const QString text = QString::fromUtf16(k.text);
        EXPECT_EQ(cp932::encode(text), hex(k.bytes)) << text.toStdString();
        EXPECT_EQ(cp932::decode(hex(k.bytes)), text) << k.bytes;
    }
}

TEST(Cp932, ExtensionCharactersOfBothVendorsDecodeAndEncodeTheWindowsWay) {
    // NEC-selected IBM extensions (rows ED/EE) and IBM extensions (FA-FC)
    // hold the same characters; both decode, and encoding picks the IBM row
    // as Windows does.
    EXPECT_EQ(cp932::decode(hex("ed40")), QStringLiteral("纊"));
    EXPECT_EQ(cp932::decode(hex("fa5c")), QStringLiteral("纊"));
    EXPECT_EQ(cp932::encode(QStringLiteral("纊")), hex("fa5c"));
    EXPECT_EQ(cp932::decode(hex("eeef")), QStringLiteral("ⅰ"));
    EXPECT_EQ(cp932::decode(hex("fa40")), QStringLiteral("ⅰ"));
    EXPECT_EQ(cp932::encode(QStringLiteral("ⅰ")), hex("fa40"));
    EXPECT_EQ(cp932::decode(hex("fbfc")), QStringLiteral("髙"));
    EXPECT_EQ(cp932::encode(QStringLiteral("髙")), hex("fbfc"));
    // The NEC row-13 duplicate of a JIS symbol decodes to the same character.
    EXPECT_EQ(cp932::decode(hex("879a")), QStringLiteral("∵"));
    EXPECT_EQ(cp932::encode(QStringLiteral("∵")), hex("81e6"));
}

TEST(Cp932, CharactersOutsideTheCodePageBecomeOneQuestionMarkEach) {
    EXPECT_EQ(cp932::encode(QStringLiteral("a€b")), QByteArray("a?b"));
    EXPECT_EQ(cp932::encode(QStringLiteral("한국")), QByteArray("??"));
    // A character outside the BMP is one character, so one "?".
    EXPECT_EQ(cp932::encode(QStringLiteral("x😀y")), QByteArray("x?y"));
    // A lone surrogate is broken text; it must not stop the conversion.
    QString broken = QStringLiteral("あ");
    broken += QChar(0xD800);
    broken += QStringLiteral("い");
    EXPECT_EQ(cp932::encode(broken), hex("82a0") + "?" + hex("82a2"));
    EXPECT_EQ(cp932::byteLength(QStringLiteral("😀")), 1);
}

TEST(Cp932, BrokenBytesDecodeToReplacementsWithoutSwallowingGoodOnes) {
    // A lead byte followed by a byte that cannot trail: the lead byte alone
    // is replaced, the next character survives.
    EXPECT_EQ(cp932::decode(hex("81") + " A"), QStringLiteral("\uFFFD A"));
    EXPECT_EQ(cp932::decode(hex("82") + "\r\n"), QStringLiteral("\uFFFD\r\n"));
    // A well-formed pair in an unassigned row is one character, one replacement.
    EXPECT_EQ(cp932::decode(hex("8540") + "a"), QStringLiteral("\uFFFDa"));
    // A lead byte cut off at the end.
    EXPECT_EQ(cp932::decode(QByteArray("ab") + hex("82")), QStringLiteral("ab\uFFFD"));
    EXPECT_EQ(cp932::decode(QByteArray()), QString());
    // Large input with a broken byte in the middle keeps everything else.
    QByteArray big;
    for (int i = 0; i < 5000; ++i)
        big += hex("82a0");
    big += hex("ff");
    for (int i = 0; i < 5000; ++i)
        big += hex("82a2");
    const QString text = cp932::decode(big);
    ASSERT_EQ(text.size(), 10001);
    EXPECT_EQ(text[0], QChar(u'あ'));
    EXPECT_EQ(text[5000], QChar(0xFFFD));
    EXPECT_EQ(text[10000], QChar(u'い'));
}

// Every character and every byte pair converts exactly as the converter
// says, whether it is met for the first time or read from what was kept.
TEST(Cp932, KeptConversionsAgreeWithTheConverterEverywhere) {
    for (int pass = 0; pass < 2; ++pass) {
        for (char32_t u = 0x80; u < 0x10000; ++u) {
            if (u >= 0xD800 && u < 0xE000)
                continue;
            const QString one{QChar(char16_t(u))};
            ASSERT_EQ(cp932::encode(one), cp932::detail::encodeWithConverter(one)) << std::hex << unsigned(u);
        }
        for (int b = 0x80; b < 0x100; ++b) {
            const char single[] = {char(b), 'a'};
            ASSERT_EQ(cp932::decode(single, 2), cp932::detail::decodeWithConverter(single, 2)) << std::hex << b;
            if (!cp932::isLeadByte(uchar(b)))
                continue;
            for (int t = 0; t < 0x100; ++t) {
                const char pair[] = {char(b), char(t), 'z'};
                ASSERT_EQ(cp932::decode(pair, 3), cp932::detail::decodeWithConverter(pair, 3))
                    << std::hex << b << ' ' << t;
            }
        }
    }
}

TEST(Cp932, LongMixedTextSurvivesARoundTrip) {
    QString text;
    for (int i = 0; i < 2000; ++i)
        text += QStringLiteral("まぐまぐ ID:%1 ｱｲｳ①～纊\r\n").arg(i);
    EXPECT_EQ(cp932::decode(cp932::encode(text)), text);
    EXPECT_EQ(cp932::byteLength(text), cp932::encode(text).size());
}

TEST(Cp932, FilesInOtherEncodingsAreToldApart) {
    const QString japanese = QStringLiteral("\"発行媒体\",\"メールマガジン名\",\"説明\"\r\n\"まぐまぐ\",\"週刊①～\",\"ｱｲｳ 表ソ\"\r\n");
    const QByteArray utf8 = japanese.toUtf8();
    EXPECT_EQ(cp932::otherEncoding("\xEF\xBB\xBF" + utf8), QStringLiteral("UTF-8"));
    EXPECT_EQ(cp932::otherEncoding(utf8), QStringLiteral("UTF-8"));
    QByteArray le("\xFF\xFE"), be("\xFE\xFF");
    for (QChar c : japanese) {
        le += char(c.unicode() & 0xFF), le += char(c.unicode() >> 8);
        be += char(c.unicode() >> 8), be += char(c.unicode() & 0xFF);
    }
    EXPECT_EQ(cp932::otherEncoding(le), QStringLiteral("UTF-16LE"));
    EXPECT_EQ(cp932::otherEncoding(be), QStringLiteral("UTF-16BE"));
    EXPECT_EQ(cp932::otherEncoding(QByteArray("\xFF\xFE\0\0\x22\0\0\0", 8)), QStringLiteral("UTF-32LE"));
    EXPECT_EQ(cp932::otherEncoding(QByteArray("\0\0\xFE\xFF\0\0\0\x22", 8)), QStringLiteral("UTF-32BE"));

    // CP932 itself, plain ASCII, nothing, and bytes that are no UTF-8.
    EXPECT_EQ(cp932::otherEncoding(cp932::encode(japanese)), QString());
    for (const char16_t *one : {u"発行媒体", u"メールマガジン名", u"マガジンＩＤ", u"データタイプ", u"関連Ｗｅｂページ",
                                u"登録日時", u"ＩＰアドレス", u"有料／無料の区別", u"説明", u"削除状態", u"ｱ"})
        EXPECT_EQ(cp932::otherEncoding(cp932::encode(QString::fromUtf16(one))), QString());
    EXPECT_EQ(cp932::otherEncoding("\"name\",\"id\"\r\n\"a\",\"1\"\r\n"), QString());
    EXPECT_EQ(cp932::otherEncoding(QByteArray()), QString());
    for (const char *broken : {"\xC0\x80", "\xE3\x81", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xFE"})
        EXPECT_EQ(cp932::otherEncoding(QByteArray("ab") + broken), QString()) << broken;
    // Only the text up to a NUL counts.
    EXPECT_EQ(cp932::otherEncoding(QByteArray("ab\0", 3) + utf8), QString());
}

TEST(Cp932, ByteLengthCountsFullWidthAsTwoAndHalfWidthKatakanaAsOne) {
    EXPECT_EQ(cp932::byteLength(QString()), 0);
    EXPECT_EQ(cp932::byteLength(QStringLiteral("abc")), 3);
    EXPECT_EQ(cp932::byteLength(QStringLiteral("ｱｲｳ")), 3);
    EXPECT_EQ(cp932::byteLength(QStringLiteral("あいう")), 6);
    EXPECT_EQ(cp932::byteLength(QStringLiteral("aあｱ①")), 6);
}

TEST(Cp932, CutsNeverSplitADoubleByteCharacter) {
    const QByteArray ai = hex("82a082a2"); // あい
    EXPECT_EQ(cp932::cutBytes(ai, 4), ai);
    EXPECT_EQ(cp932::cutBytes(ai, 3), hex("82a0"));
    EXPECT_EQ(cp932::cutBytes(ai, 1), QByteArray());
    EXPECT_EQ(cp932::cutBytes(ai, 0), QByteArray());
    EXPECT_EQ(cp932::cutBytes(ai, -5), QByteArray());
    EXPECT_EQ(cp932::cutBytes(ai, 100), ai);

    // Trail bytes that look like lead bytes (メ = 83 81) must not shift the
    // boundaries: they are found from the start.
    const QByteArray me3 = hex("838183818381");
    EXPECT_EQ(cp932::boundaryAtOrBefore(me3, 3), 2);
    EXPECT_EQ(cp932::boundaryAtOrBefore(me3, 5), 4);
    EXPECT_EQ(cp932::boundaryAtOrBefore(me3, 6), 6);
    // Half-width katakana bytes (B1) are whole characters.
    EXPECT_EQ(cp932::boundaryAtOrBefore(hex("b1b2b3"), 2), 2);
    // A text of single bytes then one double-byte character at the edge.
    EXPECT_EQ(cp932::cutBytes(QByteArray("abc") + hex("835c"), 4), QByteArray("abc"));
}

TEST(Cp932, CutToWidthKeepsTheOriginalCharacters) {
    EXPECT_EQ(cp932::cutToWidth(QStringLiteral("あいう"), 5), QStringLiteral("あい"));
    EXPECT_EQ(cp932::cutToWidth(QStringLiteral("abあ"), 3), QStringLiteral("ab"));
    EXPECT_EQ(cp932::cutToWidth(QStringLiteral("ｱｲｳｴ"), 3), QStringLiteral("ｱｲｳ"));
    EXPECT_EQ(cp932::cutToWidth(QStringLiteral("short"), 240), QStringLiteral("short"));
    EXPECT_EQ(cp932::cutToWidth(QStringLiteral("あ"), 0), QString());
    // An unmappable character is kept as itself, counted as the one "?" it
    // would be written as; a surrogate pair is never cut in half.
    EXPECT_EQ(cp932::cutToWidth(QStringLiteral("€あ"), 2), QStringLiteral("€"));
    EXPECT_EQ(cp932::cutToWidth(QStringLiteral("a😀b"), 2), QStringLiteral("a😀"));
    EXPECT_EQ(cp932::cutToWidth(QStringLiteral("ab😀"), 2), QStringLiteral("ab"));

    // A 300-byte description cut to a 240-byte column, with a double-byte
    // character straddling byte 240.
    QString text = QString(239, u'x') + QStringLiteral("あ") + QString(59, u'y');
    ASSERT_EQ(cp932::byteLength(text), 300);
    const QString cut = cp932::cutToWidth(text, 240);
    EXPECT_EQ(cut, QString(239, u'x'));
    EXPECT_EQ(cp932::byteLength(cp932::cutToWidth(QString(150, u'あ'), 240)), 240);
}

TEST(ByteLine, PositionsAndComparisonsCountBytes) {
    const QByteArray line = QByteArray("ID:") + hex("82a082a2") + "z"; // ID:あいz
    EXPECT_EQ(bytes::firstBytes(line, 3), QByteArray("ID:"));
    EXPECT_EQ(bytes::firstBytes(line, 0), QByteArray());
    EXPECT_EQ(bytes::firstBytes(line, -1), QByteArray());
    EXPECT_EQ(bytes::firstBytes(line, 99), line);
    EXPECT_EQ(bytes::withoutFirstBytes(line, 3), hex("82a082a2") + "z");
    EXPECT_EQ(bytes::withoutFirstBytes(line, 0), line);
    EXPECT_EQ(bytes::withoutFirstBytes(line, 8), QByteArray());
    EXPECT_EQ(bytes::withoutFirstBytes(line, 99), QByteArray());
    EXPECT_EQ(bytes::byteAt(line, 1), 'I');
    EXPECT_EQ(uchar(bytes::byteAt(line, 4)), 0x82);
    EXPECT_EQ(bytes::byteAt(line, 8), 'z');
    EXPECT_EQ(bytes::byteAt(line, 0), 0);
    EXPECT_EQ(bytes::byteAt(line, 9), 0);
    EXPECT_TRUE(bytes::rangeEquals(line, 3, hex("82a0")));
    EXPECT_TRUE(bytes::startsWith(line, "ID:"));
    EXPECT_FALSE(bytes::startsWith(line, "id:")); // case matters
    EXPECT_FALSE(bytes::rangeEquals(line, 7, "zz"));
    EXPECT_FALSE(bytes::rangeEquals(line, -1, "I"));
    EXPECT_TRUE(bytes::rangeEquals(line, 8, QByteArray()));
    EXPECT_FALSE(bytes::rangeEquals(QByteArray(), 0, "a"));
}

TEST(ByteLine, TextOfRangeDropsDanglingHalves) {
    const QByteArray line = QByteArray("ab") + hex("82a082a2") + "c"; // abあいc
    EXPECT_EQ(bytes::textOfRange(line, 0, 7), QStringLiteral("abあいc"));
    EXPECT_EQ(bytes::textOfRange(line, 2, 4), QStringLiteral("あ"));
    EXPECT_EQ(bytes::textOfRange(line, 1, 6), QStringLiteral("bあい"));
    // Starting inside あ drops its second half; ending inside い drops its first.
    EXPECT_EQ(bytes::textOfRange(line, 3, 7), QStringLiteral("いc"));
    EXPECT_EQ(bytes::textOfRange(line, 2, 5), QStringLiteral("あ"));
    EXPECT_EQ(bytes::textOfRange(line, 3, 5), QString());
    // Out-of-range and reversed ranges give what lies inside the line.
    EXPECT_EQ(bytes::textOfRange(line, -4, 2), QStringLiteral("ab"));
    EXPECT_EQ(bytes::textOfRange(line, 6, 100), QStringLiteral("c"));
    EXPECT_EQ(bytes::textOfRange(line, 5, 2), QString());
    EXPECT_EQ(bytes::textOfRange(line, 50, 60), QString());
    EXPECT_EQ(bytes::textOfRange(QByteArray(), 0, 10), QString());
    // Boundaries come from the start even when trail bytes look like leads.
    const QByteArray me3 = hex("838183818381"); // メメメ
    EXPECT_EQ(bytes::textOfRange(me3, 1, 6), QStringLiteral("メメ"));
    EXPECT_EQ(bytes::textOfRange(me3, 2, 5), QStringLiteral("メ"));
}
