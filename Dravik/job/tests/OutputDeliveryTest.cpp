#include <chrono>
#include <thread>

#include "AppEnvironment.h"
#include "Dravik.h"
#include "GhostScript.h"
#include "Log.h"
#include "OutputDelivery.h"
#include "TestJobs.h"

namespace fs = std::filesystem;

namespace {

class OutputDelivery : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(world.DataDir());
        SetLogFileName((world.root / "test.log").c_str());
        gAppEnv = &env;
        gGhostscript = &gs;
    }
    void TearDown() override
    {
        gGhostscript = nullptr;
        gAppEnv = nullptr;
        SetLogFileName(nullptr);
    }

    // The stand-in desktop: xdg-mime knows a default application only for
    // the listed types; xdg-open records what it is asked to open.
    void DesktopKnows(const std::string& types)
    {
        const fs::path bin = world.root / "bin";
        fs::create_directories(bin);
        WriteWholeFile(bin / "xdg-mime", "#!/bin/sh\n"
                                         "if [ \"$2\" = filetype ]; then case \"$3\" in *.pdf) echo application/pdf;; "
                                         "*.jpg) echo image/jpeg;; *) echo image/bmp;; esac; exit 0; fi\n"
                                         "case \" " +
                                             types + " \" in *\" $3 \"*) echo viewer.desktop;; esac\n");
        WriteWholeFile(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + world.opened.string() + "'\n");
        for (const char* tool : {"xdg-mime", "xdg-open"}) fs::permissions(bin / tool, fs::perms::owner_all);
        world.Set("TESSEL_OPENER", "");
        world.Set("PATH", bin.string() + ":" + std::getenv("PATH"));
    }

    // What the opener was given, once it has had time to write it down.
    std::string Opened()
    {
        std::string text;
        for (int i = 0; i < 200 && (text = ReadAll(world.opened)).find('\n') == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return text;
    }

    // Delivers page files of the device (none for a null extension), made in
    // a listing order other than their names'.
    std::string Deliver(const char* device, const char* extension)
    {
        CopyField(gs.GSDevice, device);
        for (const char* name : {"_dk_0002.tm_", "_dk_0001.tm_", "_dk_0003.tm_"})
            if (extension) WriteWholeFile(dataDir + name + extension, "x");
        ::testing::internal::CaptureStderr();
        DeliverOutput();
        return ::testing::internal::GetCapturedStderr();  // the questions asked
    }

    testworld::World world;
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    std::string dataDir = world.DataDir().string() + "/";
    GhostScript gs{dataDir.c_str(), ""};
};

}  // namespace

TEST_F(OutputDelivery, PdfOpensItsFirstFileOrOffersTheFolder)
{
    EXPECT_EQ(Deliver("PDFWRITE", ".pdf"), "");
    EXPECT_EQ(Opened(), dataDir + "_dk_0001.tm_.pdf\n");

    fs::remove(world.opened);
    DesktopKnows("inode/directory");
    world.Set("TESSEL_MESSAGEBOX", "yes");
    const std::string asked = Deliver("pdfwrite", ".pdf");
    EXPECT_NE(asked.find("_dk_0001.tm_.pdf"), std::string::npos) << asked;
    EXPECT_NE(asked.find(dataDir), std::string::npos) << asked;
    EXPECT_EQ(Opened(), dataDir + "\n");
    EXPECT_NE(ReadAll(world.root / "test.log").find("There is no application associated with the .PDF extension!\r\n"),
              std::string::npos);
}

TEST_F(OutputDelivery, ImagesOpenTheFirstImageOrOfferTheFolder)
{
    DesktopKnows("image/jpeg");
    EXPECT_EQ(Deliver("jpeg", ".jpg"), "");
    EXPECT_EQ(Opened(), dataDir + "_dk_0001.tm_.jpg\n");

    // No viewer for BMP, and the user declines the folder: nothing more opens.
    fs::remove(world.opened);
    for (const auto& entry : fs::directory_iterator(world.DataDir())) fs::remove(entry.path());
    world.Set("TESSEL_MESSAGEBOX", "no");
    const std::string asked = Deliver("bmp16m", "");  // a "-file" run: page files without extension
    EXPECT_NE(asked.find("_dk_0001.tm_"), std::string::npos) << asked;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(world.opened));
    EXPECT_NE(ReadAll(world.root / "test.log").find("Could not open an image viewer for"), std::string::npos);
}

TEST_F(OutputDelivery, NoFilesOrOtherDevicesShowNothing)
{
    for (const char* device : {"pdfwrite", "jpeg", "bmp256"}) EXPECT_EQ(Deliver(device, nullptr), "") << device;
    EXPECT_EQ(Deliver("tiffg4", ".tif"), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(world.opened));
}
