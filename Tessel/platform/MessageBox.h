#pragma once

constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a message box: zenity when a display is there, else the controlling
// terminal, else standard error with the default answer (OK, or No for a
// question). TESSEL_MESSAGEBOX=stderr|yes|no answers without asking anyone;
// text and caption still go to standard error.
int MessageBoxA(const char* text, const char* caption, unsigned type);
// From now on every box closes after that many seconds with its default
// answer, when nobody answered (a job nobody sits at must not wait for
// ever); 0, as at the start, waits for the answer.
void SetMessageBoxTimeLimit(int seconds);
