#include "SystemStatistics.h"

#include "SysUtils.h"
#include "UsageDatabase.h"
#include "UsageHandOff.h"

std::string SystemStatistics::DatabasePath()
{
    const TextBuffer folder = MakeCommonAppDataDir("QMVK", "Parsimo");
    if (!folder.GetText()) return {};
    std::string path = folder.GetText();
    if (!path.ends_with('/')) path += '/';
    return path + "Parsimo.sdf";
}

bool SystemStatistics::Record(const std::string& figures, const std::string& user, const std::string& host,
                              std::string& fault)
{
    UsageHandOff::Record record;
    if (!UsageHandOff::Parse(figures, record, fault)) return false;
    record.job.userName = user;
    record.job.hostName = host;
    const std::string path = DatabasePath();
    if (path.empty()) return fault = "the all-users folder cannot be made", false;
    UsageDatabase database(path.c_str(), UsageDatabase::Access::Write);
    const int32_t id = database.AddJob(record.job);
    if (id == 0) return fault = path + " " + database.Error(), false;
    for (const auto& [page, values] : record.pages)
        if (!database.AddPage(id, page, values)) return fault = path + " " + database.Error(), false;
    return true;
}
