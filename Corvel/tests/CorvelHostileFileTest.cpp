// Files planted beside a database by another user: what readers and writers
// do with them.
#include "CorvelTestSupport.h"
#include "UsageDatabase.h"

using namespace corveltest;

namespace {
void Put32(std::string& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// A rollback journal that SQLite takes for a killed writer's ("hot"): a
// header changing nothing, then a trailer naming `super` as the super-journal
// of a transaction over several databases. Rolling it back ends by deleting
// that file, when nothing else names it.
void PlantHotJournal(const std::string& db, const std::string& super)
{
    constexpr uint32_t kPageSize = 4096, kSector = 512;
    const auto pages = static_cast<uint32_t>(fs::file_size(db) / kPageSize);
    const std::string magic = "\xd9\xd5\x05\xf9\x20\xa1\x63\xd7";
    std::string journal = magic;
    Put32(journal, 0);  // records
    Put32(journal, 0);  // checksum seed
    Put32(journal, pages);
    Put32(journal, kSector);
    Put32(journal, kPageSize);
    journal.resize(kSector, '\0');
    Put32(journal, 0x40000000 / kPageSize + 1);
    journal += super;
    uint32_t sum = 0;
    for (const char c : super) sum += static_cast<uint32_t>(c);
    Put32(journal, static_cast<uint32_t>(super.size()));
    Put32(journal, sum);
    journal += magic;
    std::ofstream(db + "-journal", std::ios::binary | std::ios::trunc) << journal;
}

std::string ReadError(const std::string& db)
{
    const UsageDatabase reader(db.c_str(), UsageDatabase::Access::Read);
    return reader.IsOpen() ? "" : reader.Error();
}
}  // namespace

TEST(CorvelHostileFile, AJournalNamingAnotherFileNeverHasItDeleted)
{
    SharedFolder folder, elsewhere;
    const std::string db = folder.Path(), target = elsewhere.Path("precious");
    ASSERT_EQ(SaveJob(db), 1);
    std::ofstream(target) << "keep me";
    chmod(target.c_str(), 0600);

    // The reader of its own file: read-only, so it rolls nothing back and says why it cannot read.
    PlantHotJournal(db, target);
    EXPECT_EQ(Bounded([&] { return ReadError(db).find("unfinished") != std::string::npos ? 0 : 1; }), 0);
    EXPECT_TRUE(fs::exists(target)) << "a reader deleted the file the journal named";

    // A writer rolls the journal back, but deletes nothing it names; the journal is then done with.
    const int32_t first = SaveJob(db, "bob");
    EXPECT_TRUE(fs::exists(target)) << "a writer deleted the file the journal named";
    EXPECT_EQ(first > 0 ? first : SaveJob(db, "bob"), 2) << "the next job is recorded";

    // A FIFO as the named file blocks nobody.
    const std::string fifo = elsewhere.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    PlantHotJournal(db, fifo);
    EXPECT_EQ(Bounded([&] { return ReadError(db).empty() ? 1 : 0; }), 0);
    EXPECT_EQ(Bounded([&] { return SaveJob(db) > 0 || SaveJob(db) > 0 ? 0 : 1; }), 0);
    EXPECT_TRUE(fs::exists(fifo));
}

TEST(CorvelHostileFile, AnotherUsersFileIsReadWithoutItsJournal)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    SharedFolder folder, elsewhere;
    const std::string db = folder.Path(), target = elsewhere.Path("precious");
    ASSERT_EQ(RunAs(kUserA, [&] { return SaveJob(db) == 1 ? 0 : 1; }), 0);
    std::ofstream(target) << "keep me";
    PlantHotJournal(db, target);
    const std::string journal = ReadAll(db + "-journal");

    // Root reads the user's file as it is, journal or not, and changes nothing.
    EXPECT_EQ(Bounded([&] { return ReadError(db).empty() ? 0 : 1; }), 0);
    EXPECT_TRUE(fs::exists(target));
    EXPECT_TRUE(ReadAll(db + "-journal") == journal) << "the journal was changed";
}

TEST(CorvelHostileFile, AReaderWritesNothingAndStopsAtItsTimeLimit)
{
    SharedFolder folder;
    const std::string db = folder.Path();
    ASSERT_EQ(SaveJob(db), 1);
    fs::remove(db + "-journal");
    const UsageDatabase reader(db.c_str(), UsageDatabase::Access::Read, std::chrono::milliseconds(200));
    ASSERT_TRUE(reader.IsOpen()) << reader.Error();
    EXPECT_NE(sqlite3_exec(reader.Handle(), "CREATE TABLE more (x)", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(fs::exists(db + "-journal"));
    EXPECT_EQ(sqlite3_exec(reader.Handle(),
                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT max(i) FROM n",
                           nullptr, nullptr, nullptr),
              SQLITE_INTERRUPT);
}
