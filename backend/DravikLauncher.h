#pragma once
#include <functional>
#include <string>
#include <vector>

#include "UserAccount.h"

// Starts the job processor as the job's user and stays with it to its end:
// relays its error stream line by line and passes a stop signal on to it.
struct LaunchRequest {
    UserAccount user;
    std::string program;
    std::vector<std::string> arguments;  // program name first
    std::vector<std::string> environment;
    std::string inputFile;  // the job; empty: our own standard input
    // Runs as the user, just before the program starts; false stops the start.
    std::function<bool()> prepare;
};

struct LaunchOutcome {
    enum Stage { Ran, Input, Spawn, Privileges, Prepare, Start };
    Stage stage = Ran;     // the stage that failed, or Ran
    int error = 0;         // its error number
    int status = 0;        // exit status of the program, or 128 + signal
    bool stopped = false;  // a stop signal was passed on to the program
};

class DravikLauncher {
public:
    // After a stop signal the program has this long before it and all it
    // started are killed; the scheduler kills us a little later.
    static constexpr int kStopGraceSeconds = 20;
    // A longer error line is cut into pieces.
    static constexpr size_t kMaxLine = 1024;

    static LaunchOutcome Run(const LaunchRequest& request, const std::function<void(const std::string&)>& onLine);
};
