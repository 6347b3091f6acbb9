// The user's Run key as XDG autostart entries: value N is the desktop entry
// $XDG_CONFIG_HOME/autostart/N.desktop, its data the entry's Exec line, given and returned
// as a command line with the platform's quoting.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/wintypes.h"

namespace win::autostart {

std::string Folder();

// The command line of entry name; nothing when there is no such entry (or it is hidden).
std::optional<std::string> Query(std::string_view name);
// Creates or replaces the entry. ERROR_INVALID_PARAMETER for a name that cannot be a file
// name, ERROR_ACCESS_DENIED when the entry cannot be written.
LONG Set(std::string_view name, std::string_view commandLine);
// ERROR_FILE_NOT_FOUND when there is no such entry.
LONG Delete(std::string_view name);

// The Exec value (unescaped form, before the desktop file's string escaping) for a command
// line, and back.
std::string ExecFromCommandLine(std::string_view commandLine);
std::string CommandLineFromExec(std::string_view exec);

}  // namespace win::autostart
