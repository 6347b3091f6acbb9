#include "platform/packetsocket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace win::packet {

namespace {

// Leaves out the copies of sent packets in the kernel already (Linux 4.20 and later).
#ifndef PACKET_IGNORE_OUTGOING
constexpr int PACKET_IGNORE_OUTGOING = 23;
#endif

// Eight blocks of 512 KiB. A block goes to the reader when it is full or when it has waited
// kRetireMs with at least one packet in it, so a quiet interface still hands over its packets
// promptly while a busy one wakes the reader only once per block.
constexpr std::size_t kBlockBytes = std::size_t{512} << 10;
constexpr unsigned kBlockCount = static_cast<unsigned>(kBufferBytes / kBlockBytes);
constexpr unsigned kFrameBytes = 2048;  // the nominal slot size the kernel checks the layout by
constexpr unsigned kRetireMs = 10;

// The IPv4 source address sits at bytes 12 to 15 of the header.
constexpr std::size_t kSourceOffset = 12;

std::uint32_t SourceOf(const unsigned char* packet, std::size_t length) {
    std::uint32_t source = 0;
    if (length >= kSourceOffset + sizeof source) {
        std::memcpy(&source, packet + kSourceOffset, sizeof source);
    }
    return source;
}

tpacket_block_desc* BlockAt(unsigned char* ring, unsigned block) {
    return reinterpret_cast<tpacket_block_desc*>(ring + std::size_t{block} * kBlockBytes);
}

// Socket filters, run by the kernel on every frame before it is kept. A filter returns how many
// bytes of the frame to keep: 0 drops it.
int AttachFilter(int fd, sock_filter* code, unsigned short length) {
    sock_fprog program{length, code};
    return ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0 ? 0
                                                                                         : errno;
}

// Keeps IPv4 packets only and, with skipOutgoing, not the ones the interface sends.
int AttachIpv4Filter(int fd, bool skipOutgoing) {
    constexpr std::uint32_t kKeep = 0xffffffff;
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_H | BPF_ABS,
                 static_cast<std::uint32_t>(SKF_AD_OFF + SKF_AD_PROTOCOL)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ETH_P_IP, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, 0),
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, static_cast<std::uint32_t>(SKF_AD_OFF + SKF_AD_PKTTYPE)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PACKET_OUTGOING, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0),
        BPF_STMT(BPF_RET | BPF_K, kKeep),
    };
    if (!skipOutgoing) {
        // Straight from the protocol test to keeping.
        code[3] = BPF_STMT(BPF_RET | BPF_K, kKeep);
    }
    return AttachFilter(fd, code, skipOutgoing ? 7 : 4);
}

int AttachDropAll(int fd) {
    sock_filter code[] = {BPF_STMT(BPF_RET | BPF_K, 0)};
    return AttachFilter(fd, code, 1);
}

}  // namespace

std::unique_ptr<PacketSocket> PacketSocket::Open(Draining draining, int* error) {
    // Protocol 0: nothing arrives until Capture binds the socket to IPv4 on an interface.
    const int fd = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        *error = errno;
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<PacketSocket> socket(new PacketSocket(fd, wakeFd));
    if (draining == Draining::Ring && socket->SetUpRing()) {
        *error = 0;
        return socket;
    }
    // Copying reads: the receive buffer itself must hold the burst. Raising it past the system's
    // limit needs CAP_NET_ADMIN; without it the limit is what we get.
    const int bytes = static_cast<int>(kBufferBytes);
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
    *error = 0;
    return socket;
}

PacketSocket::PacketSocket(int fd, int wakeFd) : m_fd(fd), m_wakeFd(wakeFd) {}

PacketSocket::~PacketSocket() {
    if (m_ring != nullptr) {
        ::munmap(m_ring, m_ringBytes);
    }
    ::close(m_fd);
    ::close(m_wakeFd);
}

bool PacketSocket::SetUpRing() {
    const int version = TPACKET_V3;
    if (::setsockopt(m_fd, SOL_PACKET, PACKET_VERSION, &version, sizeof version) != 0) {
        return false;
    }
    tpacket_req3 request{};
    request.tp_block_size = static_cast<unsigned>(kBlockBytes);
    request.tp_block_nr = kBlockCount;
    request.tp_frame_size = kFrameBytes;
    request.tp_frame_nr = static_cast<unsigned>(kBufferBytes / kFrameBytes);
    request.tp_retire_blk_tov = kRetireMs;
    if (::setsockopt(m_fd, SOL_PACKET, PACKET_RX_RING, &request, sizeof request) != 0) {
        return false;
    }
    void* ring = ::mmap(nullptr, kBufferBytes, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    if (ring == MAP_FAILED) {
        tpacket_req3 none{};
        ::setsockopt(m_fd, SOL_PACKET, PACKET_RX_RING, &none, sizeof none);
        return false;
    }
    m_ring = static_cast<unsigned char*>(ring);
    m_ringBytes = kBufferBytes;
    m_blockCount = kBlockCount;
    return true;
}

int PacketSocket::Capture(int interfaceIndex, bool skipOutgoing) {
    std::lock_guard lock(m_mutex);
    // All frames, in both directions (a socket bound to one protocol sees only arriving ones),
    // sifted by the filter. Where the kernel can leave out sent copies itself, it saves running
    // the filter on them.
    if (const int error = AttachIpv4Filter(m_fd, skipOutgoing); error != 0) {
        return error;
    }
    const int ignore = skipOutgoing ? 1 : 0;
    ::setsockopt(m_fd, SOL_PACKET, PACKET_IGNORE_OUTGOING, &ignore, sizeof ignore);
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ALL);
    address.sll_ifindex = interfaceIndex;
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return errno;
    }
    return 0;
}

int PacketSocket::StopCapture() {
    std::lock_guard lock(m_mutex);
    return AttachDropAll(m_fd);
}

void PacketSocket::Cancel() {
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    // Never read back: the descriptor stays readable, so no reader can miss it.
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

ReadResult PacketSocket::Read(void* buffer, std::size_t size) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_cancelled) {
            return {ReadResult::Cancelled};
        }
        bool none = false;
        ReadResult taken =
            m_ring != nullptr ? TakeFromRing(buffer, size, none) : TakeCopying(buffer, size, none);
        if (!none) {
            return taken;
        }
        // Nothing is waiting: wait without holding the lock, so other readers and Cancel can
        // come in. A packet may be taken by another reader meanwhile; then this one waits again.
        lock.unlock();
        ReadResult failure;
        const bool ok = WaitForPackets(failure);
        lock.lock();
        if (!ok) {
            return failure;
        }
    }
}

ReadResult PacketSocket::TakeFromRing(void* buffer, std::size_t size, bool& none) {
    for (;;) {
        tpacket_block_desc* block = BlockAt(m_ring, m_block);
        if (m_frame == nullptr) {
            const std::uint32_t status =
                __atomic_load_n(&block->hdr.bh1.block_status, __ATOMIC_ACQUIRE);
            if ((status & TP_STATUS_USER) == 0) {
                none = true;
                return {};
            }
            m_framesLeft = block->hdr.bh1.num_pkts;
            m_frame = reinterpret_cast<unsigned char*>(block) + block->hdr.bh1.offset_to_first_pkt;
        }

        ReadResult result;
        const bool any = m_framesLeft > 0;
        if (any) {
            const auto* header = reinterpret_cast<const tpacket3_hdr*>(m_frame);
            const unsigned char* packet = m_frame + header->tp_mac;
            result.copied = std::min<std::size_t>(header->tp_snaplen, size);
            std::memcpy(buffer, packet, result.copied);
            result.source = SourceOf(packet, header->tp_snaplen);
            result.status = header->tp_len > size ? ReadResult::Cut : ReadResult::Packet;
            m_frame += header->tp_next_offset;
            --m_framesLeft;
        }
        if (m_framesLeft == 0) {
            // The block is read: hand it back to the kernel.
            __atomic_store_n(&block->hdr.bh1.block_status, TP_STATUS_KERNEL, __ATOMIC_RELEASE);
            m_block = (m_block + 1) % m_blockCount;
            m_frame = nullptr;
        }
        if (any) {
            ++m_delivered;
            return result;
        }
    }
}

ReadResult PacketSocket::TakeCopying(void* buffer, std::size_t size, bool& none) {
    for (;;) {
        const ssize_t length = ::recv(m_fd, buffer, size, MSG_TRUNC | MSG_DONTWAIT);
        if (length < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                none = true;
                return {};
            }
            ReadResult failure;
            failure.error = errno;
            return failure;
        }
        ReadResult result;
        result.copied = std::min(static_cast<std::size_t>(length), size);
        result.source = SourceOf(static_cast<const unsigned char*>(buffer), result.copied);
        result.status =
            static_cast<std::size_t>(length) > size ? ReadResult::Cut : ReadResult::Packet;
        ++m_delivered;
        return result;
    }
}

bool PacketSocket::WaitForPackets(ReadResult& failure) {
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
        // A signal: look again.
        return errno == EINTR;
    }
    if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        int error = 0;
        socklen_t errorSize = sizeof error;
        ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &errorSize);
        if (error != 0 || (fds[0].revents & POLLNVAL) != 0) {
            failure.status = ReadResult::Failed;
            failure.error = error != 0 ? error : EBADF;
            return false;
        }
    }
    return true;
}

std::uint64_t PacketSocket::Delivered() {
    std::lock_guard lock(m_mutex);
    return m_delivered;
}

std::uint64_t PacketSocket::Dropped() {
    std::lock_guard lock(m_mutex);
    // The kernel's counters start again from 0 each time they are read.
    if (m_ring != nullptr) {
        tpacket_stats_v3 stats{};
        socklen_t statsSize = sizeof stats;
        if (::getsockopt(m_fd, SOL_PACKET, PACKET_STATISTICS, &stats, &statsSize) == 0) {
            m_dropped += stats.tp_drops;
        }
    } else {
        tpacket_stats stats{};
        socklen_t statsSize = sizeof stats;
        if (::getsockopt(m_fd, SOL_PACKET, PACKET_STATISTICS, &stats, &statsSize) == 0) {
            m_dropped += stats.tp_drops;
        }
    }
    return m_dropped;
}

}  // namespace win::packet
