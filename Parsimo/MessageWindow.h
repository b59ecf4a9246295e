#pragma once

// The job processor's message boxes on the desktop: the text as it is (never
// markup), an icon for its kind, and OK, or Yes and No for a question.
class MessageWindow {
public:
    enum class Kind { Information, Error, Question };

    // Shows the window until the user answers, or for at most limitSeconds
    // when that is above 0. Returns kMessageYes for OK or Yes, kMessageNo for
    // No (Escape or closing a question), kMessageNotAnswered when the time
    // ran out, kNotShown without a display (MessageBox.h).
    static int Run(Kind kind, const char* title, const char* text, int limitSeconds);
    static constexpr int kNotShown = 4;
};
