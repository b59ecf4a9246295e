#include "LoggedError.h"

#include <stdexcept>

#include "Log.h"

void ThrowLoggedError(const char* sentence, const char* file, int line)
{
    ThrowLoggedError(sentence, sentence, true, file, line);
}

void ThrowLoggedError(const char* sentence, const char* logSentence, bool fullStop, const char* file, int line)
{
    if (fullStop)
        LogText("%s File %s, Line %d.\r\n", logSentence, file, line);
    else
        LogText("%s File %s, Line %d\r\n", logSentence, file, line);
    throw std::runtime_error(sentence);
}
