#include "DarkEdges.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// The edges of a row found pixel by pixel.
std::vector<int32_t> Reference(const bool (&dark)[256], const uint8_t* row, int32_t width)
{
    std::vector<int32_t> edges;
    bool inDark = false;
    for (int32_t x = 0; x < width; ++x)
        if (dark[row[x]] != inDark) {
            edges.push_back(x);
            inDark = !inDark;
        }
    if (inDark) edges.push_back(width);
    return edges;
}

}  // namespace

TEST(DarkEdgesTest, RowsOfEveryLengthAndPlaceReadAsPixelByPixel)
{
    // Rows of paper with runs of ink, a dither of other values, the two
    // mixed, and paper with a pixel of another value here and there, at every length up to three blocks and every byte
    // alignment, each in a block of its own size so that a read past it is caught. Tables where paper or ink read the
    // other way, or all values alike.
    std::mt19937 random(11);
    bool threshold[256], scattered[256], allDark[256], allLight[256];
    for (int v = 0; v < 256; ++v) {
        threshold[v] = v < 128;
        scattered[v] = random() % 2 == 0;
        allDark[v] = true;
        allLight[v] = false;
    }
    scattered[200] = false, scattered[3] = true;
    struct Table {
        const bool (&dark)[256];
        uint8_t paper, ink;
    };
    const Table tables[] = {
        {threshold, 255, 0}, {scattered, 200, 3}, {allDark, 255, 0}, {allLight, 255, 0}, {threshold, 0, 255}};
    for (const Table& table : tables) {
        const DarkEdges rows(table.dark, table.paper, table.ink);
        for (int32_t width = 0; width <= 200; ++width)
            for (int32_t offset = 0; offset < 16; ++offset)
                for (int mix = 0; mix < 4; ++mix) {
                    std::vector<uint8_t> block(static_cast<size_t>(offset + width));
                    uint8_t* row = block.data() + offset;
                    for (int32_t x = 0; x < width; ++x) {
                        const uint32_t pick = random() % 100;
                        const bool other = mix == 1 || (mix == 2 && pick < 30) || (mix == 3 && pick == 0);
                        const bool ink = mix == 0 ? (x / 7 + static_cast<int32_t>(pick) / 90) % 3 == 0 : pick == 1;
                        row[x] = other ? static_cast<uint8_t>(random()) : ink ? table.ink : table.paper;
                    }
                    std::vector<int32_t> edges(static_cast<size_t>(width) + 1);
                    edges.resize(
                        static_cast<size_t>(rows.Find(row, width, edges.data(), mix % 2 == 0 ? row : nullptr)));
                    ASSERT_EQ(edges, Reference(table.dark, row, width))
                        << "width " << width << ", offset " << offset << ", mix " << mix;
                }
    }
}
