#pragma once

// The scriptable side of the settings program. Each command takes the words
// behind its own name and returns the exit code: 0 done, 1 a failure of the
// system (a value could not be stored), 2 a bad command line, which changes
// nothing.
class SettingsCommand {
public:
    static int List(int argc, char** argv);      // settings
    static int Get(int argc, char** argv);       // get NAME
    static int Set(int argc, char** argv);       // set NAME VALUE [NAME VALUE ...] [--force]
    static int Printers(int argc, char** argv);  // printers
};
