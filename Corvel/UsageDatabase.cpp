#include "UsageDatabase.h"

#include <sqlite3.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "DatabaseFile.h"
#include "GuardedVfs.h"

namespace {
// Many users print at once; a writer waits this long for another's transaction.
constexpr int kBusyTimeoutMs = 10000;
// Virtual machine steps between looks at a reader's clock.
constexpr int kStepsPerClockLook = 10000;

// Step i brings a database of version i to version i + 1.
constexpr const char* kMigrations[] = {
    "CREATE TABLE jobs ("
    " id INTEGER PRIMARY KEY,"
    " time TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')),"
    " user TEXT NOT NULL,"
    " printer TEXT NOT NULL,"
    " format TEXT NOT NULL,"
    " pages INTEGER NOT NULL CHECK (pages > 0),"
    " savings INTEGER NOT NULL CHECK (savings BETWEEN 0 AND 100),"
    " cheque INTEGER NOT NULL CHECK (cheque IN (0, 1)));"
    "CREATE INDEX jobs_by_time ON jobs (time);"
    "CREATE TABLE pages ("
    " job INTEGER NOT NULL REFERENCES jobs (id) ON DELETE CASCADE,"
    " page INTEGER NOT NULL CHECK (page > 0),"
    " cyan_before INTEGER NOT NULL CHECK (cyan_before BETWEEN 0 AND 10000),"
    " cyan_after INTEGER NOT NULL CHECK (cyan_after BETWEEN 0 AND 10000),"
    " magenta_before INTEGER NOT NULL CHECK (magenta_before BETWEEN 0 AND 10000),"
    " magenta_after INTEGER NOT NULL CHECK (magenta_after BETWEEN 0 AND 10000),"
    " yellow_before INTEGER NOT NULL CHECK (yellow_before BETWEEN 0 AND 10000),"
    " yellow_after INTEGER NOT NULL CHECK (yellow_after BETWEEN 0 AND 10000),"
    " black_before INTEGER NOT NULL CHECK (black_before BETWEEN 0 AND 10000),"
    " black_after INTEGER NOT NULL CHECK (black_after BETWEEN 0 AND 10000),"
    " PRIMARY KEY (job, page)) WITHOUT ROWID;",
    // Jobs recorded before count as printed once.
    "ALTER TABLE jobs ADD COLUMN copies INTEGER NOT NULL DEFAULT 1 CHECK (copies > 0);",
    // The computer a job came from: a print server serves many.
    "ALTER TABLE jobs ADD COLUMN host TEXT NOT NULL DEFAULT '';",
};
static_assert(std::size(kMigrations) == UsageDatabase::kSchemaVersion);

using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

Statement Prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return Statement(statement, &sqlite3_finalize);
}

bool ReadInteger(sqlite3* db, const char* sql, int64_t& value)
{
    const Statement statement = Prepare(db, sql);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return false;
    value = sqlite3_column_int64(statement.get(), 0);
    return true;
}

// A URI for SQLite that opens the file as one nobody changes: SQLite then
// takes no locks and never looks at a journal beside it.
std::string ImmutableUri(const std::string& path)
{
    std::string uri = "file:";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::strchr("/-._~", c) != nullptr) {
            uri += c;
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", byte);
            uri += escape;
        }
    }
    return uri + "?immutable=1";
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text)
{
    // Texts are fixed fields of 260 characters where they come from.
    const size_t length = std::min(text.size(), static_cast<size_t>(UsageDatabase::kMaxText));
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(length), SQLITE_TRANSIENT);
}

// Rolls back whatever a write left open unless it was committed.
class WriteScope {
public:
    // Watches the owner's handle, which a failure closes (closing rolls back too).
    explicit WriteScope(sqlite3*& db) : m_pDb(db) { }
    ~WriteScope()
    {
        if (m_pDb != nullptr && !sqlite3_get_autocommit(m_pDb))
            sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;

private:
    sqlite3*& m_pDb;
};
}  // namespace

UsageDatabase::UsageDatabase(const char* path, Access access, std::chrono::milliseconds readTimeLimit)
    : m_path(path ? path : "")
{
    const bool write = access == Access::Write;
    bool own = false;
    const DatabaseFileKind kind = write ? PrepareDatabaseFile(path, true) : InspectDatabaseFile(path, own);
    if (kind == DatabaseFileKind::Missing || kind == DatabaseFileKind::Unusable) {
        m_error = kind == DatabaseFileKind::Missing ? "does not exist" : "is not a regular file";
        return;
    }
    // Never hand SQLite a file of another format: it would take a short one for empty.
    if (kind == DatabaseFileKind::Other) {
        m_error = "is not a database";
        return;
    }
    // The journal is checked before SQLite looks at it (a planted FIFO would block it).
    const std::string journal = m_path + "-journal";
    if (PrepareDatabaseFile(journal.c_str(), false) == DatabaseFileKind::Unusable) {
        m_error = "has a journal that is not a regular file";
        return;
    }
    // A writer rolls back what a killed writer left. A reader never writes:
    // it reads its own file with locks (a hot journal then fails the read
    // until the next writer rolls it back) and another user's file as one
    // that nobody changes, without looking at the journal beside it.
    const int flags = (write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOFOLLOW |
                      SQLITE_OPEN_PRIVATECACHE | (write || own ? 0 : SQLITE_OPEN_URI);
    const std::string name = write || own ? m_path : ImmutableUri(m_path);
    if (sqlite3_open_v2(name.c_str(), &m_pDb, flags, GuardedVfs::Name()) != SQLITE_OK) {
        Fail("cannot be opened");
        return;
    }
    if (!Configure(access, readTimeLimit)) return;
    bool fresh = false;
    int32_t version = 0;
    if (!CheckOwnership(fresh, version)) return;
    m_empty = fresh;
    if (!write) {
        // Older schemas are read as they are: a reader never migrates.
        if (!fresh && version < 1) Fail("has a schema this program cannot read");
        m_version = version;
        if (!fresh && IsOpen()) CheckTables();
        return;
    }
    // The journal is made now, with the database's owner and mode, before
    // SQLite would make it with the umask's.
    if (PrepareDatabaseFile(journal.c_str(), true) == DatabaseFileKind::Unusable) {
        Fail("has a journal that is not a regular file");
        return;
    }
    if (version < kSchemaVersion) Migrate();
}

UsageDatabase::~UsageDatabase()
{
    Close();
}

void UsageDatabase::Close()
{
    if (m_pDb != nullptr) sqlite3_close_v2(m_pDb);
    m_pDb = nullptr;
}

bool UsageDatabase::Fail(const std::string& what)
{
    m_error = what;
    if (m_pDb != nullptr) {
        const char* reason = sqlite3_errmsg(m_pDb);
        if (reason != nullptr && sqlite3_errcode(m_pDb) != SQLITE_OK) m_error += std::string(" (") + reason + ")";
    }
    Close();
    return false;
}

bool UsageDatabase::Exec(const char* sql)
{
    return sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool UsageDatabase::Configure(Access access, std::chrono::milliseconds readTimeLimit)
{
    sqlite3_busy_timeout(m_pDb, kBusyTimeoutMs);
    // The file may come from anyone (an old shared database, a file handed
    // to the report): its schema is not trusted to run functions,
    // and no statement of ours may write the schema directly.
    sqlite3_db_config(m_pDb, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(m_pDb, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    if (access == Access::Read) {
        // A crafted file may hold endless work or huge values.
        m_deadline = std::clock() + static_cast<std::clock_t>(readTimeLimit.count() * CLOCKS_PER_SEC / 1000);
        sqlite3_progress_handler(m_pDb, kStepsPerClockLook, &UsageDatabase::PastDeadline, this);
        sqlite3_limit(m_pDb, SQLITE_LIMIT_LENGTH, kMaxReadLength);
        return Exec("PRAGMA query_only = ON") || Fail("cannot be set up");
    }
    // A rollback journal that is emptied, not deleted: the file layer
    // deletes nothing (see GuardedVfs.h).
    return Exec("PRAGMA journal_mode = TRUNCATE; PRAGMA foreign_keys = ON;") || Fail("cannot be set up");
}

int UsageDatabase::PastDeadline(void* self)
{
    return std::clock() > static_cast<UsageDatabase*>(self)->m_deadline ? 1 : 0;
}

bool UsageDatabase::CheckTables()
{
    // A view, virtual table or anything else in their place would run code of the file's making.
    int64_t tables = 0;
    if (!ReadInteger(m_pDb,
                     "SELECT count(*) FROM pragma_table_list WHERE schema = 'main' AND type = 'table'"
                     " AND lower(name) IN ('jobs', 'pages')",
                     tables))
        return Fail("cannot be read");
    return tables == 2 || Fail("has no jobs and pages tables of its own");
}

bool UsageDatabase::CheckOwnership(bool& fresh, int32_t& version)
{
    // One read of the file (Fail's close ends the savepoint): between separate
    // reads another user's writer may set a new database up, and its tables
    // seen without its stamp would look like another program's.
    int64_t applicationId = 0, userVersion = 0, objects = 0;
    if (!Exec("SAVEPOINT ownership")) return Fail("is busy");
    if (!ReadInteger(m_pDb, "PRAGMA application_id", applicationId) ||
        !ReadInteger(m_pDb, "PRAGMA user_version", userVersion) ||
        !ReadInteger(m_pDb, "SELECT count(*) FROM sqlite_schema", objects)) {
        if (sqlite3_extended_errcode(m_pDb) == SQLITE_READONLY_ROLLBACK)
            return Fail("holds a change left unfinished, which its next writer undoes");
        return Fail("is not a database");
    }
    if (!Exec("RELEASE ownership")) return Fail("is busy");
    fresh = false;
    if (applicationId == 0 && userVersion == 0) {
        if (objects != 0) return Fail("belongs to another program");
        fresh = true;
    } else if (applicationId != kApplicationId) {
        return Fail("belongs to another program");
    } else if (userVersion > kSchemaVersion || userVersion < 0) {
        return Fail("was written by a newer version (schema " + std::to_string(userVersion) + ")");
    }
    version = static_cast<int32_t>(userVersion);
    return true;
}

bool UsageDatabase::Migrate()
{
    WriteScope scope(m_pDb);
    if (!Exec("BEGIN IMMEDIATE")) return Fail("is busy");
    // Another writer may have done it while this one waited.
    bool fresh = false;
    int32_t version = 0;
    if (!CheckOwnership(fresh, version)) return false;
    for (int32_t step = version; step < kSchemaVersion; ++step)
        if (!Exec(kMigrations[step])) return Fail("cannot be brought to the current schema");
    const std::string stamp = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                              "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    if (!Exec(stamp.c_str()) || !Exec("COMMIT")) return Fail("cannot be brought to the current schema");
    return true;
}

int32_t UsageDatabase::AddJob(const JobFigures& job)
{
    if (!IsOpen()) return 0;
    WriteScope scope(m_pDb);
    if (!Exec("BEGIN IMMEDIATE")) {
        Fail("is busy");
        return 0;
    }
    const Statement insert = Prepare(m_pDb, "INSERT INTO jobs (user, printer, format, pages, savings, cheque, copies,"
                                            " host) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    if (!insert) {
        Fail("has no jobs table");
        return 0;
    }
    BindText(insert.get(), 1, job.userName);
    BindText(insert.get(), 2, job.printerName);
    BindText(insert.get(), 3, job.outputFormat);
    sqlite3_bind_int(insert.get(), 4, job.pages);
    sqlite3_bind_int(insert.get(), 5, job.savingsPercentage);
    sqlite3_bind_int(insert.get(), 6, job.checkDocument ? 1 : 0);
    sqlite3_bind_int(insert.get(), 7, job.copies);
    BindText(insert.get(), 8, job.hostName);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) {
        Fail("refused the job");
        return 0;
    }
    // The id travels as a 32-bit integer to the detail calls.
    const sqlite3_int64 id = sqlite3_last_insert_rowid(m_pDb);
    if (id <= 0 || id > INT32_MAX) {
        Fail("has run out of job ids");
        return 0;
    }
    if (!Exec("COMMIT")) {
        Fail("cannot commit the job");
        return 0;
    }
    return static_cast<int32_t>(id);
}

bool UsageDatabase::AddPage(int64_t job, int32_t page, const PageFigures& figures)
{
    if (!IsOpen()) return false;
    // A job's pages come one call each, a hundred for a hundred pages; waiting
    // for the disk on each would cost far more than the job's printing is
    // worth waiting for. Without the waits a killed writer still loses only
    // its own page (the journal is in the system's cache), but a power cut
    // during these writes can cost the file. The job rows stay fully durable.
    if (!Exec("PRAGMA synchronous = OFF")) return Fail("cannot be set up");
    WriteScope scope(m_pDb);
    if (!Exec("BEGIN IMMEDIATE")) return Fail("is busy");
    const Statement insert = Prepare(m_pDb, "INSERT INTO pages (job, page, cyan_before, cyan_after, magenta_before,"
                                            " magenta_after, yellow_before, yellow_after, black_before, black_after)"
                                            " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    if (!insert) return Fail("has no pages table");
    sqlite3_bind_int64(insert.get(), 1, job);
    sqlite3_bind_int(insert.get(), 2, page);
    for (int i = 0; i < PageFigures::kCount; ++i) sqlite3_bind_int(insert.get(), 3 + i, figures.values[i]);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) return Fail("refused the page");
    return Exec("COMMIT") || Fail("cannot commit the page");
}

bool UsageDatabase::SetCopies(int64_t job, int32_t copies)
{
    if (!IsOpen()) return false;
    WriteScope scope(m_pDb);
    if (!Exec("BEGIN IMMEDIATE")) return Fail("is busy");
    const Statement update = Prepare(m_pDb, "UPDATE jobs SET copies = ? WHERE id = ?");
    if (!update) return Fail("has no jobs table");
    sqlite3_bind_int(update.get(), 1, copies);
    sqlite3_bind_int64(update.get(), 2, job);
    if (sqlite3_step(update.get()) != SQLITE_DONE || sqlite3_changes(m_pDb) != 1) return Fail("refused the copies");
    return Exec("COMMIT") || Fail("cannot commit the copies");
}
