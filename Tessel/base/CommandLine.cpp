#include "CommandLine.h"

namespace {
bool IsSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
}  // namespace

std::vector<std::string> CommandLine::Split(const char* commandLine)
{
    std::vector<std::string> arguments;
    if (!commandLine) return arguments;
    const char* p = commandLine;
    while (true) {
        while (IsSeparator(*p)) ++p;
        if (!*p) break;

        // An argument has started even when it ends up empty (a bare "").
        std::string argument;
        bool quoted = false;
        while (*p && (quoted || !IsSeparator(*p))) {
            if (*p == '\\') {
                size_t backslashes = 0;
                while (*p == '\\') {
                    ++backslashes;
                    ++p;
                }
                if (*p == '"') {
                    argument.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        argument += '"';
                        ++p;
                    }
                    // An even count leaves the quote to the branch below.
                } else {
                    argument.append(backslashes, '\\');
                }
            } else if (*p == '"') {
                if (quoted && p[1] == '"') {
                    argument += '"';
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
            } else {
                argument += *p++;
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::string CommandLine::Quote(std::string_view argument)
{
    bool needsQuotes = argument.empty();
    for (char c : argument)
        if (IsSeparator(c) || c == '"') needsQuotes = true;
    if (!needsQuotes) return std::string(argument);

    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // Backslashes before a quote are doubled, and the quote escaped.
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    // Backslashes before the closing quote are doubled so it stays a quote.
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

std::string CommandLine::Join(std::initializer_list<std::string_view> arguments)
{
    std::string line;
    for (std::string_view argument : arguments) {
        if (!line.empty()) line += ' ';
        line += Quote(argument);
    }
    return line;
}
