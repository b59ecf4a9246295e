#include <gtest/gtest.h>

#include <string>

#include "FixedText.h"
#include "PrintJobInfo.h"
#include "ScratchFolder.h"

namespace {
class JobRecord : public ::testing::Test {
protected:
    ScratchFolder m_folder;
    ScopedVariable m_hkcu{"TESSEL_HKCU", m_folder.Path("user.reg").c_str()};
    void Write(const std::string& values)
    {
        m_folder.Write("user.reg", "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\QRXPort]\n" + values);
    }
};
}  // namespace

TEST_F(JobRecord, RecordIsReadWithSignedNumbersAndRegistryDefaults)
{
    Write("\"JobID\"=dword:0000002a\n\"PrintDocumentName\"=\"Check Document\"\n\"UserName\"=\"ann\"\n"
          "\"PaperLength\"=dword:00000bb8\n\"PrintQuality\"=dword:fffffffc\n\"TotalPages\"=dword:00000009\n");
    PrintJobInfo info;
    ASSERT_TRUE(info.ReadFromRegistry(HKEY_CURRENT_USER, "SOFTWARE\\QMVK\\QRXPort"));
    EXPECT_STREQ(info.PrintDocumentName, "Check Document");
    EXPECT_EQ(info.PrintQuality, -4);

    Write("\"JobID\"=dword:00000007\n");
    ASSERT_TRUE(info.ReadFromRegistry(HKEY_CURRENT_USER, "SOFTWARE\\QMVK\\QRXPort"));
    EXPECT_EQ(info.TotalPages, 0);  // the registry default, not the last job's
    info.PaperSize = 9;             // a missing key keeps what there was
    EXPECT_FALSE(info.ReadFromRegistry(HKEY_CURRENT_USER, "SOFTWARE\\QMVK\\Nothing"));
    EXPECT_EQ(info.PaperSize, 9);
}
