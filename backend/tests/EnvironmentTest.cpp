#include <gtest/gtest.h>

#include <set>
#include <string>

#include "DesktopSession.h"
#include "DravikEnvironment.h"

namespace {
const UserAccount kAlice{"alice", 1000, 1000, "/home/alice", "/bin/bash"};
}  // namespace

TEST(DravikEnvironment, OnlyWhatTheJobProcessorNeeds)
{
    const std::vector<std::string> given = {"PATH=/usr/lib/cups/filter:/usr/bin",
                                            "CUPS_SERVER=/tmp/cups.sock",
                                            "TESSEL_HKLM=/opt/machine.reg",
                                            "LD_PRELOAD=/tmp/evil.so",
                                            "HOME=/root",
                                            "LANG=de_DE.UTF-8",
                                            "TESSEL_X"};
    DesktopSession none;
    const std::vector<std::string> env = DravikEnvironment::Build(kAlice, given, none);
    const std::set<std::string> got(env.begin(), env.end());
    const std::set<std::string> expected = {"HOME=/home/alice",
                                            "USER=alice",
                                            "LOGNAME=alice",
                                            "PATH=/usr/lib/cups/filter:/usr/bin",
                                            "LANG=de_DE.UTF-8",
                                            "CUPS_SERVER=/tmp/cups.sock",
                                            "TESSEL_HKLM=/opt/machine.reg"};
    EXPECT_EQ(got, expected);
    EXPECT_EQ(DravikEnvironment::HivePath(env), "/home/alice/.config/tessel/user.reg");

    const DesktopSession desktop{"/run/user/1000", ":0", "", "/home/alice/.Xauthority", "unix:path=/run/user/1000/bus"};
    const std::vector<std::string> withDesktop =
        DravikEnvironment::Build(kAlice, {"TESSEL_HKCU=/tmp/alice.reg"}, desktop);
    for (const char* entry : {"PATH=/usr/local/bin:/usr/bin:/bin", "DISPLAY=:0", "XAUTHORITY=/home/alice/.Xauthority"})
        EXPECT_NE(std::find(withDesktop.begin(), withDesktop.end(), entry), withDesktop.end()) << entry;
    EXPECT_EQ(DravikEnvironment::HivePath(withDesktop), "/tmp/alice.reg");
}

TEST(DesktopSession, FromLogindAnswers)
{
    const std::set<std::string> present = {"/run/user/1000", "/run/user/1000/bus", "/run/user/1000/wayland-0",
                                           "/home/alice/.Xauthority"};
    const auto exists = [&](const std::string& path) { return present.count(path) > 0; };
    const std::string user = "RuntimePath=/run/user/1000\nDisplay=3\n";

    const DesktopSession x11 =
        DesktopSession::FromLogind(user, "Type=x11\nDisplay=:0\nRemote=no\nState=active\n", kAlice, exists);
    EXPECT_EQ(x11.display, ":0");
    EXPECT_EQ(x11.xauthority, "/home/alice/.Xauthority");

    const DesktopSession wayland =
        DesktopSession::FromLogind(user, "Type=wayland\nDisplay=\nRemote=no\nState=online\n", kAlice, exists);
    EXPECT_EQ(wayland.waylandDisplay, "wayland-0");

    // A remote or text session, or a display value that is no display, shows nothing.
    for (const char* session :
         {"Type=x11\nDisplay=:0\nRemote=yes\nState=active\n", "Type=x11\nDisplay=:0\nRemote=no\nState=closing\n",
          "Type=x11\nDisplay=host:0;rm\nRemote=no\nState=active\n"}) {
        const DesktopSession s = DesktopSession::FromLogind(user, session, kAlice, exists);
        EXPECT_EQ(s.display, "") << session;
        EXPECT_EQ(s.waylandDisplay, "") << session;
        EXPECT_EQ(s.busAddress, "unix:path=/run/user/1000/bus") << session;
    }
    // Without logind: the usual runtime folder when it exists, else nothing.
    EXPECT_EQ(DesktopSession::FromLogind("", "", kAlice, exists).runtimeDir, "/run/user/1000");
}
