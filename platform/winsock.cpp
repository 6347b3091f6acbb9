#include "platform/winsock.h"

// The platform's values of the address names that the system headers also define.
namespace {
constexpr int kWinAfInet = win::AF_INET;
constexpr win::u_long kWinAddrAny = win::INADDR_ANY;
constexpr win::u_long kWinAddrNone = win::INADDR_NONE;
}  // namespace

#include <errno.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/packetsocket.h"

namespace win {

namespace {

// One raw socket: the packet socket and what bind and receive-all mode made of it.
struct RawSocket {
    std::unique_ptr<packet::PacketSocket> packets;
    std::mutex mutex;  // guards the fields below; bound is also read without it
    std::atomic<bool> bound{false};
    int interfaceIndex = 0;  // 0 when bound to INADDR_ANY
    bool loopback = false;
};

// The open sockets by handle. Handles count up and are never given out twice. The table lives
// until the process ends, so that readers still running during static destruction find it.
class SocketTable {
public:
    static SocketTable& Get() {
        static SocketTable* const table = new SocketTable;
        return *table;
    }

    SOCKET Add(std::shared_ptr<RawSocket> socket) {
        std::lock_guard lock(m_mutex);
        const SOCKET handle = m_next;
        m_next += 4;
        m_sockets.emplace(handle, std::move(socket));
        ++m_counters.created;
        return handle;
    }

    std::shared_ptr<RawSocket> Find(SOCKET handle) {
        std::lock_guard lock(m_mutex);
        const auto found = m_sockets.find(handle);
        return found != m_sockets.end() ? found->second : nullptr;
    }

    std::shared_ptr<RawSocket> Remove(SOCKET handle) {
        std::lock_guard lock(m_mutex);
        const auto found = m_sockets.find(handle);
        if (found == m_sockets.end()) {
            ++m_counters.badCloses;
            return nullptr;
        }
        std::shared_ptr<RawSocket> socket = std::move(found->second);
        m_sockets.erase(found);
        ++m_counters.closed;
        return socket;
    }

    SocketCounters Counters() {
        std::lock_guard lock(m_mutex);
        return m_counters;
    }

private:
    SocketTable() = default;

    std::mutex m_mutex;
    std::unordered_map<SOCKET, std::shared_ptr<RawSocket>> m_sockets;
    SOCKET m_next = 0x100;
    SocketCounters m_counters;
};

std::atomic<int> g_startups{0};

int Fail(int error) {
    WSASetLastError(error);
    return SOCKET_ERROR;
}

bool Started() {
    if (g_startups.load(std::memory_order_acquire) > 0) {
        return true;
    }
    WSASetLastError(WSANOTINITIALISED);
    return false;
}

// The socket behind a handle, or null with WSANOTINITIALISED or WSAENOTSOCK.
std::shared_ptr<RawSocket> Lookup(SOCKET s) {
    if (!Started()) {
        return nullptr;
    }
    std::shared_ptr<RawSocket> socket = SocketTable::Get().Find(s);
    if (!socket) {
        WSASetLastError(WSAENOTSOCK);
    }
    return socket;
}

int FromErrno(int error) {
    switch (error) {
        case EPERM:
        case EACCES:
            return WSAEACCES;
        case EMFILE:
        case ENFILE:
            return WSAEMFILE;
        case ENOMEM:
        case ENOBUFS:
            return WSAENOBUFS;
        case EINTR:
            return WSAEINTR;
        case EAFNOSUPPORT:
            return WSAEAFNOSUPPORT;
        default:
            return WSAENETDOWN;
    }
}

// The interface that carries an IPv4 address (network byte order): its index and whether it is
// a loopback interface. False when no interface carries it.
bool FindInterface(u_long address, int& index, bool& loopback) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return false;
    }
    bool found = false;
    for (const ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        const auto* inet = reinterpret_cast<const ::sockaddr_in*>(entry->ifa_addr);
        if (inet->sin_addr.s_addr != address) {
            continue;
        }
        // An address with a label ("eth0:1") belongs to the interface before the colon.
        std::string name = entry->ifa_name;
        name = name.substr(0, name.find(':'));
        const unsigned interfaceIndex = ::if_nametoindex(name.c_str());
        if (interfaceIndex != 0) {
            index = static_cast<int>(interfaceIndex);
            loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
            found = true;
        }
    }
    ::freeifaddrs(list);
    return found;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// One part of a dotted address: decimal, octal after a leading 0, hexadecimal after 0x. False
// when the text there is no number or the number needs more than 32 bits.
bool ParsePart(const char*& cp, std::uint64_t& value) {
    unsigned base = 10;
    if (*cp == '0') {
        base = 8;
        ++cp;
        if (*cp == 'x' || *cp == 'X') {
            base = 16;
            ++cp;
        }
    } else if (*cp < '1' || *cp > '9') {
        return false;
    }
    value = 0;
    for (;; ++cp) {
        unsigned digit;
        if (*cp >= '0' && *cp <= '9') {
            digit = static_cast<unsigned>(*cp - '0');
        } else if (base == 16 && *cp >= 'a' && *cp <= 'f') {
            digit = static_cast<unsigned>(*cp - 'a' + 10);
        } else if (base == 16 && *cp >= 'A' && *cp <= 'F') {
            digit = static_cast<unsigned>(*cp - 'A' + 10);
        } else {
            break;
        }
        if (digit >= base) {
            return false;
        }
        value = value * base + digit;
        if (value > 0xffffffffu) {
            return false;
        }
    }
    return true;
}

}  // namespace

int WSAStartup(WORD versionRequested, LPWSADATA data) {
    const unsigned major = versionRequested & 0xff;
    const unsigned minor = versionRequested >> 8;
    if (data == nullptr) {
        return WSAEFAULT;
    }
    if (major < 1) {
        return WSAVERNOTSUPPORTED;
    }
    const WORD highest = MAKEWORD(2, 2);
    const bool aboveHighest = major > 2 || (major == 2 && minor > 2);
    std::memset(data, 0, sizeof *data);
    data->wVersion = aboveHighest ? highest : versionRequested;
    data->wHighVersion = highest;
    std::snprintf(data->szDescription, sizeof data->szDescription, "WinSock 2.0");
    std::snprintf(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
    g_startups.fetch_add(1, std::memory_order_acq_rel);
    return 0;
}

int WSACleanup() {
    int count = g_startups.load(std::memory_order_acquire);
    while (count > 0 &&
           !g_startups.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel)) {
    }
    return count > 0 ? 0 : Fail(WSANOTINITIALISED);
}

int WSAGetLastError() {
    return static_cast<int>(GetLastError());
}
void WSASetLastError(int error) {
    SetLastError(static_cast<DWORD>(error));
}

SOCKET WSASocket(int af, int type, int protocol, LPWSAPROTOCOL_INFO info, GROUP group,
                 DWORD flags) {
    static_cast<void>(group);
    static_cast<void>(flags);
    if (!Started()) {
        return INVALID_SOCKET;
    }
    if (af != kWinAfInet) {
        Fail(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (type != SOCK_RAW) {
        Fail(WSAESOCKTNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (protocol != IPPROTO_IP) {
        Fail(WSAEPROTONOSUPPORT);
        return INVALID_SOCKET;
    }
    if (info != nullptr) {
        Fail(WSAEINVAL);
        return INVALID_SOCKET;
    }
    auto socket = std::make_shared<RawSocket>();
    int error = 0;
    socket->packets = packet::PacketSocket::Open(packet::Draining::Ring, &error);
    if (!socket->packets) {
        Fail(FromErrno(error));
        return INVALID_SOCKET;
    }
    return SocketTable::Get().Add(std::move(socket));
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
    const std::shared_ptr<RawSocket> socket = Lookup(s);
    if (!socket) {
        return SOCKET_ERROR;
    }
    if (name == nullptr || namelen < static_cast<int>(sizeof(sockaddr_in))) {
        return Fail(WSAEFAULT);
    }
    sockaddr_in address;
    std::memcpy(&address, name, sizeof address);
    if (address.sin_family != kWinAfInet) {
        return Fail(WSAEAFNOSUPPORT);
    }
    int index = 0;
    bool loopback = false;
    if (address.sin_addr.s_addr != kWinAddrAny &&
        !FindInterface(address.sin_addr.s_addr, index, loopback)) {
        return Fail(WSAEADDRNOTAVAIL);
    }
    std::lock_guard lock(socket->mutex);
    if (socket->bound) {
        return Fail(WSAEINVAL);
    }
    socket->interfaceIndex = index;
    socket->loopback = loopback;
    socket->bound.store(true, std::memory_order_release);
    return 0;
}

int WSAIoctl(SOCKET s, DWORD controlCode, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer,
             DWORD outSize, LPDWORD bytesReturned, LPWSAOVERLAPPED overlapped,
             LPWSAOVERLAPPED_COMPLETION_ROUTINE completion) {
    static_cast<void>(outBuffer);
    static_cast<void>(outSize);
    const std::shared_ptr<RawSocket> socket = Lookup(s);
    if (!socket) {
        return SOCKET_ERROR;
    }
    if (overlapped != nullptr || completion != nullptr || controlCode != SIO_RCVALL) {
        return Fail(WSAEOPNOTSUPP);
    }
    if (inBuffer == nullptr || inSize < sizeof(DWORD)) {
        return Fail(WSAEFAULT);
    }
    DWORD value;
    std::memcpy(&value, inBuffer, sizeof value);
    std::lock_guard lock(socket->mutex);
    if (!socket->bound || socket->interfaceIndex == 0 ||
        (value != RCVALL_ON && value != RCVALL_OFF)) {
        return Fail(WSAEINVAL);
    }
    const int error = value == RCVALL_ON
                          ? socket->packets->Capture(socket->interfaceIndex, socket->loopback)
                          : socket->packets->StopCapture();
    if (error != 0) {
        return Fail(FromErrno(error));
    }
    if (bytesReturned != nullptr) {
        *bytesReturned = 0;
    }
    return 0;
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
    const std::shared_ptr<RawSocket> socket = Lookup(s);
    if (!socket) {
        return SOCKET_ERROR;
    }
    if (flags != 0) {
        return Fail(WSAEOPNOTSUPP);
    }
    if (len < 0 || (buf == nullptr && len > 0) ||
        (from != nullptr &&
         (fromlen == nullptr || *fromlen < static_cast<int>(sizeof(sockaddr_in))))) {
        return Fail(WSAEFAULT);
    }
    if (!socket->bound.load(std::memory_order_acquire)) {
        return Fail(WSAEINVAL);
    }
    const packet::ReadResult read = socket->packets->Read(buf, static_cast<std::size_t>(len));
    switch (read.status) {
        case packet::ReadResult::Cancelled:
            return Fail(WSAEINTR);
        case packet::ReadResult::Failed:
            return Fail(FromErrno(read.error));
        case packet::ReadResult::Packet:
        case packet::ReadResult::Cut:
            break;
    }
    if (from != nullptr) {
        sockaddr_in source{};
        source.sin_family = static_cast<std::int16_t>(kWinAfInet);
        source.sin_addr.s_addr = read.source;
        std::memcpy(from, &source, sizeof source);
        *fromlen = sizeof source;
    }
    if (read.status == packet::ReadResult::Cut) {
        return Fail(WSAEMSGSIZE);
    }
    return static_cast<int>(read.copied);
}

int closesocket(SOCKET s) {
    if (!Started()) {
        return SOCKET_ERROR;
    }
    const std::shared_ptr<RawSocket> socket = SocketTable::Get().Remove(s);
    if (!socket) {
        return Fail(WSAENOTSOCK);
    }
    // Readers blocked on it end with WSAEINTR; the last of them to let go closes the descriptors.
    socket->packets->Cancel();
    return 0;
}

int CancelBlockingCalls(SOCKET s) {
    const std::shared_ptr<RawSocket> socket = Lookup(s);
    if (!socket) {
        return SOCKET_ERROR;
    }
    socket->packets->Cancel();
    return 0;
}

u_long inet_addr(const char* cp) {
    if (cp == nullptr) {
        return kWinAddrNone;
    }
    std::array<std::uint64_t, 4> parts{};
    std::size_t count = 0;
    for (;;) {
        if (count == parts.size() || !ParsePart(cp, parts[count])) {
            return kWinAddrNone;
        }
        ++count;
        if (*cp != '.') {
            break;
        }
        ++cp;
    }
    if (*cp != '\0' && !IsBlank(*cp)) {
        return kWinAddrNone;
    }
    // The last part fills the bytes that the parts before it leave.
    std::uint64_t value = parts[count - 1];
    const std::uint64_t lastLimit = 0xffffffffu >> (8 * (count - 1));
    if (value > lastLimit) {
        return kWinAddrNone;
    }
    for (std::size_t i = 0; i + 1 < count; ++i) {
        if (parts[i] > 0xff) {
            return kWinAddrNone;
        }
        value |= parts[i] << (8 * (3 - i));
    }
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
        static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
    u_long address;
    std::memcpy(&address, bytes, sizeof address);
    return address;
}

char* inet_ntoa(in_addr in) {
    thread_local char text[16];
    unsigned char bytes[4];
    std::memcpy(bytes, &in.s_addr, sizeof bytes);
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

SocketCounters GetSocketCounters() {
    return SocketTable::Get().Counters();
}

bool GetReceiveCounters(SOCKET s, ReceiveCounters& counters) {
    std::shared_ptr<RawSocket> socket = SocketTable::Get().Find(s);
    if (!socket) {
        WSASetLastError(WSAENOTSOCK);
        return false;
    }
    counters.delivered = socket->packets->Delivered();
    counters.dropped = socket->packets->Dropped();
    return true;
}

}  // namespace win
