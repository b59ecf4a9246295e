#include "Backend.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "BackendJob.h"
#include "DesktopSession.h"
#include "DravikEnvironment.h"
#include "DravikLauncher.h"
#include "FixedText.h"
#include "JobExit.h"
#include "JobIdentity.h"
#include "JobRecord.h"
#include "JobSaving.h"
#include "PpdFile.h"
#include "RegistryKey.h"
#include "Scheduler.h"
#include "SysUtils.h"
#include "SystemStatistics.h"
#include "UserAccount.h"

namespace {
// Lines to the scheduler go out whole and at once.
void Say(const char* prefix, const std::string& text)
{
    std::fprintf(stderr, "%s: %s\n", prefix, text.c_str());
}

// What the installation key says: where the job processor is, and how long
// any job may run.
struct Installation {
    std::string dravik;
    int timeLimitSeconds = Backend::kDefaultJobTimeoutLimit;
};

Installation ReadInstallation()
{
    Installation installation;
    char installDir[kMaxPath + 1] = {};
    try {
        RegistryKey key(HKEY_LOCAL_MACHINE);
        key.OpenForRead("SOFTWARE\\QMVK\\Parsimo");
        key.GetString("InstallDir", installDir, sizeof installDir);
        const uint32_t limit = key.GetDword("JobTimeoutLimit", Backend::kDefaultJobTimeoutLimit);
        if (limit > 0 && limit <= Backend::kMaxJobTimeoutLimit) installation.timeLimitSeconds = static_cast<int>(limit);
    } catch (...) {
        return installation;
    }
    if (!*installDir) return installation;
    EnsureTrailingSlash(installDir);
    installation.dravik = std::string(installDir) + "Dravik";
    return installation;
}

std::string EnvironmentOr(const std::vector<std::string>& environment, const char* name, const char* fallback)
{
    const std::string value = DravikEnvironment::Value(environment, name);
    return value.empty() ? fallback : value;
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
    for (const char* prefix : {"ERROR: ", "WARNING: ", "INFO: "})
        if (text.compare(0, std::strlen(prefix), prefix) == 0) return text;
    return "DEBUG: " + text;
}

int Backend::ExitCode(const LaunchOutcome& outcome)
{
    switch (outcome.stage) {
    case LaunchOutcome::Ran: break;
    case LaunchOutcome::Spawn: return kRetry;  // out of processes for now
    default: return kCancel;
    }
    // Ended by the scheduler: it knows what becomes of the job.
    if (outcome.stopped) return kFailed;
    if (outcome.timedOut) return kCancel;
    switch (outcome.status) {
    case kExitPrinted: return kOk;
    case kExitTryLater: return kRetry;
    default: return kCancel;
    }
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
    UserAccount local, service;
    const bool known = UserAccount::Find(job.user, local);
    const std::string serviceName = EnvironmentOr(environment, "PARSIMO_SERVICE_ACCOUNT", kServiceAccount);
    const bool haveService = UserAccount::Find(serviceName, service);
    const JobIdentity identity =
        JobIdentity::Decide(job.user, DravikEnvironment::Value(environment, "AUTH_UID"),
                            known ? std::optional<UserAccount>(local) : std::nullopt, known && local.IsLoginAccount(),
                            service, EnvironmentOr(environment, "PARSIMO_SERVICE_HOME", kServiceHome));
    if (identity.service && (!haveService || service.uid == 0)) {
        Say("ERROR", "The service account \"" + serviceName + "\" does not exist: the job of \"" + job.user +
                         "\" cannot be processed (reinstall the package parsimo)");
        return kCancel;
    }
    const Installation installation = ReadInstallation();
    if (installation.dravik.empty() || !FileExists(installation.dravik.c_str(), false)) {
        Say("ERROR", "Parsimo installation not found: no job processor \"" + installation.dravik +
                         "\" (InstallDir of HKEY_LOCAL_MACHINE\\SOFTWARE\\QMVK\\Parsimo)");
        return kCancel;
    }
    std::string queue = DravikEnvironment::Value(environment, "PRINTER");
    if (queue.empty()) queue = "Parsimo";

    std::string machine = Scheduler::OriginatingHost(job.jobId);
    if (machine.empty() || machine == "localhost") machine = Scheduler::HostName();
    BackendJob recorded = job;
    recorded.user = identity.name;
    const std::vector<PrintOption> options = Scheduler::ParseOptions(job.options);
    const PrintJobInfo record = JobRecord::FromJob(recorded, options, machine);

    LaunchRequest request;
    request.user = identity.account;
    request.user.home = identity.home;
    request.program = installation.dravik;
    request.arguments = {"Dravik", "-std"};
    // The service account has no desktop: its jobs never wait for a dialog.
    const DesktopSession session = identity.service ? DesktopSession() : DesktopSession::Find(identity.account);
    request.environment = DravikEnvironment::Build(request.user, environment, session);
    request.environment.push_back("PARSIMO_JOB_ID=" + std::to_string(job.jobId));
    PpdFile queuePpd;
    queuePpd.Load(DravikEnvironment::Value(environment, "PPD"));
    for (const std::string& variable : JobSaving::Variables(options, queuePpd.GetDefault("TonerSaving")))
        request.environment.push_back(variable);
    request.inputFile = job.file;
    request.timeLimitSeconds = installation.timeLimitSeconds;
    const std::string hive = DravikEnvironment::HivePath(request.environment);
    if (hive.empty()) {
        Say("ERROR", "User \"" + identity.name + "\" has no home folder for their settings");
        return kCancel;
    }
    request.prepare = [&]() {
        // The per-name folder of the service account, then the hive's
        // folder, are made here, as the job's user, on their first job.
        if (identity.service && !CreateFolder(identity.home.c_str(), true, false)) return false;
        const size_t slash = hive.rfind('/');
        if (slash != std::string::npos && slash > 0) CreateFolder(hive.substr(0, slash).c_str(), true, true);
        return JobRecord::Store(record, hive.c_str(), queue);
    };
    Say("INFO", "Processing job " + std::to_string(job.jobId) + " for user " + identity.name +
                    (identity.service ? " as the service account " + serviceName : std::string()));
    bool explained = false;  // the job processor said why it failed
    const LaunchOutcome outcome = DravikLauncher::Run(request, [&explained](const std::string& line) {
        const std::string relayed = RelayLine(line);
        std::fprintf(stderr, "%s\n", relayed.c_str());
        explained = explained || relayed.rfind("ERROR: ", 0) == 0;
    });

    if (outcome.stage != LaunchOutcome::Ran) {
        Say("ERROR", StageText(outcome) + " (" + std::strerror(outcome.error) + "); hive " + hive);
        return ExitCode(outcome);
    }
    // Pages that reached paper count even when the job failed later on.
    if (!outcome.figures.empty() && !SystemStatistics::Record(outcome.figures, identity.name, machine, fault))
        Say("WARNING", "The job's usage was not recorded: " + fault);
    if (outcome.timedOut)
        Say("ERROR", "The job ran longer than " + std::to_string(installation.timeLimitSeconds) +
                         " seconds (JobTimeoutLimit) and was ended");
    else if (outcome.stopped)
        Say("INFO", "Job stopped");
    else if (outcome.status != kExitPrinted && outcome.status != kExitCancelled)
        // The job processor's own message, when it gave one, stays the one the scheduler shows.
        Say(explained ? "DEBUG" : "ERROR", "The job processor stopped early (exit status " +
                                               std::to_string(outcome.status) +
                                               "); see Parsimo.log in the user's data folder");
    return ExitCode(outcome);
}
