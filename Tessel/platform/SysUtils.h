#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "TextBuffer.h"

// Operating system version as major * 100 + minor on the Windows NT family;
// 0 everywhere else (Linux is not of that family).
int32_t GetOSVersion();
bool FileExists(const char* path, bool mustBeDirectory);
// Makes sure `path` is a folder, creating it (and, with `parents`, the
// folders above it) when missing; owner-only when `perUser`. False with errno
// set otherwise.
bool CreateFolder(const char* path, bool perUser, bool parents);

// Special folders (no final separator); null TextBuffer on failure.
// Overridden by TESSEL_APPDATA, TESSEL_COMMON_APPDATA, TESSEL_COMMON_DOCUMENTS.
TextBuffer GetAppDataFolder();
TextBuffer GetCommonAppDataFolder();
TextBuffer GetCommonDocumentsFolder();

// <folder>/<group>/<app>/, each level created when missing (per-user folders
// with mode 0700, all-users ones 0755); null TextBuffer when a level cannot be
// created, is not a folder, or the path would exceed kMaxPath characters.
TextBuffer MakeAppDataDir(const char* group, const char* app);
TextBuffer MakeCommonAppDataDir(const char* group, const char* app);
TextBuffer MakeCommonDocumentsDir(const char* group, const char* app);
// The same paths with nothing created or looked at, for those that only read.
TextBuffer AppDataDirPath(const char* group, const char* app);
TextBuffer CommonAppDataDirPath(const char* group, const char* app);
TextBuffer CommonDocumentsDirPath(const char* group, const char* app);

// Primary language id of the user's locale (LC_ALL, LC_MESSAGES, LANG):
// de 0x07, en 0x09, es 0x0A, fr 0x0C, it 0x10, pt 0x16, others 0.
int32_t GetUserPrimaryLanguage();

// Global memory status, bytes.
struct MemoryStatus {
    uint32_t memoryLoad = 0;  // percent in use
    uint64_t totalPhys = 0, availPhys = 0;
    uint64_t totalPageFile = 0, availPageFile = 0;
    uint64_t totalVirtual = 0, availVirtual = 0;
};
bool GetMemoryStatus(MemoryStatus& status);

// Zeroed memory, to be given back with std::free. A block of a page
// bitmap's size (from 2 MiB) is aligned to and laid on huge pages where the
// system offers them: touched for the first time in 4 KiB pages, an 8 MiB
// page costs some 2,000 page faults, a fifth of its handling.
void* AllocateZeroed(size_t bytes);

// The value of an environment variable; empty when it is not set.
std::string GetEnvironmentText(const char* name);

// Portable building blocks of the above, usable without the system.
// Primary language id of a locale name such as "de_DE.UTF-8"; 0 for "C", "POSIX" and unknown ones.
int32_t PrimaryLanguageOfLocale(const char* locale);
// The figure of the line "key:   1234 kB" of a /proc status text, in kilobytes;
// false when the line is missing or its figure is malformed or out of range.
bool FindKilobytes(std::string_view text, std::string_view key, uint64_t& kilobytes);
