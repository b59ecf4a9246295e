#include "AppEnvironment.h"

#include <algorithm>
#include <stdexcept>

#include "FixedText.h"
#include "Messages.h"
#include "RegistryKey.h"
#include "SysUtils.h"

namespace {
bool EqualsAnyOf(const char* value, std::initializer_list<const char*> accepted)
{
    for (const char* candidate : accepted)
        if (TextBuffer(value).Compare(candidate, true) == 0) return true;
    return false;
}

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

    const TextBuffer appData = MakeAppDataDir(AppGroupName, AppName);
    if (!appData.GetText()) {
        LogText("Application data folder not found!\r\n");
        throw std::runtime_error(GetMessageText(MSG_APPDATA_NOT_FOUND));
    }
    CopyField(AppDataDir, appData.GetText());

    const TextBuffer common = GetOSVersion() >= 600 ? MakeCommonDocumentsDir(AppGroupName, AppName)
                                                    : MakeCommonAppDataDir(AppGroupName, AppName);
    if (!common.GetText()) {
        LogText("Common application data folder not found!\r\n");
        throw std::runtime_error(GetMessageText(MSG_COMMON_APPDATA_NOT_FOUND));
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

void AppEnvironment::ReadSettings()
{
    try {
        RegistryKey key(HKEY_CURRENT_USER);
        key.OpenForRead(SettingsKey(*this).GetText());
        SavingsPercentage = static_cast<int32_t>(key.GetDword("SavingsPercentage", 0));
        CheckPrintMode = static_cast<int32_t>(key.GetDword("CheckPrintMode", 0));
        ShowDialog = static_cast<int32_t>(key.GetDword("ShowDialog", 1));
        LogLevel = static_cast<int32_t>(key.GetDword("LogLevel", 2));
        if (LogLevel < 0) LogLevel = 0;
        if (LogLevel > 3) LogLevel = 3;
        EnhancedMicrLineQuality = static_cast<int32_t>(key.GetDword("EnhancedMicrLineQuality", 0));
        key.GetString("TargetPrinterName", TargetPrinterName, kMaxPath);
        key.GetString("PrinterName", PrinterName, kMaxPath);
        key.GetString("PrintOutFormat", PrintOutFormat, kMaxPath);
        key.GetString("DefaultImageFormat", DefaultImageFormat, kMaxPath);
        AdvUsageStat = static_cast<int32_t>(key.GetDword("AdvUsageStat", 0));
        PrintJobCancellation = static_cast<int32_t>(key.GetDword("PrintJobCancellation", 0));
        key.GetString("GSVersion", GSVersion, kMaxPath);
        JobTimeout = static_cast<int32_t>(std::min<uint32_t>(key.GetDword("JobTimeout", 600), 86400 * 7));
    } catch (...) {
        // No settings key: every member keeps what it had.
    }
    if (!EqualsAnyOf(PrintOutFormat, {"PDF", "IMAGE"})) PrintOutFormat[0] = '\0';
    if (!EqualsAnyOf(DefaultImageFormat, {"jpeg", "jpg", "bmp256", "bmp", "bmp16m"}))
        CopyField(DefaultImageFormat, "jpeg");
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
    LogText("\r\n");
}
