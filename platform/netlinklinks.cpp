#include "platform/netlinklinks.h"

#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace win::iphelper {

namespace {

// A reply datagram is at most 32 KB (the kernel sizes dump datagrams by the reader's buffer,
// up to that); a larger one is detected and makes the buffer grow.
constexpr std::size_t kInitialBuffer = 32 * 1024;
constexpr int kDumpAttempts = 3;

constexpr std::size_t Align(std::size_t length) {
    return (length + 3) & ~std::size_t{3};
}

// Attributes of a message or of a nested attribute, read without assuming any alignment of
// the buffer.
class Attributes {
public:
    Attributes(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}

    // Steps to the next attribute; false at the end or at a malformed one.
    bool Next() {
        m_offset = Align(m_next);
        if (m_offset + sizeof(rtattr) > m_size) {
            return false;
        }
        rtattr header;
        std::memcpy(&header, m_data + m_offset, sizeof header);
        if (header.rta_len < sizeof(rtattr) || m_offset + header.rta_len > m_size) {
            return false;
        }
        m_type = header.rta_type & NLA_TYPE_MASK;
        m_length = header.rta_len - sizeof(rtattr);
        m_next = m_offset + header.rta_len;
        return true;
    }

    unsigned Type() const { return m_type; }
    const unsigned char* Payload() const { return m_data + m_offset + sizeof(rtattr); }
    std::size_t Length() const { return m_length; }

    std::uint32_t U32() const {
        std::uint32_t value = 0;
        std::memcpy(&value, Payload(), std::min(m_length, sizeof value));
        return value;
    }
    std::uint8_t U8() const { return m_length >= 1 ? Payload()[0] : 0; }
    void String(std::string& out) const {
        const auto* text = reinterpret_cast<const char*>(Payload());
        out.assign(text, strnlen(text, m_length));
    }

private:
    const unsigned char* m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
    std::size_t m_next = 0;
    unsigned m_type = 0;
    std::size_t m_length = 0;
};

void ReadStats64(const Attributes& attribute, LinkCounters& counters) {
    rtnl_link_stats64 stats{};
    std::memcpy(&stats, attribute.Payload(), std::min(attribute.Length(), sizeof stats));
    counters = {stats.rx_packets, stats.tx_packets,  stats.rx_bytes,   stats.tx_bytes,
                stats.rx_errors,  stats.tx_errors,   stats.rx_dropped, stats.tx_dropped,
                stats.multicast,  stats.rx_nohandler};
}

void ReadStats32(const Attributes& attribute, LinkCounters& counters) {
    rtnl_link_stats stats{};
    std::memcpy(&stats, attribute.Payload(), std::min(attribute.Length(), sizeof stats));
    counters = {stats.rx_packets, stats.tx_packets,  stats.rx_bytes,   stats.tx_bytes,
                stats.rx_errors,  stats.tx_errors,   stats.rx_dropped, stats.tx_dropped,
                stats.multicast,  stats.rx_nohandler};
}

void ReadLinkInfo(const Attributes& attribute, LinkRecord& link) {
    Attributes nested(attribute.Payload(), attribute.Length());
    while (nested.Next()) {
        if (nested.Type() == IFLA_INFO_KIND) {
            nested.String(link.kind);
        }
    }
}

bool ReadLink(const unsigned char* message, std::size_t size, LinkRecord& link) {
    if (size < sizeof(ifinfomsg)) {
        return false;
    }
    ifinfomsg info;
    std::memcpy(&info, message, sizeof info);
    link.index = info.ifi_index;
    link.hardwareType = info.ifi_type;
    link.flags = info.ifi_flags;

    bool have64 = false;
    Attributes attribute(message + Align(sizeof(ifinfomsg)),
                         size - std::min(size, Align(sizeof(ifinfomsg))));
    while (attribute.Next()) {
        switch (attribute.Type()) {
            case IFLA_IFNAME:
                attribute.String(link.name);
                break;
            case IFLA_MTU:
                link.mtu = attribute.U32();
                break;
            case IFLA_OPERSTATE:
                link.operState = attribute.U8();
                break;
            case IFLA_CARRIER_CHANGES:
                link.carrierChanges = attribute.U32();
                break;
            case IFLA_ADDRESS:
                link.addressLength = std::min(attribute.Length(), link.address.size());
                std::memcpy(link.address.data(), attribute.Payload(), link.addressLength);
                break;
            case IFLA_LINKINFO:
                ReadLinkInfo(attribute, link);
                break;
            case IFLA_STATS64:
                ReadStats64(attribute, link.counters);
                have64 = true;
                break;
            case IFLA_STATS:
                if (!have64) {
                    ReadStats32(attribute, link.counters);
                }
                break;
            default:
                break;
        }
    }
    return true;
}

bool ReadCounters(const unsigned char* message, std::size_t size, IndexedCounters& record) {
    if (size < sizeof(if_stats_msg)) {
        return false;
    }
    if_stats_msg info;
    std::memcpy(&info, message, sizeof info);
    record.index = static_cast<int>(info.ifindex);
    Attributes attribute(message + Align(sizeof(if_stats_msg)),
                         size - std::min(size, Align(sizeof(if_stats_msg))));
    while (attribute.Next()) {
        if (attribute.Type() == IFLA_STATS_LINK_64) {
            ReadStats64(attribute, record.counters);
        }
    }
    return true;
}

// Walks the messages of one datagram and hands those of the dump with the given sequence
// number and record type to read(payload, size, record).
template <typename Records, typename Read>
DumpChunk ParseReplies(const void* data, std::size_t size, std::uint32_t sequence,
                       std::uint16_t recordType, Records& records, bool& interrupted, Read read) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t offset = 0;
    while (offset + sizeof(nlmsghdr) <= size) {
        nlmsghdr header;
        std::memcpy(&header, bytes + offset, sizeof header);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > size - offset) {
            return DumpChunk::Failed;
        }
        const unsigned char* payload = bytes + offset + Align(sizeof(nlmsghdr));
        const std::size_t payloadSize =
            header.nlmsg_len - std::min<std::size_t>(header.nlmsg_len, Align(sizeof(nlmsghdr)));
        offset += Align(header.nlmsg_len);
        if (header.nlmsg_seq != sequence) {
            continue;
        }
        if ((header.nlmsg_flags & NLM_F_DUMP_INTR) != 0) {
            interrupted = true;
        }
        if (header.nlmsg_type == NLMSG_DONE) {
            return DumpChunk::Done;
        }
        if (header.nlmsg_type == NLMSG_ERROR) {
            return DumpChunk::Refused;
        }
        if (header.nlmsg_type == recordType) {
            if (!read(payload, payloadSize, records.emplace_back())) {
                return DumpChunk::Failed;
            }
        }
    }
    return DumpChunk::More;
}

}  // namespace

DumpChunk ParseLinkDump(const void* data, std::size_t size, std::uint32_t sequence,
                        std::vector<LinkRecord>& links, bool& interrupted) {
    return ParseReplies(data, size, sequence, RTM_NEWLINK, links, interrupted, ReadLink);
}

DumpChunk ParseCountersDump(const void* data, std::size_t size, std::uint32_t sequence,
                            std::vector<IndexedCounters>& counters, bool& interrupted) {
    return ParseReplies(data, size, sequence, RTM_NEWSTATS, counters, interrupted, ReadCounters);
}

LinkSocket::~LinkSocket() {
    Close();
}

bool LinkSocket::TakeChanges() {
    if (!Ready()) {
        return true;
    }
    for (;;) {
        sockaddr_nl sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t received =
            ::recvfrom(m_fd, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                       reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (received >= 0) {
            // Anything else waiting is the tail of an abandoned dump.
            m_changed = m_changed || sender.nl_groups != 0;
            continue;
        }
        if (errno == ENOBUFS) {
            m_changed = true;  // announcements were dropped
            continue;
        }
        if (errno != EINTR) {
            break;
        }
    }
    const bool changed = m_changed;
    m_changed = false;
    return changed;
}

bool LinkSocket::DumpLinks(std::vector<LinkRecord>& links) {
    ifinfomsg request{};
    request.ifi_family = AF_UNSPEC;
    return Dump(RTM_GETLINK, &request, sizeof request, links, ParseLinkDump, nullptr);
}

bool LinkSocket::DumpCounters(std::vector<IndexedCounters>& counters, bool* refused) {
    if_stats_msg request{};
    request.family = AF_UNSPEC;
    request.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
    return Dump(RTM_GETSTATS, &request, sizeof request, counters, ParseCountersDump, refused);
}

bool LinkSocket::Ready() {
    if (m_fd >= 0 && m_owner != ::getpid()) {
        // A forked child: the socket is shared with the parent, whose replies it would read.
        Close();
    }
    return m_fd >= 0 || Open();
}

bool LinkSocket::Open() {
    m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (m_fd < 0) {
        return false;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = 1u << (RTNLGRP_LINK - 1);
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        Close();
        return false;
    }
    // The kernel always answers a dump; the limit only guards against a wedged socket.
    const timeval timeout{2, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    m_owner = ::getpid();
    m_changed = true;  // nothing was heard before
    if (m_buffer.empty()) {
        m_buffer.resize(kInitialBuffer);
    }
    return true;
}

void LinkSocket::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool LinkSocket::Request(std::uint16_t type, const void* body, std::size_t bodySize) {
    std::array<unsigned char, 64> request{};
    nlmsghdr header{};
    header.nlmsg_len = static_cast<std::uint32_t>(Align(sizeof header) + bodySize);
    header.nlmsg_type = type;
    header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    header.nlmsg_seq = ++m_sequence;
    std::memcpy(request.data(), &header, sizeof header);
    std::memcpy(request.data() + Align(sizeof header), body, bodySize);

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    for (;;) {
        const ssize_t sent = ::sendto(m_fd, request.data(), header.nlmsg_len, 0,
                                      reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
        if (sent == static_cast<ssize_t>(header.nlmsg_len)) {
            return true;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        return false;
    }
}

template <typename Records, typename Parse>
bool LinkSocket::Dump(std::uint16_t type, const void* body, std::size_t bodySize, Records& records,
                      Parse parse, bool* refused) {
    if (refused != nullptr) {
        *refused = false;
    }
    if (!Ready()) {
        return false;
    }
    for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
        records.clear();
        bool interrupted = false;
        DumpChunk chunk = Request(type, body, bodySize) ? DumpChunk::More : DumpChunk::Failed;
        while (chunk == DumpChunk::More) {
            chunk = ReceiveChunk(records, parse, interrupted);
        }
        if (chunk == DumpChunk::Refused) {
            if (refused != nullptr) {
                *refused = true;
            }
            return false;
        }
        if (chunk == DumpChunk::Failed) {
            // The kernel may still be in the middle of the dump; a new socket starts clean.
            Close();
            return false;
        }
        if (!interrupted) {
            return true;
        }
    }
    return false;
}

template <typename Records, typename Parse>
DumpChunk LinkSocket::ReceiveChunk(Records& records, Parse parse, bool& interrupted) {
    for (;;) {
        sockaddr_nl sender{};
        socklen_t senderSize = sizeof sender;
        // MSG_TRUNC makes the call report the datagram's full length.
        const ssize_t received = ::recvfrom(m_fd, m_buffer.data(), m_buffer.size(), MSG_TRUNC,
                                            reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == ENOBUFS) {
                m_changed = true;  // announcements were dropped; the dump goes on
                continue;
            }
            return DumpChunk::Failed;
        }
        if (sender.nl_groups != 0) {
            m_changed = true;  // an announcement among the replies
            continue;
        }
        if (static_cast<std::size_t>(received) > m_buffer.size()) {
            // The rest of the datagram is lost: read the dump to its end and ask again.
            m_buffer.resize(static_cast<std::size_t>(received));
            interrupted = true;
            continue;
        }
        if (sender.nl_pid != 0) {
            continue;  // not from the kernel
        }
        return parse(m_buffer.data(), static_cast<std::size_t>(received), m_sequence, records,
                     interrupted);
    }
}

}  // namespace win::iphelper
