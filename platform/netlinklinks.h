// The kernel's network links with their counters, read over one rtnetlink socket kept open
// for the process: the full RTM_GETLINK dump, the lighter RTM_GETSTATS dump of the counters
// alone, and the kernel's announcements of link changes, to which the socket listens.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace win::iphelper {

// The 64-bit counters of a link, as the kernel keeps them.
struct LinkCounters {
    std::uint64_t rxPackets = 0;
    std::uint64_t txPackets = 0;
    std::uint64_t rxBytes = 0;
    std::uint64_t txBytes = 0;
    std::uint64_t rxErrors = 0;
    std::uint64_t txErrors = 0;
    std::uint64_t rxDropped = 0;
    std::uint64_t txDropped = 0;
    std::uint64_t multicast = 0;  // received multicast packets, part of rxPackets
    std::uint64_t rxNoHandler = 0;
};

// One link of the full dump.
struct LinkRecord {
    int index = 0;
    std::string name;
    unsigned hardwareType = 0;  // ARPHRD_* value
    unsigned flags = 0;         // IFF_* bits
    unsigned mtu = 0;
    unsigned operState = 0;  // IF_OPER_* value
    std::uint32_t carrierChanges = 0;
    std::array<std::uint8_t, 32> address{};
    std::size_t addressLength = 0;
    std::string kind;  // the link type's name (veth, bridge, tun, ...), empty for plain devices
    LinkCounters counters;
};

// One link of the counters dump.
struct IndexedCounters {
    int index = 0;
    LinkCounters counters;
};

// What one received datagram of a dump reply holds.
enum class DumpChunk {
    More,     // records were added, if any; more datagrams follow
    Done,     // the dump ended
    Refused,  // the kernel answered with an error: the dump is over
    Failed,   // a malformed message
};

// Read the records of one datagram (appending), ignoring messages of other sequence numbers.
// Set interrupted when the kernel marks the dump inconsistent (the link list changed while it
// was being dumped); the dump still runs to its end.
DumpChunk ParseLinkDump(const void* data, std::size_t size, std::uint32_t sequence,
                        std::vector<LinkRecord>& links, bool& interrupted);
DumpChunk ParseCountersDump(const void* data, std::size_t size, std::uint32_t sequence,
                            std::vector<IndexedCounters>& counters, bool& interrupted);

// The socket is opened on first use in the calling thread's network namespace, with
// close-on-exec, and joins the kernel's link announcements. A forked child opens its own.
// Not thread-safe: the owner serialises the calls.
class LinkSocket {
public:
    LinkSocket() = default;
    ~LinkSocket();
    LinkSocket(const LinkSocket&) = delete;
    LinkSocket& operator=(const LinkSocket&) = delete;

    // Whether a link may have changed (appeared, gone, changed its name, flags, state or
    // addresses) since the last call: the kernel announced a change, announcements were lost,
    // or the socket is new. Reads the announcements waiting, without blocking.
    bool TakeChanges();

    // Replace links with every link of the namespace, in the kernel's order; the records'
    // storage is reused from call to call. False when the socket cannot be opened or the
    // kernel's reply cannot be read.
    bool DumpLinks(std::vector<LinkRecord>& links);

    // Replace counters with the counters of every link. False as for DumpLinks; *refused
    // tells a kernel that does not offer the counters dump.
    bool DumpCounters(std::vector<IndexedCounters>& counters, bool* refused);

private:
    bool Ready();
    bool Open();
    void Close();
    bool Request(std::uint16_t type, const void* body, std::size_t bodySize);
    template <typename Records, typename Parse>
    bool Dump(std::uint16_t type, const void* body, std::size_t bodySize, Records& records,
              Parse parse, bool* refused);
    template <typename Records, typename Parse>
    DumpChunk ReceiveChunk(Records& records, Parse parse, bool& interrupted);

    int m_fd = -1;
    pid_t m_owner = 0;
    std::uint32_t m_sequence = 0;
    bool m_changed = true;
    std::vector<char> m_buffer;
};

}  // namespace win::iphelper
