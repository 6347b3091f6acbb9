#include "platform/ethtoolsocket.h"

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace win::iphelper {

namespace {

// The three link-mode masks that follow the link settings, at their largest (the word count
// is a signed byte).
constexpr std::size_t kMaxMaskWords = std::numeric_limits<std::int8_t>::max();

std::optional<std::uint32_t> KnownSpeed(std::uint32_t megabits) {
    if (megabits == 0 || megabits == static_cast<std::uint32_t>(SPEED_UNKNOWN)) {
        return std::nullopt;
    }
    return megabits;
}

}  // namespace

std::uint32_t SpeedInBits(std::optional<std::uint32_t> megabits) {
    if (!megabits) {
        return 0;
    }
    const std::uint64_t bits = std::uint64_t{*megabits} * 1'000'000;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(bits, std::numeric_limits<std::uint32_t>::max()));
}

EthtoolSocket::~EthtoolSocket() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::optional<std::uint32_t> EthtoolSocket::SpeedMegabits(const std::string& interfaceName) {
    if (auto speed = LinkSettingsSpeed(interfaceName)) {
        return speed;
    }
    return LegacySpeed(interfaceName);
}

std::string EthtoolSocket::DriverName(const std::string& interfaceName) {
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    if (!Ioctl(interfaceName, &info)) {
        return {};
    }
    return std::string(info.driver, strnlen(info.driver, sizeof info.driver));
}

bool EthtoolSocket::Ioctl(const std::string& interfaceName, void* request) {
    if (m_fd >= 0 && m_owner != ::getpid()) {
        ::close(m_fd);  // a forked child's copy of the parent's socket
        m_fd = -1;
    }
    if (m_fd < 0) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            return false;
        }
        m_owner = ::getpid();
    }
    if (interfaceName.empty() || interfaceName.size() >= IFNAMSIZ) {
        return false;
    }
    ifreq interfaceRequest{};
    std::memcpy(interfaceRequest.ifr_name, interfaceName.data(), interfaceName.size());
    interfaceRequest.ifr_data = static_cast<char*>(request);
    return ::ioctl(m_fd, SIOCETHTOOL, &interfaceRequest) == 0;
}

std::optional<std::uint32_t> EthtoolSocket::LinkSettingsSpeed(const std::string& interfaceName) {
    // The settings followed by room for the masks, handled as bytes because the record ends
    // in a flexible array.
    alignas(ethtool_link_settings)
        std::array<unsigned char, sizeof(ethtool_link_settings) + 3 * kMaxMaskWords * 4>
            request{};
    ethtool_link_settings settings{};
    // A kernel asked with a mask size other than its own answers with its size, negated, and
    // nothing else; the size is kept for the next questions.
    for (int round = 0; round < 2; ++round) {
        settings = {};
        settings.cmd = ETHTOOL_GLINKSETTINGS;
        settings.link_mode_masks_nwords = static_cast<std::int8_t>(m_maskWords);
        std::memcpy(request.data(), &settings, sizeof settings);
        if (!Ioctl(interfaceName, request.data())) {
            return std::nullopt;
        }
        std::memcpy(&settings, request.data(), sizeof settings);
        if (settings.link_mode_masks_nwords >= 0) {
            return KnownSpeed(settings.speed);
        }
        m_maskWords = -settings.link_mode_masks_nwords;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> EthtoolSocket::LegacySpeed(const std::string& interfaceName) {
    ethtool_cmd command{};
    command.cmd = ETHTOOL_GSET;
    if (!Ioctl(interfaceName, &command)) {
        return std::nullopt;
    }
    return KnownSpeed(std::uint32_t{command.speed_hi} << 16 | command.speed);
}

}  // namespace win::iphelper
