#pragma once
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

#include "UsageFigures.h"

struct sqlite3;

// The statistics database: one row per job, one per page with coverage figures.
// Ours is recognised by its application id; its schema version (user_version)
// is migrated forward when a writer opens it. A file that is not ours, or of a
// newer version, is left exactly as it is.
//
// A reader treats the file as hostile: it opens it read-only, never rolls a
// journal back (one beside a file of another user is not even looked at),
// accepts only real tables as `jobs` and `pages`, and ends any statement
// that runs past its time limit.
class UsageDatabase {
public:
    static constexpr int32_t kApplicationId = 0x5A335053;
    static constexpr int32_t kSchemaVersion = 3;
    static constexpr int kMaxText = 260;
    static constexpr int32_t kMaxCoverage = 10000;
    // The processor time a reader's statements may take together, from the
    // opening. Processor time, so that a busy machine does not fail a large
    // honest database (a million jobs take about two seconds).
    static constexpr std::chrono::milliseconds kReadTimeLimit{10000};
    // The longest text or blob a reader takes from the file.
    static constexpr int kMaxReadLength = 1 << 20;

    enum class Access { Write, Read };
    // Opens (and for Write creates or migrates) the database; see IsOpen and Error.
    UsageDatabase(const char* path, Access access, std::chrono::milliseconds readTimeLimit = kReadTimeLimit);
    virtual ~UsageDatabase();
    UsageDatabase(const UsageDatabase&) = delete;
    UsageDatabase& operator=(const UsageDatabase&) = delete;

    bool IsOpen() const { return m_pDb != nullptr; }
    // Opened for reading, but nothing was ever recorded in it.
    bool IsEmpty() const { return m_empty; }
    // The schema version of a database opened for reading (it may be older).
    int32_t Version() const { return m_version; }
    // Why the database could not be opened or the last write failed.
    const std::string& Error() const { return m_error; }

    // The new job's id (it fits the 32 bits the detail calls carry), 0 when nothing was written.
    int32_t AddJob(const JobFigures& job);
    // False when nothing was written (no such job, page already there, figures out of range).
    bool AddPage(int64_t job, int32_t page, const PageFigures& figures);
    // False when nothing was written (no such job, copies below one).
    bool SetCopies(int64_t job, int32_t copies);

    // For the report's own queries; valid while the object lives.
    sqlite3* Handle() const { return m_pDb; }

private:
    bool Configure(Access access, std::chrono::milliseconds readTimeLimit);
    bool CheckOwnership(bool& fresh, int32_t& version);
    bool CheckTables();
    static int PastDeadline(void* self);
    bool Migrate();
    bool Exec(const char* sql);
    bool Fail(const std::string& what);
    void Close();

    sqlite3* m_pDb = nullptr;
    std::string m_path;
    std::string m_error;
    bool m_empty = false;
    int32_t m_version = kSchemaVersion;
    std::clock_t m_deadline = 0;
};
