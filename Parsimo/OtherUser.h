#pragma once

// A settings command for another user, as an administrator runs it for the
// people a print server serves: `Parsimo set --user NAME ...`. Only root may.
// The command runs as whoever the backend would run that user's jobs as: a
// person's own account in their home, or else the service account in the
// per-name folder it keeps for that name; never as root in a folder someone
// else can write.
class OtherUser {
public:
    using Command = int (*)(int argc, char** argv);

    // argv holds the command's words with "--user NAME" among them; the
    // command gets them without it. Exit codes as the command's; 1 when the
    // user cannot be taken on, 2 for a bad command line.
    static int Run(Command command, int argc, char** argv);
    // Whether the words ask for another user.
    static bool Asked(int argc, char** argv);
};
