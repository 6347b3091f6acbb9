// ShellExecute: opening a web address, a document, a folder or a program the way the
// desktop does, with Windows programs run under Wine.
#pragma once

#include "platform/wintypes.h"

namespace win {

// Show commands. They are accepted and have no effect here.
inline constexpr INT SW_HIDE = 0;
inline constexpr INT SW_SHOWNORMAL = 1;
inline constexpr INT SW_SHOW = 5;

// ShellExecute results: a value above 32 means the launch went ahead.
inline constexpr INT SE_ERR_FNF = 2;
inline constexpr INT SE_ERR_PNF = 3;
inline constexpr INT SE_ERR_ACCESSDENIED = 5;
inline constexpr INT SE_ERR_OOM = 8;
inline constexpr INT SE_ERR_NOASSOC = 31;
inline constexpr INT SE_LAUNCHED = 42;

// Performs verb (null, "" or "open", in any letter case; any other verb gives
// SE_ERR_NOASSOC) on file:
// - a URL (a scheme of two or more characters, then ':') is opened with xdg-open;
//   parameters are ignored.
// - a bare name (no / or \) is looked up next to the executable (letter case ignored),
//   then on PATH; not found gives SE_ERR_FNF.
// - any other path (a drive path through the Wine prefix, a Linux path as it is, a
//   relative path against directory or else the current folder) must exist, else
//   SE_ERR_FNF.
// What was found is then run: a name ending in .exe, .com or .bat under wine (WINEPREFIX
// set to the prefix), with parameters split as the platform's runtime splits a command
// line; a folder, a file reached through a drive path or a Linux file without execute
// permission opened with xdg-open; any other Linux file started directly with the split
// parameters. No wine or xdg-open on PATH gives SE_ERR_NOASSOC.
// directory, when given and not empty, is the program's current folder (mapped like any
// path); a missing one gives SE_ERR_PNF. The program is started without a shell,
// detached, and never left to be reaped. The result carries SE_LAUNCHED or the error code,
// as the platform's HINSTANCE does; the error code is also the last error.
HINSTANCE ShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                       INT showCommand);

}  // namespace win
