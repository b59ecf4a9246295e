#include "FileSearch.h"

#include <cctype>
#include <cstring>
#include <string>

namespace {
bool SameLetter(char a, char b)
{
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

bool Match(const char* name, const char* mask)
{
    // Iterative wildcard match with one backtrack point: linear in practice,
    // never exponential on hostile masks.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*mask == '*') {
            star = mask++;
            resume = name;
        } else if (*mask == '?' || (*mask && SameLetter(*mask, *name))) {
            ++mask;
            ++name;
        } else if (star) {
            mask = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*mask == '*') ++mask;
    return *mask == '\0';
}
}  // namespace

bool MatchesMask(const char* name, const char* mask)
{
    if (!name || !mask) return false;
    if (Match(name, mask)) return true;
    // A final ".*" may also match nothing at all, so "_dk_????.tm_.*" finds
    // the bare page file "_dk_0001.tm_" as well as "_dk_0001.tm_.pdf".
    const size_t length = std::strlen(mask);
    if (length >= 2 && std::strcmp(mask + length - 2, ".*") == 0) {
        const std::string stem(mask, length - 2);
        return Match(name, stem.c_str());
    }
    return false;
}
