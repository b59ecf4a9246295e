#include <signal.h>

#include "CorvelTestSupport.h"

using namespace corveltest;

namespace {
// A user's run of jobs: each job with three detailed pages; the exit code counts failures.
int PrintJobs(const std::string& db, const char* user, int jobs)
{
    int failures = 0;
    for (int j = 0; j < jobs; ++j) {
        const int32_t id = SaveJob(db, user, 3, 40);
        failures += id <= 0;
        for (int32_t page = 1; id > 0 && page <= 3; ++page)
            failures += SavePage(db, id, page, {0, 0, 0, 0, 0, 0, 800, 480}) != id;
    }
    return std::min(failures, 99);
}
}  // namespace

// The race is at a new database's start: the first writer makes the file
// and its journal and sets the schema up while the other already opens them.
// Each start is short, so many are run; none may lose a job, and nothing but
// the database and its journal is left in the folder.
TEST(CorvelConcurrency, WritersStartingANewDatabaseTogetherBothLand)
{
    SharedFolder folder;
    for (int start = 0; start < 40; ++start) {
        const std::string db = folder.Path("Parsimo" + std::to_string(start) + ".sdf");
        const pid_t a = StartAs(kUserA, [&] { return PrintJobs(db, "ann", 2); });
        const pid_t b = StartAs(kUserA, [&] { return PrintJobs(db, "bob", 2); });
        EXPECT_EQ(ExitCode(a), 0) << start;
        EXPECT_EQ(ExitCode(b), 0) << start;
        EXPECT_EQ(Query(db, "SELECT count(*) FROM jobs") + "/" + Query(db, "SELECT count(*) FROM pages"), "4/12")
            << start;
        EXPECT_EQ(Mode(db), 0600u);
        EXPECT_EQ(Mode(db + "-journal"), 0600u);
    }
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(fs::path(folder.Path()).parent_path())) ++files;
    EXPECT_EQ(files, 80u);
}

TEST(CorvelConcurrency, AWriterKilledMidTransactionLosesOnlyItsOwnJob)
{
    SharedFolder folder;
    const std::string db = folder.Path();
    ASSERT_EQ(RunAs(kUserA, [&] { return SaveJob(db, "ann") == 1 ? 0 : 1; }), 0);

    // User A's writer spills a large uncommitted change into the file, then dies.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t writer = StartAs(kUserA, [&] {
        sqlite3* handle = nullptr;
        sqlite3_open(db.c_str(), &handle);
        sqlite3_exec(handle,
                     "PRAGMA journal_mode = TRUNCATE; PRAGMA cache_size = 2; BEGIN IMMEDIATE;"
                     " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)"
                     " INSERT INTO jobs (user, printer, format, pages, savings, cheque)"
                     " SELECT printf('%.200c', 'k'), '', '', 1, 10, 0 FROM n;",
                     nullptr, nullptr, nullptr);
        const char byte = 'r';
        if (write(ready[1], &byte, 1) != 1) return 1;
        pause();
        return 0;
    });
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    kill(writer, SIGKILL);
    EXPECT_EQ(ExitCode(writer), 128 + SIGKILL);
    ASSERT_GT(fs::file_size(db + "-journal"), 0u) << "the writer should have left a hot journal";

    // Another user can neither roll it back nor write; the owner's next job does both.
    if (geteuid() == 0) {
        EXPECT_EQ(RunAs(kUserB, [&] { return SaveJob(db, "mallory") == 0 ? 0 : 1; }), 0);
    }
    EXPECT_EQ(RunAs(kUserA, [&] { return SaveJob(db, "bob") > 1 ? 0 : 1; }), 0);
    EXPECT_EQ(Query(db, "SELECT user FROM jobs ORDER BY id"), "ann|bob");
    EXPECT_EQ(Query(db, "PRAGMA integrity_check"), "ok");
}

TEST(CorvelConcurrency, AReadOnlyDatabaseIsLeftAlone)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    SharedFolder folder;
    const std::string db = folder.Path();
    ASSERT_EQ(SaveJob(db), 1);
    chmod(db.c_str(), 0644);
    const std::string before = ReadAll(db);
    EXPECT_EQ(RunAs(kUserA, [&] { return SaveJob(db); }), 0);
    EXPECT_EQ(ReadAll(db), before);
}
