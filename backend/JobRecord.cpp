#include "JobRecord.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "FixedText.h"
#include "PaperSizes.h"
#include "RegistryHive.h"
#include "TextBuffer.h"

namespace {
bool Same(const std::string& a, const char* b)
{
    return TextBuffer(a.c_str()).Compare(b, true) == 0;
}

bool IsFalse(const std::string& value)
{
    return Same(value, "false") || Same(value, "no") || Same(value, "off");
}

// Tenths of a millimetre per unit of a custom size.
double TenthsPerUnit(const std::string& unit)
{
    const struct {
        const char* name;
        double tenths;
    } units[] = {{"", 254.0 / 72.0}, {"pt", 254.0 / 72.0}, {"in", 254.0}, {"cm", 100.0},
                 {"mm", 10.0},       {"m", 10000.0},       {"ft", 3048.0}};
    for (const auto& u : units)
        if (unit == u.name) return u.tenths;
    return 0.0;
}

// A positive decimal figure at the start of `text`; `rest` is what follows.
bool Figure(const char* text, double& value, const char*& rest)
{
    if (!text || !((*text >= '0' && *text <= '9') || *text == '.')) return false;
    char* end = nullptr;
    value = std::strtod(text, &end);
    rest = end;
    return end != text && std::isfinite(value) && value > 0.0;
}

std::string Lowered(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}
}  // namespace

bool JobRecord::ParseCustomSize(const std::string& value, int32_t& width, int32_t& length)
{
    constexpr const char* kPrefix = "custom.";
    if (Lowered(value.substr(0, std::strlen(kPrefix))) != kPrefix) return false;
    const char* text = value.c_str() + std::strlen(kPrefix);
    double w = 0.0, l = 0.0;
    const char* rest = nullptr;
    if (!Figure(text, w, rest) || *rest != 'x' || !Figure(rest + 1, l, rest)) return false;
    const double perUnit = TenthsPerUnit(Lowered(rest));
    w *= perUnit;
    l *= perUnit;
    // Sizes below a millimetre are no paper; above 16 bits no page setup holds them.
    if (w < 10.0 || l < 10.0 || w > 32767.0 || l > 32767.0) return false;
    width = static_cast<int32_t>(std::lround(w));
    length = static_cast<int32_t>(std::lround(l));
    return true;
}

bool JobRecord::ApplyOption(DEVMODE& dm, const std::string& name, const std::string& value)
{
    if (name == "media" || name == "PageSize" || name == "media-size-name") {
        int32_t width = 0, length = 0;
        if (ParseCustomSize(value, width, length))
            return DevModeOptions::ApplyOption(dm, "media", PaperSizes::CustomPwgName(width, length).c_str());
        // "media" may list a size together with a source or a type.
        size_t start = 0;
        while (start <= value.size()) {
            const size_t comma = std::min(value.find(',', start), value.size());
            if (DevModeOptions::ApplyOption(dm, "media", value.substr(start, comma - start).c_str())) return true;
            start = comma + 1;
        }
        return false;
    }
    if (name == "landscape") {
        dm.dmOrientation = IsFalse(value) ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;
        dm.dmFields |= DM_ORIENTATION;
        return true;
    }
    if (name == "orientation-requested" || name == "multiple-document-handling")
        return DevModeOptions::ApplyOption(dm, name.c_str(), value.c_str());
    if (name == "Resolution" || name == "printer-resolution")
        return DevModeOptions::ApplyOption(dm, "printer-resolution", value.c_str());
    if (Same(name, "collate")) {
        dm.dmCollate = IsFalse(value) ? DMCOLLATE_FALSE : DMCOLLATE_TRUE;
        dm.dmFields |= DM_COLLATE;
        return true;
    }
    return false;
}

PrintJobInfo JobRecord::FromJob(const BackendJob& job, const std::vector<PrintOption>& options,
                                const std::string& machine)
{
    PrintJobInfo record;
    record.JobID = static_cast<uint32_t>(job.jobId);
    CopyField(record.PrintDocumentName, job.title.c_str());
    CopyField(record.UserName, job.user.c_str());
    CopyField(record.MachineName, machine.c_str());
    DEVMODE dm{};
    for (const auto& [name, value] : options) ApplyOption(dm, name, value);
    // The copy count of the job's arguments is the one the scheduler settled on.
    dm.dmCopies = static_cast<int16_t>(job.copies);
    dm.dmFields |= DM_COPIES;
    record.SetPageSetup(dm);
    if (record.PaperSize != DMPAPER_USER) record.PaperLength = record.PaperWidth = 0;
    record.TotalPages = 0;
    record.PagesPrinted = 0;
    return record;
}

bool JobRecord::Store(const PrintJobInfo& r, const char* hivePath, const std::string& queue)
{
    return RegistryHive::Store(hivePath, [&](RegistryHive& hive) {
        const std::string own = std::string(kRecordKey) + "\\" + std::to_string(r.JobID);
        bool ok = true;
        for (const std::string& key : {std::string(kRecordKey), own}) {
            const auto dword = [&](const char* name, int32_t value) {
                return hive.SetDword(key, name, static_cast<uint32_t>(value));
            };
            // A text that a line cannot hold goes in with its line breaks as blanks.
            const auto text = [&](const char* name, const char* value) {
                std::string s = value;
                for (char& c : s)
                    if (c == '\r' || c == '\n') c = ' ';
                return hive.SetString(key, name, s);
            };
            ok = ok && dword("JobID", static_cast<int32_t>(r.JobID)) &&
                 text("PrintDocumentName", r.PrintDocumentName) && text("UserName", r.UserName) &&
                 text("MachineName", r.MachineName) && dword("Orientation", r.Orientation) &&
                 dword("PaperSize", r.PaperSize) && dword("PaperLength", r.PaperLength) &&
                 dword("PaperWidth", r.PaperWidth) && dword("PrintQuality", r.PrintQuality) &&
                 dword("dmScale", r.dmScale) && dword("Copies", r.Copies) && dword("Collate", r.Collate) &&
                 dword("TotalPages", r.TotalPages) && dword("PagesPrinted", r.PagesPrinted);
        }
        // Job ids only grow: the oldest records are those of jobs long done.
        std::vector<uint64_t> ids;
        for (const std::string& name : hive.SubKeys(kRecordKey)) {
            char* end = nullptr;
            const unsigned long long id = std::strtoull(name.c_str(), &end, 10);
            if (!name.empty() && *end == '\0') ids.push_back(id);
        }
        std::sort(ids.begin(), ids.end());
        for (size_t i = 0; ids.size() > kKeptJobRecords && i < ids.size() - kKeptJobRecords; ++i)
            hive.RemoveKey(std::string(kRecordKey) + "\\" + std::to_string(ids[i]));
        RegistryHive::Value current;
        const bool named = hive.GetValue(kSettingsKey, "PrinterName", current) && current.type == REG_SZ &&
                           std::string(current.data.begin(), current.data.end()) == queue + '\0';
        if (ok && !named) ok = hive.SetString(kSettingsKey, "PrinterName", queue);
        return ok;
    });
}
