#pragma once
// Helpers for the tests of child processes, message boxes and opening files.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "Log.h"

namespace childtest {

// Sets (or, given null, clears) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = getenv(name)) m_old = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { m_old ? setenv(m_name.c_str(), m_old->c_str(), 1) : unsetenv(m_name.c_str()); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// A fresh folder, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessel-child-XXXXXX").string();
        if (mkdtemp(pattern.data())) m_path = pattern;
    }
    ~TempDir() { std::filesystem::remove_all(m_path, m_ignored); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name = "") const { return name.empty() ? m_path : m_path + "/" + name; }

private:
    std::string m_path;
    std::error_code m_ignored;
};

inline std::string ReadAll(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline void WriteScript(const std::string& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// Polls a condition for a while; children run on their own time.
inline bool Eventually(const std::function<bool()>& condition)
{
    for (int i = 0; i < 2000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
}

// Sends the log, at every level, to a file of its own for one scope.
class CapturedLog {
public:
    explicit CapturedLog(const TempDir& dir) : m_path(dir.Path("test.log")), m_level(gLogLevel)
    {
        SetLogFileName(m_path.c_str());
        gLogLevel = 0;
    }
    ~CapturedLog()
    {
        SetLogFileName(nullptr);
        gLogLevel = m_level;
    }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;
    std::string Text() const { return ReadAll(m_path); }

private:
    std::string m_path;
    int m_level;
};

}  // namespace childtest
