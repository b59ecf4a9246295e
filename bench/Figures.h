#pragma once
// The figures the benchmarks print of repeated runs.
#include <algorithm>
#include <vector>

inline double Least(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
