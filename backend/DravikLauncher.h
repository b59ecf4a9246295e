#pragma once
#include <functional>
#include <string>
#include <vector>

#include "UserAccount.h"

// Starts the job processor as the job's user and stays with it to its end:
// relays its error stream line by line, collects the figures it hands back,
// passes a stop signal on to it, and ends it when it runs too long. It dies
// with us: a killed backend leaves no job processor printing on its own.
struct LaunchRequest {
    UserAccount user;
    std::string program;
    std::vector<std::string> arguments;  // program name first
    std::vector<std::string> environment;
    std::string inputFile;  // the job; empty: our own standard input
    // Runs as the user, just before the program starts; false stops the start.
    std::function<bool()> prepare;
    // The program is ended (with all it started) when it runs longer; 0: no limit.
    int timeLimitSeconds = 0;
};

struct LaunchOutcome {
    enum Stage { Ran, Input, Spawn, Privileges, Prepare, Start };
    Stage stage = Ran;      // the stage that failed, or Ran
    int error = 0;          // its error number
    int status = 0;         // exit status of the program, or 128 + signal
    bool stopped = false;   // a stop signal was passed on to the program
    bool timedOut = false;  // ended for running past the time limit
    // What the program wrote to its statistics pipe (descriptor kFiguresFd,
    // named by PARSIMO_STATISTICS_FD); cut at UsageHandOff's size limit.
    std::string figures;
};

class DravikLauncher {
public:
    // After a stop signal the program has this long before it and all it
    // started are killed; the scheduler kills us a little later.
    static constexpr int kStopGraceSeconds = 20;
    // A longer error line is cut into pieces.
    static constexpr size_t kMaxLine = 1024;
    // The program's end of the statistics pipe; every other descriptor above
    // standard error (the scheduler's back and side channels among them) is
    // closed before it starts.
    static constexpr int kFiguresFd = 3;
    static constexpr size_t kMaxFigures = 8u << 20;

    static LaunchOutcome Run(const LaunchRequest& request, const std::function<void(const std::string&)>& onLine);
};
