#include <gtest/gtest.h>

#include "ColourIndex.h"

TEST(ColourIndexTest, BitsFollowTheColourCountAndIndicesStayPut)
{
    ColourIndex colours;
    EXPECT_EQ(colours.BitsPerIndex(), 1);
    const int steps[][2] = {{2, 1}, {3, 2}, {4, 2}, {5, 4}, {16, 4}, {17, 8}, {256, 8}};  // colours, bits
    int added = 0;
    for (const auto& step : steps) {
        for (; added < step[0]; ++added) ASSERT_TRUE(colours.Add(static_cast<uint32_t>(added) * 0x010101u));
        EXPECT_EQ(colours.BitsPerIndex(), step[1]) << step[0] << " colours";
    }
    // Adding a known colour again changes nothing; the top byte is not part of a colour.
    EXPECT_TRUE(colours.Add(0xFF000000u | 5 * 0x010101u));
    for (int i = 0; i < 256; ++i) EXPECT_EQ(colours.IndexOf(static_cast<uint32_t>(i) * 0x010101u), i);
    EXPECT_FALSE(colours.Add(0x123456u));
    EXPECT_TRUE(colours.IsFull());
    EXPECT_EQ(colours.Count(), 256);
}
