// The interface and address tables inside two network namespaces made for each test and
// joined by a veth pair: the namespaces carry no traffic but the test's own (IPv6 off, static
// neighbour entries), so counters must move by exactly the frames sent. The checks run in a
// forked child that enters the namespaces before it first uses the tables (their sockets stay
// in the namespace they were opened in) and reports back through a pipe.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/interfacetable.h"
#include "net/netfakes.h"
#include "net/trafficmeter.h"
#include "platform/iphelper.h"
#include "platform/spawn.h"
#include "platform/unicode.h"

namespace {

using win::DWORD;
using win::MIB_IFROW;
using win::ULONG;

constexpr char kNamespacePrefix[] = "fwtest-";
constexpr char kNetnsFolder[] = "/var/run/netns/";

// The veth pair between the namespaces.
constexpr char kVethA[] = "fwva";
constexpr char kVethB[] = "fwvb";
constexpr char kMacA[] = "02:00:0a:c8:00:01";
constexpr char kMacB[] = "02:00:0a:c8:00:02";
constexpr char kAddressA[] = "10.200.0.1";
constexpr char kAddressB[] = "10.200.0.2";

// Bytes a UDP datagram of P payload bytes adds to a link: IPv4 and UDP headers, and on an
// Ethernet link its header too (veth pads nothing).
constexpr std::size_t kIpUdpHeaders = 28;
constexpr std::size_t kEthernetHeader = 14;

std::string IpProgram() {
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
        if (::access(path, X_OK) == 0) {
            return path;
        }
    }
    return win::process::FindOnPath("ip");
}

// Runs a program by its argument vector and waits for it. True when it exits with 0; its
// standard output, if asked for, in *output.
bool RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return false;
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) {
        return false;
    }
    if (output != nullptr) {
        *output = text;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool EnterNamespace(const std::string& name) {
    const int fd = ::open((kNetnsFolder + name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool entered = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return entered;
}

// Runs work in a forked child; true when it returns true.
bool InForkedChild(const std::function<bool()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(work() ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool WriteFile(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return written;
}

// Turns IPv6 off for the namespace's present and future interfaces, so that no neighbour or
// router discovery runs. A kernel without IPv6 needs nothing.
bool DisableIpv6(const std::string& name) {
    return InForkedChild([&] {
        if (!EnterNamespace(name)) {
            return false;
        }
        struct stat info;
        if (::stat("/proc/sys/net/ipv6", &info) != 0) {
            return true;
        }
        return WriteFile("/proc/sys/net/ipv6/conf/default/disable_ipv6", "1") &&
               WriteFile("/proc/sys/net/ipv6/conf/all/disable_ipv6", "1");
    });
}

// Failures of a forked child, handed to the parent as lines of text.
class ChildReport {
public:
    bool Check(bool condition, const std::string& what) {
        if (!condition) {
            m_text += what + "\n";
        }
        return condition;
    }
    template <typename A, typename B>
    bool Equal(const A& actual, const B& expected, const std::string& what) {
        if (actual == expected) {
            return true;
        }
        std::ostringstream line;
        line << what << ": " << actual << ", expected " << expected;
        return Check(false, line.str());
    }
    bool Ok() const { return m_text.empty(); }
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

// Runs body in a forked child (limited to a minute); its reported failures fail the test.
void RunInChild(const std::function<void(ChildReport&)>& body) {
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(pipe[0]);
        ::alarm(60);
        ChildReport report;
        try {
            body(report);
        } catch (const std::exception& error) {
            report.Check(false, std::string("exception: ") + error.what());
        }
        const std::string& text = report.Text();
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(pipe[1], text.data() + done, text.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        ::_exit(report.Ok() ? 0 : 1);
    }
    ::close(pipe[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipe[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipe[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        ADD_FAILURE() << line;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << (WIFSIGNALED(status)
                ? "the child was killed by signal " + std::to_string(WTERMSIG(status))
                : "the child reported failures");
}

// A UDP socket bound in the calling thread's current namespace.
class Udp {
public:
    Udp(const char* address, std::uint16_t port) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const timeval timeout{2, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &local.sin_addr);
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    }
    ~Udp() { ::close(m_fd); }
    Udp(const Udp&) = delete;
    Udp& operator=(const Udp&) = delete;

    bool Bound() const { return m_bound; }

    bool Send(const char* address, std::uint16_t port, std::size_t payload, int count) {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &peer.sin_addr);
        const std::vector<char> data(payload, 'x');
        for (int i = 0; i < count; ++i) {
            if (::sendto(m_fd, data.data(), data.size(), 0,
                         reinterpret_cast<const sockaddr*>(&peer),
                         sizeof peer) != ssize_t(payload)) {
                return false;
            }
        }
        return true;
    }

    // Waits for count datagrams of payload bytes each.
    bool Receive(std::size_t payload, int count) {
        std::vector<char> data(payload + 1);
        for (int i = 0; i < count; ++i) {
            if (::recv(m_fd, data.data(), data.size(), 0) != ssize_t(payload)) {
                return false;
            }
        }
        return true;
    }

private:
    int m_fd = -1;
    bool m_bound = false;
};

std::string NameOf(const MIB_IFROW& row) {
    return win::text::ToUtf8(std::u16string(row.wszName));
}

std::string DescriptionOf(const MIB_IFROW& row) {
    return reinterpret_cast<const char*>(row.bDescr);
}

std::vector<MIB_IFROW> TableRows(ChildReport& report) {
    ULONG size = 0;
    if (!report.Equal(win::GetIfTable(nullptr, &size, win::TRUE),
                      DWORD(win::ERROR_INSUFFICIENT_BUFFER), "size query")) {
        return {};
    }
    std::vector<unsigned char> bytes(size);
    if (!report.Equal(
            win::GetIfTable(reinterpret_cast<win::MIB_IFTABLE*>(bytes.data()), &size, win::TRUE),
            DWORD(win::ERROR_SUCCESS), "GetIfTable")) {
        return {};
    }
    DWORD count = 0;
    std::memcpy(&count, bytes.data(), 4);
    std::vector<MIB_IFROW> rows(count);
    for (DWORD i = 0; i < count; ++i) {
        std::memcpy(&rows[i], bytes.data() + 4 + i * sizeof(MIB_IFROW), sizeof(MIB_IFROW));
    }
    DWORD interfaces = 0;
    report.Equal(win::GetNumberOfInterfaces(&interfaces), DWORD(win::ERROR_SUCCESS),
                 "GetNumberOfInterfaces");
    report.Equal(interfaces, count, "GetNumberOfInterfaces against the table");
    return rows;
}

const MIB_IFROW* Named(const std::vector<MIB_IFROW>& rows, const std::string& name) {
    for (const MIB_IFROW& row : rows) {
        if (NameOf(row) == name) {
            return &row;
        }
    }
    return nullptr;
}

std::vector<DWORD> Indexes(const std::vector<MIB_IFROW>& rows) {
    std::vector<DWORD> indexes;
    for (const MIB_IFROW& row : rows) {
        indexes.push_back(row.dwIndex);
    }
    return indexes;
}

std::string Joined(const std::vector<DWORD>& values) {
    std::string text;
    for (const DWORD value : values) {
        text += (text.empty() ? "" : ",") + std::to_string(value);
    }
    return text;
}

class NetworkNamespaces : public testing::Test {
protected:
    void SetUp() override {
        std::string missing;
        m_ip = IpProgram();
        if (::geteuid() != 0) {
            missing = "making network namespaces needs root";
        } else if (m_ip.empty()) {
            missing = "the ip program (iproute2) is not installed";
        }
        if (!missing.empty()) {
            if (std::getenv("CI") != nullptr) {
                FAIL() << missing << "; CI runs as root with iproute2";
            }
            GTEST_SKIP() << missing;
        }
        RemoveLeftovers();
        const std::string stem = kNamespacePrefix + std::to_string(::getpid()) + "-";
        m_a = stem + "a";
        m_b = stem + "b";
        ASSERT_TRUE(Ip({"netns", "add", m_a}));
        m_made.push_back(m_a);
        ASSERT_TRUE(Ip({"netns", "add", m_b}));
        m_made.push_back(m_b);
        ASSERT_TRUE(DisableIpv6(m_a));
        ASSERT_TRUE(DisableIpv6(m_b));
        ASSERT_TRUE(Ip({"-n", m_a, "link", "set", "lo", "up"}));
        ASSERT_TRUE(Ip({"-n", m_b, "link", "set", "lo", "up"}));
        ASSERT_EQ(AddVethPair(m_a, kVethA, kMacA, kAddressA, m_b, kVethB, kMacB, kAddressB), "");
    }

    void TearDown() override {
        for (const std::string& name : m_made) {
            EXPECT_TRUE(Ip({"netns", "del", name})) << name;
        }
    }

    bool Ip(std::vector<std::string> arguments, std::string* output = nullptr) const {
        arguments.insert(arguments.begin(), m_ip);
        return RunProgram(arguments, output);
    }

    // A veth pair from namespace a to namespace b with a /30 between them, up, with each end's
    // neighbour entry for the other fixed so that no address resolution is sent. Runs the ip
    // program, so it works from a child that has entered a namespace as well. Returns the step
    // that failed, or nothing.
    std::string AddVethPair(const std::string& a, const std::string& nameA, const std::string& macA,
                            const std::string& addressA, const std::string& b,
                            const std::string& nameB, const std::string& macB,
                            const std::string& addressB) const {
        const std::vector<std::vector<std::string>> steps = {
            {"-n", a, "link", "add", nameA, "address", macA, "type", "veth", "peer", "name", nameB,
             "address", macB, "netns", b},
            {"-n", a, "addr", "add", addressA + "/30", "dev", nameA},
            {"-n", b, "addr", "add", addressB + "/30", "dev", nameB},
            {"-n", a, "link", "set", nameA, "up"},
            {"-n", b, "link", "set", nameB, "up"},
            {"-n", a, "neigh", "replace", addressB, "lladdr", macB, "dev", nameA, "nud",
             "permanent"},
            {"-n", b, "neigh", "replace", addressA, "lladdr", macA, "dev", nameB, "nud",
             "permanent"},
        };
        for (const std::vector<std::string>& step : steps) {
            if (!Ip(step)) {
                std::string command = "ip";
                for (const std::string& argument : step) {
                    command += " " + argument;
                }
                return command;
            }
        }
        // Frames are dropped until the kernel has brought the links' queues up.
        if (!WaitUntilUp(a, nameA) || !WaitUntilUp(b, nameB)) {
            return "waiting for " + nameA + " and " + nameB + " to come up";
        }
        return {};
    }

    bool WaitUntilUp(const std::string& space, const std::string& link) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            std::string shown;
            if (Ip({"-n", space, "-o", "link", "show", "dev", link}, &shown) &&
                shown.find(" state UP ") != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Namespaces of earlier runs that were killed before they could clean up.
    void RemoveLeftovers() const {
        DIR* folder = ::opendir(kNetnsFolder);
        if (folder == nullptr) {
            return;
        }
        std::vector<std::string> stale;
        while (const dirent* entry = ::readdir(folder)) {
            const std::string name = entry->d_name;
            if (name.rfind(kNamespacePrefix, 0) != 0) {
                continue;
            }
            const long owner = std::atol(name.c_str() + std::strlen(kNamespacePrefix));
            if (owner > 0 && ::kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH) {
                stale.push_back(name);
            }
        }
        ::closedir(folder);
        for (const std::string& name : stale) {
            Ip({"netns", "del", name});
        }
    }

    std::string m_ip;
    std::string m_a;
    std::string m_b;
    std::vector<std::string> m_made;
};

struct Traffic {
    std::size_t payload;
    int count;
};

// Small, ordinary and MTU-sized datagrams.
constexpr Traffic kTraffic[] = {{1, 5}, {100, 10}, {1472, 3}};

TEST_F(NetworkNamespaces, VethCountersMoveByTheFramesSent) {
    RunInChild([&](ChildReport& report) {
        if (!report.Check(EnterNamespace(m_b), "enter namespace b")) {
            return;
        }
        Udp peer(kAddressB, 7001);
        if (!report.Check(EnterNamespace(m_a), "enter namespace a")) {
            return;
        }
        Udp local(kAddressA, 7000);
        if (!report.Check(peer.Bound() && local.Bound(), "bind the sockets")) {
            return;
        }

        const std::vector<MIB_IFROW> first = TableRows(report);
        report.Equal(Joined(Indexes(first)), Joined({if_nametoindex("lo"), if_nametoindex(kVethA)}),
                     "rows of namespace a");
        const MIB_IFROW* veth = Named(first, kVethA);
        if (!report.Check(veth != nullptr, "a row for the veth")) {
            return;
        }
        report.Equal(veth->dwType, win::MIB_IF_TYPE_ETHERNET, "veth type");
        report.Equal(veth->dwMtu, 1500u, "veth MTU");
        report.Equal(DescriptionOf(*veth), std::string(kVethA) + " - veth", "veth description");
        // veth claims 10 Gb/s, beyond what 32 bits hold.
        report.Equal(veth->dwSpeed, 4294967295u, "veth speed");
        report.Equal(veth->dwPhysAddrLen, 6u, "veth address length");
        const unsigned char mac[6] = {0x02, 0x00, 0x0a, 0xc8, 0x00, 0x01};
        report.Check(std::memcmp(veth->bPhysAddr, mac, 6) == 0, "veth address");
        report.Equal(veth->dwAdminStatus, win::MIB_IF_ADMIN_STATUS_UP, "veth admin status");
        report.Equal(veth->dwOperStatus, win::MIB_IF_OPER_STATUS_OPERATIONAL, "veth status");

        for (const Traffic& traffic : kTraffic) {
            const std::string size = " (" + std::to_string(traffic.count) + " x " +
                                     std::to_string(traffic.payload) + " bytes)";
            const DWORD frames =
                DWORD(traffic.count * (traffic.payload + kIpUdpHeaders + kEthernetHeader));

            const MIB_IFROW before = *Named(TableRows(report), kVethA);
            report.Check(local.Send(kAddressB, 7001, traffic.payload, traffic.count) &&
                             peer.Receive(traffic.payload, traffic.count),
                         "send to namespace b" + size);
            const MIB_IFROW sent = *Named(TableRows(report), kVethA);
            report.Equal(sent.dwOutOctets - before.dwOutOctets, frames, "bytes sent" + size);
            report.Equal(sent.dwInOctets - before.dwInOctets, 0u, "bytes received while sending");
            report.Equal(sent.dwOutUcastPkts - before.dwOutUcastPkts, DWORD(traffic.count),
                         "packets sent" + size);

            report.Check(peer.Send(kAddressA, 7000, traffic.payload, traffic.count) &&
                             local.Receive(traffic.payload, traffic.count),
                         "send from namespace b" + size);
            const MIB_IFROW received = *Named(TableRows(report), kVethA);
            report.Equal(received.dwInOctets - sent.dwInOctets, frames, "bytes received" + size);
            report.Equal(received.dwOutOctets - sent.dwOutOctets, 0u, "bytes sent while receiving");
            report.Equal(received.dwInUcastPkts - sent.dwInUcastPkts, DWORD(traffic.count),
                         "packets received" + size);
        }
    });
}

// The traffic meter over the real table: one tick after a known burst gives exactly the bytes
// on the wire divided by the interface's divisor.
TEST_F(NetworkNamespaces, MeterRatesAreTheFramesSentOverTheDivisor) {
    RunInChild([&](ChildReport& report) {
        if (!report.Check(EnterNamespace(m_b), "enter namespace b")) {
            return;
        }
        Udp peer(kAddressB, 7011);
        if (!report.Check(EnterNamespace(m_a), "enter namespace a")) {
            return;
        }
        Udp local(kAddressA, 7010);
        if (!report.Check(peer.Bound() && local.Bound(), "bind the sockets")) {
            return;
        }
        nettest::FakeAdapterList list;
        nettest::FakeConsole console;
        nettest::FakeHistogram histogram;
        nettest::FakePicture picture;
        CInterfaceTable interfaces;
        CTrafficMeter meter;
        interfaces.Attach(list, console, meter);
        meter.Attach(interfaces, histogram, picture, console);
        // Loopback is left out of the list, so the veth is its only line.
        if (!report.Check(interfaces.LoadInterfaceList(), "load the list") ||
            !report.Equal(list.lines.size(), std::size_t{1}, "one adapter line")) {
            return;
        }
        report.Check(list.lines[0].rfind(std::string(" ") + kVethA + " - veth ", 0) == 0,
                     "the veth's line: " + list.lines[0]);
        interfaces.RefreshTable();
        const auto row = interfaces.SelectedRow();
        if (!report.Check(row.has_value(), "the selected row")) {
            return;
        }
        meter.ResetBaseline(*row);
        const DWORD divisor = std::max<DWORD>(row->dwSpeed >> 13, 1);

        constexpr std::size_t kPayload = 1400;
        constexpr int kCount = 2000;
        const DWORD frames = DWORD(kCount * (kPayload + kIpUdpHeaders + kEthernetHeader));
        // What the peer cannot take in is dropped there; the frames have left this end.
        report.Check(local.Send(kAddressB, 7011, kPayload, kCount), "send the burst");
        meter.OnMeterTick();
        if (!report.Equal(histogram.samples.size(), std::size_t{1}, "one sample")) {
            return;
        }
        report.Check(frames / divisor > 1, "a burst large enough to show");
        report.Equal(histogram.samples[0].second, frames / divisor, "send rate");
        // Nothing came in: the least rate the meter shows.
        report.Equal(histogram.samples[0].first, 1u, "receive rate");
    });
}

TEST_F(NetworkNamespaces, LoopbackCountersMoveByTheDatagramsSent) {
    RunInChild([&](ChildReport& report) {
        if (!report.Check(EnterNamespace(m_a), "enter namespace a")) {
            return;
        }
        Udp receiver("127.0.0.1", 7002);
        Udp sender("127.0.0.1", 0);
        if (!report.Check(receiver.Bound() && sender.Bound(), "bind the sockets")) {
            return;
        }
        const std::vector<MIB_IFROW> first = TableRows(report);
        const MIB_IFROW* loopback = Named(first, "lo");
        if (!report.Check(loopback != nullptr, "a row for lo")) {
            return;
        }
        report.Equal(loopback->dwType, win::MIB_IF_TYPE_LOOPBACK, "loopback type");
        report.Equal(DescriptionOf(*loopback), std::string("lo - Software Loopback Interface"),
                     "loopback description");
        report.Equal(loopback->dwSpeed, 0u, "loopback speed");
        report.Equal(loopback->dwOperStatus, win::MIB_IF_OPER_STATUS_OPERATIONAL,
                     "loopback status");

        for (const Traffic& traffic : kTraffic) {
            const std::string size = " (" + std::to_string(traffic.count) + " x " +
                                     std::to_string(traffic.payload) + " bytes)";
            const DWORD datagrams = DWORD(traffic.count * (traffic.payload + kIpUdpHeaders));
            const MIB_IFROW before = *Named(TableRows(report), "lo");
            report.Check(sender.Send("127.0.0.1", 7002, traffic.payload, traffic.count) &&
                             receiver.Receive(traffic.payload, traffic.count),
                         "send over loopback" + size);
            const MIB_IFROW after = *Named(TableRows(report), "lo");
            report.Equal(after.dwOutOctets - before.dwOutOctets, datagrams, "bytes sent" + size);
            report.Equal(after.dwInOctets - before.dwInOctets, datagrams, "bytes received" + size);
        }
    });
}

TEST_F(NetworkNamespaces, LinkChangesShowAtTheNextRefresh) {
    RunInChild([&](ChildReport& report) {
        if (!report.Check(EnterNamespace(m_a), "enter namespace a")) {
            return;
        }
        // Refreshes with nothing changed read only the counters: the changes below must still
        // show in the very next table.
        TableRows(report);
        TableRows(report);
        report.Check(Ip({"link", "set", kVethA, "mtu", "1400"}), "set the MTU");
        const MIB_IFROW* row = nullptr;
        const std::vector<MIB_IFROW> smaller = TableRows(report);
        if (report.Check((row = Named(smaller, kVethA)) != nullptr, "a row for the veth")) {
            report.Equal(row->dwMtu, 1400u, "MTU after the change");
        }
        report.Check(Ip({"link", "set", kVethA, "down"}), "take the veth down");
        const std::vector<MIB_IFROW> down = TableRows(report);
        if (report.Check((row = Named(down, kVethA)) != nullptr, "a row for the veth")) {
            report.Equal(row->dwAdminStatus, win::MIB_IF_ADMIN_STATUS_DOWN, "admin status down");
            report.Equal(row->dwOperStatus, win::MIB_IF_OPER_STATUS_NON_OPERATIONAL, "status down");
        }
        report.Check(Ip({"link", "set", kVethA, "up"}) && WaitUntilUp(m_a, kVethA),
                     "bring the veth up again");
        const std::vector<MIB_IFROW> up = TableRows(report);
        if (report.Check((row = Named(up, kVethA)) != nullptr, "a row for the veth")) {
            report.Equal(row->dwAdminStatus, win::MIB_IF_ADMIN_STATUS_UP, "admin status up");
            report.Equal(row->dwOperStatus, win::MIB_IF_OPER_STATUS_OPERATIONAL, "status up");
            report.Equal(row->dwSpeed, 4294967295u, "speed once up again");
        }
        report.Equal(Joined(Indexes(up)), Joined(Indexes(smaller)), "rows through the changes");
    });
}

TEST_F(NetworkNamespaces, AddressTableIsTheNamespacesAddresses) {
    RunInChild([&](ChildReport& report) {
        if (!report.Check(EnterNamespace(m_a), "enter namespace a")) {
            return;
        }
        const auto text = [](DWORD address) {
            char buffer[INET_ADDRSTRLEN];
            in_addr value{address};
            return std::string(::inet_ntop(AF_INET, &value, buffer, sizeof buffer));
        };
        for (const win::BOOL order : {win::FALSE, win::TRUE}) {
            const std::string label = order == win::TRUE ? " (sorted)" : " (unsorted)";
            ULONG size = 0;
            report.Equal(win::GetIpAddrTable(nullptr, &size, order),
                         DWORD(win::ERROR_INSUFFICIENT_BUFFER), "size query" + label);
            if (!report.Equal(size, 4u + 2 * 24, "size" + label)) {
                return;
            }
            std::vector<unsigned char> bytes(size);
            report.Equal(win::GetIpAddrTable(reinterpret_cast<win::MIB_IPADDRTABLE*>(bytes.data()),
                                             &size, order),
                         DWORD(win::ERROR_SUCCESS), "GetIpAddrTable" + label);
            win::MIB_IPADDRROW rows[2];
            std::memcpy(rows, bytes.data() + 4, sizeof rows);
            const win::MIB_IPADDRROW& loopback = rows[order == win::TRUE ? 1 : 0];
            const win::MIB_IPADDRROW& veth = rows[order == win::TRUE ? 0 : 1];
            report.Equal(text(loopback.dwAddr), std::string("127.0.0.1"), "loopback" + label);
            report.Equal(text(loopback.dwMask), std::string("255.0.0.0"), "loopback mask");
            report.Equal(text(loopback.dwBCastAddr), std::string("127.255.255.255"),
                         "loopback broadcast");
            report.Equal(loopback.dwIndex, if_nametoindex("lo"), "loopback index");
            report.Equal(text(veth.dwAddr), std::string(kAddressA), "veth address" + label);
            report.Equal(text(veth.dwMask), std::string("255.255.255.252"), "veth mask");
            report.Equal(text(veth.dwBCastAddr), std::string("10.200.0.3"), "veth broadcast");
            report.Equal(veth.dwIndex, if_nametoindex(kVethA), "veth index");
            report.Equal(veth.wType, win::MIB_IPADDR_PRIMARY, "veth address type");
        }
    });
}

TEST_F(NetworkNamespaces, InterfacesComingAndGoingLeaveTheOtherRowsInPlace) {
    RunInChild([&](ChildReport& report) {
        if (!report.Check(EnterNamespace(m_b), "enter namespace b")) {
            return;
        }
        Udp peer("0.0.0.0", 7003);
        if (!report.Check(EnterNamespace(m_a), "enter namespace a")) {
            return;
        }
        const std::vector<MIB_IFROW> before = TableRows(report);
        if (!report.Equal(before.size(), 2u, "rows before")) {
            return;
        }

        // A second veth pair, added while the table is open, carries some traffic.
        if (!report.Equal(AddVethPair(m_a, "fwhot", "02:00:0a:c8:01:01", "10.200.1.1", m_b,
                                      "fwhotb", "02:00:0a:c8:01:02", "10.200.1.2"),
                          std::string(), "add the veth pair fwhot")) {
            return;
        }
        const DWORD hotIndex = if_nametoindex("fwhot");
        Udp local("10.200.1.1", 0);
        report.Check(local.Send("10.200.1.2", 7003, 200, 4) && peer.Receive(200, 4),
                     "send over fwhot");
        const std::vector<MIB_IFROW> added = TableRows(report);
        if (!report.Equal(added.size(), 3u, "rows after adding fwhot")) {
            return;
        }
        report.Equal(Joined(Indexes(added)),
                     Joined({before[0].dwIndex, before[1].dwIndex, hotIndex}),
                     "rows after adding fwhot");
        report.Equal(NameOf(added[2]), std::string("fwhot"), "new row's name");
        report.Equal(DescriptionOf(added[2]), std::string("fwhot - veth"), "new row's description");
        report.Equal(added[2].dwOutOctets, DWORD(4 * (200 + kIpUdpHeaders + kEthernetHeader)),
                     "new row's bytes sent");

        // Deleted, it keeps its row and its counters, and is no longer operational.
        report.Check(Ip({"link", "del", "fwhot"}), "delete fwhot");
        const std::vector<MIB_IFROW> deleted = TableRows(report);
        if (!report.Equal(deleted.size(), 3u, "rows after deleting fwhot")) {
            return;
        }
        report.Equal(Joined(Indexes(deleted)), Joined(Indexes(added)), "rows after deleting");
        report.Equal(NameOf(deleted[2]), std::string("fwhot"), "deleted row's name");
        report.Equal(deleted[2].dwOutOctets, added[2].dwOutOctets, "deleted row's bytes sent");
        report.Equal(deleted[2].dwInOctets, added[2].dwInOctets, "deleted row's bytes received");
        report.Equal(deleted[2].dwOperStatus, win::MIB_IF_OPER_STATUS_NON_OPERATIONAL,
                     "deleted row's status");
        report.Equal(deleted[1].dwOperStatus, win::MIB_IF_OPER_STATUS_OPERATIONAL,
                     "the other veth's status");

        // Later interfaces come after all rows there are, whatever their index.
        report.Check(Ip({"link", "add", "fwhigh", "index", "60", "type", "veth", "peer", "name",
                         "fwhighb", "netns", m_b}),
                     "add fwhigh");
        const std::vector<MIB_IFROW> high = TableRows(report);
        report.Check(Ip({"link", "add", "fwlow", "index", "50", "type", "veth", "peer", "name",
                         "fwlowb", "netns", m_b}),
                     "add fwlow");
        const std::vector<MIB_IFROW> low = TableRows(report);
        std::vector<DWORD> expected = Indexes(added);
        expected.push_back(60);
        report.Equal(Joined(Indexes(high)), Joined(expected), "rows after adding fwhigh");
        expected.push_back(50);
        report.Equal(Joined(Indexes(low)), Joined(expected), "rows after adding fwlow");
        if (low.size() == 5) {
            report.Equal(NameOf(low[4]), std::string("fwlow"), "last row's name");
            report.Equal(low[2].dwOutOctets, added[2].dwOutOctets, "deleted row still frozen");
            report.Equal(low[4].dwAdminStatus, win::MIB_IF_ADMIN_STATUS_DOWN, "fwlow admin status");
            report.Equal(low[4].dwOperStatus, win::MIB_IF_OPER_STATUS_NON_OPERATIONAL,
                         "fwlow status");
        }
    });
}

}  // namespace
