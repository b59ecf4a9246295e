#pragma once
// Older names of the shared test helpers, still used by the print tests.
#include "ScratchFolder.h"

namespace childtest {
using TempDir = ScratchFolder;
using ScopedEnv = ScopedVariable;
using CapturedLog = ScopedLog;
}  // namespace childtest
