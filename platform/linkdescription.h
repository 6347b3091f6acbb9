// The text an interface row carries as its description.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace win::iphelper {

// The longest description, in bytes, not counting the terminating zero.
inline constexpr std::size_t kMaxDescriptionLength = 255;

// What names an interface, from the most telling to the least.
struct DescriptionSources {
    std::string_view name;
    bool loopback = false;
    std::string_view model;   // hardware model name
    std::string_view driver;  // driver name
    std::string_view kind;    // link type (veth, bridge, tun, ...)
};

// The interface name, " - ", then the model, else the driver, else the link kind; a loopback
// interface is a "Software Loopback Interface", and an interface with nothing to tell is just
// its name. Cut to kMaxDescriptionLength bytes, never inside a UTF-8 sequence.
std::string DescribeInterface(const DescriptionSources& sources);

}  // namespace win::iphelper
