#pragma once
#include <optional>
#include <string>

#include "UserAccount.h"

// Who a job runs as, and whose job it is recorded as. The user name of a job
// is a claim: only a person's account that the scheduler authenticated
// (AUTH_UID, from the credentials of its local socket) runs as itself, on its
// own desktop. Everyone else — root, system accounts, names nobody here has,
// remote users, and anyone the scheduler did not authenticate — runs as the
// service account, with settings and data of their own per name below the
// service account's folder, and never in someone else's home.
struct JobIdentity {
    static constexpr size_t kMaxName = 64;
    static constexpr const char* kUnverifiedPrefix = "unverified-";

    UserAccount account;   // what the job processor runs as
    std::string name;      // the name the job is kept and recorded under
    bool service = false;  // true: the service account
    std::string home;      // the job processor's HOME

    // `claimed`: the job's user; `authUid`: the scheduler's AUTH_UID, empty
    // when it authenticated nobody; `local`: the account of that name, if
    // any, and whether it is a person's (UserAccount::IsLoginAccount).
    static JobIdentity Decide(const std::string& claimed, const std::string& authUid,
                              const std::optional<UserAccount>& local, bool localIsLogin, const UserAccount& service,
                              const std::string& serviceHome);

    // A name safe as a folder name and the same for every spelling of one
    // person: lower case, without a "DOMAIN\" prefix or an "@realm" suffix,
    // characters outside a-z 0-9 . _ - replaced by '_', never starting with
    // '.' or '-', at most kMaxName characters; "anonymous" when nothing is left.
    static std::string NormalisedName(const std::string& name);
};
