#include "Messages.h"

#include <string>

#include "SysUtils.h"

namespace {
constexpr int kLanguages = 5;

// Every column holds the English text until translations exist.
#define SAME5(text) {text, text, text, text, text}
const char* const kMessages[MSG_COUNT][kLanguages] = {
    SAME5(""),
    SAME5(""),
    SAME5("Ghostscript installation not found!"),
    SAME5("Parsimo installation not found!"),
    SAME5("Application Data Folder not found!"),
    SAME5("Common Application Data Folder not found!"),
    SAME5(""),
    SAME5(""),
    SAME5(""),
    SAME5("This image format (%s) is not supported!"),
    SAME5("The printer (%s) is not supported!"),
    SAME5("Could not open the virtual printer (%s)!"),
    SAME5("Could not open the target printer (%s)!"),
    SAME5("File %s is already opened by another program. Please close it and click the OK button to continue."),
    SAME5("The new .PDF file %s is located in the folder %s. Do you want to open this folder right now?"),
    SAME5("The new image file %s is located in the folder %s. Do you want to open this folder right now?"),
    SAME5(""),
    SAME5(""),
};
#undef SAME5
}  // namespace

int GetLanguageIndex()
{
    switch (GetUserPrimaryLanguage() & 0x3ff) {
    case 0x07: return 1;
    case 0x0C: return 2;
    case 0x0A: return 3;
    case 0x10: return 4;
    default: return 0;
    }
}

const char* GetMessageText(int id)
{
    if (id < 0 || id >= MSG_COUNT) return "";
    return kMessages[id][GetLanguageIndex()];
}

TextBuffer FormatMessageText(int id, const char* first, const char* second)
{
    const char* arguments[] = {first, second};
    size_t next = 0;
    TextBuffer result("");
    std::string text = GetMessageText(id);
    size_t start = 0;
    for (size_t at = text.find("%s"); at != std::string::npos; at = text.find("%s", start)) {
        result.Append(text.substr(start, at - start).c_str());
        if (next < 2 && arguments[next]) result.Append(arguments[next]);
        ++next;
        start = at + 2;
    }
    result.Append(text.substr(start).c_str());
    return result;
}
