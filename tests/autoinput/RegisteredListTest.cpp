// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/autoinput/ParserFixture.h"

using namespace quil;
using namespace quil::test;
namespace c = quil::col;

namespace {

const QString Reader = QStringLiteral("reader@example.com");

Row mag(const QString &id, const QString &address, const QString &publishing = QStringLiteral("まぐまぐ")) {
    Row r{{c::Publishing, publishing}, {c::MBID, id}, {c::DeleteState, state::Subscribed}};
    if (!address.isEmpty())
        r[c::RegAddress] = address;
    return r;
}

QString stateOf(const std::vector<Row> &rows, int i) { return rows[size_t(i)].value(c::DeleteState); }

} // namespace

TEST_F(ParserTest, RegisteredListBringsStatesIntoLine) {
    addMagazine(mag("111", Reader));
    addMagazine(mag("222", Reader));
    addMagazine(mag("333", QStringLiteral("other@example.com")));
    addMagazine(mag("222", Reader, QStringLiteral("Pubzine")));
    mags->first();
    mags->next();
    mags->next();

    const QString list = crlf({QStringLiteral("まぐまぐ登録中メールマガジン一覧"),
                               QStringLiteral("■登録中のメールマガジン一覧  <reader@example.com>"),
                               QStringLiteral("----------------------------------------"),
                               QStringLiteral("       111:週刊ニュース速報"), QStringLiteral("    123456:name"),
                               QStringLiteral("----------------------------------------")});
    EXPECT_EQ(run(list, true), QString());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    // The cursor is back where it was.
    EXPECT_EQ(mags->fieldByName(c::MBID).asString(), QStringLiteral("333"));

    const auto r = rows(*mags);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(stateOf(r, 0), state::Subscribed); // listed
    EXPECT_EQ(stateOf(r, 1), state::Cancelled);  // that address, not listed
    EXPECT_EQ(stateOf(r, 2), state::Subscribed); // another address
    EXPECT_EQ(stateOf(r, 3), state::Subscribed); // not まぐまぐ
    EXPECT_EQ(r[4], (Row{{c::Publishing, "まぐまぐ"}, {c::MBName, "name"}, {c::MBID, "123456"},
                         {c::RegAddress, Reader}, {c::DeleteState, state::Subscribed}}));

    // Listed again, the record is found instead of added once more.
    run(crlf({QStringLiteral("■登録中のメールマガジン一覧  <reader@example.com>"), QStringLiteral("    123456:name")}),
        true);
    EXPECT_EQ(rows(*mags).size(), 5u);
}

TEST_F(ParserTest, RegisteredListWithoutAddressLineUsesEmptyAddress) {
    addMagazine(mag("444", QString()));
    addMagazine(mag("555", QString()));
    addMagazine(mag("666", Reader));
    run(crlf({QStringLiteral("       444:x")}), true);
    const auto r = rows(*mags);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(stateOf(r, 0), state::Subscribed);
    EXPECT_EQ(stateOf(r, 1), state::Cancelled);
    EXPECT_EQ(stateOf(r, 2), state::Subscribed);
}

TEST_F(ParserTest, RegisteredListStopsAtABadNumber) {
    addMagazine(mag("111", Reader));
    addMagazine(mag("222", Reader));
    const QString list = crlf({QStringLiteral("■登録中のメールマガジン一覧  <reader@example.com>"),
                               QStringLiteral("       111:a"), QStringLiteral("      ab12:b"),
                               QStringLiteral("       222:c")});
    EXPECT_EQ(run(list, true), QString());
    const auto r = rows(*mags);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(stateOf(r, 0), state::Subscribed);
    EXPECT_EQ(stateOf(r, 1), state::Cancelled); // the entry after the bad line was not read

    // Trailing blanks and numbers beyond 32 bits are not whole numbers either.
    EXPECT_EQ(run(crlf({QStringLiteral("111       :a"), QStringLiteral("       222:c")}), true), QString());
    EXPECT_EQ(stateOf(rows(*mags), 1), state::Cancelled);
    run(crlf({QStringLiteral("9999999999:a"), QStringLiteral("       222:c")}), true);
    EXPECT_EQ(stateOf(rows(*mags), 1), state::Cancelled);
    run(crlf({QStringLiteral("      +222:c")}), true);
    EXPECT_EQ(stateOf(rows(*mags), 1), state::Subscribed);
}

TEST_F(ParserTest, RegisteredListOnAnEmptyTableStoresWhatItAdds) {
    // No record to return to: the added records are stored all the same.
    run(crlf({QStringLiteral("       111:a")}), true);
    EXPECT_EQ(mags->state(), DataSetState::Browse);
    Table other(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
    other.setDirectory(mags->directory());
    other.open();
    EXPECT_EQ(other.recordCount(), 1);
}
