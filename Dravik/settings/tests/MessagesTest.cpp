#include <gtest/gtest.h>

#include "Messages.h"

TEST(Messages, PlaceholdersAreFilledNotFormatted)
{
    EXPECT_STREQ(FormatMessageText(MSG_IMAGE_FORMAT, "%n%s").GetText(), "This image format (%n%s) is not supported!");
    EXPECT_STREQ(FormatMessageText(MSG_NEW_PDF, "%s", "/data/").GetText(),
                 "The new .PDF file %s is located in the folder /data/. Do you want to open this folder right now?");
}
