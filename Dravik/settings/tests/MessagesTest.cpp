#include <gtest/gtest.h>

#include "Messages.h"
#include "TestWorld.h"

TEST(Messages, LanguageColumnFollowsTheLocale)
{
    testworld::World world;
    world.Set("LC_ALL", "");
    world.Set("LC_MESSAGES", "");
    const std::pair<const char*, int> cases[] = {{"de_CH.UTF-8", 1}, {"it_IT", 4}, {"pt_BR", 0}, {"C", 0}};
    for (const auto& [lang, column] : cases) {
        world.Set("LANG", lang);
        EXPECT_EQ(GetLanguageIndex(), column) << lang;
    }
    world.Set("LC_ALL", "de_DE");
    EXPECT_EQ(GetLanguageIndex(), 1);
}

TEST(Messages, PlaceholdersAreFilledNotFormatted)
{
    EXPECT_STREQ(FormatMessageText(MSG_IMAGE_FORMAT, "%n%s").GetText(), "This image format (%n%s) is not supported!");
    EXPECT_STREQ(FormatMessageText(MSG_NEW_PDF, "%s", "/data/").GetText(),
                 "The new .PDF file %s is located in the folder /data/. Do you want to open this folder right now?");
}
