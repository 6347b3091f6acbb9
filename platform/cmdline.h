// Splitting a Windows command line into arguments and joining arguments into one, by the
// rules the platform's C runtime uses to build argv.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace win::cmdline {

// The arguments of a command line (without a program name: the first argument follows the
// same rules as the others).
// - Arguments are separated by blanks and tabs; nothing else separates them.
// - Double quotes group: blanks and tabs between them are part of the argument, and a
//   quoted part may sit in the middle of an argument (a"b c"d is one argument, ab cd).
// - 2n backslashes before a quote give n backslashes, and the quote opens or closes a
//   quoted part; 2n+1 backslashes before a quote give n backslashes and a literal quote.
// - Backslashes not followed by a quote are taken literally.
// - Inside a quoted part, "" gives a literal quote and the part goes on, as the current
//   runtime does (a"b"" c d is the single argument ab" c d).
// - A quoted part still open at the end ends the last argument; "" alone is an empty
//   argument.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The command line whose SplitCommandLine is args. An argument is quoted only when it is
// empty or holds a blank, a tab or a quote; the others are copied unchanged.
std::string JoinCommandLine(const std::vector<std::string>& args);

}  // namespace win::cmdline
