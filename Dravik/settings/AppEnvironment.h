#pragma once
#include <cstdint>
#include <span>

#include "Log.h"
#include "TextBuffer.h"

struct AppSetting;

// Who the product is, where it lives and what the user chose. One per run.
class AppEnvironment {
public:
    // Reads the settings, looks up the installation and the data folders;
    // raises std::runtime_error with a text meant for the user.
    AppEnvironment();
    // Only the defaults, nothing read: for code that needs settings without an installation.
    struct DefaultsOnly { };
    explicit AppEnvironment(DefaultsOnly) { }
    // The defaults and where the data folders are, nothing created or read:
    // for code that only reads what the product wrote (the usage report).
    struct FoldersOnly { };
    explicit AppEnvironment(FoldersOnly);
    virtual ~AppEnvironment() = default;
    AppEnvironment(const AppEnvironment&) = delete;
    AppEnvironment& operator=(const AppEnvironment&) = delete;

    void ReadSettings();
    // The machine's bounds of every user's settings (JobTimeoutLimit,
    // MinimumSaving, DraftSaving) from the installation key; false when the
    // key cannot be read, and the members keep their values.
    bool ReadMachineLimits();
    void SetPrintJobCancellation(int value);
    void LogSettings() const;
    // Stores the member's value of one setting under the user's key, making
    // the key when missing; raises std::runtime_error.
    void WriteSetting(const AppSetting& setting) const;

    // The user's settings in the order they are read; the one place that
    // knows their names, defaults and accepted values.
    static std::span<const AppSetting> Settings();
    // The setting of that name (compared without regard to case), or null.
    static const AppSetting* FindSetting(const char* name);

    char AppGroupName[kMaxPath + 1] = "QMVK";
    char AppName[kMaxPath + 1] = "Parsimo";
    char AppTitle[kMaxPath + 1] = "Z3 Parsimo";
    char AppDataDir[kMaxPath + 1] = "";
    char CommonAppDataDir[kMaxPath + 1] = "";
    char InstallDir[kMaxPath + 1] = "";
    char ProductVersion[kMaxPath + 1] = "";
    char LogFileName[kMaxPath + 1] = "";
    int32_t CheckPrintMode = 0;
    int32_t SavingsPercentage = 0;
    int32_t ShowDialog = 1;
    int32_t LogLevel = 2;
    int32_t EnhancedMicrLineQuality = 0;
    char PrinterName[kMaxPath + 1] = "";
    char TargetPrinterName[kMaxPath + 1] = "";
    char PrintOutFormat[kMaxPath + 1] = "";
    char DefaultImageFormat[kMaxPath + 1] = "jpeg";
    char GSVersion[kMaxPath + 1] = "";
    int32_t AdvUsageStat = 0;
    char OutputFolder[kMaxPath + 1] = "";
    int32_t PrintJobCancellation = 0;
    // Seconds Ghostscript may go without output, and an earlier job may hold
    // the data folder, before the job stops; 0 waits for ever, unless the
    // machine's JobTimeoutLimit caps it.
    int32_t JobTimeout = 600;
    // 0: the keep/drop masks; 1: legible (shapes keep their edges, interiors thin harder).
    int32_t SavingsStyle = 0;
    // Non-zero: barcodes and 2-D codes found on a page print at full strength.
    int32_t ProtectCodes = 1;
    // The machine's ceiling of every user's JobTimeout, so that no one user's
    // job can hold the shared queue for ever; 0: none (an administrator's
    // choice, and what an environment built from defaults only has).
    int32_t JobTimeoutLimit = 0;
    // Whether the user ever stored a SavingsPercentage: without one, a job
    // gets its queue's default saving.
    bool SavingsPercentageStored = false;
    // The machine's floor of every job's saving (an organisation that saves by
    // default), and the saving of a job that asks for draft quality.
    int32_t MinimumSaving = 0;
    int32_t DraftSaving = 50;

private:
    // The all-users folder of the product, made when missing with `create`.
    TextBuffer CommonFolder(bool create) const;
    // JobTimeout as the machine allows it: a user's 0 or larger value becomes the ceiling.
    void CapJobTimeout();
};

// One user setting under the settings key. Exactly one of number and text is set.
struct AppSetting {
    const char* name;
    int32_t AppEnvironment::*number;
    char (AppEnvironment::*text)[kMaxPath + 1];
    int32_t defaultNumber;
    const char* defaultText;
    // What a writer may store; a reader clamps to the range (and to the
    // nearest step, halves up) only when asked.
    int32_t minimum;
    int32_t maximum;
    int32_t step;
    bool clampOnRead;
    // Texts accepted without regard to case; empty: any text that fits.
    std::span<const char* const> accepted;

    bool AcceptsNumber(int32_t value) const;
    // The accepted value nearest to value.
    int32_t Clamp(int32_t value) const;
    bool AcceptsText(const char* value) const;
};
