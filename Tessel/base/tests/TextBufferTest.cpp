#include <gtest/gtest.h>

#include <string>

#include "TextBuffer.h"

TEST(TextBuffer, NullEmptyAndConcatenation)
{
    TextBuffer none("x");
    none.Assign(static_cast<const char*>(nullptr));
    EXPECT_EQ(none.GetText(), nullptr);

    TextBuffer empty("");
    ASSERT_NE(empty.GetText(), nullptr);
    EXPECT_STREQ(TextBuffer(none, TextBuffer("abc")).GetText(), "abc");
}

TEST(TextBuffer, FormatGrowsAndCutsAt65535)
{
    TextBuffer text;
    text.Format("x%sy", std::string(70000, 'b').c_str());
    EXPECT_EQ(text.GetLength(), 65535);
    EXPECT_EQ(std::string(text.GetText()).find('y'), std::string::npos);
}

// Copies are deep, and a buffer's own text may be appended to or assigned to it.
TEST(TextBuffer, CopiesAndOwnTextStayWhole)
{
    TextBuffer a("abc");
    TextBuffer b(a);
    b.Append("def");
    EXPECT_STREQ(a.GetText(), "abc");
    const TextBuffer& same = b;  // through a reference, as aliasing callers reach it
    b = same;
    EXPECT_STREQ(b.GetText(), "abcdef");
    a.Append(a.GetText() + 1);
    EXPECT_STREQ(a.GetText(), "abcbc");
    a.Assign(a.GetText() + 2);
    EXPECT_STREQ(a.GetText(), "cbc");
}
