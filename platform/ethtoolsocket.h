// Link questions answered by the network drivers through the ethtool ioctl: the nominal speed
// and the driver's name. One datagram socket is kept open for the process to carry them.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace win::iphelper {

// The nominal speed in bits per second from the driver's figure in Mb/s, saturated at the
// largest 32-bit value; 0 when the driver gives none.
std::uint32_t SpeedInBits(std::optional<std::uint32_t> megabits);

// Not thread-safe: the owner serialises the calls. The socket is opened on first use in the
// calling thread's network namespace, with close-on-exec; a forked child opens its own.
class EthtoolSocket {
public:
    EthtoolSocket() = default;
    ~EthtoolSocket();
    EthtoolSocket(const EthtoolSocket&) = delete;
    EthtoolSocket& operator=(const EthtoolSocket&) = delete;

    // The link's speed in Mb/s from the link settings (the older settings call when the driver
    // has only that); nothing when the driver reports none, or reports it unknown.
    std::optional<std::uint32_t> SpeedMegabits(const std::string& interfaceName);

    // The name of the link's driver; empty when the link has none to tell.
    std::string DriverName(const std::string& interfaceName);

private:
    bool Ioctl(const std::string& interfaceName, void* request);
    std::optional<std::uint32_t> LinkSettingsSpeed(const std::string& interfaceName);
    std::optional<std::uint32_t> LegacySpeed(const std::string& interfaceName);

    int m_fd = -1;
    pid_t m_owner = 0;
    // The size of the link-mode masks this kernel uses, learnt from its first answer.
    int m_maskWords = 0;
};

}  // namespace win::iphelper
