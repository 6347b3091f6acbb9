// A Linux packet socket that takes the IPv4 packets of one interface, network header first, for
// the raw socket of the Windows Sockets layer. The packets are drained from a memory-mapped ring
// shared with the kernel (TPACKET_V3), where the kernel offers one, so that a read costs no
// system call while packets are waiting; otherwise each read is one recvfrom on a socket with a
// large receive buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace win::packet {

// How the packets are read.
enum class Draining {
    Ring,     // the memory-mapped ring; falls back to Copying when the kernel refuses it
    Copying,  // one recvfrom per packet
};

// The size of the buffer in which waiting packets are kept.
inline constexpr std::size_t kBufferBytes = std::size_t{4} << 20;

struct ReadResult {
    enum Status {
        Packet,     // a whole packet was copied
        Cut,        // the packet was longer than the buffer; its start was copied
        Cancelled,  // Cancel was called
        Failed,     // the socket reported an error (error holds errno)
    };
    Status status = Failed;
    std::size_t copied = 0;
    std::uint32_t source = 0;  // the IPv4 source address in network byte order, 0 if too short
    int error = 0;
};

class PacketSocket {
public:
    // Opens a socket that receives nothing yet. Null, with *error set to errno, when the system
    // refuses (EPERM without CAP_NET_RAW, EMFILE, ENOMEM, ...).
    static std::unique_ptr<PacketSocket> Open(Draining draining, int* error);

    ~PacketSocket();
    PacketSocket(const PacketSocket&) = delete;
    PacketSocket& operator=(const PacketSocket&) = delete;

    // Starts taking the IPv4 packets of the interface with that index; with skipOutgoing the
    // copies of the packets the interface sends are left out (meant for loopback, where every
    // packet is also seen arriving). Returns 0 or errno.
    int Capture(int interfaceIndex, bool skipOutgoing);
    // Stops taking packets; those already waiting can still be read. Returns 0 or errno.
    int StopCapture();

    // Blocks until a packet is waiting and copies it, or until Cancel. Safe to call from
    // several threads at once; each packet goes to one caller.
    ReadResult Read(void* buffer, std::size_t size);

    // Makes every Read blocked now, and every later one, return Cancelled. Any thread.
    void Cancel();

    // How this socket ended up being drained.
    Draining draining() const { return m_ring != nullptr ? Draining::Ring : Draining::Copying; }

    // Packets handed to readers, and packets the kernel dropped for want of room, so far.
    std::uint64_t Delivered();
    std::uint64_t Dropped();

private:
    PacketSocket(int fd, int wakeFd);
    bool SetUpRing();
    // The next packet that is waiting, or none.
    ReadResult TakeFromRing(void* buffer, std::size_t size, bool& none);
    ReadResult TakeCopying(void* buffer, std::size_t size, bool& none);
    bool WaitForPackets(ReadResult& failure);

    const int m_fd;
    const int m_wakeFd;  // an eventfd that is written once, by Cancel

    // The ring: blocks of kBlockBytes that the kernel fills in turn and hands over whole.
    unsigned char* m_ring = nullptr;
    std::size_t m_ringBytes = 0;
    unsigned m_blockCount = 0;

    std::mutex m_mutex;  // guards everything below, and the reading of the ring
    bool m_cancelled = false;
    unsigned m_block = 0;              // the block the next packet comes from
    unsigned char* m_frame = nullptr;  // the next packet in that block, once it is handed over
    std::uint32_t m_framesLeft = 0;    // packets of that block not read yet
    std::uint64_t m_delivered = 0;
    std::uint64_t m_dropped = 0;
};

}  // namespace win::packet
