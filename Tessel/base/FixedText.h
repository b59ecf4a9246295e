#pragma once
#include <cstddef>
#include <cstring>

// Copies text into a fixed field, cut to fit, always terminated; null gives "".
template <size_t N>
void CopyField(char (&field)[N], const char* text)
{
    static_assert(N > 0);
    if (!text) text = "";
    const size_t length = strnlen(text, N - 1);
    std::memmove(field, text, length);
    field[length] = '\0';
}

// Appends a separator to a non-empty folder path that lacks one, when it fits.
template <size_t N>
void EnsureTrailingSlash(char (&field)[N])
{
    const size_t length = strnlen(field, N);
    if (length > 0 && length + 1 < N && field[length - 1] != '/') {
        field[length] = '/';
        field[length + 1] = '\0';
    }
}
