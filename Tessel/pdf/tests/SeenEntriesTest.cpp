#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "SeenEntries.h"

namespace {
// Marks `rows` whole and compares with what each row holds.
void ExpectSeenExactly(const std::vector<std::vector<uint8_t>>& rows)
{
    SeenEntries seen;
    std::vector<bool> expected(256);
    for (const auto& row : rows) {
        seen.Mark(row.data(), row.size());
        for (const uint8_t index : row) expected[index] = true;
    }
    for (size_t entry = 0; entry < 256; ++entry) EXPECT_EQ(seen.Has(entry), expected[entry]) << "entry " << entry;
}
}  // namespace

// A page of a few entries is checked a stretch at a time: an entry new to the
// page must be found wherever it is, in a whole stretch, in the part of a
// row past the last whole one, at a row's very end, in a row shorter than a
// stretch, and once the page has more than a few, in every row after.
TEST(SeenEntriesTest, EveryEntryIsFoundWhereverItFirstOccurs)
{
    const size_t width = 3 * 256 + 37;
    const auto row = [&](std::initializer_list<std::pair<size_t, uint8_t>> marks) {
        std::vector<uint8_t> r(width);
        for (size_t x = 0; x < width; ++x) r[x] = x % 7 < 3 ? 9 : 200;
        for (const auto& [at, index] : marks) r[at] = index;
        return r;
    };
    const std::pair<size_t, uint8_t> places[] = {{0, 1}, {300, 1}, {3 * 256 + 2, 1}, {width - 1, 1}};
    for (const auto& place : places) {
        SCOPED_TRACE("new entry at " + std::to_string(place.first));
        ExpectSeenExactly({row({}), row({place}), row({})});
    }
    // A third and fourth entry keep the page among the few; a fifth, sixth and
    // seventh (the last two in a later row) make it many.
    ExpectSeenExactly({row({{5, 17}}), row({{700, 18}}), row({{10, 19}, {width - 3, 20}}), row({{400, 21}}),
                       row({{width - 1, 22}}), row({})});
    // Rows shorter than a stretch, and empty ones.
    ExpectSeenExactly({{4, 4, 4}, {}, {4, 5, 4, 4}, std::vector<uint8_t>(255, 6), {7}});
}

TEST(SeenEntriesTest, ColumnsMarkOnlyTheirEntriesAndFeedTheFew)
{
    std::vector<uint8_t> row(600, 30);
    row[1] = 31;
    row[599] = 32;
    SeenEntries seen;
    seen.Mark(row.data(), std::vector<int32_t>{0, 2, 599});
    EXPECT_TRUE(seen.Has(30));
    EXPECT_FALSE(seen.Has(31));
    EXPECT_TRUE(seen.Has(32));
    // The entries the columns found are the few a whole row is checked against.
    row[1] = 33;
    seen.Mark(row.data(), row.size());
    EXPECT_TRUE(seen.Has(33));
}
