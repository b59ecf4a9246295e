#pragma once

// ShellExecuteA("open") stand-in: xdg-open, or the program TESSEL_OPENER
// names, started detached and never waited for. Returns a value above 32 on
// success; SE_ERR_NOASSOC when no application is associated with the file or
// folder (xdg-mime knows no default for its type; not checked when
// TESSEL_OPENER is set); SE_ERR_FNF when the path does not exist or the
// opener cannot be started.
constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_NOASSOC = 31;
int ShellOpen(const char* path);

// The type of the output files we open, by extension (case ignored): .pdf,
// .jpg/.jpeg and .bmp; null for any other name.
const char* MimeTypeByExtension(const char* path);
