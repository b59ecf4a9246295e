#pragma once

// Usage statistics are recorded by the product's statistics library
// (libCorvel.so in InstallDir), loaded for each call, into the user's own
// database. Under the queue the figures also go to the backend through the
// pipe PARSIMO_STATISTICS_FD names: it alone writes the all-users database.
void SetUsageDatabase(const char* path);
// Records the job and, when the filter collected them, its per-page figures.
void SaveJobStatistics();
