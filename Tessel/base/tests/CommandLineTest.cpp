#include <gtest/gtest.h>

#include "CommandLine.h"

using Args = std::vector<std::string>;

TEST(CommandLineTest, SplitsWithTheWindowsQuotingRules)
{
    const struct {
        const char* line;
        Args expected;
    } cases[] = {
        {"", {}},
        {"gs -q  -dNOPAUSE\t-", {"gs", "-q", "-dNOPAUSE", "-"}},
        {R"("/opt/My Programs/gs" "@/home/a b/QrxWrite.cfg" -_)",
         {"/opt/My Programs/gs", "@/home/a b/QrxWrite.cfg", "-_"}},
        {R"(a\"b)", {R"(a"b)"}},                      // 1 backslash + quote: literal quote
        {R"(a\\"b c")", {R"(a\b c)"}},                // 2 backslashes + quote: one backslash, quote toggles
        {R"(a\\\"b)", {R"(a\"b)"}},                   // 3 backslashes + quote: one backslash, literal quote
        {R"("say ""hi""" x)", {R"(say "hi")", "x"}},  // "" inside quotes is a literal quote
        {R"("unterminated quote)", {"unterminated quote"}},
    };
    for (const auto& c : cases) EXPECT_EQ(CommandLine::Split(c.line), c.expected) << c.line;
    EXPECT_TRUE(CommandLine::Split(nullptr).empty());
}

TEST(CommandLineTest, QuoteGivesEveryArgumentBackUnchanged)
{
    const Args arguments = {"", "two words", R"(C:\with blank\)", R"(\\")", "tab\there", R"(a\\b\"c d)"};
    for (const std::string& argument : arguments) {
        const std::string line = CommandLine::Quote(argument);
        EXPECT_EQ(CommandLine::Split(line.c_str()), Args{argument}) << line;
    }
    EXPECT_EQ(CommandLine::Join({"/opt/My Programs/Parsimo", "/dialog"}), R"("/opt/My Programs/Parsimo" /dialog)");
}
