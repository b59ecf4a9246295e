#include "Backend.h"

#include <cstdio>
#include <cstring>

#include "BackendJob.h"
#include "DesktopSession.h"
#include "DravikEnvironment.h"
#include "DravikLauncher.h"
#include "FixedText.h"
#include "JobRecord.h"
#include "RegistryKey.h"
#include "Scheduler.h"
#include "SysUtils.h"
#include "UserAccount.h"

namespace {
// Lines to the scheduler go out whole and at once.
void Say(const char* prefix, const std::string& text)
{
    std::fprintf(stderr, "%s: %s\n", prefix, text.c_str());
}

// The job processor from the installation key, as it finds itself.
std::string DravikPath()
{
    char installDir[kMaxPath + 1] = {};
    try {
        RegistryKey key(HKEY_LOCAL_MACHINE);
        key.OpenForRead("SOFTWARE\\QMVK\\Parsimo");
        key.GetString("InstallDir", installDir, sizeof installDir);
    } catch (...) {
        return {};
    }
    if (!*installDir) return {};
    EnsureTrailingSlash(installDir);
    return std::string(installDir) + "Dravik";
}

std::string StageText(const LaunchOutcome& outcome)
{
    switch (outcome.stage) {
    case LaunchOutcome::Input: return "The job's file could not be opened";
    case LaunchOutcome::Spawn: return "The job processor could not be started";
    case LaunchOutcome::Privileges: return "Could not switch to the job's user";
    case LaunchOutcome::Prepare: return "The job record could not be written to the user's settings";
    case LaunchOutcome::Start: return "The job processor could not be run";
    case LaunchOutcome::Ran: break;
    }
    return {};
}
}  // namespace

std::string Backend::RelayLine(const std::string& line)
{
    std::string text;
    for (char c : line)
        if (c != '\r') text.push_back(static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
    return "ERROR: " + text;
}

int Backend::Run(int argc, const char* const* argv, const std::vector<std::string>& environment)
{
    if (argc == 1) {
        std::printf("%s\n", kDeviceLine);
        return kOk;
    }
    BackendJob job;
    std::string fault;
    if (!BackendJob::Parse(argc, argv, job, fault)) {
        Say("ERROR", fault);
        return kFailed;
    }
    UserAccount user;
    if (!UserAccount::Find(job.user, user)) {
        Say("ERROR", "Unknown user \"" + job.user + "\": the job cannot be processed for them");
        return kFailed;
    }
    const std::string dravik = DravikPath();
    if (dravik.empty() || !FileExists(dravik.c_str(), false)) {
        Say("ERROR", "Parsimo installation not found: no job processor \"" + dravik +
                         "\" (InstallDir of HKEY_LOCAL_MACHINE\\SOFTWARE\\QMVK\\Parsimo)");
        return kFailed;
    }
    std::string queue = DravikEnvironment::Value(environment, "PRINTER");
    if (queue.empty()) queue = "Parsimo";

    std::string machine = Scheduler::OriginatingHost(job.jobId);
    if (machine.empty() || machine == "localhost") machine = Scheduler::HostName();
    const PrintJobInfo record = JobRecord::FromJob(job, Scheduler::ParseOptions(job.options), machine);

    LaunchRequest request;
    request.user = user;
    request.program = dravik;
    request.arguments = {"Dravik", "-std"};
    request.environment = DravikEnvironment::Build(user, environment, DesktopSession::Find(user));
    request.inputFile = job.file;
    const std::string hive = DravikEnvironment::HivePath(request.environment);
    if (hive.empty()) {
        Say("ERROR", "User \"" + user.name + "\" has no home folder for their settings");
        return kFailed;
    }
    request.prepare = [&]() {
        // The hive's folder is the user's own, made here on their first job.
        const size_t slash = hive.rfind('/');
        if (slash != std::string::npos && slash > 0) CreateFolder(hive.substr(0, slash).c_str(), true, true);
        return JobRecord::Store(record, hive.c_str(), queue);
    };
    Say("INFO", "Processing job " + std::to_string(job.jobId) + " for user " + user.name);
    int relayed = 0;
    const LaunchOutcome outcome = DravikLauncher::Run(request, [&relayed](const std::string& line) {
        std::fprintf(stderr, "%s\n", RelayLine(line).c_str());
        ++relayed;
    });

    if (outcome.stage != LaunchOutcome::Ran) {
        Say("ERROR", StageText(outcome) + " (" + std::strerror(outcome.error) + "); hive " + hive);
        return kFailed;
    }
    if (outcome.stopped) {
        Say("INFO", "Job stopped");
        return kFailed;
    }
    if (outcome.status == 0) return kOk;
    // The job processor's own message, when it gave one, stays the one the scheduler shows.
    Say(relayed > 0 ? "DEBUG" : "ERROR", "The job processor stopped early (exit status " +
                                             std::to_string(outcome.status) +
                                             "); see Parsimo.log in the user's data folder");
    return kFailed;
}
