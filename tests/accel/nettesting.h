// Network namespaces for the acceleration engine's tests, and the child processes that work in
// them. Every test that opens a packet socket does so in a forked child that has joined a
// namespace made for the test, so its sockets see only the test's own traffic; the child's
// test failures are handed back to the parent test.
//
// The namespaces are called fwtest-<pid>-<n> and hold 10.200.0.x/30 addresses only; IPv6 is off
// in them and neighbours are static, so no traffic arises but the test's own. They are deleted
// when the test ends, and namespaces left behind by a test process that died are deleted when
// the next one starts.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace nettest {

// Runs a program with its arguments; its exit status, or -1 if it could not run.
inline int Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `ip` with these arguments; a failure fails the test.
inline void Ip(const std::vector<std::string>& args) {
    std::vector<std::string> command{"ip"};
    command.insert(command.end(), args.begin(), args.end());
    std::string line;
    for (const std::string& arg : command) {
        line += arg + " ";
    }
    ASSERT_EQ(Run(command), 0) << line;
}

// Joins the calling thread to a named network namespace.
inline bool EnterNamespace(const std::string& name) {
    const int fd = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool entered = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return entered;
}

// A named network namespace of this test process, deleted with the object.
class Namespace {
public:
    Namespace() {
        static std::atomic<int> serial{0};
        RemoveLeftovers();
        m_name = "fwtest-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
        Ip({"netns", "add", m_name});
        // IPv6 off before any interface exists, so none of them talks.
        RunIn(m_name, [] {
            for (const char* conf : {"all", "default"}) {
                std::ofstream(std::string("/proc/sys/net/ipv6/conf/") + conf + "/disable_ipv6")
                    << "1\n";
            }
        });
        Ip({"-n", m_name, "link", "set", "lo", "up"});
    }
    ~Namespace() { Run({"ip", "netns", "delete", m_name}); }
    Namespace(const Namespace&) = delete;
    Namespace& operator=(const Namespace&) = delete;

    const std::string& name() const { return m_name; }

    // Runs body in a forked child that has joined the namespace name (or stays where it is, with
    // an empty name). The child's test failures are reported here; a child that crashes or
    // takes longer than the limit fails the test.
    static void RunIn(const std::string& name, const std::function<void()>& body,
                      std::chrono::seconds limit = std::chrono::seconds(60));

private:
    // Deletes the namespaces of test processes that no longer run.
    static void RemoveLeftovers() {
        DIR* dir = ::opendir("/run/netns");
        if (dir == nullptr) {
            return;
        }
        std::vector<std::string> stale;
        while (const dirent* entry = ::readdir(dir)) {
            int pid = 0;
            if (std::sscanf(entry->d_name, "fwtest-%d-", &pid) == 1 && pid > 0 &&
                ::kill(pid, 0) != 0 && errno == ESRCH) {
                stale.emplace_back(entry->d_name);
            }
        }
        ::closedir(dir);
        for (const std::string& name : stale) {
            Run({"ip", "netns", "delete", name});
        }
    }

    std::string m_name;
};

inline void Namespace::RunIn(const std::string& name, const std::function<void()>& body,
                             std::chrono::seconds limit) {
    int report[2];
    ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(report[0]);
        std::string failures;
        {
            testing::TestPartResultArray results;
            testing::ScopedFakeTestPartResultReporter reporter(
                testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
            if (!name.empty() && !EnterNamespace(name)) {
                ADD_FAILURE() << "cannot join the network namespace " << name;
            } else {
                body();
            }
            for (int i = 0; i < results.size(); ++i) {
                const testing::TestPartResult& result = results.GetTestPartResult(i);
                if (result.failed()) {
                    failures += std::string(result.file_name() ? result.file_name() : "?") + ":" +
                                std::to_string(result.line_number()) + ": " + result.message() +
                                "\n";
                }
            }
        }
        std::size_t written = 0;
        while (written < failures.size()) {
            const ssize_t n =
                ::write(report[1], failures.data() + written, failures.size() - written);
            if (n <= 0) {
                break;
            }
            written += static_cast<std::size_t>(n);
        }
        ::_exit(failures.empty() ? 0 : 1);
    }
    ::close(report[1]);
    std::string failures;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd fd{report[0], POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), 1000))) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::read(report[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        failures.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(report[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        ADD_FAILURE() << "the child in " << name << " took longer than " << limit.count() << " s";
    } else if (WIFSIGNALED(status)) {
        ADD_FAILURE() << "the child in " << name << " died of signal " << WTERMSIG(status);
    } else if (!failures.empty()) {
        ADD_FAILURE() << "in the child:\n" << failures;
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "the child in " << name << " ended with status " << status;
    }
}

// Two namespaces joined by a veth pair: fwa 10.200.0.1/30 in a(), fwb 10.200.0.2/30 in b(),
// with each other's link address entered as permanent neighbours.
class VethPair {
public:
    static constexpr const char* kAddressA = "10.200.0.1";
    static constexpr const char* kAddressB = "10.200.0.2";

    VethPair() {
        const char* macA = "02:00:00:00:00:01";
        const char* macB = "02:00:00:00:00:02";
        Ip({"-n", m_a.name(), "link", "add", "fwa", "address", macA, "type", "veth", "peer", "name",
            "fwb", "address", macB, "netns", m_b.name()});
        Ip({"-n", m_a.name(), "addr", "add", std::string(kAddressA) + "/30", "dev", "fwa"});
        Ip({"-n", m_b.name(), "addr", "add", std::string(kAddressB) + "/30", "dev", "fwb"});
        Ip({"-n", m_a.name(), "link", "set", "fwa", "up"});
        Ip({"-n", m_b.name(), "link", "set", "fwb", "up"});
        Ip({"-n", m_a.name(), "neigh", "replace", kAddressB, "lladdr", macB, "dev", "fwa", "nud",
            "permanent"});
        Ip({"-n", m_b.name(), "neigh", "replace", kAddressA, "lladdr", macA, "dev", "fwb", "nud",
            "permanent"});
    }

    const Namespace& a() const { return m_a; }
    const Namespace& b() const { return m_b; }

private:
    Namespace m_a;
    Namespace m_b;
};

// Creates a socket in another namespace: the calling thread visits it for the call.
inline int SocketIn(const std::string& name, int domain, int type, int protocol) {
    const int home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (home < 0 || !EnterNamespace(name)) {
        if (home >= 0) {
            ::close(home);
        }
        return -1;
    }
    const int fd = ::socket(domain, type | SOCK_CLOEXEC, protocol);
    const bool back = ::setns(home, CLONE_NEWNET) == 0;
    ::close(home);
    return back ? fd : -1;
}

inline sockaddr_in Address(const char* dotted, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, dotted, &address.sin_addr);
    return address;
}

// A UDP port that takes datagrams and never reads them, so that sending to it draws no ICMP
// answer (which would be traffic of its own); what does not fit its small buffer is dropped.
class UdpSink {
public:
    // In the current namespace, or in another one.
    UdpSink(const char* address, int port, const std::string& inNamespace = {}) {
        m_fd = inNamespace.empty() ? ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)
                                   : SocketIn(inNamespace, AF_INET, SOCK_DGRAM, 0);
        const int small = 4096;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        const sockaddr_in local = Address(address, port);
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    }
    ~UdpSink() { ::close(m_fd); }
    UdpSink(const UdpSink&) = delete;
    UdpSink& operator=(const UdpSink&) = delete;
    bool bound() const { return m_bound; }

private:
    int m_fd = -1;
    bool m_bound = false;
};

// Sends UDP datagrams to one address, from the current namespace or another one.
class UdpSender {
public:
    UdpSender(const char* address, int port, const std::string& inNamespace = {})
        : m_to(Address(address, port)) {
        m_fd = inNamespace.empty() ? ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)
                                   : SocketIn(inNamespace, AF_INET, SOCK_DGRAM, 0);
    }
    ~UdpSender() { ::close(m_fd); }
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    // Sends count datagrams of payload bytes each, the first bytes numbering them from first.
    // Returns how many were sent.
    int Send(int count, std::size_t payload = 64, std::uint32_t first = 0) {
        std::vector<char> data(std::max<std::size_t>(payload, sizeof first), 'x');
        int sent = 0;
        for (int i = 0; i < count; ++i) {
            const std::uint32_t number = first + static_cast<std::uint32_t>(i);
            std::memcpy(data.data(), &number, sizeof number);
            if (::sendto(m_fd, data.data(), payload, 0, reinterpret_cast<const sockaddr*>(&m_to),
                         sizeof m_to) == static_cast<ssize_t>(payload)) {
                ++sent;
            }
        }
        return sent;
    }

private:
    int m_fd = -1;
    sockaddr_in m_to;
};

// The descriptors this process has open, as /proc shows their targets.
inline std::vector<std::string> OpenDescriptors() {
    std::vector<std::string> targets;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) {
        return targets;
    }
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) {
            continue;
        }
        char target[256];
        const ssize_t n = ::readlinkat(own, entry->d_name, target, sizeof target - 1);
        if (n > 0) {
            targets.emplace_back(target, static_cast<std::size_t>(n));
        }
    }
    ::closedir(dir);
    return targets;
}

// How many packet sockets this process has open in the current namespace: the descriptors that
// are sockets listed in /proc/net/packet.
inline int OpenPacketSockets() {
    std::set<std::string> inodes;
    std::ifstream table("/proc/self/net/packet");
    std::string line;
    std::getline(table, line);  // the column names
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string field, last;
        while (fields >> field) {
            last = field;
        }
        inodes.insert("socket:[" + last + "]");
    }
    int count = 0;
    for (const std::string& target : OpenDescriptors()) {
        count += inodes.count(target) != 0 ? 1 : 0;
    }
    return count;
}

// Waits until condition holds, or the limit passes; returns whether it holds.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Waits until the thread with that id sleeps in poll, as a reader waiting for packets does.
inline bool WaitUntilPolling(pid_t thread) {
    return WaitFor([thread] {
        std::ifstream syscall("/proc/self/task/" + std::to_string(thread) + "/syscall");
        long number = -1;
        return syscall >> number && number == SYS_poll;
    });
}

// Drops CAP_NET_RAW from the calling process for good (effective, permitted, inheritable and
// bounding sets), as for a user without the right to raw sockets.
inline bool DropRawSocketRight() {
    if (::prctl(PR_CAPBSET_DROP, CAP_NET_RAW, 0, 0, 0) != 0) {
        return false;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    const unsigned bit = 1u << (CAP_NET_RAW % 32);
    data[CAP_NET_RAW / 32].effective &= ~bit;
    data[CAP_NET_RAW / 32].permitted &= ~bit;
    data[CAP_NET_RAW / 32].inheritable &= ~bit;
    return ::syscall(SYS_capset, &header, data) == 0;
}

}  // namespace nettest
