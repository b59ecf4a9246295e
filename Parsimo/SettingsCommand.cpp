#include "SettingsCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "AppEnvironment.h"
#include "FixedText.h"
#include "PrinterChoices.h"
#include "TextBuffer.h"

namespace {
constexpr int kBadUsage = 2;

std::string ValueText(const AppEnvironment& env, const AppSetting& setting)
{
    return setting.text ? std::string(env.*setting.text) : std::to_string(env.*setting.number);
}

std::string AllowedText(const AppSetting& setting)
{
    if (!setting.text) {
        if (setting.maximum - setting.minimum == setting.step)
            return std::to_string(setting.minimum) + " or " + std::to_string(setting.maximum);
        std::string range = std::to_string(setting.minimum) + " to " + std::to_string(setting.maximum);
        return setting.step > 1 ? range + " in steps of " + std::to_string(setting.step) : range;
    }
    if (setting.accepted.empty())
        return "a text on one line of at most " + std::to_string(kMaxPath - 1) + " characters";
    std::string list;
    for (const char* value : setting.accepted) list += std::string(list.empty() ? "" : ", ") + "\"" + value + "\"";
    return list + " (in any case)";
}

std::string SettingNames()
{
    std::string names;
    for (const AppSetting& setting : AppEnvironment::Settings())
        names += std::string(names.empty() ? "" : ", ") + setting.name;
    return names;
}

bool ParseNumber(const char* text, int32_t& number)
{
    if (!*text || std::strchr(" \t\r\n+", *text)) return false;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || *end || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        return false;
    number = static_cast<int32_t>(value);
    return true;
}

bool OnOneLine(const char* text)
{
    return !std::strpbrk(text, "\r\n");
}

int Usage(const char* text)
{
    std::fprintf(stderr, "Parsimo: %s\nTry 'Parsimo --help'.\n", text);
    return kBadUsage;
}
}  // namespace

int SettingsCommand::List(int argc, char**)
{
    if (argc > 1) return Usage("'settings' takes no arguments.");
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    env.ReadSettings();
    for (const AppSetting& setting : AppEnvironment::Settings())
        std::printf("%s = %s\n", setting.name, ValueText(env, setting).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int SettingsCommand::Get(int argc, char** argv)
{
    if (argc != 2) return Usage("'get' takes one setting name.");
    const AppSetting* setting = AppEnvironment::FindSetting(argv[1]);
    if (!setting) {
        std::fprintf(stderr, "Parsimo: unknown setting '%s'; the settings are %s.\n", argv[1], SettingNames().c_str());
        return kBadUsage;
    }
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    env.ReadSettings();
    std::printf("%s\n", ValueText(env, *setting).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int SettingsCommand::Set(int argc, char** argv)
{
    std::vector<const char*> words;
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--force") == 0)
            force = true;
        else
            words.push_back(argv[i]);
    }
    if (words.empty() || words.size() % 2 != 0) return Usage("'set' takes pairs of a setting name and a value.");

    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    env.ReadSettings();
    // Every pair is checked before the first one is stored, so a bad pair
    // leaves the settings as they were.
    std::vector<const AppSetting*> changes;
    std::vector<PrinterChoices> printers;  // listed once, when needed
    for (size_t i = 0; i < words.size(); i += 2) {
        const char* name = words[i];
        const char* value = words[i + 1];
        const AppSetting* setting = AppEnvironment::FindSetting(name);
        if (!setting) {
            std::fprintf(stderr, "Parsimo: unknown setting '%s'; the settings are %s.\n", name, SettingNames().c_str());
            return kBadUsage;
        }
        int32_t number = 0;
        const bool valid = setting->text ? setting->AcceptsText(value) && OnOneLine(value)
                                         : ParseNumber(value, number) && setting->AcceptsNumber(number);
        if (!valid) {
            std::fprintf(stderr, "Parsimo: %s \"%s\" is not allowed; allowed values: %s.\n", setting->name, value,
                         AllowedText(*setting).c_str());
            return kBadUsage;
        }
        if (setting->text == &AppEnvironment::TargetPrinterName && !force) {
            if (printers.empty()) printers.emplace_back(env);
            if (!printers[0].Contains(value)) {
                std::fprintf(stderr,
                             "Parsimo: %s \"%s\" is not allowed; allowed values: a printer that 'Parsimo printers' "
                             "lists (or any name with --force).\n",
                             setting->name, value);
                return kBadUsage;
            }
        }
        if (setting->text)
            CopyField(env.*setting->text, value);
        else
            env.*setting->number = number;
        changes.push_back(setting);
    }
    for (const AppSetting* setting : changes) {
        try {
            env.WriteSetting(*setting);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Parsimo: %s could not be stored (%s).\n", setting->name, e.what());
            return 1;
        }
    }
    return 0;
}

int SettingsCommand::Printers(int argc, char**)
{
    if (argc > 1) return Usage("'printers' takes no arguments.");
    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    env.ReadSettings();
    const PrinterChoices choices(env);
    for (const PrinterEntry& printer : choices.GetPrinters())
        std::printf("%s %s\n", printer.isDefault ? "*" : " ", printer.name.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
