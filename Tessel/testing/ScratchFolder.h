#pragma once
// Shared test helpers: a temporary folder, a scoped environment variable, a
// captured log, stand-in programs for child process tests.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "Log.h"

// A fresh folder below the system's temporary folder, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() /
                 ("tessel-" + std::to_string(random()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string Path(const std::string& name = {}) const
    {
        return name.empty() ? m_path.string() : (m_path / name).string();
    }

    std::string Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(Path(name), std::ios::binary) << text;
        return Path(name);
    }

    // A shell script the owner may run, standing in for a desktop program.
    std::string WriteScript(const std::string& name, const std::string& body) const
    {
        Write(name, "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(Path(name), std::filesystem::perms::owner_all);
        return Path(name);
    }

    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path m_path;
};

// Sets (or unsets, with null) an environment variable for the life of the object.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name)) m_old = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedVariable() { m_old ? setenv(m_name.c_str(), m_old->c_str(), 1) : unsetenv(m_name.c_str()); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Sends the log to a file of the scratch folder, at every level, while it lives.
class ScopedLog {
public:
    explicit ScopedLog(const ScratchFolder& folder)
        : m_path(folder.Path("test.log")), m_old(gLogFileName), m_level(gLogLevel)
    {
        SetLogFileName(m_path.c_str());
        gLogLevel = 0;
    }
    ~ScopedLog()
    {
        SetLogFileName(m_old.c_str());
        gLogLevel = m_level;
    }
    ScopedLog(const ScopedLog&) = delete;
    ScopedLog& operator=(const ScopedLog&) = delete;
    const std::string& Path() const { return m_path; }
    std::string Text() const { return ScratchFolder::Read(m_path); }

private:
    std::string m_path;
    std::string m_old;
    int m_level;
};

// Polls a condition for up to ten seconds; children run on their own time.
inline bool Eventually(const std::function<bool()>& condition)
{
    for (int i = 0; i < 2000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
}
