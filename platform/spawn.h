// Starting a program detached from this one, by its argument vector (never through a
// shell).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace win::process {

// Starts argv[0] with the arguments argv, as its own session, so it outlives this process
// and is never this process's child to reap. argv[0] without a slash is looked up on the
// PATH the program gets (the current one, or the one in extraEnv); there is no fallback to
// a shell for a file the system cannot execute. The program gets /dev/null as standard
// input, this process's standard output and error, no other descriptor, default signal
// handling with nothing blocked, the current environment with extraEnv's entries added or
// replaced, and workingDir as its current folder when it is not empty.
// True once the program is running; false, with *errorOut (when given) set to the errno
// value, when it could not be started (not found, not executable, missing working folder,
// out of resources). *errorOut is 0 on success.
// Safe to call from any thread: everything the child needs is prepared before the fork.
bool SpawnDetached(const std::vector<std::string>& argv, const std::string& workingDir,
                   const std::vector<std::pair<std::string, std::string>>& extraEnv, int* errorOut);

// The first executable regular file called name on the current PATH (default
// "/bin:/usr/bin"); empty when there is none. With requireExecutable false any regular
// file counts. A name with a slash is not looked up.
std::string FindOnPath(std::string_view name, bool requireExecutable = true);

}  // namespace win::process
