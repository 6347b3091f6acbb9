// Ten thousand starts and stops of the packet observer, in every order the switch and the run
// list can produce them, with packets flowing: no descriptor may be left open and every socket
// must be closed exactly once. Four observers cycle side by side, each with its own flag, so
// that the kernel's slow release of packet sockets overlaps (each close waits for a grace period
// of its own otherwise); the thread sanitizer build runs this test to find races between the
// user-interface side, the workers and the sockets.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "accel/nettesting.h"
#include "accel/packetobserver.h"
#include "platform/winsock.h"

namespace {

constexpr int kObservers = 4;
constexpr int kCyclesEach = 2500;

// One observer's cycles. Every cycle starts a run; the cycle number picks what else happens, so
// that each kind of sequence comes up hundreds of times.
struct CycleTally {
    int starts = 0;
    int workersBegun = 0;
};

CycleTally Cycle(std::atomic<bool>& accelerating, CPacketObserver& observer) {
    CycleTally tally;
    for (int cycle = 0; cycle < kCyclesEach; ++cycle) {
        // The switch's start.
        accelerating = true;
        observer.StartObserver();
        observer.BeginObserverThread();
        ++tally.starts;
        ++tally.workersBegun;
        if (cycle % 3 == 0) {
            // The run list switching acceleration on again: one more worker on the same socket.
            observer.BeginObserverThread();
            ++tally.workersBegun;
        }
        accelerating = false;
        if (cycle % 5 == 0) {
            // Stopped without the wake: the next start follows at once, while the workers may
            // still be waiting on this run's socket.
            continue;
        }
        observer.StopObserver();
        if (cycle % 7 == 0) {
            // The run list again, after the stop: a worker that finds the socket closed.
            accelerating = true;
            observer.BeginObserverThread();
            ++tally.workersBegun;
            accelerating = false;
        }
    }
    return tally;
}

TEST(PacketObserverStress, TenThousandStartsAndStopsLeaveNothingOpen) {
    nettest::Namespace ns;
    nettest::Namespace::RunIn(
        ns.name(),
        [] {
            win::WSADATA data;
            ASSERT_EQ(win::WSAStartup(0x0101, &data), 0);
            // Packets all along, so that workers are also busy reading when their runs end.
            nettest::UdpSink sink("127.0.0.1", 9000);
            const std::size_t descriptors = nettest::OpenDescriptors().size();
            const win::SocketCounters before = win::GetSocketCounters();
            std::atomic<bool> sending{true};
            std::thread traffic([&sending] {
                nettest::UdpSender sender("127.0.0.1", 9000);
                while (sending) {
                    sender.Send(8);
                    std::this_thread::sleep_for(std::chrono::microseconds(500));
                }
            });

            std::vector<std::unique_ptr<std::atomic<bool>>> flags;
            std::vector<std::unique_ptr<CPacketObserver>> observers;
            for (int i = 0; i < kObservers; ++i) {
                flags.push_back(std::make_unique<std::atomic<bool>>(false));
                observers.push_back(std::make_unique<CPacketObserver>(
                    *flags.back(), [] { return std::vector<std::string>{"127.0.0.1"}; }));
            }
            std::vector<CycleTally> tallies(kObservers);
            std::vector<std::thread> cyclers;
            for (int i = 0; i < kObservers; ++i) {
                cyclers.emplace_back([&, i] { tallies[i] = Cycle(*flags[i], *observers[i]); });
            }
            for (std::thread& cycler : cyclers) {
                cycler.join();
            }
            for (auto& observer : observers) {
                observer->Shutdown();
            }
            sending = false;
            traffic.join();

            int starts = 0;
            for (int i = 0; i < kObservers; ++i) {
                const CPacketObserver::WorkerCounts counts = observers[i]->Workers();
                EXPECT_EQ(counts.running, 0) << i;
                EXPECT_EQ(counts.flagCleared + counts.readFailed, tallies[i].workersBegun) << i;
                // Only the workers begun after a stop may find their socket closed.
                EXPECT_LE(counts.readFailed, kCyclesEach / 7 + 1) << i;
                starts += tallies[i].starts;
            }
            EXPECT_EQ(starts, kObservers * kCyclesEach);

            const win::SocketCounters after = win::GetSocketCounters();
            EXPECT_EQ(after.created - before.created, std::uint64_t(starts));
            EXPECT_EQ(after.closed - before.closed, std::uint64_t(starts));
            EXPECT_EQ(after.badCloses, before.badCloses);
            EXPECT_EQ(nettest::OpenPacketSockets(), 0);
            EXPECT_EQ(nettest::OpenDescriptors().size(), descriptors);
        },
        std::chrono::seconds(900));
}

}  // namespace
