#pragma once
#include <iosfwd>
#include <string>
#include <vector>

// `Parsimo report ...`: `argv` holds the words after "report". Exit codes:
// 0 done (also when the period holds nothing), 1 database missing or not ours
// (or the chart cannot be written), 2 bad option or date.
int RunReport(int argc, char** argv);
int RunReport(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);
