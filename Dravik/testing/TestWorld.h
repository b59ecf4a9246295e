#pragma once
// A private world for one test: hive files, data folders, printers folder and
// a recording opener, all inside one temporary folder named by TESSEL_* variables.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace testworld {
namespace fs = std::filesystem;

inline std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::string Dword(uint32_t v)
{
    char text[32];
    std::snprintf(text, sizeof text, "dword:%08x", v);
    return text;
}
inline std::string Sz(const std::string& v)
{
    std::string out = "\"";
    for (char c : v) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

struct RunResult {
    int status = -1;
    std::string out, err;
};

class World {
public:
    World()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() / (std::string("parsimo-") + info->test_suite_name() + "-" + info->name() +
                                            "-" + std::to_string(getpid()));
        fs::remove_all(root);
        for (const char* d : {"user", "common", "docs", "system", "install", "printers", "etc"})
            fs::create_directories(root / d);
        Set("TESSEL_HKCU", (root / "etc/user.reg").string());
        Set("TESSEL_HKLM", (root / "etc/machine.reg").string());
        Set("TESSEL_APPDATA", (root / "user").string());
        Set("TESSEL_COMMON_APPDATA", (root / "common").string());
        Set("TESSEL_COMMON_DOCUMENTS", (root / "docs").string());
        Set("TESSEL_PRINTERS", (root / "printers").string());
        Set("TESSEL_DOCUMENTS", (root / "documents").string());
        Set("TESSEL_MESSAGEBOX", "stderr");
        opened = root / "opened.txt";
        const fs::path opener = root / "opener.sh";
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << opened.string() << "'\n";
        fs::permissions(opener, fs::perms::owner_all);
        Set("TESSEL_OPENER", opener.string());
    }
    ~World()
    {
        for (const auto& [name, old] : saved) {
            if (old.has_value())
                setenv(name.c_str(), old->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        fs::remove_all(root);
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    void Set(const std::string& name, const std::string& value)
    {
        if (!saved.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        setenv(name.c_str(), value.c_str(), 1);
    }

    using Values = std::vector<std::pair<std::string, std::string>>;
    static void WriteHive(const fs::path& file, const std::map<std::string, Values>& keys)
    {
        std::ofstream out(file, std::ios::binary);
        out << "REGEDIT4\r\n";
        for (const auto& [key, values] : keys) {
            out << "\r\n[" << key << "]\r\n";
            for (const auto& [name, data] : values) out << "\"" << name << "\"=" << data << "\r\n";
        }
    }
    // The installation key and a settings key with the given values.
    void Install(const Values& settings, const Values& extraMachine = {})
    {
        Values machine = {{"InstallDir", Sz((root / "install").string())}, {"ProductVersion", Sz("1.0.0")}};
        machine.insert(machine.end(), extraMachine.begin(), extraMachine.end());
        WriteHive(root / "etc/machine.reg", {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\QMVK\\Parsimo", machine}});
        Settings(settings);
    }
    void Settings(const Values& settings, const Values& job = {})
    {
        std::map<std::string, Values> keys = {{"HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo", settings}};
        if (!job.empty()) keys["HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\QRXPort"] = job;
        WriteHive(root / "etc/user.reg", keys);
    }
    fs::path DataDir() const { return root / "user/QMVK/Parsimo"; }
    fs::path OutputDir() const { return root / "documents/Parsimo"; }
    fs::path UserLog() const { return DataDir() / "Parsimo.log"; }
    fs::path CommonLog() const { return root / "common/QMVK/Parsimo/Parsimo.log"; }

    // Runs a program with an argument vector, stdin from a file (or /dev/null).
    static RunResult Run(const std::vector<std::string>& args, const std::string& stdinFile = "/dev/null")
    {
        int outPipe[2], errPipe[2];
        // Close-on-exec: a command started meanwhile from another thread
        // (a job run beside a desktop tool) must not hold these pipes open,
        // or this reader waits for that command's end.
        if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return {};
        const pid_t pid = Spawn(args, stdinFile, outPipe[1], errPipe[1]);
        close(outPipe[1]);
        close(errPipe[1]);
        RunResult result;
        std::thread errReader([&] { Drain(errPipe[0], result.err); });
        Drain(outPipe[0], result.out);
        errReader.join();
        result.status = Reap(pid);
        return result;
    }

    // Starts a program with an argument vector, stdin from a file, stdout and stderr onto the descriptors.
    static pid_t Spawn(const std::vector<std::string>& args, const std::string& stdinFile, int out, int err)
    {
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(open(stdinFile.c_str(), O_RDONLY), 0);
            dup2(out, 1);
            dup2(err, 2);
            std::vector<char*> argv;
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }
    // Waits for a started program; its exit status, or 128 and the signal that ended it.
    static int Reap(pid_t pid)
    {
        int status = 0;
        if (waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // Writes a PostScript job into the world; returns its path.
    std::string Job(const std::string& body, const std::string& name = "job.ps") const
    {
        std::ofstream(root / name) << "%!PS\n" << body;
        return (root / name).string();
    }
    static RunResult Dravik(const std::vector<std::string>& args, const std::string& in = "/dev/null")
    {
        std::vector<std::string> argv = {DRAVIK_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        return Run(argv, in);
    }

    fs::path root;
    fs::path opened;

private:
    static void Drain(int fd, std::string& into)
    {
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) into.append(buffer, static_cast<size_t>(n));
        close(fd);
    }
    std::map<std::string, std::optional<std::string>> saved;
};
struct Gray {
    int width = 0, height = 0;
    std::string pixels;
    unsigned char At(int x, int y) const
    {
        return static_cast<unsigned char>(pixels[static_cast<size_t>(y) * width + x]);
    }
};

// One page rasterized as 8-bit gray by Ghostscript, which samples an image
// scaled by a whole factor exactly (a smoothing rasterizer would blur the pattern).
inline Gray Rasterize(const std::filesystem::path& pdf, int page, int dpi, const std::filesystem::path& scratch)
{
    const std::string out = (scratch / "page.pgm").string();
    World::Run({"/usr/bin/gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pgmraw", "-r" + std::to_string(dpi),
                "-dFirstPage=" + std::to_string(page), "-dLastPage=" + std::to_string(page), "-sOutputFile=" + out,
                pdf.string()});
    // Ghostscript writes "P5", a comment line, "width height", "255", then the pixels.
    std::istringstream in(ReadAll(out));
    std::string line;
    Gray image;
    std::getline(in, line);
    while (std::getline(in, line) && line[0] == '#') { }
    std::istringstream(line) >> image.width >> image.height;
    std::getline(in, line);
    image.pixels.assign(std::istreambuf_iterator<char>(in), {});
    return image;
}

}  // namespace testworld
