#pragma once
// Processor time (user and system) of the waited-for children so far, in
// seconds, to the microsecond: the steadier measure on a busy machine.
#include <sys/resource.h>

inline double ChildrenCpuSeconds()
{
    rusage usage{};
    if (getrusage(RUSAGE_CHILDREN, &usage) != 0) return 0.0;
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
