#pragma once

// The one way a failed check of the system's own is reported: the sentence
// with " File %s, Line %d.\r\n" goes to the log, then std::runtime_error
// carries the sentence alone.
[[noreturn]] void ThrowLoggedError(const char* sentence, const char* file, int line);
// For the few places whose log text differs from the raised sentence (another
// wording, or no full stop after the line number).
[[noreturn]] void ThrowLoggedError(const char* sentence, const char* logSentence, bool fullStop, const char* file,
                                   int line);

#define THROW_LOGGED(sentence) ThrowLoggedError((sentence), BaseFileName(__FILE__), __LINE__)
