#pragma once

// Usage statistics are recorded by the product's statistics library
// (libCorvel.so in InstallDir), loaded for each call.
void SetUsageDatabase(const char* path);
// Records the job and, when the filter collected them, its per-page figures.
void SaveJobStatistics();
