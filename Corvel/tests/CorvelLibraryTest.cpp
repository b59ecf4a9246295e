#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CorvelTestSupport.h"
#include "UsageDatabase.h"

using namespace corveltest;

TEST(CorvelLibrary, RecordsJobsAndPagesInAFileOnlyItsOwnerWrites)
{
    SharedFolder folder;
    const std::string db = folder.Path();
    const mode_t old = umask(0);
    const int32_t first = SaveJob(db, "ann", 3, 30, 1, kPassword, "Office", "");
    umask(old);
    ASSERT_EQ(first, 1);
    // Root's is the all-users database, which the printing administrators read.
    const struct group* admins = getgrnam("lpadmin");
    const bool shared = geteuid() == 0 && admins != nullptr;
    EXPECT_EQ(Mode(db), shared ? 0640u : 0600u);
    EXPECT_EQ(Mode(db + "-journal"), shared ? 0640u : 0600u);
    EXPECT_EQ(SaveJob(db, "bob", 2, 50, 0, kPassword, "Office", "PDF"), 2);

    for (int32_t page = 1; page <= 3; ++page)
        EXPECT_EQ(SavePage(db, first, page, {1, 1, 2, 2, 3, 3, 1000 * page, 700 * page}), first);
    EXPECT_EQ(Query(db, "SELECT user || ',' || printer || ',' || format || ',' || pages || ',' || savings || ',' ||"
                        " cheque FROM jobs ORDER BY id"),
              "ann,Office,,3,30,1|bob,Office,PDF,2,50,0");
    EXPECT_EQ(Query(db, "SELECT page || ':' || black_before || '/' || black_after FROM pages ORDER BY page"),
              "1:1000/700|2:2000/1400|3:3000/2100");
    // The journal stays, emptied, so that nobody has to delete it.
    EXPECT_EQ(fs::file_size(db + "-journal"), 0u);
}

TEST(CorvelLibrary, RecordsNothingForUntrustedCalls)
{
    SharedFolder folder;
    const std::string db = folder.Path();
    EXPECT_EQ(SaveJob(db, "ann", 3, 30, 0, "3vorkT"), 0);
    EXPECT_EQ(SaveJob(db, "ann", 3, 30, 0, nullptr), 0);
    EXPECT_FALSE(fs::exists(db)) << "a wrong password must not even create the database";
    EXPECT_EQ(SaveJob(db, "ann", 0), 0);
    EXPECT_EQ(SaveJob(db, "ann", 3, 101), 0);
    // Over-long and missing texts are kept cut or empty.
    const std::string longName(400, 'x');
    const int32_t id = SaveJob(db, longName.c_str(), 3, 30, 0, kPassword, nullptr, nullptr);
    ASSERT_EQ(id, 1);
    EXPECT_EQ(Query(db, "SELECT length(user) || ',' || printer || ',' || format FROM jobs"), "260,,");

    const Details fine = {0, 0, 0, 0, 0, 0, 500, 350};
    EXPECT_EQ(SavePage(db, id, 1, fine, "wrong"), 0);
    EXPECT_EQ(SavePage(db, id + 1, 1, fine), 0) << "no such job";
    EXPECT_EQ(SavePage(db, id, 1, {0, 0, 0, 0, 0, 0, 10001, 0}), 0);
    EXPECT_EQ(SavePage(db, id, 1, fine), id);
    EXPECT_EQ(SavePage(db, id, 1, fine), 0) << "a page is recorded once";
    EXPECT_EQ(Query(db, "SELECT count(*) FROM jobs") + "/" + Query(db, "SELECT count(*) FROM pages"), "1/1");
}

TEST(CorvelLibrary, LeavesFilesThatAreNotOursExactlyAsTheyAre)
{
    SharedFolder folder;
    std::mt19937 random(7);
    std::string garbage(5000, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    const std::string ours = folder.Path("ours.sdf");
    ASSERT_EQ(SaveJob(ours), 1);

    struct Case {
        std::string name;
        std::function<void(const std::string&)> make;
    };
    const std::vector<Case> cases = {
        {"garbage", [&](const std::string& p) { std::ofstream(p, std::ios::binary) << garbage; }},
        {"another program's database",
         [](const std::string& p) { ASSERT_TRUE(Exec(p, "CREATE TABLE t (x); INSERT INTO t VALUES (1);")); }},
        {"a newer version",
         [&](const std::string& p) {
             fs::copy_file(ours, p);
             ASSERT_TRUE(Exec(p, "PRAGMA user_version = " + std::to_string(UsageDatabase::kSchemaVersion + 1)));
         }},
        {"an empty file", [](const std::string& p) { std::ofstream(p) << ""; }},
    };
    for (const Case& c : cases) {
        const std::string db = folder.Path(c.name);
        c.make(db);
        const std::string before = ReadAll(db);
        const int32_t id = SaveJob(db);
        if (c.name == "an empty file") {
            EXPECT_EQ(id, 1) << "an empty file is a new database";
            continue;
        }
        EXPECT_EQ(id, 0) << c.name;
        EXPECT_TRUE(ReadAll(db) == before) << c.name << " was changed";
        EXPECT_FALSE(fs::exists(db + "-journal")) << c.name;
    }

    // A planted link is never followed, a FIFO never waited on, a folder never taken.
    const std::string target = folder.Path("victim");
    std::ofstream(target) << "";
    fs::create_symlink(target, folder.Path("link.sdf"));
    EXPECT_EQ(SaveJob(folder.Path("link.sdf")), 0);
    EXPECT_EQ(fs::file_size(target), 0u);
    ASSERT_EQ(mkfifo(folder.Path("fifo.sdf").c_str(), 0666), 0);
    EXPECT_EQ(SaveJob(folder.Path("fifo.sdf")), 0);
}

// A database of the first schema keeps its jobs as they were, counted once
// and from no known computer, when a new job brings it to the current one.
TEST(CorvelLibrary, AnOlderDatabaseKeepsItsJobsAndGainsCopiesAndHosts)
{
    SharedFolder folder;
    const std::string db = folder.Path();
    ASSERT_TRUE(MakeFirstSchema(db));
    const int32_t id = SaveJob(db, "bob", 2);
    ASSERT_EQ(id, 2);
    EXPECT_EQ(SaveCopies(db, id, 3), id);
    EXPECT_EQ(Query(db, "SELECT user || ':' || pages || 'x' || copies FROM jobs ORDER BY id"), "ann:4x1|bob:2x3");
    EXPECT_EQ(Query(db, "PRAGMA user_version"), std::to_string(UsageDatabase::kSchemaVersion));
    // Copies of no job, or below one, change nothing.
    EXPECT_EQ(SaveCopies(db, 99, 2), 0);
    EXPECT_EQ(SaveCopies(db, id, 0), 0);

    EXPECT_EQ(Query(db, "SELECT count(*) FROM jobs WHERE host = ''"), "2");
}
