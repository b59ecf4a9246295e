#pragma once
#include "TextBuffer.h"

enum MessageId {
    MSG_GS_NOT_FOUND = 2,
    MSG_INSTALL_NOT_FOUND = 3,
    MSG_APPDATA_NOT_FOUND = 4,
    MSG_COMMON_APPDATA_NOT_FOUND = 5,
    MSG_IMAGE_FORMAT = 9,
    MSG_PRINTER_NOT_SUPPORTED = 10,
    MSG_VIRTUAL_PRINTER = 11,
    MSG_TARGET_PRINTER = 12,
    MSG_FILE_IN_USE = 13,
    MSG_NEW_PDF = 14,
    MSG_NEW_IMAGE = 15,
    // Why a job stopped before its end.
    MSG_JOB_FILE = 18,
    MSG_RENDER_FAILED = 19,
    MSG_PRINT_FAILED = 20,
    MSG_NO_PAGES = 21,
    MSG_OUTPUT_FAILED = 22,
    MSG_JOB_TIMEOUT = 23,
    MSG_JOB_BUSY = 24,
    MSG_NO_TARGET = 25,
    MSG_COUNT = 26,
};

// Column of the message table for the user's locale: 0 English, 1 German,
// 2 French, 3 Spanish, 4 Italian.
int GetLanguageIndex();
const char* GetMessageText(int id);
// The message text with each "%s" replaced by the next argument, in order.
// Texts are filled by substitution, never used as a printf format.
TextBuffer FormatMessageText(int id, const char* first = nullptr, const char* second = nullptr);
