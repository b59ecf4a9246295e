#include <gtest/gtest.h>

#include <string>

#include "TextBuffer.h"

TEST(TextBuffer, NullEmptyAndConcatenation)
{
    TextBuffer none;
    TextBuffer nullAssigned("x");
    nullAssigned.Assign(static_cast<const char*>(nullptr));
    EXPECT_EQ(nullAssigned.GetText(), nullptr);

    TextBuffer empty("");
    ASSERT_NE(empty.GetText(), nullptr);
    EXPECT_LT(none.Compare(empty, false), 0);
    EXPECT_EQ(TextBuffer(none, none).GetText(), nullptr);
    EXPECT_STREQ(TextBuffer(none, TextBuffer("abc")).GetText(), "abc");
    EXPECT_EQ(TextBuffer("ABC").Compare(TextBuffer("abc"), true), 0);
    EXPECT_NE(TextBuffer("ABC").Compare(TextBuffer("abc"), false), 0);
}

TEST(TextBuffer, FormatGrowsAndCutsAt65535)
{
    TextBuffer text;
    text.Format("%s", std::string(511, 'a').c_str());  // just fits the first buffer
    EXPECT_EQ(text.GetLength(), 511);
    text.Format("x%sy", std::string(70000, 'b').c_str());
    EXPECT_EQ(text.GetLength(), 65535);
    EXPECT_EQ(std::string(text.GetText()).find('y'), std::string::npos);
}

TEST(TextBuffer, CopiesAreDeep)
{
    TextBuffer a("one");
    TextBuffer b(a);
    b.Append("two");
    EXPECT_STREQ(a.GetText(), "one");
    TextBuffer c = std::move(b);
    EXPECT_STREQ(c.GetText(), "onetwo");
    const TextBuffer& same = c;  // through a reference, as aliasing callers reach it
    c = same;
    EXPECT_STREQ(c.GetText(), "onetwo");
}

TEST(TextBuffer, OwnTextCanBeAppendedAndAssigned)
{
    TextBuffer text("abc");
    text.Append(text.GetText());
    EXPECT_STREQ(text.GetText(), "abcabc");
    text.Append(text.GetText() + 4);
    EXPECT_STREQ(text.GetText(), "abcabcbc");
    text.Assign(text.GetText() + 3);
    EXPECT_STREQ(text.GetText(), "abcbc");
    text.Assign(text.GetText());
    EXPECT_STREQ(text.GetText(), "abcbc");
}
