#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
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
    void AddInt(int v)
    {
        int* block = static_cast<int*>(std::malloc(sizeof(int)));
        *block = v;
        Add(block);
    }
    int At(int i) const { return *static_cast<int*>(GetAt(i)); }
};
}  // namespace

TEST(PtrArray, IndexChecksAndOrder)
{
    ObjectArray<TextBuffer> names;
    EXPECT_THROW(names.GetAt(0), std::runtime_error);
    names.Add(new TextBuffer("a"));
    names.Add(static_cast<TextBuffer*>(nullptr));  // skipped on destruction
    names.Add(new TextBuffer("c"));
    EXPECT_EQ(names.GetSize(), 3);
    EXPECT_STREQ(names.GetObjectAt(2)->GetText(), "c");
    try {
        names.GetAt(3);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid Array Index Value.");
    }
    EXPECT_THROW(names.GetAt(-1), std::runtime_error);
    names.Sort(0);  // base order compares all equal: nothing breaks
}

TEST(PtrArray, SortsBothWaysAndFreesBlocks)
{
    IntArray values;
    values.Sort(0);
    for (int v : {5, 3, 9, 1, 7, 3}) values.AddInt(v);
    values.Add(nullptr);
    values.QuickSort(0, 5, 0);
    const int ascending[] = {1, 3, 3, 5, 7, 9};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(values.At(i), ascending[i]);
    values.QuickSort(0, 5, 1);
    const int descending[] = {9, 7, 5, 3, 3, 1};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(values.At(i), descending[i]);
}
