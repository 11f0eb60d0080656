// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/Jis.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

using quil::jis::JisPairToShiftJis;
using quil::jis::JisToShiftJisLines;

namespace {

// The system's converter, an outside reference for the arithmetic.
class Iconv {
public:
    Iconv(const char *to, const char *from) : m_h(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok())
            iconv_close(m_h);
    }
    bool ok() const { return m_h != reinterpret_cast<iconv_t>(-1); }
    std::optional<QByteArray> convert(const QByteArray &in) {
        iconv(m_h, nullptr, nullptr, nullptr, nullptr);
        QByteArray out(in.size() * 4 + 16, '\0');
        char *src = const_cast<char *>(in.constData());
        size_t srcLeft = size_t(in.size());
        char *dst = out.data();
        size_t dstLeft = size_t(out.size());
        if (iconv(m_h, &src, &srcLeft, &dst, &dstLeft) == size_t(-1))
            return std::nullopt;
        if (iconv(m_h, nullptr, nullptr, &dst, &dstLeft) == size_t(-1))
            return std::nullopt;
        out.truncate(dst - out.data());
        return out;
    }

private:
    iconv_t m_h;
};

QByteArray hex(const QByteArray &b) { return b.toHex(' '); }

} // namespace

TEST(JisOracle, EveryJisX0208CodeMatchesTheSystemConverter) {
    Iconv conv("CP932", "ISO-2022-JP");
    ASSERT_TRUE(conv.ok()) << "the system iconv has no ISO-2022-JP to CP932 converter";
    int compared = 0;
    int mismatches = 0;
    for (int j1 = 0x21; j1 <= 0x7E; ++j1) {
        for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
            QByteArray in("\x1b$B");
            in += char(j1);
            in += char(j2);
            in += "\x1b(B";
            const auto expected = conv.convert(in);
            if (!expected || expected->size() != 2)
                continue; // unassigned in JIS X 0208, or no CP932 form
            ++compared;
            const QByteArray got = JisPairToShiftJis(uchar(j1), uchar(j2));
            if (got != *expected && ++mismatches <= 10)
                ADD_FAILURE() << "JIS " << std::hex << j1 << ' ' << j2 << ": got " << hex(got).constData()
                              << ", iconv " << hex(*expected).constData();
        }
    }
    EXPECT_EQ(mismatches, 0);
    // JIS X 0208 holds 6879 characters; nearly all have a CP932 form, so a
    // small count means the oracle did not really run.
    EXPECT_GT(compared, 6800);
}

TEST(JisOracle, MailTextConvertsLikeTheSystemConverter) {
    Iconv toJis("ISO-2022-JP", "UTF-8");
    Iconv toSjis("CP932", "UTF-8");
    ASSERT_TRUE(toJis.ok() && toSjis.ok());
    const QList<QByteArray> utf8 = {
        "●登録メールマガジン:",
        "【週刊　株式情報】第１２号",
        "",
        "発行者：山田太郎 <taro@example.jp> ＩＤ 123456",
        "ascii only line",
        "混在 mixed 行、記号「※」と　全角カナ：アイウ",
    };
    QList<QByteArray> jisLines, expected;
    for (const QByteArray &l : utf8) {
        auto j = toJis.convert(l);
        auto s = toSjis.convert(l);
        ASSERT_TRUE(j && s) << l.constData();
        jisLines.append(*j);
        expected.append(*s);
    }
    EXPECT_EQ(JisToShiftJisLines(jisLines), expected);
}

TEST(JisLines, KanjiModeAndEscapes) {
    // A switch left open at a line's end stays in force on the next line.
    EXPECT_EQ(JisToShiftJisLines({"a\x1b$B0!", "0!\x1b(Bb", "0!"}),
              (QList<QByteArray>{"a\x88\x9f", "\x88\x9f" "b", "0!"}));
    // A single byte left at the end of a line in kanji mode passes unchanged;
    // the mode still holds on the next line.
    EXPECT_EQ(JisToShiftJisLines({"\x1b$B0!0", "0!"}), (QList<QByteArray>{"\x88\x9f" "0", "\x88\x9f"}));
    // Any other escape pair is dropped and leaves the mode as it was.
    EXPECT_EQ(JisToShiftJisLines({"x\x1b(Jy", "\x1b$B0!\x1b(J0!"}),
              (QList<QByteArray>{"xy", "\x88\x9f\x88\x9f"}));
    // An escape cut off by the line's end is dropped whole.
    EXPECT_EQ(JisToShiftJisLines({"ab\x1b$", "\x1b"}), (QList<QByteArray>{"ab", ""}));
    // Lines and empty lines are kept one for one.
    EXPECT_EQ(JisToShiftJisLines({"", "plain", ""}), (QList<QByteArray>{"", "plain", ""}));
    EXPECT_TRUE(JisToShiftJisLines({}).isEmpty());
}

TEST(JisLines, MalformedBytesInKanjiModeNeverFail) {
    // High bytes, control bytes and NUL inside kanji mode still come out as
    // one pair per two bytes.
    const QList<QByteArray> out = JisToShiftJisLines({QByteArray("\x1b$B\x00\x0a\x80\xff\x7f", 8)});
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].size(), 5);
    EXPECT_EQ(out[0].back(), '\x7f');
}
