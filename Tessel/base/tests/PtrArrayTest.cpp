#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "PtrArray.h"
#include "TextBuffer.h"

namespace {
class IntArray : public BlockArray {
public:
    int32_t Compare(const void* a, const void* b) const override
    {
        return *static_cast<const int*>(a) - *static_cast<const int*>(b);
    }
    std::vector<int> First(int count) const
    {
        std::vector<int> values;
        for (int i = 0; i < count; ++i) values.push_back(*static_cast<int*>(GetAt(i)));
        return values;
    }
};
}  // namespace

TEST(PtrArray, IndexChecksNullEntriesAndSortsBothWays)
{
    ObjectArray<TextBuffer> names;
    EXPECT_THROW(names.GetAt(0), std::runtime_error);
    names.Add(new TextBuffer("a"));
    names.Add(static_cast<TextBuffer*>(nullptr));  // skipped on destruction
    EXPECT_THROW(names.GetAt(2), std::runtime_error);

    IntArray values;  // the blocks are freed with the array
    for (int v : {5, 3, 9, 1, 7, 3}) {
        int* block = static_cast<int*>(std::malloc(sizeof(int)));
        *block = v;
        values.Add(block);
    }
    values.Add(nullptr);
    values.QuickSort(0, 5, 0);
    EXPECT_EQ(values.First(6), (std::vector<int>{1, 3, 3, 5, 7, 9}));
    values.QuickSort(0, 5, 1);
    EXPECT_EQ(values.First(6), (std::vector<int>{9, 7, 5, 3, 3, 1}));
    // A range past either end is refused before any element is touched.
    EXPECT_THROW(values.QuickSort(0, 7, 0), std::runtime_error);
    EXPECT_THROW(values.QuickSort(-1, 5, 0), std::runtime_error);
    EXPECT_EQ(values.First(6), (std::vector<int>{9, 7, 5, 3, 3, 1}));
}
