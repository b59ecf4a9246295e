#pragma once
#include <string>
#include <utility>
#include <vector>

#include "DevMode.h"

// Page setup <-> IPP job options (the names CUPS takes as options and
// reports as job attributes). Pure conversions, so they test without a server.
using PrintOption = std::pair<std::string, std::string>;

class DevModeOptions {
public:
    // The options that ask a printer for this page setup; only fields named in
    // dmFields are turned into options.
    static std::vector<PrintOption> ToOptions(const DEVMODE& devMode);
    // Applies one option to the page setup and marks its field in dmFields;
    // false (nothing changed) for an unknown option or a value out of range.
    static bool ApplyOption(DEVMODE& devMode, const char* name, const char* value);
    // A whole decimal number in [minimum, maximum] filling the text, else false.
    static bool ParseInteger(const char* text, long minimum, long maximum, long& value);
    // "600dpi" or "600x1200dpi": the horizontal figure, else 0.
    static int ParseResolution(const char* text);
};
