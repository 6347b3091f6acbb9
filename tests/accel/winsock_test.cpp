// The Windows Sockets layer that the packet observer stands on: the dotted-address conversions,
// starting the library, and the raw socket in receive-all mode on real packet sockets, in
// network namespaces made for the test. Only child processes start the library, so the test
// process itself never has.
#include "platform/winsock.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "accel/nettesting.h"
#include "platform/packetsocket.h"

namespace {

using nettest::Namespace;
using nettest::UdpSender;
using nettest::UdpSink;

constexpr int kPort = 9000;
constexpr std::uint32_t kMarker = 0x4d41524b;

std::array<unsigned, 4> Bytes(win::u_long address) {
    unsigned char b[4];
    std::memcpy(b, &address, sizeof b);
    return {b[0], b[1], b[2], b[3]};
}

TEST(InetAddr, ReadsTheFormsOfDottedAddresses) {
    struct Case {
        const char* text;
        std::array<unsigned, 4> bytes;
    };
    const Case cases[] = {
        {"127.0.0.1", {127, 0, 0, 1}},   {"10.200.0.1", {10, 200, 0, 1}},
        {"0.0.0.0", {0, 0, 0, 0}},       {"1.2.3", {1, 2, 0, 3}},
        {"1.2", {1, 0, 0, 2}},           {"16909060", {1, 2, 3, 4}},
        {"1.2.65535", {1, 2, 255, 255}}, {"0x7f.1", {127, 0, 0, 1}},
        {"0177.0.0.01", {127, 0, 0, 1}}, {"0XA.0xff.0.0", {10, 255, 0, 0}},
        {"1.2.3.4 rest", {1, 2, 3, 4}},  {"1.2.3.4\n", {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Bytes(win::inet_addr(c.text)), c.bytes) << c.text;
    }
}

TEST(InetAddr, TextThatIsNoAddressGivesNone) {
    for (const char* text :
         {"", "1.2.3.256", "1.2.3.4.5", "1..2", "a.b.c.d", "08.1.1.1", "1.2.3.4x", " 1.2.3.4",
          "4294967296", "1.16777216", "1.2.65536", ".1.2.3", "1.2.3.", "-1.2.3.4"}) {
        EXPECT_EQ(win::inet_addr(text), 0xffffffffu) << '"' << text << '"';
    }
    EXPECT_EQ(win::inet_addr(nullptr), 0xffffffffu);
}

TEST(InetNtoa, WritesDottedDecimalIntoABufferOfTheThread) {
    for (const char* text : {"10.200.0.1", "0.0.0.0", "255.255.255.255", "127.0.0.1"}) {
        EXPECT_STREQ(win::inet_ntoa(win::in_addr{win::inet_addr(text)}), text);
    }
    char* first = win::inet_ntoa(win::in_addr{win::inet_addr("1.2.3.4")});
    char* second = win::inet_ntoa(win::in_addr{win::inet_addr("5.6.7.8")});
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "5.6.7.8");
    std::string other;
    std::thread([&other] {
        other = win::inet_ntoa(win::in_addr{win::inet_addr("9.9.9.9")});
    }).join();
    EXPECT_EQ(other, "9.9.9.9");
    EXPECT_STREQ(first, "5.6.7.8");
}

TEST(WSAStartup, SocketsNeedTheLibraryStartedAndCountedStarts) {
    Namespace::RunIn({}, [] {
        const auto notStarted = [] {
            EXPECT_EQ(win::WSASocket(2, 3, 0, nullptr, 0, win::WSA_FLAG_OVERLAPPED),
                      win::INVALID_SOCKET);
            EXPECT_EQ(win::WSAGetLastError(), win::WSANOTINITIALISED);
            char buffer[16];
            EXPECT_EQ(win::recvfrom(0x100, buffer, sizeof buffer, 0, nullptr, nullptr),
                      win::SOCKET_ERROR);
            EXPECT_EQ(win::WSAGetLastError(), win::WSANOTINITIALISED);
            EXPECT_EQ(win::closesocket(0x100), win::SOCKET_ERROR);
            EXPECT_EQ(win::WSAGetLastError(), win::WSANOTINITIALISED);
        };
        notStarted();

        win::WSADATA data;
        EXPECT_EQ(win::WSAStartup(0x0000, &data), win::WSAVERNOTSUPPORTED);
        EXPECT_EQ(win::WSAStartup(0x0101, nullptr), win::WSAEFAULT);
        notStarted();

        struct Case {
            win::WORD asked, version;
        };
        for (const Case c : {Case{0x0101, 0x0101}, Case{0x0001, 0x0001}, Case{0x0202, 0x0202},
                             Case{0x0302, 0x0202}, Case{0x0003, 0x0202}}) {
            ASSERT_EQ(win::WSAStartup(c.asked, &data), 0) << c.asked;
            EXPECT_EQ(data.wVersion, c.version) << c.asked;
            EXPECT_EQ(data.wHighVersion, 0x0202) << c.asked;
        }
        const int started = 5;

        const win::SOCKET s = win::WSASocket(2, 3, 0, nullptr, 0, win::WSA_FLAG_OVERLAPPED);
        EXPECT_NE(s, win::INVALID_SOCKET);
        EXPECT_EQ(win::closesocket(s), 0);
        for (int i = 0; i < started; ++i) {
            EXPECT_EQ(win::WSACleanup(), 0);
        }
        EXPECT_EQ(win::WSACleanup(), win::SOCKET_ERROR);
        EXPECT_EQ(win::WSAGetLastError(), win::WSANOTINITIALISED);
        notStarted();
    });
}

// One read of a packet, as the caller sees it.
struct Received {
    int result = 0;
    int error = 0;
    std::vector<unsigned char> bytes;
    win::sockaddr_in from{};
    int fromLength = sizeof(win::sockaddr_in);

    // The number the test wrote at the start of the UDP payload.
    std::uint32_t Number() const {
        std::uint32_t number = 0;
        const std::size_t at = std::size_t{4} * (bytes.at(0) & 0x0f) + 8;
        if (bytes.size() >= at + sizeof number) {
            std::memcpy(&number, bytes.data() + at, sizeof number);
        }
        return number;
    }
    unsigned TotalLength() const { return bytes.at(2) * 256u + bytes.at(3); }
    std::string Source() const { return win::inet_ntoa(from.sin_addr); }
};

Received Receive(win::SOCKET s, int size = 1600) {
    Received r;
    r.bytes.resize(static_cast<std::size_t>(size));
    r.result = win::recvfrom(s, reinterpret_cast<char*>(r.bytes.data()), size, 0,
                             reinterpret_cast<win::sockaddr*>(&r.from), &r.fromLength);
    r.error = r.result == win::SOCKET_ERROR ? win::WSAGetLastError() : 0;
    r.bytes.resize(r.result == win::SOCKET_ERROR ? static_cast<std::size_t>(size)
                                                 : static_cast<std::size_t>(r.result));
    return r;
}

// The numbers of the packets read before the one that carries kMarker.
std::vector<std::uint32_t> NumbersBeforeMarker(win::SOCKET s) {
    std::vector<std::uint32_t> numbers;
    for (;;) {
        const Received r = Receive(s);
        if (r.result == win::SOCKET_ERROR) {
            ADD_FAILURE() << "read failed with " << r.error;
            return numbers;
        }
        if (r.Number() == kMarker) {
            return numbers;
        }
        numbers.push_back(r.Number());
    }
}

win::sockaddr_in Local(const char* address) {
    win::sockaddr_in local{};
    local.sin_family = 2;
    local.sin_addr.s_addr = win::inet_addr(address);
    return local;
}

int Bind(win::SOCKET s, const char* address) {
    const win::sockaddr_in local = Local(address);
    return win::bind(s, reinterpret_cast<const win::sockaddr*>(&local), sizeof local);
}

int ReceiveAll(win::SOCKET s, win::DWORD value) {
    win::DWORD returned = 99;
    const int result = win::WSAIoctl(s, win::SIO_RCVALL, &value, sizeof value, nullptr, 0,
                                     &returned, nullptr, nullptr);
    if (result == 0) {
        EXPECT_EQ(returned, 0u);
    }
    return result;
}

win::SOCKET NewSocket() {
    return win::WSASocket(2, win::SOCK_RAW, win::IPPROTO_IP, nullptr, 0, win::WSA_FLAG_OVERLAPPED);
}

// A raw socket bound to address with receive-all mode on.
win::SOCKET Observing(const char* address) {
    const win::SOCKET s = NewSocket();
    EXPECT_NE(s, win::INVALID_SOCKET);
    EXPECT_EQ(Bind(s, address), 0);
    EXPECT_EQ(ReceiveAll(s, win::RCVALL_ON), 0);
    return s;
}

void Start() {
    win::WSADATA data;
    ASSERT_EQ(win::WSAStartup(0x0101, &data), 0);
}

#define EXPECT_FAILS_WITH(call, code)                       \
    do {                                                    \
        EXPECT_EQ((call), win::SOCKET_ERROR) << #call;      \
        EXPECT_EQ(win::WSAGetLastError(), (code)) << #call; \
    } while (0)

TEST(RawSocket, RefusesWhatIsNotOffered) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        Start();
        struct Case {
            int af, type, protocol, error;
        };
        for (const Case c :
             {Case{23, 3, 0, win::WSAEAFNOSUPPORT}, Case{2, 2, 0, win::WSAESOCKTNOSUPPORT},
              Case{2, 3, 6, win::WSAEPROTONOSUPPORT}}) {
            EXPECT_EQ(win::WSASocket(c.af, c.type, c.protocol, nullptr, 0, 0), win::INVALID_SOCKET);
            EXPECT_EQ(win::WSAGetLastError(), c.error)
                << c.af << " " << c.type << " " << c.protocol;
        }

        const win::SOCKET s = NewSocket();
        ASSERT_NE(s, win::INVALID_SOCKET);
        char buffer[64];
        int fromLength = 16;
        win::sockaddr_in from{};
        auto* fromAddress = reinterpret_cast<win::sockaddr*>(&from);
        // Not bound yet.
        EXPECT_FAILS_WITH(ReceiveAll(s, win::RCVALL_ON), win::WSAEINVAL);
        EXPECT_FAILS_WITH(win::recvfrom(s, buffer, sizeof buffer, 0, fromAddress, &fromLength),
                          win::WSAEINVAL);
        // Addresses no interface here carries, and malformed names.
        EXPECT_FAILS_WITH(Bind(s, "10.9.9.9"), win::WSAEADDRNOTAVAIL);
        EXPECT_FAILS_WITH(Bind(s, ""), win::WSAEADDRNOTAVAIL);
        win::sockaddr_in local = Local("127.0.0.1");
        EXPECT_FAILS_WITH(win::bind(s, reinterpret_cast<win::sockaddr*>(&local), 8),
                          win::WSAEFAULT);
        local.sin_family = 23;
        EXPECT_FAILS_WITH(win::bind(s, reinterpret_cast<win::sockaddr*>(&local), sizeof local),
                          win::WSAEAFNOSUPPORT);

        ASSERT_EQ(Bind(s, "127.0.0.1"), 0);
        EXPECT_FAILS_WITH(Bind(s, "127.0.0.1"), win::WSAEINVAL);
        win::DWORD on = win::RCVALL_ON;
        win::DWORD returned = 0;
        EXPECT_FAILS_WITH(
            win::WSAIoctl(s, win::SIO_RCVALL, &on, 2, nullptr, 0, &returned, nullptr, nullptr),
            win::WSAEFAULT);
        EXPECT_FAILS_WITH(
            win::WSAIoctl(s, 0x98000002, &on, 4, nullptr, 0, &returned, nullptr, nullptr),
            win::WSAEOPNOTSUPP);
        EXPECT_FAILS_WITH(ReceiveAll(s, 2), win::WSAEINVAL);
        EXPECT_FAILS_WITH(win::recvfrom(s, buffer, sizeof buffer, 1, fromAddress, &fromLength),
                          win::WSAEOPNOTSUPP);
        fromLength = 8;
        EXPECT_FAILS_WITH(win::recvfrom(s, buffer, sizeof buffer, 0, fromAddress, &fromLength),
                          win::WSAEFAULT);

        // Bound to no interface: receive-all mode has nothing to take.
        const win::SOCKET any = NewSocket();
        ASSERT_EQ(Bind(any, "0.0.0.0"), 0);
        EXPECT_FAILS_WITH(ReceiveAll(any, win::RCVALL_ON), win::WSAEINVAL);

        EXPECT_EQ(win::closesocket(any), 0);
        EXPECT_EQ(win::closesocket(s), 0);
    });
}

TEST(RawSocket, ClosedHandlesStayInvalidAndAreNeverGivenOutAgain) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        Start();
        const win::SocketCounters before = win::GetSocketCounters();
        const win::SOCKET first = Observing("127.0.0.1");
        EXPECT_EQ(nettest::OpenPacketSockets(), 1);
        EXPECT_EQ(win::closesocket(first), 0);
        EXPECT_EQ(nettest::OpenPacketSockets(), 0);
        EXPECT_FAILS_WITH(win::closesocket(first), win::WSAENOTSOCK);
        char buffer[64];
        EXPECT_FAILS_WITH(win::recvfrom(first, buffer, sizeof buffer, 0, nullptr, nullptr),
                          win::WSAENOTSOCK);
        EXPECT_FAILS_WITH(win::CancelBlockingCalls(first), win::WSAENOTSOCK);
        win::ReceiveCounters counters;
        EXPECT_FALSE(win::GetReceiveCounters(first, counters));

        const win::SOCKET second = NewSocket();
        EXPECT_NE(second, first);
        EXPECT_EQ(win::closesocket(second), 0);
        const win::SocketCounters after = win::GetSocketCounters();
        EXPECT_EQ(after.created - before.created, 2u);
        EXPECT_EQ(after.closed - before.closed, 2u);
        EXPECT_EQ(after.badCloses - before.badCloses, 1u);
    });
}

TEST(RawSocket, TakesEachLoopbackPacketOnceFromReceiveAllOn) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        Start();
        UdpSink sink("127.0.0.1", kPort);
        ASSERT_TRUE(sink.bound());
        UdpSender sender("127.0.0.1", kPort);
        const win::SOCKET s = NewSocket();
        ASSERT_EQ(Bind(s, "127.0.0.1"), 0);
        // Bound but not yet in receive-all mode: these are not taken.
        ASSERT_EQ(sender.Send(5, 64, 1), 5);
        ASSERT_EQ(ReceiveAll(s, win::RCVALL_ON), 0);

        ASSERT_EQ(sender.Send(50, 64, 200), 50);
        ASSERT_EQ(sender.Send(1, 64, kMarker), 1);
        std::vector<std::uint32_t> expected;
        for (std::uint32_t n = 200; n < 250; ++n) {
            expected.push_back(n);
        }
        EXPECT_EQ(NumbersBeforeMarker(s), expected);

        // What each read gives: the whole IPv4 packet and its source.
        ASSERT_EQ(sender.Send(1, 64, 7), 1);
        const Received r = Receive(s);
        ASSERT_EQ(r.result, 20 + 8 + 64);
        EXPECT_EQ(r.bytes[0], 0x45);
        EXPECT_EQ(r.bytes[9], 17);  // UDP
        EXPECT_EQ(r.TotalLength(), 92u);
        EXPECT_EQ(r.Number(), 7u);
        EXPECT_EQ(r.from.sin_family, 2);
        EXPECT_EQ(r.from.sin_port, 0);
        EXPECT_EQ(r.Source(), "127.0.0.1");
        EXPECT_EQ(r.fromLength, 16);

        // Receive-all off: nothing is taken until it is on again.
        ASSERT_EQ(ReceiveAll(s, win::RCVALL_OFF), 0);
        ASSERT_EQ(sender.Send(5, 64, 300), 5);
        ASSERT_EQ(ReceiveAll(s, win::RCVALL_ON), 0);
        ASSERT_EQ(sender.Send(1, 64, kMarker), 1);
        EXPECT_EQ(NumbersBeforeMarker(s), std::vector<std::uint32_t>{});

        win::ReceiveCounters counters;
        ASSERT_TRUE(win::GetReceiveCounters(s, counters));
        EXPECT_EQ(counters.delivered, 50u + 1 + 1 + 1);
        EXPECT_EQ(counters.dropped, 0u);
        EXPECT_EQ(win::closesocket(s), 0);
    });
}

TEST(RawSocket, APacketLongerThanTheBufferIsCutAndConsumed) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        Start();
        UdpSink sink("127.0.0.1", kPort);
        UdpSender sender("127.0.0.1", kPort);
        const win::SOCKET s = Observing("127.0.0.1");
        // Loopback carries it as one packet of 4028 bytes.
        ASSERT_EQ(sender.Send(1, 4000, 11), 1);
        ASSERT_EQ(sender.Send(1, 64, kMarker), 1);
        const Received cut = Receive(s, 1600);
        EXPECT_EQ(cut.result, win::SOCKET_ERROR);
        EXPECT_EQ(cut.error, win::WSAEMSGSIZE);
        EXPECT_EQ(cut.TotalLength(), 4028u);
        EXPECT_EQ(cut.Number(), 11u);
        EXPECT_EQ(cut.Source(), "127.0.0.1");
        EXPECT_EQ(NumbersBeforeMarker(s), std::vector<std::uint32_t>{});
        EXPECT_EQ(win::closesocket(s), 0);
    });
}

TEST(RawSocket, TakesThePacketsOfTheInterfaceOfItsAddressBothWays) {
    nettest::VethPair pair;
    const std::string b = pair.b().name();
    Namespace::RunIn(pair.a().name(), [&b] {
        using nettest::VethPair;
        Start();
        UdpSink sinkA(VethPair::kAddressA, kPort);
        UdpSink sinkB(VethPair::kAddressB, kPort, b);
        UdpSink sinkLo("127.0.0.1", kPort);
        ASSERT_TRUE(sinkA.bound() && sinkB.bound() && sinkLo.bound());
        UdpSender toA(VethPair::kAddressA, kPort, b);
        UdpSender toB(VethPair::kAddressB, kPort);
        UdpSender toLo("127.0.0.1", kPort);

        const win::SOCKET s = Observing(VethPair::kAddressA);
        ASSERT_EQ(toLo.Send(5, 64, 900), 5);  // another interface: not taken
        ASSERT_EQ(toA.Send(20, 64, 100), 20);
        ASSERT_EQ(toB.Send(10, 64, 500), 10);  // sent by this interface: taken too
        ASSERT_EQ(toA.Send(1, 64, kMarker), 1);
        std::vector<std::uint32_t> expected;
        for (std::uint32_t n = 100; n < 120; ++n) {
            expected.push_back(n);
        }
        for (std::uint32_t n = 500; n < 510; ++n) {
            expected.push_back(n);
        }
        EXPECT_EQ(NumbersBeforeMarker(s), expected);
        EXPECT_EQ(win::closesocket(s), 0);
    });
}

TEST(RawSocket, CancellingWakesBlockedReadersAndEveryLaterRead) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        Start();
        const win::SOCKET s = Observing("127.0.0.1");
        std::vector<Received> woken(2);
        std::vector<std::atomic<pid_t>> ids(2);
        std::vector<std::thread> readers;
        for (std::size_t i = 0; i < woken.size(); ++i) {
            readers.emplace_back([s, &woken, &ids, i] {
                ids[i] = ::gettid();
                woken[i] = Receive(s);
            });
        }
        // Both wait on the quiet interface.
        for (std::atomic<pid_t>& id : ids) {
            ASSERT_TRUE(nettest::WaitFor([&id] { return id != 0; }));
            ASSERT_TRUE(nettest::WaitUntilPolling(id));
        }
        EXPECT_EQ(win::CancelBlockingCalls(s), 0);
        for (std::thread& reader : readers) {
            reader.join();
        }
        for (const Received& r : woken) {
            EXPECT_EQ(r.result, win::SOCKET_ERROR);
            EXPECT_EQ(r.error, win::WSAEINTR);
        }
        const Received later = Receive(s);
        EXPECT_EQ(later.error, win::WSAEINTR);
        EXPECT_EQ(win::closesocket(s), 0);
    });
}

TEST(RawSocket, ClosingWakesABlockedReaderAndTheDescriptorGoesWithIt) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        Start();
        const std::size_t descriptors = nettest::OpenDescriptors().size();
        const win::SOCKET s = Observing("127.0.0.1");
        Received woken;
        std::atomic<pid_t> id{0};
        std::thread reader([s, &woken, &id] {
            id = ::gettid();
            woken = Receive(s);
        });
        ASSERT_TRUE(nettest::WaitFor([&id] { return id != 0; }));
        ASSERT_TRUE(nettest::WaitUntilPolling(id));
        EXPECT_EQ(win::closesocket(s), 0);
        reader.join();
        EXPECT_EQ(woken.error, win::WSAEINTR);
        EXPECT_EQ(nettest::OpenPacketSockets(), 0);
        EXPECT_EQ(nettest::OpenDescriptors().size(), descriptors);
    });
}

// The packet socket under the raw socket, drained either way.
class PacketSocketDraining : public testing::TestWithParam<win::packet::Draining> {};

TEST_P(PacketSocketDraining, DeliversEachPacketOnceCutsLongOnesAndCancels) {
    const win::packet::Draining draining = GetParam();
    Namespace ns;
    Namespace::RunIn(ns.name(), [draining] {
        using win::packet::ReadResult;
        int error = -1;
        const auto socket = win::packet::PacketSocket::Open(draining, &error);
        ASSERT_TRUE(socket) << error;
        EXPECT_EQ(socket->draining(), draining);
        UdpSink sink("127.0.0.1", kPort);
        UdpSender sender("127.0.0.1", kPort);
        ASSERT_EQ(socket->Capture(1, true), 0);  // lo

        // A burst far beyond a default receive buffer, with nobody reading.
        constexpr int kBurst = 4000;
        ASSERT_EQ(sender.Send(kBurst, 64, 0), kBurst);
        unsigned char buffer[1600];
        for (std::uint32_t n = 0; n < kBurst; ++n) {
            const ReadResult r = socket->Read(buffer, sizeof buffer);
            ASSERT_EQ(r.status, ReadResult::Packet) << n;
            ASSERT_EQ(r.copied, 92u);
            std::uint32_t number;
            std::memcpy(&number, buffer + 28, sizeof number);
            ASSERT_EQ(number, n);
            ASSERT_EQ(win::inet_ntoa(win::in_addr{r.source}), std::string("127.0.0.1"));
        }
        EXPECT_EQ(socket->Dropped(), 0u);

        ASSERT_EQ(sender.Send(1, 500, 1), 1);
        const ReadResult cut = socket->Read(buffer, 100);
        EXPECT_EQ(cut.status, ReadResult::Cut);
        EXPECT_EQ(cut.copied, 100u);
        EXPECT_EQ(cut.source, win::inet_addr("127.0.0.1"));
        EXPECT_EQ(socket->Delivered(), kBurst + 1u);

        // Without leaving out sent copies, loopback shows every packet twice.
        ASSERT_EQ(socket->Capture(1, false), 0);
        ASSERT_EQ(sender.Send(3, 64, 40), 3);
        std::vector<std::uint32_t> numbers;
        for (int i = 0; i < 6; ++i) {
            ASSERT_EQ(socket->Read(buffer, sizeof buffer).status, ReadResult::Packet);
            std::uint32_t number;
            std::memcpy(&number, buffer + 28, sizeof number);
            numbers.push_back(number);
        }
        EXPECT_EQ(numbers, (std::vector<std::uint32_t>{40, 40, 41, 41, 42, 42}));

        std::thread canceller([&socket] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            socket->Cancel();
        });
        EXPECT_EQ(socket->Read(buffer, sizeof buffer).status, ReadResult::Cancelled);
        canceller.join();
        EXPECT_EQ(socket->Read(buffer, sizeof buffer).status, ReadResult::Cancelled);
    });
}

TEST_P(PacketSocketDraining, CountsWhatTheKernelDropsWhenTheBufferIsFull) {
    const win::packet::Draining draining = GetParam();
    Namespace ns;
    Namespace::RunIn(ns.name(), [draining] {
        using win::packet::ReadResult;
        int error = -1;
        const auto socket = win::packet::PacketSocket::Open(draining, &error);
        ASSERT_TRUE(socket) << error;
        UdpSink sink("127.0.0.1", kPort);
        UdpSender sender("127.0.0.1", kPort);
        ASSERT_EQ(socket->Capture(1, true), 0);
        // Large packets overflow the buffer quickly.
        constexpr int kSent = 400;
        ASSERT_EQ(sender.Send(kSent, 30000, 0), kSent);
        // Until the kernel has dealt with all of them.
        std::uint64_t dropped = socket->Dropped();
        for (int settled = 0; settled < 3;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const std::uint64_t now = socket->Dropped();
            settled = now == dropped ? settled + 1 : 0;
            dropped = now;
        }
        EXPECT_GT(dropped, 0u);
        std::vector<unsigned char> buffer(65536);
        for (std::uint64_t i = 0; i < kSent - dropped; ++i) {
            ASSERT_EQ(socket->Read(buffer.data(), buffer.size()).status, ReadResult::Packet) << i;
        }
        EXPECT_EQ(socket->Delivered() + socket->Dropped(), std::uint64_t{kSent});
    });
}

INSTANTIATE_TEST_SUITE_P(Both, PacketSocketDraining,
                         testing::Values(win::packet::Draining::Ring,
                                         win::packet::Draining::Copying),
                         [](const testing::TestParamInfo<win::packet::Draining>& param) {
                             return param.param == win::packet::Draining::Ring ? "Ring" : "Copying";
                         });

}  // namespace
