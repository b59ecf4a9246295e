// Timings of the usage statistics: recording a 100-page job with page
// figures through the library as the job processor calls it (loaded and
// freed around every call), and the report over 100,000 jobs.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "Figures.h"
#include "Library.h"
#include "ReportCommand.h"

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr const char* kPassword = "3vorkT8";

using SaveJobFn = int32_t (*)(const char*, const char*, const char*, const char*, const char*, const char*, int32_t,
                              int32_t, int32_t);
using SavePageFn = int32_t (*)(const char*, const char*, const char*, int32_t, int32_t, int32_t, int32_t, int32_t,
                               int32_t, int32_t, int32_t, int32_t, int32_t);

double Milliseconds(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// One job of `pages` pages with figures, every call loading the library anew. Returns ms, or -1.
double RecordJob(const std::string& db, int pages)
{
    const auto start = Clock::now();
    int32_t id = 0;
    {
        Library library(CORVEL_LIBRARY);
        const auto save = library.GetFunction<SaveJobFn>("SaveUsageStatistics");
        id = save ? save(db.c_str(), "", kPassword, "bench", "Target", "", pages, 30, 0) : 0;
    }
    if (id == 0) return -1;
    for (int page = 1; page <= pages; ++page) {
        Library library(CORVEL_LIBRARY);
        const auto save = library.GetFunction<SavePageFn>("SaveUsageDetails");
        if (!save || save(db.c_str(), "", kPassword, id, page, 0, 0, 0, 0, 0, 0, 900, 630) != id) return -1;
    }
    return Milliseconds(start);
}

bool Fill(const std::string& db, int jobs)
{
    sqlite3* handle = nullptr;
    const std::string sql =
        "BEGIN;"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(jobs) +
        ")"
        " INSERT INTO jobs (time, user, printer, format, pages, savings, cheque)"
        " SELECT strftime('%Y-%m-%dT%H:%M:%SZ', '2023-01-01', '+' || (i * 317 % 31536000) || ' seconds'),"
        " 'user' || (i % 40), 'printer' || (i % 7), '', 1 + i % 20, 10 + i % 60, i % 50 = 0 FROM n;"
        // Every tenth job has figures for its first five pages.
        "WITH RECURSIVE p(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM p WHERE k < 5)"
        " INSERT INTO pages SELECT id, k, 0, 0, 0, 0, 0, 0, 800 + id % 300, 500 + id % 200"
        " FROM jobs JOIN p WHERE id % 10 = 0 AND k <= pages;"
        "COMMIT;";
    const bool ok = sqlite3_open(db.c_str(), &handle) == SQLITE_OK &&
                    sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) std::fprintf(stderr, "fill: %s\n", sqlite3_errmsg(handle));
    sqlite3_close(handle);
    return ok;
}
}  // namespace

int main()
{
    const fs::path folder = fs::temp_directory_path() / ("corvel-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string db = (folder / "Parsimo.sdf").string();

    std::printf("%-52s %10s\n", "case", "ms");
    const double first = RecordJob(db, 100);
    std::printf("%-52s %10.1f\n", "100-page job with figures, new database", first);
    std::vector<double> runs;
    for (int i = 0; i < 9; ++i) runs.push_back(RecordJob(db, 100));
    std::printf("%-52s %10.1f\n", "100-page job with figures (median of 9, 101 calls)", Median(runs));
    std::printf("%-52s %10.2f\n", "  per call (load, open, write, close, free)", Median(runs) / 101);

    const std::string big = (folder / "big.sdf").string();
    if (RecordJob(big, 1) < 0 || !Fill(big, 100000)) return 1;
    for (const char* by : {"month", "user", "printer", "day"}) {
        std::vector<double> times;
        for (int i = 0; i < 5; ++i) {
            std::ostringstream out, err;
            const auto start = Clock::now();
            if (RunReport({"--database", big, "--by", by}, out, err) != 0) return 1;
            times.push_back(Milliseconds(start));
        }
        std::printf("report over 100,000 jobs by %-24s %10.1f\n", by, Median(times));
    }
    fs::remove_all(folder);
    return 0;
}
