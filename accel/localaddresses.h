// The local IPv4 addresses that the packet observer chooses its address from.
#pragma once

#include <string>
#include <vector>

// The texts of the process's local address list (filled by the console when it starts), in list
// order; empty while the list is.
std::vector<std::string> LocalAddressTexts();
