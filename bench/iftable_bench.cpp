// The meter's refresh of the interface counters, done every second: GetIfTable into the buffer
// the program keeps, then a copy of the chosen row, against reading and parsing /proc/net/dev
// for the same two counters of the same interface. Ends with the ratio of the two.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/iphelper.h"
#include "platform/unicode.h"

namespace {

using win::MIB_IFROW;
using win::ULONG;

// The row the meter reads: the first one that is not a loopback interface, as the adapter
// list offers it first.
struct Choice {
    std::size_t position = 0;
    std::string name;
};

Choice ChooseInterface() {
    ULONG size = 0;
    win::GetIfTable(nullptr, &size, win::TRUE);
    std::vector<unsigned char> bytes(size);
    if (win::GetIfTable(reinterpret_cast<win::MIB_IFTABLE*>(bytes.data()), &size, win::TRUE) != 0) {
        return {};
    }
    win::DWORD count = 0;
    std::memcpy(&count, bytes.data(), 4);
    Choice choice;
    for (std::size_t i = 0; i < count; ++i) {
        MIB_IFROW row;
        std::memcpy(&row, bytes.data() + 4 + i * sizeof(MIB_IFROW), sizeof row);
        if (i == 0 || row.dwType != win::MIB_IF_TYPE_LOOPBACK) {
            choice = {i, win::text::ToUtf8(std::u16string(row.wszName))};
        }
        if (row.dwType != win::MIB_IF_TYPE_LOOPBACK) {
            break;
        }
    }
    return choice;
}

const Choice& Chosen() {
    static const Choice choice = ChooseInterface();
    return choice;
}

void BM_GetIfTableRefresh(benchmark::State& state) {
    ULONG size = 0;
    win::GetIfTable(nullptr, &size, win::TRUE);
    std::vector<unsigned char> buffer(size);
    auto* table = reinterpret_cast<win::MIB_IFTABLE*>(buffer.data());
    const std::size_t offset = 4 + Chosen().position * sizeof(MIB_IFROW);
    for (auto _ : state) {
        ULONG given = size;
        win::GetIfTable(table, &given, win::TRUE);
        MIB_IFROW row;
        std::memcpy(&row, buffer.data() + offset, sizeof row);
        benchmark::DoNotOptimize(row.dwInOctets);
        benchmark::DoNotOptimize(row.dwOutOctets);
    }
    state.SetLabel(Chosen().name);
}
BENCHMARK(BM_GetIfTableRefresh);

// The received and sent byte counts of one interface from /proc/net/dev: a line is
// "name: rx_bytes rx_packets ... (8 receive fields) tx_bytes ...".
bool ParseProcNetDev(std::string_view text, std::string_view name, std::uint64_t& received,
                     std::uint64_t& sent) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        std::string_view label = line.substr(0, colon);
        label.remove_prefix(std::min(label.find_first_not_of(' '), label.size()));
        if (label != name) {
            continue;
        }
        std::string fields(line.substr(colon + 1));
        char* cursor = fields.data();
        std::uint64_t values[9];
        for (std::uint64_t& value : values) {
            value = std::strtoull(cursor, &cursor, 10);
        }
        received = values[0];
        sent = values[8];
        return true;
    }
    return false;
}

void BM_ProcNetDevParse(benchmark::State& state) {
    const std::string name = Chosen().name;
    std::vector<char> buffer(64 * 1024);
    for (auto _ : state) {
        const int fd = ::open("/proc/net/dev", O_RDONLY | O_CLOEXEC);
        std::size_t length = 0;
        ssize_t n;
        while (fd >= 0 && (n = ::read(fd, buffer.data() + length, buffer.size() - length)) > 0) {
            length += static_cast<std::size_t>(n);
        }
        if (fd >= 0) {
            ::close(fd);
        }
        std::uint64_t received = 0;
        std::uint64_t sent = 0;
        ParseProcNetDev(std::string_view(buffer.data(), length), name, received, sent);
        benchmark::DoNotOptimize(received);
        benchmark::DoNotOptimize(sent);
    }
    state.SetLabel(name);
}
BENCHMARK(BM_ProcNetDevParse);

// The console's report, with each benchmark's times kept for the ratio: those of its single
// run, or the median of repeated runs.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double real = 0;
        double cpu = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.aggregate_name.empty() || run.aggregate_name == "median") {
                m_times[run.run_name.function_name] = {run.GetAdjustedRealTime(),
                                                       run.GetAdjustedCPUTime()};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    Times Of(const std::string& name) const {
        const auto found = m_times.find(name);
        return found != m_times.end() ? found->second : Times{};
    }

private:
    std::map<std::string, Times> m_times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto table = reporter.Of("BM_GetIfTableRefresh");
    const auto proc = reporter.Of("BM_ProcNetDevParse");
    if (table.real > 0 && proc.real > 0 && proc.cpu > 0) {
        std::printf("GetIfTable refresh / /proc/net/dev parse: %.2f (time), %.2f (CPU)\n",
                    table.real / proc.real, table.cpu / proc.cpu);
    }
    benchmark::Shutdown();
    return 0;
}
