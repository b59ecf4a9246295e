// The dialog for real: a private X server (Xvfb), the real job processor
// starting the real settings program, and keys sent as a user would.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <sstream>

#include "JobExit.h"
#include "ParsimoRun.h"
#include "Printers.h"

using testworld::Dword;
using testworld::ReadAll;
using testworld::RunResult;
using testworld::Sz;
using testworld::World;
namespace fs = std::filesystem;

namespace {
constexpr const char* kXvfb = "/usr/bin/Xvfb";

// An X server of its own for one test; it ends with the object.
class VirtualDisplay {
public:
    VirtualDisplay()
    {
        int fds[2];
        if (pipe(fds) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const int devNull = open("/dev/null", O_RDWR);
            dup2(devNull, 1);
            dup2(devNull, 2);
            const std::string fd = std::to_string(fds[1]);
            // -noreset: by default the server resets whenever its last client
            // leaves, as each xdotool search does, and a dialog connecting
            // during a reset finds no display.
            execl(kXvfb, kXvfb, "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                  "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The server writes its display number when it is ready for clients.
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
        close(fds[0]);
        if (!number.empty()) m_name = ":" + number;
    }
    ~VirtualDisplay()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;
    const std::string& Name() const { return m_name; }

private:
    pid_t m_pid = -1;
    std::string m_name;
};

class SettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kXvfb)) GTEST_SKIP() << "Xvfb is not installed";
        m_display = std::make_unique<VirtualDisplay>();
        ASSERT_FALSE(m_display->Name().empty()) << "Xvfb did not start";
        m_world = std::make_unique<World>();
        World& w = *m_world;
        w.Set("DISPLAY", m_display->Name());
        w.Set("WAYLAND_DISPLAY", "");
        // The cairo renderer needs no GPU; client-side decorations show the
        // title in the screenshot, as a desktop would.
        w.Set("GSK_RENDERER", "cairo");
        w.Set("GTK_CSD", "1");
        w.Set("NO_AT_BRIDGE", "1");
        w.Set("CUPS_SERVER", (w.root / "no-scheduler.sock").string());
        w.Install({{"ShowDialog", Dword(1)},
                   {"SavingsPercentage", Dword(30)},
                   {"PrinterName", Sz("Parsimo")},
                   {"TargetPrinterName", Sz("Target")}},
                  {{"MinimumSaving", Dword(20)}});
        AddLocalPrinter(w, "Parsimo");
        AddLocalPrinter(w, "Target");
        // The job processor starts <InstallDir>Parsimo, which hands the
        // windows to ParsimoGtk beside it.
        fs::copy_file(PARSIMO_EXE, w.root / "install/Parsimo");
        fs::copy_file(PARSIMO_GTK_EXE, w.root / "install/ParsimoGtk");
    }

    // Starts a one-page job and answers its dialog with the key.
    RunResult JobWithKey(const char* key, const std::string& screenshot = {})
    {
        const std::string job = m_world->Job("0 setgray 72 420 468 220 rectfill showpage\n");
        return Answer(std::async(std::launch::async, [job] { return World::Dravik({job}); }), "^Z3 Parsimo$", key,
                      screenshot);
    }

    // Waits for the window of that title, optionally saves a picture of it,
    // presses the keys and gives the outcome of what opened it.
    RunResult Answer(std::future<RunResult> run, const char* title, const char* key, const std::string& screenshot)
    {
        std::string window;
        for (int i = 0; i < 300 && window.empty(); ++i) {
            window = World::Run({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", title}).out;
            if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_FALSE(window.empty()) << "no dialog appeared";
        if (!window.empty()) {
            window = window.substr(0, window.find('\n'));
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the first frame is drawn
            if (!screenshot.empty()) {
                EXPECT_EQ(World::Run({"/usr/bin/import", "-window", window, screenshot}).status, 0);
            }
            // On a loaded machine the first key can come before the dialog
            // takes keys: it is sent again until the job ends, and a job that
            // never ends is stopped so that the test fails instead of hanging.
            for (int attempt = 0; attempt < 15; ++attempt) {
                World::Run({"/usr/bin/xdotool", "windowfocus", window});
                std::vector<std::string> press = {"/usr/bin/xdotool", "key", "--delay", "200"};
                for (std::istringstream keys(key); keys >> press.emplace_back();) { }
                press.pop_back();
                World::Run(press);
                if (run.wait_for(std::chrono::seconds(4)) == std::future_status::ready) break;
            }
        }
        if (run.wait_for(std::chrono::seconds(window.empty() ? 30 : 0)) != std::future_status::ready) {
            ADD_FAILURE() << "the job did not end after the key";
            World::Run({"/usr/bin/pkill", "-KILL", "-f", m_world->root.string()});
        }
        return run.get();
    }

    // The answer stored for the job processor: cancelled (1) or not (0).
    bool StoredCancellation(int answer) const
    {
        return ReadAll(m_world->root / "etc/user.reg")
                   .find("\"PrintJobCancellation\"=dword:0000000" + std::to_string(answer)) != std::string::npos;
    }

    std::unique_ptr<VirtualDisplay> m_display;
    std::unique_ptr<World> m_world;
};
}  // namespace

// Escape cancels the job with no page printed, Enter prints it; the answer
// is stored for the job processor either way. The dialog starts from the
// saving the job asked for and offers nothing below the machine's minimum:
// left as it is, the job gets its own saving and the user's setting stays;
// moved, it is the user's for this job too.
TEST_F(SettingsDialogTest, EscapeCancelsEnterPrintsWithinTheMachinesMinimum)
{
    m_world->Set("PARSIMO_TONER_SAVING", "75");
    RunResult r = JobWithKey("Escape", std::string(TEST_BINARY_DIR) + "/settings-dialog.png");
    EXPECT_EQ(r.status, kExitCancelled) << r.err;
    EXPECT_TRUE(PrintedFiles(*m_world).empty());
    EXPECT_TRUE(StoredCancellation(1));
    EXPECT_GT(fs::file_size(std::string(TEST_BINARY_DIR) + "/settings-dialog.png"), 10000u);

    r = JobWithKey("Return");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(StoredCancellation(0));
    EXPECT_EQ(Parsimo({"get", "SavingsPercentage"}).out, "30\n");
    EXPECT_NE(ReadAll(m_world->UserLog()).find("Toner saving: 75 (the job's TonerSaving)"), std::string::npos);

    // Home moves the scale to its lowest: the minimum, not off.
    r = JobWithKey("Home Return");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Parsimo({"get", "SavingsPercentage"}).out, "20\n");
    EXPECT_EQ(PrintedFiles(*m_world).size(), 2u);
}

// From the desktop's menu the dialog has no job: Save stores what changed,
// Close nothing, and neither touches the answer a job would wait for.
TEST_F(SettingsDialogTest, WithoutAJobItSavesOrClosesAndNeverAnswersAJob)
{
    m_world->Settings({{"SavingsPercentage", Dword(30)}, {"PrintJobCancellation", Dword(1)}});
    const std::string before = ReadAll(m_world->root / "etc/user.reg");
    const auto settings = [] { return Parsimo({"/settings"}); };
    RunResult r = Answer(std::async(std::launch::async, settings), "^Z3 Parsimo settings$", "Escape", {});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAll(m_world->root / "etc/user.reg"), before);

    // A step up on the focused toner saving, then Save (Enter). Keys sent
    // again on a loaded machine may add steps.
    r = Answer(std::async(std::launch::async, settings), "^Z3 Parsimo settings$", "Right Return", {});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_GT(std::atoi(Parsimo({"get", "SavingsPercentage"}).out.c_str()), 30);
    EXPECT_EQ(Parsimo({"get", "PrintJobCancellation"}).out, "1\n");
}

// Given a time limit (as under the queue), an unanswered dialog closes by
// itself and stores nothing; a limit that is not a number is ignored; with no
// display at all it says so and touches nothing.
TEST_F(SettingsDialogTest, AnUnansweredDialogClosesAfterItsLimitStoringNothing)
{
    const std::string before = ReadAll(m_world->root / "etc/user.reg");
    m_world->Set("PARSIMO_DIALOG_TIMEOUT", "2");
    const RunResult r = Parsimo({"/dialog"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("not answered within 2 seconds"), std::string::npos) << r.err;

    m_world->Set("PARSIMO_DIALOG_TIMEOUT", "2x");
    m_world->Set("DISPLAY", "");
    const RunResult bad = Parsimo({"/dialog"});
    EXPECT_NE(bad.err.find("PARSIMO_DIALOG_TIMEOUT=2x is not a number of seconds"), std::string::npos) << bad.err;
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(ReadAll(m_world->root / "etc/user.reg"), before);
}

// A job that cannot print says why in our own message box, which waits for
// OK; the job processor finds it through the settings program. The toolkit's
// complaint about a locale the system lacks goes to the job's log, not to
// standard error, which the queue would show as the job's state.
TEST_F(SettingsDialogTest, AFailedJobShowsItsReasonInOurMessageBox)
{
    m_world->Set("TESSEL_MESSAGEBOX", "");
    m_world->Set("LC_ALL", "xx_YY.UTF-8");
    m_world->Install({{"ShowDialog", Dword(0)}, {"PrinterName", Sz("Parsimo")}, {"TargetPrinterName", Sz("Gone")}});
    const std::string job = m_world->Job("0 setgray 72 420 468 220 rectfill showpage\n");
    const RunResult r =
        Answer(std::async(std::launch::async, [job] { return World::Dravik({job}); }), "^Z3 Parsimo$", "Return", {});
    EXPECT_EQ(r.status, 255) << r.err;
    // Shown in the window, so not on standard error as without one.
    EXPECT_EQ(r.err.find("Gone"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Locale"), std::string::npos) << r.err;
    EXPECT_NE(ReadAll(m_world->UserLog()).find("Gtk warning: Locale not supported"), std::string::npos);
    EXPECT_TRUE(PrintedFiles(*m_world).empty());
}

// A server has the command line without the windows: the job goes on as
// without a dialog, the log says why, and the commands that need a window
// say which package they need.
TEST(SettingsDialog, WithoutItsPackageTheJobGoesOnAndTheLogSaysWhy)
{
    World world;
    world.Install({{"ShowDialog", Dword(1)},
                   {"PrinterName", Sz("Parsimo")},
                   {"TargetPrinterName", Sz("Target")},
                   {"LogLevel", Dword(2)}});
    AddLocalPrinter(world, "Parsimo");
    AddLocalPrinter(world, "Target");
    fs::copy_file(PARSIMO_EXE, world.root / "install/Parsimo");
    world.Set("DISPLAY", ":99");
    world.Set("CUPS_SERVER", (world.root / "no-scheduler.sock").string());
    const RunResult r = World::Dravik({world.Job("0 setgray 72 420 468 220 rectfill showpage\n")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(PrintedFiles(world).size(), 1u);
    EXPECT_NE(ReadAll(world.UserLog()).find("The settings dialog is not installed (package parsimo-gtk)"),
              std::string::npos);

    for (const char* command : {"/settings", "/message"}) {
        const RunResult alone = World::Run({(world.root / "install/Parsimo").string(), command});
        EXPECT_EQ(alone.status, 4) << command;
        EXPECT_NE(alone.err.find("needs the package parsimo-gtk"), std::string::npos) << alone.err;
    }
}
