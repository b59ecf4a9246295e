#pragma once
// The real libCorvel.so loaded as the job processor loads it, a scratch
// folder, and direct reads of the database.
#include <grp.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Library.h"
#include "TestWorld.h"

namespace corveltest {
namespace fs = std::filesystem;

constexpr const char* kPassword = "3vorkT8";
using Details = std::array<int32_t, 8>;

// Each call loads and frees the library, as the job processor does.
template <typename... Args>
int32_t CallLibrary(const char* name, const std::string& db, const char* password, Args... args)
{
    Library library(CORVEL_LIBRARY);
    const auto call = library.GetFunction<int32_t (*)(const char*, const char*, const char*, Args...)>(name);
    return call ? call(db.c_str(), "", password, args...) : -1;
}

inline int32_t SaveJob(const std::string& db, const char* user = "ann", int32_t pages = 3, int32_t savings = 30,
                       int32_t cheque = 0, const char* password = kPassword, const char* printer = "Target",
                       const char* format = "")
{
    return CallLibrary("SaveUsageStatistics", db, password, user, printer, format, pages, savings, cheque);
}

inline int32_t SavePage(const std::string& db, int32_t id, int32_t page, const Details& d,
                        const char* password = kPassword)
{
    return CallLibrary("SaveUsageDetails", db, password, id, page, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
}

inline int32_t SaveCopies(const std::string& db, int32_t id, int32_t copies, const char* password = kPassword)
{
    return CallLibrary("SaveUsageCopies", db, password, id, copies);
}

using testworld::ReadAll;

// The first column of every row of a query, joined by "|"; "error: ..." when it fails.
inline std::string Query(const std::string& db, const std::string& sql)
{
    sqlite3* handle = nullptr;
    std::string result;
    if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(handle);
        return "error: open";
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(handle, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        result = std::string("error: ") + sqlite3_errmsg(handle);
    } else {
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            if (!result.empty()) result += "|";
            const auto* text = sqlite3_column_text(statement, 0);
            result += text ? reinterpret_cast<const char*>(text) : "NULL";
        }
        if (rc != SQLITE_DONE) result = std::string("error: ") + sqlite3_errmsg(handle);
    }
    sqlite3_finalize(statement);
    sqlite3_close(handle);
    return result;
}

// Runs SQL on a database outside the library (to shape test data).
inline bool Exec(const std::string& db, const std::string& sql)
{
    sqlite3* handle = nullptr;
    bool ok = sqlite3_open(db.c_str(), &handle) == SQLITE_OK &&
              sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(handle);
    return ok;
}

// A database as the first release left it (schema 1: no copies), with one job.
inline bool MakeFirstSchema(const std::string& db)
{
    return Exec(db, "CREATE TABLE jobs (id INTEGER PRIMARY KEY, time TEXT NOT NULL DEFAULT"
                    " (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')), user TEXT NOT NULL, printer TEXT NOT NULL,"
                    " format TEXT NOT NULL, pages INTEGER NOT NULL CHECK (pages > 0), savings INTEGER NOT NULL"
                    " CHECK (savings BETWEEN 0 AND 100), cheque INTEGER NOT NULL CHECK (cheque IN (0, 1)));"
                    "CREATE TABLE pages (job INTEGER NOT NULL REFERENCES jobs (id) ON DELETE CASCADE,"
                    " page INTEGER NOT NULL, cyan_before INTEGER, cyan_after INTEGER, magenta_before INTEGER,"
                    " magenta_after INTEGER, yellow_before INTEGER, yellow_after INTEGER, black_before INTEGER,"
                    " black_after INTEGER, PRIMARY KEY (job, page)) WITHOUT ROWID;"
                    "INSERT INTO jobs (user, printer, format, pages, savings, cheque)"
                    " VALUES ('ann', 'Office', '', 4, 30, 0);"
                    "PRAGMA application_id = 1513312339; PRAGMA user_version = 1;");
}

// A folder like the all-users folder: everyone writes, nobody removes another's files.
class SharedFolder {
public:
    SharedFolder()
    {
        std::random_device random;
        m_path = fs::temp_directory_path() / ("corvel-" + std::to_string(random()) + std::to_string(getpid()));
        fs::create_directories(m_path);
        chmod(m_path.c_str(), 01777);
    }
    ~SharedFolder() { fs::remove_all(m_path); }
    SharedFolder(const SharedFolder&) = delete;
    SharedFolder& operator=(const SharedFolder&) = delete;
    std::string Path(const std::string& name = "Parsimo.sdf") const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

// Two users without accounts: root may take any ids. Other runners stay themselves.
constexpr uid_t kUserA = 65534;
constexpr uid_t kUserB = 64321;

// Runs `work` in a child process as `uid` in `groups` (when the test runs as root); gives its pid.
inline pid_t StartAs(uid_t uid, const std::function<int()>& work, const std::vector<gid_t>& groups = {})
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgroups(groups.size(), groups.data()) != 0 || setgid(uid) != 0 || setuid(uid) != 0))
            _exit(100);
        _exit(work());
    }
    return pid;
}

inline int ExitCode(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline int RunAs(uid_t uid, const std::function<int()>& work, const std::vector<gid_t>& groups = {})
{
    return ExitCode(StartAs(uid, work, groups));
}

// Runs `work` in a child that is killed after a while: a blocked open must fail the test, not hang it.
inline int Bounded(const std::function<int()>& work)
{
    return RunAs(geteuid(), [&] {
        alarm(20);
        return work();
    });
}

inline mode_t Mode(const std::string& path)
{
    struct stat info { };
    return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}
}  // namespace corveltest
