#pragma once

constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a message box: the message program (below) when a display is there,
// else the controlling terminal, else standard error with the default answer
// (OK, or No for a question). TESSEL_MESSAGEBOX=stderr|yes|no answers without
// asking anyone; text and caption still go to standard error.
int MessageBoxA(const char* text, const char* caption, unsigned type);
// The program that shows boxes on a display; none (as at the start) leaves
// the terminal and standard error. It is run as
//   program /message --kind=question|error|info --title=CAPTION --text=TEXT [--timeout=SECONDS]
// and answers by its exit status: 0 OK or Yes, 1 No, 3 nobody answered in
// time (the default answer); any other status means it showed nothing.
// TESSEL_LOGFILE names our log file to it, for what it has to say.
void SetMessageBoxProgram(const char* path);
// The exit statuses of the message program.
constexpr int kMessageYes = 0;
constexpr int kMessageNo = 1;
constexpr int kMessageNotAnswered = 3;
// From now on every box closes after that many seconds with its default
// answer, when nobody answered (a job nobody sits at must not wait for
// ever); 0, as at the start, waits for the answer.
void SetMessageBoxTimeLimit(int seconds);
