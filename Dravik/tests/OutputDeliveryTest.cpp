#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "AppEnvironment.h"
#include "Dravik.h"
#include "GhostScript.h"
#include "Log.h"
#include "OutputDelivery.h"
#include "TestJobs.h"
#include "TestWorld.h"

namespace fs = std::filesystem;

namespace {

class OutputDelivery : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(world.DataDir());
        dataDir = world.DataDir().string() + "/";
        SetLogFileName((world.root / "test.log").c_str());
        gAppEnv = &env;
        gs = std::make_unique<GhostScript>(dataDir.c_str(), "");
        gGhostscript = gs.get();
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
        WriteWholeFile(bin / "xdg-mime",
                       "#!/bin/sh\n"
                       "if [ \"$2\" = filetype ]; then case \"$3\" in *.pdf) echo application/pdf;; "
                       "*.jpg) echo image/jpeg;; *) echo image/bmp;; esac; exit 0; fi\n"
                       "case \" " + types + " \" in *\" $3 \"*) echo viewer.desktop;; esac\n");
        WriteWholeFile(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + world.opened.string() + "'\n");
        for (const char* tool : {"xdg-mime", "xdg-open"}) fs::permissions(bin / tool, fs::perms::owner_all);
        world.Set("TESSEL_OPENER", "");
        world.Set("PATH", bin.string() + ":" + std::getenv("PATH"));
    }

    // What the opener was given, once it has had time to write it down.
    std::string Opened(size_t lines)
    {
        for (int i = 0; i < 200; ++i) {
            const std::string text = ReadWholeFile(world.opened);
            if (size_t(std::count(text.begin(), text.end(), '\n')) >= lines) return text;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return ReadWholeFile(world.opened);
    }

    void MakeFiles(const char* extension)
    {
        for (const char* name : {"_dk_0002.tm_", "_dk_0001.tm_", "_dk_0003.tm_"})
            WriteWholeFile(dataDir + name + extension, "x");
    }

    std::string DeliverCapturingMessages()
    {
        ::testing::internal::CaptureStderr();
        DeliverOutput();
        return ::testing::internal::GetCapturedStderr();
    }

    testworld::World world;
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    std::string dataDir;
    std::unique_ptr<GhostScript> gs;
};

}  // namespace

TEST_F(OutputDelivery, PdfOpensItsFirstFileWithoutAQuestion)
{
    CopyField(gs->GSDevice, "PDFWRITE");
    MakeFiles(".pdf");
    EXPECT_EQ(DeliverCapturingMessages(), "");
    EXPECT_EQ(Opened(1), dataDir + "_dk_0001.tm_.pdf\n");
}

TEST_F(OutputDelivery, PdfWithoutApplicationOffersTheFolder)
{
    CopyField(gs->GSDevice, "pdfwrite");
    MakeFiles(".pdf");
    DesktopKnows("inode/directory");
    world.Set("TESSEL_MESSAGEBOX", "yes");
    const std::string asked = DeliverCapturingMessages();
    EXPECT_NE(asked.find("_dk_0001.tm_.pdf"), std::string::npos) << asked;
    EXPECT_NE(asked.find(dataDir), std::string::npos) << asked;
    EXPECT_EQ(Opened(1), dataDir + "\n");
    EXPECT_NE(ReadWholeFile(world.root / "test.log").find("There is no application associated with the .PDF extension!\r\n"),
              std::string::npos);
}

TEST_F(OutputDelivery, ImagesOpenTheFirstImageOrOfferTheFolder)
{
    CopyField(gs->GSDevice, "jpeg");
    MakeFiles(".jpg");
    DesktopKnows("image/jpeg");
    EXPECT_EQ(DeliverCapturingMessages(), "");
    EXPECT_EQ(Opened(1), dataDir + "_dk_0001.tm_.jpg\n");

    // No viewer for BMP, and the user declines the folder: nothing more opens.
    fs::remove(world.opened);
    CopyField(gs->GSDevice, "bmp16m");
    for (const auto& entry : fs::directory_iterator(world.DataDir())) fs::remove(entry.path());
    MakeFiles("");  // a "-file" run: page files without extension
    world.Set("TESSEL_MESSAGEBOX", "no");
    const std::string asked = DeliverCapturingMessages();
    EXPECT_NE(asked.find("_dk_0001.tm_"), std::string::npos) << asked;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(world.opened));
    EXPECT_NE(ReadWholeFile(world.root / "test.log").find("Could not open an image viewer for"), std::string::npos);
}

TEST_F(OutputDelivery, NoFilesOrOtherDevicesShowNothing)
{
    for (const char* device : {"pdfwrite", "jpeg", "bmp256"}) {
        CopyField(gs->GSDevice, device);
        EXPECT_EQ(DeliverCapturingMessages(), "") << device;
    }
    CopyField(gs->GSDevice, "tiffg4");
    MakeFiles(".tif");
    EXPECT_EQ(DeliverCapturingMessages(), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(world.opened));
}

// Ghostscript writing PDF, JPEG and BMP files itself, then their delivery.
TEST_F(OutputDelivery, FileoutRunsLeaveTheirFilesAndShowTheFirst)
{
    ASSERT_TRUE(gs->GSPath[0]) << "gs not found";
    const std::string job = (world.root / "two pages.ps").string();
    WriteWholeFile(job, LetterJob(2));
    struct Case {
        const char* device;
        const char* extension;
    };
    for (const Case& c : {Case{"pdfwrite", ".pdf"}, Case{"jpeg", ".jpg"}, Case{"bmp256", ".bmp"},
                          Case{"bmp16m", ".bmp"}}) {
        SCOPED_TRACE(c.device);
        for (const auto& entry : fs::directory_iterator(world.DataDir())) fs::remove(entry.path());
        fs::remove(world.opened);
        CopyField(gs->GSDevice, c.device);
        CopyField(gs->GSOutputFile, (std::string("_dk_%04d.tm_") + c.extension).c_str());
        CopyField(gs->GSInputFile, job.c_str());
        gs->GSOutputMethod = FILEOUT;
        gs->Run(nullptr);
        const std::string first = dataDir + "_dk_0001.tm_" + c.extension;
        ASSERT_TRUE(fs::exists(first));
        if (c.extension != std::string(".pdf")) {
            EXPECT_TRUE(fs::exists(dataDir + "_dk_0002.tm_" + c.extension));
        }
        EXPECT_EQ(DeliverCapturingMessages(), "");
        EXPECT_EQ(Opened(1), first + "\n");
    }
}
