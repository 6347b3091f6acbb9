// The IP helper module against the machine's own interfaces: the size protocol of the tables,
// the row layout, the rows compared with what sysfs and getifaddrs say, and the module table.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ethtoolsocket.h"
#include "platform/iphelper.h"
#include "platform/linkdescription.h"
#include "platform/module.h"
#include "platform/netlinklinks.h"
#include "platform/unicode.h"

namespace {

using testing::HasSubstr;
using testing::StartsWith;
using win::DWORD;
using win::MIB_IFROW;
using win::MIB_IFTABLE;
using win::MIB_IPADDRROW;
using win::MIB_IPADDRTABLE;
using win::ULONG;

constexpr DWORD Code(win::LONG code) {
    return static_cast<DWORD>(code);
}

constexpr std::size_t kRowSize = 860;
constexpr std::size_t kAddressRowSize = 24;
constexpr unsigned char kFill = 0xA5;

std::string NameOf(const MIB_IFROW& row) {
    std::u16string name(row.wszName, std::char_traits<char16_t>::length(row.wszName));
    return win::text::ToUtf8(name);
}

std::string DescriptionOf(const MIB_IFROW& row) {
    return std::string(reinterpret_cast<const char*>(row.bDescr),
                       strnlen(reinterpret_cast<const char*>(row.bDescr), sizeof row.bDescr));
}

// The table as the program fetches it: the size first, then the rows into a buffer of that size.
std::vector<unsigned char> FetchTableBytes() {
    ULONG size = 0;
    EXPECT_EQ(win::GetIfTable(nullptr, &size, win::TRUE), Code(win::ERROR_INSUFFICIENT_BUFFER));
    std::vector<unsigned char> bytes(size);
    EXPECT_EQ(win::GetIfTable(reinterpret_cast<MIB_IFTABLE*>(bytes.data()), &size, win::TRUE),
              Code(win::ERROR_SUCCESS));
    return bytes;
}

std::vector<MIB_IFROW> Rows(const std::vector<unsigned char>& bytes) {
    DWORD count = 0;
    std::memcpy(&count, bytes.data(), sizeof count);
    std::vector<MIB_IFROW> rows(count);
    for (DWORD i = 0; i < count; ++i) {
        std::memcpy(&rows[i], bytes.data() + 4 + i * kRowSize, kRowSize);
    }
    return rows;
}

std::vector<MIB_IFROW> FetchRows() {
    return Rows(FetchTableBytes());
}

std::optional<std::string> ReadSysfs(const std::string& name, const std::string& attribute) {
    std::ifstream in("/sys/class/net/" + name + "/" + attribute);
    std::string value;
    if (!std::getline(in, value)) {
        return std::nullopt;
    }
    return value;
}

std::uint64_t SysfsCounter(const std::string& name, const std::string& counter) {
    const auto value = ReadSysfs(name, "statistics/" + counter);
    return value ? std::stoull(*value) : 0;
}

std::string HexAddress(const MIB_IFROW& row) {
    std::string text;
    char byte[4];
    for (DWORD i = 0; i < row.dwPhysAddrLen; ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ":%02x", row.bPhysAddr[i]);
        text += byte;
    }
    return text;
}

// --- Interface table: size protocol ----------------------------------------------------------

TEST(IfTableSize, NullTableAsksForHeaderAndRows) {
    DWORD count = 0;
    ASSERT_EQ(win::GetNumberOfInterfaces(&count), Code(win::ERROR_SUCCESS));
    ASSERT_GT(count, 0u);
    ULONG size = 12345;
    EXPECT_EQ(win::GetIfTable(nullptr, &size, win::TRUE), Code(win::ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 4 + count * kRowSize);
    size = 0;
    EXPECT_EQ(win::GetIfTable(nullptr, &size, win::FALSE), Code(win::ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 4 + count * kRowSize);
}

TEST(IfTableSize, NullPointersAreInvalidParameters) {
    std::vector<unsigned char> bytes(64 * kRowSize, kFill);
    auto* table = reinterpret_cast<MIB_IFTABLE*>(bytes.data());
    EXPECT_EQ(win::GetIfTable(table, nullptr, win::TRUE), Code(win::ERROR_INVALID_PARAMETER));
    EXPECT_EQ(win::GetIfTable(nullptr, nullptr, win::TRUE), Code(win::ERROR_INVALID_PARAMETER));
    EXPECT_EQ(win::GetNumberOfInterfaces(nullptr), Code(win::ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(
        std::all_of(bytes.begin(), bytes.end(), [](unsigned char b) { return b == kFill; }));
}

TEST(IfTableSize, TooSmallBufferIsLeftUntouched) {
    ULONG needed = 0;
    ASSERT_EQ(win::GetIfTable(nullptr, &needed, win::TRUE), Code(win::ERROR_INSUFFICIENT_BUFFER));
    for (const ULONG given : {ULONG{0}, ULONG{3}, ULONG{4}, ULONG{863}, needed - 1}) {
        SCOPED_TRACE(given);
        std::vector<unsigned char> bytes(needed + 16, kFill);
        ULONG size = given;
        EXPECT_EQ(win::GetIfTable(reinterpret_cast<MIB_IFTABLE*>(bytes.data()), &size, win::TRUE),
                  Code(win::ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(size, needed);
        EXPECT_TRUE(
            std::all_of(bytes.begin(), bytes.end(), [](unsigned char b) { return b == kFill; }));
    }
}

TEST(IfTableSize, ExactAndLargerBuffersAreFilledWithoutOverrun) {
    ULONG needed = 0;
    ASSERT_EQ(win::GetIfTable(nullptr, &needed, win::TRUE), Code(win::ERROR_INSUFFICIENT_BUFFER));
    // The program allocates 864 bytes per byte the query reported; a plain caller the size.
    for (const ULONG given : {needed, needed + 1, needed * 2}) {
        SCOPED_TRACE(given);
        std::vector<unsigned char> bytes(given + 64, kFill);
        ULONG size = given;
        ASSERT_EQ(win::GetIfTable(reinterpret_cast<MIB_IFTABLE*>(bytes.data()), &size, win::TRUE),
                  Code(win::ERROR_SUCCESS));
        EXPECT_EQ(size, given);
        DWORD count = 0;
        std::memcpy(&count, bytes.data(), 4);
        EXPECT_EQ(4 + count * kRowSize, needed);
        EXPECT_TRUE(std::all_of(bytes.begin() + needed, bytes.end(),
                                [](unsigned char b) { return b == kFill; }));
    }
}

// --- Interface table: layout -----------------------------------------------------------------

TEST(IfTableLayout, FieldOffsetsAreThePlatformOnes) {
    // wszName is 256 UTF-16 units (512 bytes); then 4-byte fields, with the 8 address bytes
    // after dwPhysAddrLen, and the 256 description bytes at the end.
    EXPECT_EQ(offsetof(MIB_IFROW, dwIndex), 512u);
    EXPECT_EQ(offsetof(MIB_IFROW, dwSpeed), 524u);
    EXPECT_EQ(offsetof(MIB_IFROW, bPhysAddr), 532u);
    EXPECT_EQ(offsetof(MIB_IFROW, dwAdminStatus), 540u);
    EXPECT_EQ(offsetof(MIB_IFROW, dwInOctets), 552u);
    EXPECT_EQ(offsetof(MIB_IFROW, dwOutOctets), 576u);
    EXPECT_EQ(offsetof(MIB_IFROW, dwDescrLen), 600u);
    EXPECT_EQ(offsetof(MIB_IFROW, bDescr), 604u);
    EXPECT_EQ(sizeof(MIB_IFROW), kRowSize);
    EXPECT_EQ(offsetof(MIB_IFTABLE, table), 4u);
}

TEST(IfTableLayout, RowsFollowTheCountEvery860Bytes) {
    const std::vector<unsigned char> bytes = FetchTableBytes();
    DWORD count = 0;
    std::memcpy(&count, bytes.data(), 4);
    ASSERT_EQ(bytes.size(), 4 + count * kRowSize);
    for (DWORD i = 0; i < count; ++i) {
        const unsigned char* row = bytes.data() + 4 + i * kRowSize;
        std::u16string name;
        for (std::size_t unit = 0; unit < 256; ++unit) {
            char16_t c;
            std::memcpy(&c, row + unit * 2, 2);
            if (c == 0) {
                break;
            }
            name += c;
        }
        DWORD index = 0;
        std::memcpy(&index, row + 512, 4);
        EXPECT_EQ(index, if_nametoindex(win::text::ToUtf8(name).c_str()));
        DWORD descriptionLength = 0;
        std::memcpy(&descriptionLength, row + 600, 4);
        ASSERT_GE(descriptionLength, 1u);
        ASSERT_LE(descriptionLength, 256u);
        EXPECT_EQ(row[604 + descriptionLength - 1], 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(row + 604)).size() + 1,
                  descriptionLength);
    }
}

// --- Interface table: contents ---------------------------------------------------------------

TEST(IfTableRows, AreTheInterfacesInAscendingIndex) {
    const std::vector<MIB_IFROW> rows = FetchRows();
    ASSERT_FALSE(rows.empty());
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_LT(rows[i - 1].dwIndex, rows[i].dwIndex);
    }
    std::vector<DWORD> expected;
    struct if_nameindex* names = if_nameindex();
    ASSERT_NE(names, nullptr);
    for (const struct if_nameindex* n = names; n->if_index != 0; ++n) {
        expected.push_back(n->if_index);
    }
    if_freenameindex(names);
    std::sort(expected.begin(), expected.end());
    std::vector<DWORD> indexes;
    for (const MIB_IFROW& row : rows) {
        indexes.push_back(row.dwIndex);
    }
    EXPECT_EQ(indexes, expected);
}

TEST(IfTableRows, AgreeWithSysfs) {
    const std::vector<MIB_IFROW> rows = FetchRows();
    for (const MIB_IFROW& row : rows) {
        const std::string name = NameOf(row);
        SCOPED_TRACE(name);
        EXPECT_EQ(row.dwIndex, if_nametoindex(name.c_str()));
        EXPECT_EQ(std::to_string(row.dwMtu), ReadSysfs(name, "mtu").value_or("?"));
        EXPECT_EQ(HexAddress(row), ReadSysfs(name, "address").value_or("?"));
        const unsigned long flags = std::stoul(ReadSysfs(name, "flags").value_or("0"), nullptr, 16);
        EXPECT_EQ(row.dwAdminStatus, (flags & IFF_UP) != 0 ? win::MIB_IF_ADMIN_STATUS_UP
                                                           : win::MIB_IF_ADMIN_STATUS_DOWN);
        if ((flags & IFF_UP) == 0) {
            EXPECT_EQ(row.dwOperStatus, win::MIB_IF_OPER_STATUS_NON_OPERATIONAL);
        }

        // sysfs asks the driver the same question, in Mb/s, -1 or an error for none.
        const long megabits = std::stol(ReadSysfs(name, "speed").value_or("-1"));
        const std::uint64_t bits = megabits > 0 ? std::uint64_t(megabits) * 1'000'000 : 0;
        EXPECT_EQ(row.dwSpeed, std::min<std::uint64_t>(bits, 4294967295u));

        const std::string description = DescriptionOf(row);
        EXPECT_EQ(row.dwDescrLen, description.size() + 1);
        EXPECT_TRUE(description == name || description.rfind(name + " - ", 0) == 0) << description;
    }
}

TEST(IfTableRows, CountersAreTheLow32BitsOfTheKernelCounters) {
    const std::vector<MIB_IFROW> names = FetchRows();
    for (const MIB_IFROW& named : names) {
        const std::string name = NameOf(named);
        SCOPED_TRACE(name);
        const std::uint64_t rxBefore = SysfsCounter(name, "rx_bytes");
        const std::uint64_t txBefore = SysfsCounter(name, "tx_bytes");
        const std::vector<MIB_IFROW> rows = FetchRows();
        const std::uint64_t rxAfter = SysfsCounter(name, "rx_bytes");
        const std::uint64_t txAfter = SysfsCounter(name, "tx_bytes");
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const MIB_IFROW& r) {
            return r.dwIndex == named.dwIndex;
        });
        ASSERT_NE(row, rows.end());
        // Between the two readings, modulo 2^32.
        EXPECT_LE(DWORD(row->dwInOctets - DWORD(rxBefore)), rxAfter - rxBefore);
        EXPECT_LE(DWORD(row->dwOutOctets - DWORD(txBefore)), txAfter - txBefore);
    }
}

TEST(IfTableRows, LoopbackSaysSo) {
    const std::vector<MIB_IFROW> rows = FetchRows();
    const auto loopback = std::find_if(rows.begin(), rows.end(), [](const MIB_IFROW& row) {
        const unsigned long flags =
            std::stoul(ReadSysfs(NameOf(row), "flags").value_or("0"), nullptr, 16);
        return (flags & IFF_LOOPBACK) != 0;
    });
    ASSERT_NE(loopback, rows.end());
    EXPECT_EQ(loopback->dwType, win::MIB_IF_TYPE_LOOPBACK);
    EXPECT_THAT(DescriptionOf(*loopback), HasSubstr("Loopback"));
    EXPECT_EQ(DescriptionOf(*loopback), NameOf(*loopback) + " - Software Loopback Interface");
    EXPECT_EQ(loopback->dwSpeed, 0u);
    EXPECT_EQ(loopback->dwOperStatus, win::MIB_IF_OPER_STATUS_OPERATIONAL);
    // No other row is a loopback one, which the program's filter relies on.
    for (const MIB_IFROW& row : rows) {
        if (row.dwIndex != loopback->dwIndex) {
            EXPECT_NE(row.dwType, win::MIB_IF_TYPE_LOOPBACK) << NameOf(row);
        }
    }
}

TEST(IfTableRows, KeepTheirPositionsFromCallToCall) {
    const std::vector<MIB_IFROW> first = FetchRows();
    const std::vector<MIB_IFROW> second = FetchRows();
    ASSERT_EQ(first.size(), second.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].dwIndex, second[i].dwIndex);
        EXPECT_EQ(DescriptionOf(first[i]), DescriptionOf(second[i]));
    }
}

TEST(IfTableRows, ConcurrentCallersEachGetAWholeTable) {
    const std::size_t expected = FetchRows().size();
    std::vector<std::thread> callers;
    std::atomic<int> whole{0};
    for (int t = 0; t < 4; ++t) {
        callers.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                ULONG size = 0;
                win::GetIfTable(nullptr, &size, win::TRUE);
                std::vector<unsigned char> bytes(size);
                DWORD count = 0;
                if (win::GetIfTable(reinterpret_cast<MIB_IFTABLE*>(bytes.data()), &size,
                                    win::TRUE) == 0 &&
                    (std::memcpy(&count, bytes.data(), 4), count == expected)) {
                    ++whole;
                }
            }
        });
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    EXPECT_EQ(whole.load(), 400);
}

// --- Descriptions and speeds -----------------------------------------------------------------

TEST(InterfaceDescription, NamesTheMostTellingSource) {
    using win::iphelper::DescribeInterface;
    struct Case {
        win::iphelper::DescriptionSources sources;
        std::string expected;
    };
    const Case cases[] = {
        {{"lo", true, "", "", ""}, "lo - Software Loopback Interface"},
        {{"lo", true, "Some Model", "drv", "kind"}, "lo - Software Loopback Interface"},
        {{"eth0", false, "82540EM Gigabit Ethernet Controller", "e1000", ""},
         "eth0 - 82540EM Gigabit Ethernet Controller"},
        {{"eth0", false, "", "virtio_net", ""}, "eth0 - virtio_net"},
        {{"veth1", false, "", "veth", "veth"}, "veth1 - veth"},
        {{"br0", false, "", "", "bridge"}, "br0 - bridge"},
        {{"sit0", false, "", "", ""}, "sit0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DescribeInterface(c.sources), c.expected);
    }
}

TEST(InterfaceDescription, IsCutTo255BytesOnACharacterBoundary) {
    using win::iphelper::DescribeInterface;
    const std::string ascii(300, 'M');
    const std::string cut = DescribeInterface({"eth0", false, ascii, "", ""});
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_EQ(cut, "eth0 - " + ascii.substr(0, 248));

    // "eth0 - " is 7 bytes; 124 two-byte letters reach 255, one more must not be split.
    std::string letters;
    for (int i = 0; i < 130; ++i) {
        letters += "\xC3\xA9";  // é
    }
    const std::string cutLetters = DescribeInterface({"eth0", false, letters, "", ""});
    EXPECT_EQ(cutLetters.size(), 7u + 2 * 124);
    EXPECT_EQ(win::text::ToUtf8(win::text::ToUtf16(cutLetters)), cutLetters);
}

TEST(NominalSpeed, IsBitsPerSecondSaturatedAt32Bits) {
    using win::iphelper::SpeedInBits;
    EXPECT_EQ(SpeedInBits(std::nullopt), 0u);
    EXPECT_EQ(SpeedInBits(10), 10'000'000u);
    EXPECT_EQ(SpeedInBits(100), 100'000'000u);
    EXPECT_EQ(SpeedInBits(1000), 1'000'000'000u);
    EXPECT_EQ(SpeedInBits(4294), 4'294'000'000u);
    EXPECT_EQ(SpeedInBits(4295), 4294967295u);
    EXPECT_EQ(SpeedInBits(100000), 4294967295u);
    EXPECT_EQ(SpeedInBits(std::numeric_limits<std::uint32_t>::max() - 1), 4294967295u);
}

// --- Link dump parsing -----------------------------------------------------------------------

// Netlink messages written out by hand: the kernel's framing, little-endian, 4-byte aligned.
class DumpBytes {
public:
    // Message types and flags of the rtnetlink protocol.
    static constexpr std::uint16_t kDone = 3;
    static constexpr std::uint16_t kError = 2;
    static constexpr std::uint16_t kNewLink = 16;
    static constexpr std::uint16_t kNewStats = 92;
    static constexpr std::uint16_t kMulti = 0x2;
    static constexpr std::uint16_t kDumpInterrupted = 0x10;
    // Link attributes.
    static constexpr std::uint16_t kName = 3;
    static constexpr std::uint16_t kMtu = 4;
    static constexpr std::uint16_t kStats64 = 23;
    // Counters attribute of the statistics messages.
    static constexpr std::uint16_t kLinkCounters64 = 1;

    void Link(std::uint32_t sequence, int index, const std::string& name, std::uint32_t mtu,
              std::uint64_t rxBytes, std::uint64_t txBytes, std::uint16_t flags = kMulti) {
        std::vector<unsigned char> body(16, 0);  // family, type, index, flags, change
        std::memcpy(body.data() + 4, &index, 4);
        std::vector<unsigned char> text(name.begin(), name.end());
        text.push_back(0);
        Attribute(body, kName, text);
        std::vector<unsigned char> mtuBytes(4);
        std::memcpy(mtuBytes.data(), &mtu, 4);
        Attribute(body, kMtu, mtuBytes);
        std::vector<unsigned char> stats(8 * 24, 0);  // rx_packets, tx_packets, rx_bytes, ...
        std::memcpy(stats.data() + 16, &rxBytes, 8);
        std::memcpy(stats.data() + 24, &txBytes, 8);
        Attribute(body, kStats64, stats);
        Message(kNewLink, flags, sequence, body);
    }
    void Counters(std::uint32_t sequence, int index, std::uint64_t rxBytes, std::uint64_t txBytes) {
        std::vector<unsigned char> body(12, 0);  // family, padding, index, filter mask
        std::memcpy(body.data() + 4, &index, 4);
        std::vector<unsigned char> stats(8 * 24, 0);
        std::memcpy(stats.data() + 16, &rxBytes, 8);
        std::memcpy(stats.data() + 24, &txBytes, 8);
        Attribute(body, kLinkCounters64, stats);
        Message(kNewStats, kMulti, sequence, body);
    }
    void Done(std::uint32_t sequence) { Message(kDone, kMulti, sequence, {0, 0, 0, 0}); }
    void Error(std::uint32_t sequence) {
        Message(kError, 0, sequence, std::vector<unsigned char>(20, 0xFF));
    }
    std::vector<unsigned char>& Bytes() { return m_bytes; }

private:
    static void Pad(std::vector<unsigned char>& bytes) {
        bytes.resize((bytes.size() + 3) & ~std::size_t{3}, 0);
    }
    static void Attribute(std::vector<unsigned char>& body, std::uint16_t type,
                          const std::vector<unsigned char>& payload) {
        const auto length = static_cast<std::uint16_t>(4 + payload.size());
        body.push_back(static_cast<unsigned char>(length & 0xFF));
        body.push_back(static_cast<unsigned char>(length >> 8));
        body.push_back(static_cast<unsigned char>(type & 0xFF));
        body.push_back(static_cast<unsigned char>(type >> 8));
        body.insert(body.end(), payload.begin(), payload.end());
        Pad(body);
    }
    void Message(std::uint16_t type, std::uint16_t flags, std::uint32_t sequence,
                 const std::vector<unsigned char>& body) {
        const auto length = static_cast<std::uint32_t>(16 + body.size());
        const std::uint32_t port = 0;
        const std::size_t start = m_bytes.size();
        m_bytes.resize(start + 16);
        std::memcpy(m_bytes.data() + start, &length, 4);
        std::memcpy(m_bytes.data() + start + 4, &type, 2);
        std::memcpy(m_bytes.data() + start + 6, &flags, 2);
        std::memcpy(m_bytes.data() + start + 8, &sequence, 4);
        std::memcpy(m_bytes.data() + start + 12, &port, 4);
        m_bytes.insert(m_bytes.end(), body.begin(), body.end());
        Pad(m_bytes);
    }
    std::vector<unsigned char> m_bytes;
};

TEST(LinkDump, ReadsLinksOfItsOwnSequenceUntilDone) {
    using win::iphelper::DumpChunk;
    DumpBytes dump;
    dump.Link(6, 9, "stale0", 1500, 1, 1);  // the tail of an abandoned dump
    dump.Link(7, 1, "lo", 65536, 0x1'2345'6789, 42);
    dump.Link(7, 4, "eth0", 1400, 5, 6);
    std::vector<win::iphelper::LinkRecord> links;
    bool interrupted = false;
    EXPECT_EQ(win::iphelper::ParseLinkDump(dump.Bytes().data(), dump.Bytes().size(), 7, links,
                                           interrupted),
              DumpChunk::More);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].index, 1);
    EXPECT_EQ(links[0].name, "lo");
    EXPECT_EQ(links[0].mtu, 65536u);
    EXPECT_EQ(links[0].counters.rxBytes, 0x1'2345'6789u);
    EXPECT_EQ(links[0].counters.txBytes, 42u);
    EXPECT_EQ(links[1].name, "eth0");
    EXPECT_FALSE(interrupted);

    DumpBytes last;
    last.Link(7, 5, "wlan0", 1500, 0, 0, DumpBytes::kMulti | DumpBytes::kDumpInterrupted);
    last.Done(7);
    EXPECT_EQ(win::iphelper::ParseLinkDump(last.Bytes().data(), last.Bytes().size(), 7, links,
                                           interrupted),
              DumpChunk::Done);
    EXPECT_EQ(links.size(), 3u);
    EXPECT_TRUE(interrupted);
}

TEST(LinkDump, ReadsTheCountersDump) {
    using win::iphelper::DumpChunk;
    DumpBytes dump;
    dump.Link(8, 1, "lo", 65536, 1, 1);  // a link record is no counters record
    dump.Counters(8, 1, 10, 20);
    dump.Counters(8, 4, 0xFFFF'FFFF'0000'0001, 2);
    dump.Done(8);
    std::vector<win::iphelper::IndexedCounters> counters;
    bool interrupted = false;
    EXPECT_EQ(win::iphelper::ParseCountersDump(dump.Bytes().data(), dump.Bytes().size(), 8,
                                               counters, interrupted),
              DumpChunk::Done);
    ASSERT_EQ(counters.size(), 2u);
    EXPECT_EQ(counters[0].index, 1);
    EXPECT_EQ(counters[0].counters.rxBytes, 10u);
    EXPECT_EQ(counters[0].counters.txBytes, 20u);
    EXPECT_EQ(counters[1].index, 4);
    EXPECT_EQ(counters[1].counters.rxBytes, 0xFFFF'FFFF'0000'0001u);
}

TEST(LinkDump, RejectsErrorsAndBrokenFraming) {
    using win::iphelper::DumpChunk;
    std::vector<win::iphelper::LinkRecord> links;
    bool interrupted = false;

    DumpBytes error;
    error.Error(3);
    EXPECT_EQ(win::iphelper::ParseLinkDump(error.Bytes().data(), error.Bytes().size(), 3, links,
                                           interrupted),
              DumpChunk::Refused);

    // A message longer than the datagram that holds it.
    DumpBytes cut;
    cut.Link(3, 2, "eth1", 1500, 1, 2);
    EXPECT_EQ(win::iphelper::ParseLinkDump(cut.Bytes().data(), cut.Bytes().size() - 8, 3, links,
                                           interrupted),
              DumpChunk::Failed);

    // An attribute running past its message ends the attributes, not the reading.
    DumpBytes overrun;
    overrun.Link(3, 2, "eth1", 1500, 1, 2);
    overrun.Done(3);
    std::vector<unsigned char>& bytes = overrun.Bytes();
    bytes[16 + 16] = 0xFF;  // the first attribute's length
    links.clear();
    EXPECT_EQ(win::iphelper::ParseLinkDump(bytes.data(), bytes.size(), 3, links, interrupted),
              DumpChunk::Done);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].index, 2);
    EXPECT_EQ(links[0].name, "");
}

// --- Address table ---------------------------------------------------------------------------

struct Ipv4Entry {
    std::uint32_t address;
    std::uint32_t mask;
    DWORD index;
    bool operator==(const Ipv4Entry&) const = default;
};

std::vector<Ipv4Entry> SystemAddresses() {
    std::vector<Ipv4Entry> entries;
    ifaddrs* list = nullptr;
    EXPECT_EQ(getifaddrs(&list), 0);
    for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr != nullptr && a->ifa_addr->sa_family == AF_INET) {
            std::string name(a->ifa_name);
            name = name.substr(0, name.find(':'));
            entries.push_back(
                {reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr,
                 reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr,
                 if_nametoindex(name.c_str())});
        }
    }
    freeifaddrs(list);
    return entries;
}

std::vector<Ipv4Entry> FetchAddresses(win::BOOL order) {
    ULONG size = 0;
    EXPECT_EQ(win::GetIpAddrTable(nullptr, &size, order), Code(win::ERROR_INSUFFICIENT_BUFFER));
    std::vector<unsigned char> bytes(size);
    EXPECT_EQ(win::GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(bytes.data()), &size, order),
              Code(win::ERROR_SUCCESS));
    DWORD count = 0;
    std::memcpy(&count, bytes.data(), 4);
    EXPECT_EQ(bytes.size(), 4 + count * kAddressRowSize);
    std::vector<Ipv4Entry> entries;
    for (DWORD i = 0; i < count && 4 + (i + 1) * kAddressRowSize <= bytes.size(); ++i) {
        MIB_IPADDRROW row;
        std::memcpy(&row, bytes.data() + 4 + i * kAddressRowSize, kAddressRowSize);
        entries.push_back({row.dwAddr, row.dwMask, row.dwIndex});
    }
    return entries;
}

TEST(IpAddrTable, SizeProtocol) {
    const std::size_t count = SystemAddresses().size();
    ULONG needed = 0;
    ASSERT_EQ(win::GetIpAddrTable(nullptr, &needed, win::FALSE),
              Code(win::ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 4 + count * kAddressRowSize);
    for (const ULONG given : {ULONG{0}, ULONG{4}, needed - 1}) {
        SCOPED_TRACE(given);
        std::vector<unsigned char> bytes(needed + 8, kFill);
        ULONG size = given;
        EXPECT_EQ(win::GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(bytes.data()), &size,
                                      win::FALSE),
                  Code(win::ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(size, needed);
        EXPECT_TRUE(
            std::all_of(bytes.begin(), bytes.end(), [](unsigned char b) { return b == kFill; }));
    }
    // The program's buffer: 2800 bytes, room for 116 rows.
    std::vector<unsigned char> bytes(2800, kFill);
    ULONG size = 2800;
    ASSERT_EQ(
        win::GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(bytes.data()), &size, win::FALSE),
        Code(win::ERROR_SUCCESS));
    EXPECT_EQ(size, 2800u);
    EXPECT_TRUE(std::all_of(bytes.begin() + needed, bytes.end(),
                            [](unsigned char b) { return b == kFill; }));
    EXPECT_EQ(
        win::GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(bytes.data()), nullptr, win::FALSE),
        Code(win::ERROR_INVALID_PARAMETER));
}

TEST(IpAddrTable, UnsortedIsTheKernelsOrderWithLoopbackFirst) {
    const std::vector<Ipv4Entry> entries = FetchAddresses(win::FALSE);
    EXPECT_EQ(entries, SystemAddresses());
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].address, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(entries[0].mask, htonl(0xFF000000u));
    EXPECT_EQ(entries[0].index, if_nametoindex("lo"));
}

TEST(IpAddrTable, SortedIsByAscendingAddress) {
    std::vector<Ipv4Entry> sorted = FetchAddresses(win::TRUE);
    std::vector<Ipv4Entry> expected = SystemAddresses();
    std::stable_sort(expected.begin(), expected.end(), [](const Ipv4Entry& a, const Ipv4Entry& b) {
        return ntohl(a.address) < ntohl(b.address);
    });
    EXPECT_EQ(sorted, expected);
}

// --- The module ------------------------------------------------------------------------------

class IpHelperModule : public testing::Test {
protected:
    void TearDown() override {
        // Put back whatever a test took out.
        win::RegisterModule(win::kIpHelperModule, win::detail::IpHelperEntries());
    }
};

TEST_F(IpHelperModule, OffersTheThreeEntryPoints) {
    // In the table from the start, with nothing registering it.
    const win::HMODULE module = win::LoadLibrary(win::kIpHelperModule);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(win::GetProcAddress(module, "GetIfTable"), win::ToEntryPoint(&win::GetIfTable));
    const auto getIfTable = win::FromEntryPoint<DWORD(MIB_IFTABLE*, ULONG*, win::BOOL)>(
        win::GetProcAddress(module, "GetIfTable"));
    const auto getCount =
        win::FromEntryPoint<DWORD(DWORD*)>(win::GetProcAddress(module, "GetNumberOfInterfaces"));
    const auto getAddresses = win::FromEntryPoint<DWORD(MIB_IPADDRTABLE*, ULONG*, win::BOOL)>(
        win::GetProcAddress(module, "GetIpAddrTable"));
    ASSERT_NE(getIfTable, nullptr);
    ASSERT_NE(getCount, nullptr);
    ASSERT_NE(getAddresses, nullptr);

    DWORD count = 0;
    EXPECT_EQ(getCount(&count), Code(win::ERROR_SUCCESS));
    ULONG size = 0;
    EXPECT_EQ(getIfTable(nullptr, &size, win::TRUE), Code(win::ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 4 + count * kRowSize);
    size = 0;
    EXPECT_EQ(getAddresses(nullptr, &size, win::FALSE), Code(win::ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 4 + SystemAddresses().size() * kAddressRowSize);
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
}

TEST_F(IpHelperModule, RemovedEntryPointIsNotFound) {
    const win::HMODULE module = win::LoadLibrary("iphlpapi");
    ASSERT_NE(module, nullptr);
    for (const char* entry : {"GetNumberOfInterfaces", "GetIfTable"}) {
        SCOPED_TRACE(entry);
        ASSERT_TRUE(win::RemoveEntryPoint(win::kIpHelperModule, entry));
        win::SetLastError(0);
        EXPECT_EQ(win::GetProcAddress(module, entry), nullptr);
        EXPECT_EQ(win::GetLastError(), Code(win::ERROR_PROC_NOT_FOUND));
    }
    EXPECT_NE(win::GetProcAddress(module, "GetIpAddrTable"), nullptr);
    win::FreeLibrary(module);
}

}  // namespace
