#include <gtest/gtest.h>

#include <string>

#include "PpdFile.h"

namespace {
bool Parse(PpdFile& ppd, const std::string& text)
{
    return ppd.Parse(text.data(), text.size());
}
}  // namespace

TEST(PpdFileTest, HostileLinesAreSkippedAndLimitsHold)
{
    PpdFile ppd;
    EXPECT_FALSE(Parse(ppd, ""));
    EXPECT_FALSE(Parse(ppd,
                       "*PaperDimension A: \"-5 10\"\n*PaperDimension B: \"inf 10\"\n*PaperDimension C: \"10\"\n"
                       "*PaperDimension E: \"99999 10\"\n*PaperDimension: \"10 10\"\n*ImageableArea F: \"1 2 3 4\"\n"));
    // An area larger than its sheet, or inverted, falls back to the whole sheet.
    ASSERT_TRUE(Parse(ppd, "*PaperDimension G: \"100 200\"\n*ImageableArea G: \"0 0 150 200\"\n"
                           "*PaperDimension H: \"100 200\"\n*ImageableArea H: \"50 50 10 10\"\n"
                           "*DefaultPageSize: Missing\n*DefaultResolution: lots\n"));
    EXPECT_DOUBLE_EQ(ppd.FindPageSize("G")->right, 100.0);
    EXPECT_DOUBLE_EQ(ppd.FindPageSize("H")->left, 0.0);
    EXPECT_EQ(ppd.GetDefaultPageSize()->name, "G");
    // An unterminated quote swallows the rest but nothing beyond the text.
    EXPECT_TRUE(Parse(ppd, "*PaperDimension K: \"72 72\"\n*NickName: \"never ends\n*PaperDimension L: \"1 1\"\n"));
    EXPECT_EQ(ppd.GetPageSizes().size(), 1u);
    // Counts are bounded.
    std::string many;
    for (size_t i = 0; i < PpdFile::kMaxPageSizes + 50; ++i)
        many += "*PaperDimension P" + std::to_string(i) + ": \"10 10\"\n";
    ASSERT_TRUE(Parse(ppd, many));
    EXPECT_EQ(ppd.GetPageSizes().size(), PpdFile::kMaxPageSizes);
    std::string huge(PpdFile::kMaxFileSize + 1, ' ');
    EXPECT_FALSE(Parse(ppd, huge));
}
