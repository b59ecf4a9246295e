#include <gtest/gtest.h>

#include <string>

#include "TextBuffer.h"

TEST(TextBuffer, NullEmptyAndConcatenation)
{
    TextBuffer none;
    EXPECT_EQ(none.GetText(), nullptr);
    TextBuffer nullAssigned("x");
    nullAssigned.Assign(static_cast<const char*>(nullptr));
    EXPECT_EQ(nullAssigned.GetText(), nullptr);
    EXPECT_EQ(nullAssigned.GetCapacity(), 0);

    TextBuffer empty("");
    ASSERT_NE(empty.GetText(), nullptr);
    EXPECT_EQ(empty.GetLength(), 0);
    EXPECT_EQ(empty.GetCapacity(), 1);
    EXPECT_LT(none.Compare(empty, false), 0);
    EXPECT_EQ(none.Compare(TextBuffer(), true), 0);

    EXPECT_EQ(TextBuffer(none, none).GetText(), nullptr);
    TextBuffer joined(none, TextBuffer("abc"));
    EXPECT_STREQ(joined.GetText(), "abc");
    EXPECT_EQ(joined.GetCapacity(), 4);

    TextBuffer grown("ab");
    grown.Append("");
    grown.Append("cd");
    EXPECT_STREQ(grown.GetText(), "abcd");
    EXPECT_EQ(grown.GetLength(), 4);
    EXPECT_EQ(TextBuffer("ABC").Compare(TextBuffer("abc"), true), 0);
    EXPECT_NE(TextBuffer("ABC").Compare(TextBuffer("abc"), false), 0);
}

TEST(TextBuffer, FormatGrowsAndCutsAt65535)
{
    TextBuffer text;
    text.Format("%s", "");
    ASSERT_NE(text.GetText(), nullptr);
    EXPECT_EQ(text.GetLength(), 0);

    const std::string exact(511, 'a');
    text.Format("%s", exact.c_str());
    EXPECT_EQ(text.GetLength(), 511);
    EXPECT_EQ(text.GetCapacity(), 512);

    const std::string big(70000, 'b');
    text.Format("x%sy", big.c_str());
    EXPECT_EQ(text.GetLength(), 65535);
    EXPECT_EQ(text.GetCapacity(), 65536);
    EXPECT_EQ(text.GetText()[0], 'x');
    EXPECT_EQ(std::string(text.GetText()).find('y'), std::string::npos);

    text.Format("%d-%s", 42, "z");
    EXPECT_STREQ(text.GetText(), "42-z");
}

TEST(TextBuffer, CopiesAreDeep)
{
    TextBuffer a("one");
    TextBuffer b(a);
    b.Append("two");
    EXPECT_STREQ(a.GetText(), "one");
    TextBuffer c = std::move(b);
    EXPECT_EQ(b.GetText(), nullptr);  // NOLINT: moved-from state is defined
    EXPECT_STREQ(c.GetText(), "onetwo");
    c = c;
    EXPECT_STREQ(c.GetText(), "onetwo");
}
