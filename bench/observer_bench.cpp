// CPU time per drained packet: the packet observer against tcpdump, at the same paced load on
// loopback, in the same run. Each repetition measures both: first the observer (a run of it in
// this process, its worker draining the raw socket), then `tcpdump -i lo -w /dev/null`, each
// while a child process sends the same number of UDP datagrams to 127.0.0.1 at the same rate.
// CPU time is the draining process's own (user and system), from before the load starts until
// shortly after it ends.
//
// The load never leaves the machine: the program runs only in a network namespace whose one
// interface is loopback (tools/bench-observer.sh makes one), sends to 127.0.0.1 only, and stops
// after a fixed number of packets or seconds.
//   FW_BENCH_RATE     packets per second (default 200000)
//   FW_BENCH_SECONDS  length of each load (default 3)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "accel/packetobserver.h"
#include "platform/winsock.h"

namespace {

constexpr int kPort = 9000;
constexpr std::size_t kPayload = 64;
constexpr int kBatch = 50;
constexpr auto kSettle = std::chrono::milliseconds(200);

struct Load {
    long rate = 200000;
    long seconds = 3;
    long Packets() const { return rate * seconds; }
};

Load LoadFromEnvironment() {
    Load load;
    if (const char* rate = std::getenv("FW_BENCH_RATE")) {
        load.rate = std::clamp(std::atol(rate), 1000L, 1000000L);
    }
    if (const char* seconds = std::getenv("FW_BENCH_SECONDS")) {
        load.seconds = std::clamp(std::atol(seconds), 1L, 30L);
    }
    return load;
}

// True when loopback is the only interface here, so that nothing sent can leave the machine.
bool OnlyLoopback() {
    struct if_nameindex* names = ::if_nameindex();
    if (names == nullptr) {
        return false;
    }
    int count = 0;
    bool loopback = false;
    for (const struct if_nameindex* n = names; n->if_index != 0; ++n) {
        ++count;
        loopback = loopback || std::strcmp(n->if_name, "lo") == 0;
    }
    ::if_freenameindex(names);
    return count == 1 && loopback;
}

std::int64_t CpuNanoseconds(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

sockaddr_in LoopbackPort() {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return to;
}

// Sends load.Packets() datagrams to 127.0.0.1 in batches, paced to load.rate, and writes the
// number sent to report; gives up after twice the planned time.
void SendPaced(const Load& load, int report) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to = LoopbackPort();
    char payload[kPayload] = {};
    mmsghdr messages[kBatch];
    iovec parts[kBatch];
    for (int i = 0; i < kBatch; ++i) {
        parts[i] = {payload, sizeof payload};
        messages[i] = {};
        messages[i].msg_hdr.msg_name = &to;
        messages[i].msg_hdr.msg_namelen = sizeof to;
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    const long total = load.Packets();
    const auto period = std::chrono::nanoseconds(1000000000LL * kBatch / load.rate);
    const auto start = std::chrono::steady_clock::now();
    const auto giveUp = start + std::chrono::seconds(2 * load.seconds);
    auto next = start;
    long sent = 0;
    while (sent < total && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_until(next);
        next += period;
        const unsigned batch = static_cast<unsigned>(std::min<long>(kBatch, total - sent));
        const int n = ::sendmmsg(fd, messages, batch, 0);
        if (n > 0) {
            sent += n;
        }
    }
    if (::write(report, &sent, sizeof sent) != sizeof sent) {
        std::perror("report");
    }
    ::close(fd);
}

// A port that takes the datagrams and never reads them, so that they draw no ICMP answers (which
// would be load of their own); the kernel drops what does not fit its small buffer.
class Sink {
public:
    Sink() : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        const int small = 4096;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        const sockaddr_in local = LoopbackPort();
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    }
    ~Sink() { ::close(m_fd); }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;
    bool bound() const { return m_bound; }

private:
    int m_fd;
    bool m_bound = false;
};

// Runs the paced load in a child process; returns the number of packets sent, and in rate the
// rate reached.
long RunLoad(const Load& load, double& rate) {
    const auto start = std::chrono::steady_clock::now();
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return 0;
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(report[0]);
        SendPaced(load, report[1]);
        ::_exit(0);
    }
    ::close(report[1]);
    long sent = 0;
    if (pid > 0) {
        if (::read(report[0], &sent, sizeof sent) != sizeof sent) {
            sent = 0;
        }
        ::waitpid(pid, nullptr, 0);
    }
    ::close(report[0]);
    rate = static_cast<double>(sent) /
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return sent;
}

struct Measured {
    long sent = 0;
    std::uint64_t drained = 0;  // packets the drainer took (for tcpdump: frames it captured)
    double rate = 0;            // packets per second sent
    std::uint64_t dropped = 0;  // packets the kernel dropped for want of room
    std::int64_t cpu = 0;       // nanoseconds
};

Measured MeasureObserver(const Load& load) {
    Measured m;
    std::atomic<bool> accelerating{true};
    CPacketObserver observer(accelerating, [] { return std::vector<std::string>{"127.0.0.1"}; });
    observer.StartObserver();
    observer.BeginObserverThread();
    win::ReceiveCounters before;
    if (!win::GetReceiveCounters(observer.m_socket, before)) {
        return m;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::int64_t cpuBefore = CpuNanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    m.sent = RunLoad(load, m.rate);
    std::this_thread::sleep_for(kSettle);
    const std::int64_t cpuAfter = CpuNanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    win::ReceiveCounters after;
    win::GetReceiveCounters(observer.m_socket, after);
    m.drained = after.delivered - before.delivered;
    m.dropped = after.dropped - before.dropped;
    m.cpu = cpuAfter - cpuBefore;
    accelerating = false;
    observer.StopObserver();
    observer.Shutdown();
    return m;
}

// Reads tcpdump's standard error until a line containing `text` has come, or a second passed.
bool ReadUntil(int fd, const char* text, std::string& seen) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (seen.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;
        }
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            return seen.find(text) != std::string::npos;
        }
        seen.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

// The number before `label` in tcpdump's closing statistics.
std::uint64_t CountBefore(const std::string& text, const char* label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) {
        return 0;
    }
    std::size_t start = text.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    return std::strtoull(text.c_str() + start, nullptr, 10);
}

Measured MeasureTcpdump(const Load& load, std::string& problem) {
    Measured m;
    int errors[2];
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        problem = "no pipe";
        return m;
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(errors[1], 2);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::execlp("tcpdump", "tcpdump", "-i", "lo", "-w", "/dev/null", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(errors[1]);
    std::string output;
    if (pid < 0 || !ReadUntil(errors[0], "listening on", output)) {
        problem = "tcpdump did not start: " + output;
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ::close(errors[0]);
        return m;
    }
    clockid_t clock;
    ::clock_getcpuclockid(pid, &clock);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::int64_t cpuBefore = CpuNanoseconds(clock);
    m.sent = RunLoad(load, m.rate);
    std::this_thread::sleep_for(kSettle);
    m.cpu = CpuNanoseconds(clock) - cpuBefore;
    ::kill(pid, SIGINT);
    ReadUntil(errors[0], "dropped by kernel", output);
    ::waitpid(pid, nullptr, 0);
    ::close(errors[0]);
    m.drained = CountBefore(output, " packets captured");
    m.dropped = CountBefore(output, " packets dropped by kernel");
    return m;
}

void BM_ObserverAgainstTcpdump(benchmark::State& state) {
    if (!OnlyLoopback()) {
        state.SkipWithError(
            "run this in a network namespace with loopback only "
            "(tools/bench-observer.sh)");
        return;
    }
    const Load load = LoadFromEnvironment();
    const Sink sink;
    if (!sink.bound()) {
        state.SkipWithError("cannot take UDP port 9000 on 127.0.0.1");
        return;
    }
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const Measured observer = MeasureObserver(load);
        std::string problem;
        const Measured tcpdump = MeasureTcpdump(load, problem);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!problem.empty()) {
            state.SkipWithError(problem.c_str());
            return;
        }
        if (observer.drained == 0 || tcpdump.drained == 0) {
            state.SkipWithError("nothing was drained");
            return;
        }
        const auto perPacket = [](const Measured& m, double count) {
            return static_cast<double>(m.cpu) / count;
        };
        state.counters["sent"] = static_cast<double>(observer.sent);
        state.counters["load_pps"] = std::min(observer.rate, tcpdump.rate);
        state.counters["observer_drained"] = static_cast<double>(observer.drained);
        state.counters["observer_ns_per_packet"] =
            perPacket(observer, static_cast<double>(observer.drained));
        state.counters["observer_dropped"] = static_cast<double>(observer.dropped);
        state.counters["tcpdump_frames"] = static_cast<double>(tcpdump.drained);
        state.counters["tcpdump_dropped"] = static_cast<double>(tcpdump.dropped);
        // On loopback tcpdump sees every packet twice, leaving and arriving.
        state.counters["tcpdump_ns_per_frame"] =
            perPacket(tcpdump, static_cast<double>(tcpdump.drained));
        state.counters["tcpdump_ns_per_packet"] =
            perPacket(tcpdump, static_cast<double>(tcpdump.sent));
        state.counters["observer_to_tcpdump"] =
            perPacket(observer, static_cast<double>(observer.sent)) /
            perPacket(tcpdump, static_cast<double>(tcpdump.sent));
    }
}

BENCHMARK(BM_ObserverAgainstTcpdump)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The socket library, started once for the whole program.
[[maybe_unused]] const bool started = [] {
    win::WSADATA data;
    return win::WSAStartup(0x0101, &data) == 0;
}();

}  // namespace

BENCHMARK_MAIN();
