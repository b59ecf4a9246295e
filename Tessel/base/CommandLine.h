#pragma once
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Command lines with the Windows quoting rules, so that one text form of a
// command serves both platforms:
//  - blanks and tabs (and line breaks) outside quotes separate arguments;
//  - a double quote starts or ends a quoted run; "" inside a quoted run is a
//    literal quote;
//  - 2n backslashes before a quote give n backslashes and the quote acts as
//    above; 2n+1 backslashes before a quote give n backslashes and a literal
//    quote; backslashes anywhere else are literal.
class CommandLine {
public:
    // The arguments of a command line; empty for a null or blank text.
    static std::vector<std::string> Split(const char* commandLine);
    // One argument written so that Split gives it back unchanged.
    static std::string Quote(std::string_view argument);
    // Quoted arguments separated by blanks.
    static std::string Join(std::initializer_list<std::string_view> arguments);
};
