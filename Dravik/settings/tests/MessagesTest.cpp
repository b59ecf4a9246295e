#include <gtest/gtest.h>

#include "Messages.h"
#include "TestWorld.h"

TEST(Messages, LanguageColumnFollowsTheLocale)
{
    testworld::World world;
    world.Set("LC_ALL", "");
    world.Set("LC_MESSAGES", "");
    const std::pair<const char*, int> cases[] = {{"de_CH.UTF-8", 1}, {"fr_FR", 2}, {"es_ES", 3}, {"it_IT", 4},
                                                 {"en_US.UTF-8", 0}, {"pt_BR", 0}, {"C", 0}};
    for (const auto& [lang, column] : cases) {
        world.Set("LANG", lang);
        EXPECT_EQ(GetLanguageIndex(), column) << lang;
    }
    world.Set("LC_ALL", "de_DE");
    EXPECT_EQ(GetLanguageIndex(), 1);
    EXPECT_STREQ(GetMessageText(MSG_GS_NOT_FOUND), "Ghostscript installation not found!");
}

TEST(Messages, PlaceholdersAreFilledNotFormatted)
{
    EXPECT_STREQ(FormatMessageText(MSG_IMAGE_FORMAT, "%n%s").GetText(), "This image format (%n%s) is not supported!");
    EXPECT_STREQ(FormatMessageText(MSG_NEW_PDF, "_dk_0001.tm_.pdf", "/data/").GetText(),
                 "The new .PDF file _dk_0001.tm_.pdf is located in the folder /data/. Do you want to open this "
                 "folder right now?");
    EXPECT_STREQ(FormatMessageText(MSG_GS_NOT_FOUND).GetText(), "Ghostscript installation not found!");
}
