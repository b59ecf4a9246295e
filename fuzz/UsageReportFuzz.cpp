// Any file read as the statistics database gives a report or a clean error,
// within its time limit, and the table and CSV written from it hold no
// control character a terminal would act on. Odd-sized inputs are read as
// another user's file (owned by nobody), which takes SQLite's other path.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "ReportWriter.h"
#include "UsageReport.h"

namespace {
constexpr uid_t kNobody = 65534;

const std::string& Scratch()
{
    // A folder of its own: in a sticky one the file of nobody could not be rewritten.
    static const std::string path = [] {
        std::string folder = "/tmp/parsimo-report-fuzz-XXXXXX";
        if (mkdtemp(folder.data()) == nullptr) std::abort();
        return folder + "/Parsimo.sdf";
    }();
    return path;
}

// Nothing a terminal acts on: bytes below 0x20 other than the line ends, and DEL.
void RequirePrintable(const std::string& text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\n') || byte == 0x7F) __builtin_trap();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = Scratch();
    unlink((path + "-journal").c_str());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) return 0;
    if (geteuid() == 0 && chown(path.c_str(), size % 2 != 0 ? kNobody : 0, 0) != 0) return 0;

    for (const auto groupBy :
         {ReportOptions::GroupBy::User, ReportOptions::GroupBy::Host, ReportOptions::GroupBy::Day}) {
        ReportOptions options;
        options.groupBy = groupBy;
        UsageReport report;
        if (!report.Load(path, options)) continue;
        std::ostringstream table, csv, json;
        ReportWriter::WriteTable(table, report.Groups(), groupBy, report.Period());
        ReportWriter::WriteCsv(csv, report.Groups());
        ReportWriter::WriteJson(json, report.Groups());
        RequirePrintable(table.str());
        RequirePrintable(csv.str());
        RequirePrintable(json.str());
    }
    return 0;
}
