#pragma once
// Processor time (user and system) in seconds, to the microsecond: the
// steadier measure on a busy machine.
#include <sys/resource.h>

namespace processcpu {

inline double Seconds(int who)
{
    rusage usage{};
    if (getrusage(who, &usage) != 0) return 0.0;
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace processcpu

// Of the waited-for children so far.
inline double ChildrenCpuSeconds()
{
    return processcpu::Seconds(RUSAGE_CHILDREN);
}

// Of this process, all its threads.
inline double OwnCpuSeconds()
{
    return processcpu::Seconds(RUSAGE_SELF);
}
