#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace win::paths {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

std::string Home() {
    std::string home = Env("HOME");
    if (!home.empty()) {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir != nullptr) {
        return result->pw_dir;
    }
    return "/";
}

std::string ConfigHome() {
    std::string dir = Env("XDG_CONFIG_HOME");
    // The base-directory rules ignore a relative value.
    if (!dir.empty() && dir.front() == '/') {
        return dir;
    }
    return Home() + "/.config";
}

std::string StoreFolder() {
    return ConfigHome() + "/fleetwing";
}

std::string WinePrefix() {
    std::string prefix = Env("WINEPREFIX");
    if (!prefix.empty()) {
        return prefix;
    }
    return Home() + "/.wine";
}

std::string ExecutablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(n));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string ExecutableFolder() {
    const std::string exe = ExecutablePath();
    const auto slash = exe.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : exe.substr(0, slash);
}

}  // namespace win::paths
