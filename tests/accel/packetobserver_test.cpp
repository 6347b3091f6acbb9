// The packet observer on real packet sockets: each test runs in a forked child inside network
// namespaces made for it, sends its own traffic and looks at the child's open descriptors.
#include "accel/packetobserver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "accel/nettesting.h"
#include "platform/winsock.h"

// Shown as gtest prints a failed comparison.
void PrintTo(const CPacketObserver::WorkerCounts& c, std::ostream* out) {
    *out << "{running " << c.running << ", flag cleared " << c.flagCleared << ", read failed "
         << c.readFailed << "}";
}

namespace {

using nettest::Namespace;
using nettest::OpenPacketSockets;
using nettest::UdpSender;
using nettest::UdpSink;
using nettest::VethPair;
using nettest::WaitFor;
using Counts = CPacketObserver::WorkerCounts;

constexpr int kPort = 9000;

TEST(ChooseObserverAddress, TakesTheFirstRealAddressElseEntryZero) {
    struct Case {
        std::vector<std::string> list;
        std::string chosen;
    };
    const Case cases[] = {
        {{"127.0.0.1", "0.0.0.0", "10.200.0.1"}, "10.200.0.1"},
        {{"127.0.0.1"}, "127.0.0.1"},
        {{"10.1.1.1", "10.2.2.2"}, "10.1.1.1"},
        {{"0.0.0.0", "127.0.0.1"}, "0.0.0.0"},
        {{"127.0.0.1", "127.0.0.2"}, "127.0.0.2"},
        {{}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseObserverAddress(c.list), c.chosen) << testing::PrintToString(c.list);
    }
}

// What a child needs to watch one observer: the library started, the flag, the observer over a
// fixed address list, and the descriptors it had before.
struct Observed {
    explicit Observed(std::vector<std::string> addresses)
        : observer(accelerating, [addresses] { return addresses; }) {
        win::WSADATA data;
        EXPECT_EQ(win::WSAStartup(0x0101, &data), 0);
        descriptors = nettest::OpenDescriptors().size();
        sockets = win::GetSocketCounters();
    }

    void Start() {
        accelerating = true;
        observer.StartObserver();
        observer.BeginObserverThread();
    }

    std::uint64_t Delivered() {
        win::ReceiveCounters counters;
        return win::GetReceiveCounters(observer.m_socket, counters) ? counters.delivered : 0;
    }

    bool WaitForDelivered(std::uint64_t count) {
        return WaitFor([this, count] { return Delivered() >= count; });
    }

    bool WorkersEnd() { return observer.WaitForWorkers(std::chrono::seconds(20)); }

    // Sockets made and closed since the start, and closes of handles that were not open.
    win::SocketCounters Sockets() const {
        const win::SocketCounters now = win::GetSocketCounters();
        return {now.created - sockets.created, now.closed - sockets.closed,
                now.badCloses - sockets.badCloses};
    }

    void ExpectNothingLeftOpen() {
        EXPECT_EQ(OpenPacketSockets(), 0);
        EXPECT_EQ(nettest::OpenDescriptors().size(), descriptors);
        const win::SocketCounters made = Sockets();
        EXPECT_EQ(made.closed, made.created);
        EXPECT_EQ(made.badCloses, 0u);
    }

    std::atomic<bool> accelerating{false};
    CPacketObserver observer;
    std::size_t descriptors = 0;
    win::SocketCounters sockets;
};

TEST(PacketObserver, DrainsLoopbackWhileOnAndClosesItsSocketAtStop) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        UdpSink sink("127.0.0.1", kPort);
        UdpSender sender("127.0.0.1", kPort);
        Observed o({"127.0.0.1"});
        o.Start();
        ASSERT_NE(o.observer.m_socket, win::INVALID_SOCKET);
        EXPECT_EQ(OpenPacketSockets(), 1);

        ASSERT_EQ(sender.Send(200), 200);
        EXPECT_TRUE(o.WaitForDelivered(200));
        // Longer than the worker's buffer: dropped like the others, and the worker goes on.
        ASSERT_EQ(sender.Send(3, 4000), 3);
        ASSERT_EQ(sender.Send(10), 10);
        EXPECT_TRUE(o.WaitForDelivered(213));
        EXPECT_EQ(o.Delivered(), 213u);
        EXPECT_EQ(o.observer.Workers(), (Counts{1, 0, 0}));

        o.accelerating = false;
        o.observer.StopObserver();
        ASSERT_TRUE(o.WorkersEnd());
        EXPECT_EQ(o.observer.Workers(), (Counts{0, 1, 0}));
        o.ExpectNothingLeftOpen();
        EXPECT_EQ(o.Sockets().created, 1u);
    });
}

TEST(PacketObserver, AClearedFlagAloneIsSeenAfterTheNextPacket) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        UdpSink sink("127.0.0.1", kPort);
        UdpSender sender("127.0.0.1", kPort);
        Observed o({"127.0.0.1"});
        o.Start();
        ASSERT_EQ(sender.Send(1), 1);
        ASSERT_TRUE(o.WaitForDelivered(1));

        // Nothing arrives on the quiet interface: the worker waits, the socket stays.
        o.accelerating = false;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(o.observer.Workers(), (Counts{1, 0, 0}));
        EXPECT_EQ(OpenPacketSockets(), 1);

        ASSERT_EQ(sender.Send(1), 1);
        ASSERT_TRUE(o.WorkersEnd());
        EXPECT_EQ(o.observer.Workers(), (Counts{0, 1, 0}));
        o.ExpectNothingLeftOpen();
    });
}

TEST(PacketObserver, ExtraWorkersShareTheRunAndTheLastToLeaveClosesItOnce) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        UdpSink sink("127.0.0.1", kPort);
        UdpSender sender("127.0.0.1", kPort);
        Observed o({"127.0.0.1"});
        o.Start();
        o.observer.BeginObserverThread();
        o.observer.BeginObserverThread();
        EXPECT_EQ(o.observer.Workers().running, 3);
        EXPECT_EQ(OpenPacketSockets(), 1);
        ASSERT_EQ(sender.Send(500), 500);
        EXPECT_TRUE(o.WaitForDelivered(500));

        o.accelerating = false;
        o.observer.StopObserver();
        ASSERT_TRUE(o.WorkersEnd());
        EXPECT_EQ(o.observer.Workers(), (Counts{0, 3, 0}));
        o.ExpectNothingLeftOpen();
        EXPECT_EQ(o.Sockets().closed, 1u);
    });
}

TEST(PacketObserver, AStartRightAfterAStopGivesTheNewRunItsOwnSocket) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        UdpSink sink("127.0.0.1", kPort);
        UdpSender sender("127.0.0.1", kPort);
        Observed o({"127.0.0.1"});
        o.Start();
        const win::SOCKET first = o.observer.m_socket;
        // Stopped without a wake and started again before the worker could notice.
        o.accelerating = false;
        o.Start();
        const win::SOCKET second = o.observer.m_socket;
        EXPECT_NE(second, first);

        // The first run's worker leaves and closes the first socket only.
        ASSERT_TRUE(WaitFor([&o] { return o.observer.Workers().running == 1; }));
        EXPECT_EQ(o.observer.Workers(), (Counts{1, 1, 0}));
        EXPECT_EQ(OpenPacketSockets(), 1);
        win::ReceiveCounters counters;
        EXPECT_FALSE(win::GetReceiveCounters(first, counters));
        ASSERT_EQ(sender.Send(50), 50);
        EXPECT_TRUE(o.WaitForDelivered(50));

        o.accelerating = false;
        o.observer.StopObserver();
        ASSERT_TRUE(o.WorkersEnd());
        EXPECT_EQ(o.observer.Workers(), (Counts{0, 2, 0}));
        o.ExpectNothingLeftOpen();
        EXPECT_EQ(o.Sockets().created, 2u);
    });
}

TEST(PacketObserver, AWorkerStartedAfterTheSocketClosedEndsAtOnce) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        Observed o({"127.0.0.1"});
        o.Start();
        o.accelerating = false;
        o.observer.StopObserver();
        ASSERT_TRUE(o.WorkersEnd());
        EXPECT_EQ(OpenPacketSockets(), 0);

        // As the run list does: the flag set again and one more worker, but no new socket.
        o.accelerating = true;
        EXPECT_EQ(o.observer.ObserverThread(), CPacketObserver::kReadFailed);
        o.observer.BeginObserverThread();
        ASSERT_TRUE(o.WorkersEnd());
        EXPECT_EQ(o.observer.Workers(), (Counts{0, 1, 2}));
        o.ExpectNothingLeftOpen();
    });
}

TEST(PacketObserver, WithoutASocketToBindTheWorkerEndsAtOnce) {
    Namespace ns;
    for (const std::vector<std::string>& list :
         {std::vector<std::string>{}, std::vector<std::string>{"10.9.9.9"},
          std::vector<std::string>{"127.0.0.1", "0.0.0.0", "bad"}}) {
        Namespace::RunIn(ns.name(), [&list] {
            Observed o(list);
            o.Start();
            ASSERT_TRUE(o.WorkersEnd()) << testing::PrintToString(list);
            EXPECT_EQ(o.observer.Workers(), (Counts{0, 0, 1}));
            EXPECT_TRUE(o.accelerating);
            // The socket was made, its bind failed, and it was closed once.
            EXPECT_EQ(o.Sockets().created, 1u);
            o.ExpectNothingLeftOpen();
        });
    }
}

TEST(PacketObserver, ShutdownEndsWorkersWaitingOnAQuietInterface) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        Observed o({"127.0.0.1"});
        o.Start();
        o.observer.BeginObserverThread();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // The flag stays set, as when the program quits.
        o.observer.Shutdown();
        EXPECT_EQ(o.observer.Workers(), (Counts{0, 2, 0}));
        EXPECT_TRUE(o.accelerating);
        o.ExpectNothingLeftOpen();
    });
}

// Which interface's packets the observer drains, for address lists of a namespace on a veth
// pair: packets arrive from the other end, are sent to it, and go over loopback.
TEST(PacketObserver, BindsToTheInterfaceOfTheChosenAddress) {
    struct Case {
        std::vector<std::string> list;
        bool onVeth;
    };
    const Case cases[] = {
        {{"127.0.0.1", "0.0.0.0", VethPair::kAddressA}, true},
        {{"127.0.0.1"}, false},
    };
    VethPair pair;
    const std::string b = pair.b().name();
    for (const Case& c : cases) {
        Namespace::RunIn(pair.a().name(), [&c, &b] {
            UdpSink sinkA(VethPair::kAddressA, kPort);
            UdpSink sinkB(VethPair::kAddressB, kPort, b);
            UdpSink sinkLo("127.0.0.1", kPort);
            UdpSender fromB(VethPair::kAddressA, kPort, b);
            UdpSender toB(VethPair::kAddressB, kPort);
            UdpSender overLoopback("127.0.0.1", kPort);
            Observed o(c.list);
            o.Start();

            // Loopback traffic first, then the pair's: only the chosen interface's is counted.
            const int loopback = 30;
            const int veth = 100 + 40;
            ASSERT_EQ(overLoopback.Send(loopback), loopback);
            ASSERT_EQ(fromB.Send(100), 100);
            ASSERT_EQ(toB.Send(40), 40);
            const std::uint64_t expected = c.onVeth ? veth : loopback;
            EXPECT_TRUE(o.WaitForDelivered(expected)) << testing::PrintToString(c.list);
            // A last packet on each: if the other interface were drained too, it would show.
            ASSERT_EQ(overLoopback.Send(1), 1);
            ASSERT_EQ(fromB.Send(1), 1);
            EXPECT_TRUE(o.WaitForDelivered(expected + 1));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_EQ(o.Delivered(), expected + 1) << testing::PrintToString(c.list);

            o.accelerating = false;
            o.observer.StopObserver();
            ASSERT_TRUE(o.WorkersEnd());
            o.ExpectNothingLeftOpen();
        });
    }
}

TEST(PacketObserver, WithoutTheRightToRawSocketsTheWorkerEndsAtOnce) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        ASSERT_TRUE(nettest::DropRawSocketRight());
        Observed o({"127.0.0.1"});
        o.Start();
        EXPECT_EQ(o.observer.m_socket, win::INVALID_SOCKET);
        EXPECT_EQ(win::WSAGetLastError(), win::WSAEACCES);
        // On a quiet interface: the worker does not wait for a packet.
        ASSERT_TRUE(o.WorkersEnd());
        EXPECT_EQ(o.observer.Workers(), (Counts{0, 0, 1}));
        EXPECT_TRUE(o.accelerating);
        EXPECT_EQ(o.Sockets().created, 0u);
        o.ExpectNothingLeftOpen();
    });
}

}  // namespace
