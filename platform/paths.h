// Where the platform keeps and finds things on this machine.
#pragma once

#include <string>

namespace win::paths {

// $XDG_CONFIG_HOME, else $HOME/.config.
std::string ConfigHome();
// The folder of the program's own stores: ConfigHome()/fleetwing.
std::string StoreFolder();
// The Wine prefix in which Windows programs are installed: $WINEPREFIX, else $HOME/.wine.
std::string WinePrefix();
// The user's home folder: $HOME, else the password database's entry.
std::string Home();
// The running executable's full path (/proc/self/exe), empty when it cannot be read.
std::string ExecutablePath();
// The folder that holds the running executable.
std::string ExecutableFolder();

}  // namespace win::paths
