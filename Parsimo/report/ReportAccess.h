#pragma once

// Whether this process reads everyone's usage: root, or a member of the
// printing administrators' group (lpadmin). Everyone else reads their own.
bool ReadsEveryonesUsage();
