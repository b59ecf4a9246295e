#include "AppEnvironment.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "FixedText.h"
#include "Messages.h"
#include "RegistryKey.h"
#include "SavingChoice.h"
#include "SavingsMasks.h"
#include "SysUtils.h"

namespace {
constexpr const char* kOutputFormats[] = {"", "PDF", "IMAGE"};
constexpr const char* kImageFormats[] = {"jpeg", "jpg", "bmp256", "bmp", "bmp16m"};

AppSetting Number(const char* name, int32_t AppEnvironment::*member, int32_t fallback, int32_t maximum,
                  int32_t step = 1, bool clampOnRead = false)
{
    return {name, member, nullptr, fallback, nullptr, 0, maximum, step, clampOnRead, {}};
}

AppSetting Text(const char* name, char (AppEnvironment::*member)[kMaxPath + 1], const char* fallback,
                std::span<const char* const> accepted = {})
{
    return {name, nullptr, member, 0, fallback, 0, 0, 0, false, accepted};
}

// The machine's ceiling of JobTimeout when it names none, and the largest it may name.
constexpr int32_t kJobTimeoutLimit = 3600;
constexpr int32_t kMaxJobTimeout = 7 * 86400;
constexpr int32_t kDraftSaving = 50;

const AppSetting kSettings[] = {
    // Clamped as the filter applies it (nothing below 3, 5 % steps, at most
    // 75 %), so the figure recorded for a job is the one its pages got.
    Number("SavingsPercentage", &AppEnvironment::SavingsPercentage, 0, SavingsMasks::kMaximum, SavingsMasks::kStep,
           true),
    Number("CheckPrintMode", &AppEnvironment::CheckPrintMode, 0, 1),
    Number("ShowDialog", &AppEnvironment::ShowDialog, 1, 1),
    Number("LogLevel", &AppEnvironment::LogLevel, 2, 3, 1, true),
    Number("EnhancedMicrLineQuality", &AppEnvironment::EnhancedMicrLineQuality, 0, 1),
    Text("TargetPrinterName", &AppEnvironment::TargetPrinterName, ""),
    Text("PrinterName", &AppEnvironment::PrinterName, ""),
    Text("PrintOutFormat", &AppEnvironment::PrintOutFormat, "", kOutputFormats),
    Text("DefaultImageFormat", &AppEnvironment::DefaultImageFormat, "jpeg", kImageFormats),
    Number("AdvUsageStat", &AppEnvironment::AdvUsageStat, 0, 1),
    Number("PrintJobCancellation", &AppEnvironment::PrintJobCancellation, 0, 1),
    Text("GSVersion", &AppEnvironment::GSVersion, ""),
    // Seconds Ghostscript may go without output, and a later job may wait for
    // an earlier one; 0 waits for ever.
    Number("JobTimeout", &AppEnvironment::JobTimeout, 600, kMaxJobTimeout, 1, true),
    Number("SavingsStyle", &AppEnvironment::SavingsStyle, 0, 1),
    Number("ProtectCodes", &AppEnvironment::ProtectCodes, 1, 1),
    // Where PDF and image output is saved; empty: Parsimo/ in the user's documents folder.
    Text("OutputFolder", &AppEnvironment::OutputFolder, ""),
};

TextBuffer SettingsKey(const AppEnvironment& env)
{
    TextBuffer key;
    key.Format("SOFTWARE\\%s\\%s", env.AppGroupName, env.AppName);
    return key;
}
}  // namespace

AppEnvironment::AppEnvironment()
{
    ReadSettings();

    try {
        RegistryKey key(HKEY_LOCAL_MACHINE);
        key.OpenForRead(SettingsKey(*this).GetText());
        key.GetString("InstallDir", InstallDir, kMaxPath);
        key.GetString("ProductVersion", ProductVersion, kMaxPath);
    } catch (...) {
        LogText("Parsimo Installation not found!\r\n");
        throw std::runtime_error(GetMessageText(MSG_INSTALL_NOT_FOUND));
    }
    ReadMachineLimits();

    const TextBuffer appData = MakeAppDataDir(AppGroupName, AppName);
    if (!appData.GetText()) {
        LogText("Application data folder not found!\r\n");
        throw std::runtime_error(GetMessageText(MSG_APPDATA_NOT_FOUND));
    }
    CopyField(AppDataDir, appData.GetText());

    CapJobTimeout();

    TextBuffer common = CommonFolder(true);
    if (!common.GetText()) {
        // The all-users folder is the administrator's to make: a user who
        // cannot make it still runs jobs, and only its users (the usage
        // database, the early log) miss it.
        const TextBuffer base = GetOSVersion() >= 600 ? GetCommonDocumentsFolder() : GetCommonAppDataFolder();
        if (!base.GetText()) {
            LogText("Common application data folder not found!\r\n");
            throw std::runtime_error(GetMessageText(MSG_COMMON_APPDATA_NOT_FOUND));
        }
        common.Format("%s/%s/%s", base.GetText(), AppGroupName, AppName);
        LogMessage(2, "The all-users folder %s cannot be made; the job goes on without it.\r\n", common.GetText());
    }
    CopyField(CommonAppDataDir, common.GetText());

    // File names are joined directly behind these folders.
    EnsureTrailingSlash(InstallDir);
    EnsureTrailingSlash(AppDataDir);
    EnsureTrailingSlash(CommonAppDataDir);

    TextBuffer logFile;
    logFile.Format("%s%s.log", AppDataDir, AppName);
    CopyField(LogFileName, logFile.GetText());
}

AppEnvironment::AppEnvironment(FoldersOnly)
{
    const TextBuffer appData = AppDataDirPath(AppGroupName, AppName);
    const TextBuffer common = CommonFolder(false);
    if (appData.GetText()) CopyField(AppDataDir, appData.GetText());
    if (common.GetText()) CopyField(CommonAppDataDir, common.GetText());
}

TextBuffer AppEnvironment::CommonFolder(bool create) const
{
    if (GetOSVersion() >= 600)
        return create ? MakeCommonDocumentsDir(AppGroupName, AppName) : CommonDocumentsDirPath(AppGroupName, AppName);
    return create ? MakeCommonAppDataDir(AppGroupName, AppName) : CommonAppDataDirPath(AppGroupName, AppName);
}

bool AppEnvironment::ReadMachineLimits()
{
    try {
        RegistryKey key(HKEY_LOCAL_MACHINE);
        key.OpenForRead(SettingsKey(*this).GetText());
        const auto limit = static_cast<int32_t>(key.GetDword("JobTimeoutLimit", kJobTimeoutLimit));
        // A value no dword editor means (above 2^31) is taken as unset, not as "none".
        JobTimeoutLimit = limit < 0 ? kJobTimeoutLimit : std::min(limit, kMaxJobTimeout);
        const auto minimum = static_cast<int32_t>(key.GetDword("MinimumSaving", 0));
        MinimumSaving = SavingChoice::Step(minimum);
        const auto draft = static_cast<int32_t>(key.GetDword("DraftSaving", kDraftSaving));
        DraftSaving = SavingChoice::Step(draft);
    } catch (...) {
        return false;
    }
    return true;
}

void AppEnvironment::ReadSettings()
{
    try {
        RegistryKey key(HKEY_CURRENT_USER);
        key.OpenForRead(SettingsKey(*this).GetText());
        for (const AppSetting& setting : kSettings) {
            if (setting.text) {
                key.GetString(setting.name, this->*setting.text, kMaxPath);
                continue;
            }
            const auto fallback = static_cast<uint32_t>(setting.defaultNumber);
            auto value = static_cast<int32_t>(key.GetDword(setting.name, fallback));
            // Two fallbacks that differ tell a missing (or unreadable) value from a stored one.
            if (setting.number == &AppEnvironment::SavingsPercentage)
                SavingsPercentageStored = value == static_cast<int32_t>(key.GetDword(setting.name, fallback + 1));
            if (setting.clampOnRead) value = setting.Clamp(value);
            this->*setting.number = value;
        }
    } catch (...) {
        // No settings key: every member keeps what it had.
    }
    CapJobTimeout();
    for (const AppSetting& setting : kSettings)
        if (setting.text && !setting.AcceptsText(this->*setting.text))
            CopyField(this->*setting.text, setting.defaultText);
}

void AppEnvironment::CapJobTimeout()
{
    if (JobTimeoutLimit > 0 && (JobTimeout <= 0 || JobTimeout > JobTimeoutLimit)) JobTimeout = JobTimeoutLimit;
}

void AppEnvironment::SetPrintJobCancellation(int value)
{
    PrintJobCancellation = value;
    try {
        RegistryKey key(HKEY_CURRENT_USER);
        key.OpenForWrite(SettingsKey(*this).GetText());
        key.SetDword("PrintJobCancellation", static_cast<uint32_t>(value));
        key.Flush();
    } catch (...) {
        LogText("Set Print Job Cancelcation failed!\r\n");
    }
}

void AppEnvironment::LogSettings() const
{
    LogText("[Parsimo]\r\n");
    LogText("  - AppGroupName = %s\r\n", AppGroupName);
    LogText("  - AppName = %s\r\n", AppName);
    LogText("  - AppTitle = %s\r\n", AppTitle);
    LogText("  - AppDataDir = %s\r\n", AppDataDir);
    LogText("  - CommonAppDataDir = %s\r\n", CommonAppDataDir);
    LogText("  - InstallDir = %s\r\n", InstallDir);
    LogText("  - ProductVersion = %s\r\n", ProductVersion);
    LogText("  - LogFileName = %s\r\n", LogFileName);
    LogText("  - CheckPrintMode = %d\r\n", CheckPrintMode);
    LogText("  - SavingsPercentage =  %d\r\n", SavingsPercentage);
    LogText("  - ShowDialog =  %d\r\n", ShowDialog);
    LogText("  - LogLevel =  %d\r\n", LogLevel);
    LogText("  - EnhancedMicrLineQuality =  %d\r\n", EnhancedMicrLineQuality);
    LogText("  - PrinterName = %s\r\n", PrinterName);
    LogText("  - TargetPrinterName = %s\r\n", TargetPrinterName);
    LogText("  - OutputFolder = %s\r\n", OutputFolder);
    LogText("  - JobTimeout = %d (the machine's limit: %d)\r\n", JobTimeout, JobTimeoutLimit);
    LogText("\r\n");
}

void AppEnvironment::WriteSetting(const AppSetting& setting) const
{
    RegistryKey key(HKEY_CURRENT_USER);
    key.Create(SettingsKey(*this).GetText());
    if (setting.text)
        key.SetString(setting.name, this->*setting.text);
    else
        key.SetDword(setting.name, static_cast<uint32_t>(this->*setting.number));
}

std::span<const AppSetting> AppEnvironment::Settings()
{
    return kSettings;
}

const AppSetting* AppEnvironment::FindSetting(const char* name)
{
    for (const AppSetting& setting : kSettings)
        if (TextBuffer(setting.name).Compare(name, true) == 0) return &setting;
    return nullptr;
}

bool AppSetting::AcceptsNumber(int32_t value) const
{
    return !text && value >= minimum && value <= maximum && (value - minimum) % step == 0;
}

int32_t AppSetting::Clamp(int32_t value) const
{
    const int64_t offset = static_cast<int64_t>(std::clamp(value, minimum, maximum)) - minimum;
    const int64_t nearest = minimum + (offset + step / 2) / step * step;
    return static_cast<int32_t>(std::min<int64_t>(nearest, maximum));
}

bool AppSetting::AcceptsText(const char* value) const
{
    if (!text || !value || strnlen(value, kMaxPath) >= kMaxPath) return false;
    if (accepted.empty()) return true;
    for (const char* candidate : accepted)
        if (TextBuffer(value).Compare(candidate, true) == 0) return true;
    return false;
}
