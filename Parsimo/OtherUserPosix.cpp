#include "OtherUser.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Backend.h"
#include "JobIdentity.h"
#include "SysUtils.h"
#include "UserAccount.h"

bool OtherUser::Asked(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--user") == 0) return true;
    return false;
}

int OtherUser::Run(Command command, int argc, char** argv)
{
    std::vector<char*> words{argv[0]};
    std::string claimed;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--user") != 0) {
            words.push_back(argv[i]);
            continue;
        }
        if (i + 1 >= argc || !*argv[i + 1] || !claimed.empty()) {
            std::fprintf(stderr, "Parsimo: --user takes one user name.\nTry 'Parsimo --help'.\n");
            return 2;
        }
        claimed = argv[++i];
    }
    if (geteuid() != 0) {
        std::fprintf(stderr, "Parsimo: only root sets another user's settings (run it with sudo).\n");
        return 1;
    }
    UserAccount local, service;
    const bool known = UserAccount::Find(claimed, local);
    std::string serviceName = GetEnvironmentText("PARSIMO_SERVICE_ACCOUNT");
    if (serviceName.empty()) serviceName = Backend::kServiceAccount;
    std::string serviceHome = GetEnvironmentText("PARSIMO_SERVICE_HOME");
    if (serviceHome.empty()) serviceHome = Backend::kServiceHome;
    if (!UserAccount::Find(serviceName, service) || service.uid == 0) {
        std::fprintf(stderr, "Parsimo: the service account \"%s\" does not exist (reinstall the package parsimo).\n",
                     serviceName.c_str());
        return 1;
    }
    // Root vouches for the name, as the scheduler does for a user it authenticated.
    const JobIdentity identity = JobIdentity::Decide(claimed, known ? std::to_string(local.uid) : std::string(),
                                                     known ? std::optional<UserAccount>(local) : std::nullopt,
                                                     known && local.IsLoginAccount(), service, serviceHome);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("Parsimo: fork");
        return 1;
    }
    if (pid == 0) {
        if (!identity.account.Become()) {
            std::fprintf(stderr, "Parsimo: could not become \"%s\": %s\n", identity.account.name.c_str(),
                         std::strerror(errno));
            _exit(1);
        }
        umask(077);
        // Their settings where their jobs read them, whatever this shell had set.
        setenv("HOME", identity.home.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("TESSEL_HKCU");
        if (identity.service && !CreateFolder(identity.home.c_str(), true, false)) {
            std::fprintf(stderr, "Parsimo: the folder %s cannot be made: %s\n", identity.home.c_str(),
                         std::strerror(errno));
            _exit(1);
        }
        const int status = command(static_cast<int>(words.size()), words.data());
        std::fflush(nullptr);
        _exit(status);
    }
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0)
        if (errno != EINTR) return 1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 1;
}
