#pragma once

// ShellExecuteA("open") stand-in: xdg-open, or the program TESSEL_OPENER
// names, started detached. Returns a value above 32 on success,
// SE_ERR_NOASSOC when no application is associated with the file.
constexpr int SE_ERR_NOASSOC = 31;
int ShellOpen(const char* path);
