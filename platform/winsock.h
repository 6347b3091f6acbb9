// Windows Sockets, as far as the program uses them: starting the library, one raw IPv4 socket in
// receive-all mode that is read with blocking calls, and the dotted-address conversions.
//
// On Linux the raw socket is a packet socket that takes the IPv4 packets of the interface
// carrying the address it is bound to, once receive-all mode is switched on. Creating it needs
// CAP_NET_RAW; without it WSASocket fails with WSAEACCES, as the platform refuses raw sockets to
// a user without administrator rights. Socket handles are never reused, so a handle that was
// closed stays invalid (WSAENOTSOCK) for good.
//
// Every function reports its error through WSAGetLastError (the calling thread's last error).
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// The system's socket headers define some of these names as macros; the declarations below are
// ours whatever was included before.
#pragma push_macro("AF_INET")
#pragma push_macro("INADDR_ANY")
#pragma push_macro("INADDR_NONE")
#undef AF_INET
#undef INADDR_ANY
#undef INADDR_NONE

namespace win {

using SOCKET = UINT_PTR;
using GROUP = unsigned int;
using u_short = std::uint16_t;
using u_long = std::uint32_t;

inline constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
inline constexpr int SOCKET_ERROR = -1;

inline constexpr int AF_INET = 2;
inline constexpr int SOCK_RAW = 3;
inline constexpr int IPPROTO_IP = 0;
inline constexpr DWORD WSA_FLAG_OVERLAPPED = 0x01;

inline constexpr u_long INADDR_ANY = 0x00000000;
inline constexpr u_long INADDR_NONE = 0xffffffff;

// Receive-all mode: the control code and its 4-byte input values.
inline constexpr DWORD SIO_RCVALL = 0x98000001;
inline constexpr DWORD RCVALL_OFF = 0;
inline constexpr DWORD RCVALL_ON = 1;

// Error codes.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;

// Address records, in network byte order.
struct in_addr {
    u_long s_addr;
};
struct sockaddr {
    u_short sa_family;
    char sa_data[14];
};
struct sockaddr_in {
    std::int16_t sin_family;
    u_short sin_port;
    in_addr sin_addr;
    char sin_zero[8];
};
static_assert(sizeof(sockaddr) == 16 && sizeof(sockaddr_in) == 16);

inline constexpr int WSADESCRIPTION_LEN = 256;
inline constexpr int WSASYS_STATUS_LEN = 128;

// What WSAStartup reports, in the 32-bit layout.
struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};
using LPWSADATA = WSADATA*;

// Only null is accepted where these are asked for.
struct WSAPROTOCOL_INFO;
struct WSAOVERLAPPED;
using LPWSAPROTOCOL_INFO = WSAPROTOCOL_INFO*;
using LPWSAOVERLAPPED = WSAOVERLAPPED*;
using LPWSAOVERLAPPED_COMPLETION_ROUTINE = void (*)(DWORD, DWORD, LPWSAOVERLAPPED, DWORD);

// The version word: low byte major, high byte minor.
constexpr WORD MAKEWORD(BYTE low, BYTE high) {
    return static_cast<WORD>(low | (high << 8));
}

// Starts the library for this process. Versions from 1.0 up are accepted; wVersion is the
// version asked for, capped at 2.2, and wHighVersion 2.2. A version below 1.0 gives
// WSAVERNOTSUPPORTED, a null data pointer WSAEFAULT. Returns 0 or the error code (this function
// does not set the last error). Each successful call counts; the library stays started while
// the count is above 0. Until it has been started, every socket function below fails with
// WSANOTINITIALISED.
int WSAStartup(WORD versionRequested, LPWSADATA data);

// Takes back one successful WSAStartup. Sockets that are open stay open. Returns 0, or
// SOCKET_ERROR with WSANOTINITIALISED when the library is not started.
int WSACleanup();

int WSAGetLastError();
void WSASetLastError(int error);

// Creates a socket. Only the raw IPv4 socket is offered: AF_INET, SOCK_RAW, protocol IPPROTO_IP,
// no protocol information, group 0, with or without WSA_FLAG_OVERLAPPED (reads block either
// way). Other families, types or protocols give WSAEAFNOSUPPORT, WSAESOCKTNOSUPPORT and
// WSAEPROTONOSUPPORT; a protocol-information record WSAEINVAL. Without the right to raw sockets
// the result is INVALID_SOCKET with WSAEACCES. A new socket receives nothing until it is bound
// and receive-all mode is switched on.
SOCKET WSASocket(int af, int type, int protocol, LPWSAPROTOCOL_INFO info, GROUP group, DWORD flags);

// Binds the socket to one local IPv4 address (the port is ignored): the interface that carries
// that address is the one whose packets receive-all mode will take. INADDR_ANY binds to no
// interface. An address that no interface carries gives WSAEADDRNOTAVAIL (255.255.255.255,
// what inet_addr makes of text that is no address, is one), a family other than AF_INET
// WSAEAFNOSUPPORT, a length below 16 or a null name WSAEFAULT, a socket already bound WSAEINVAL.
int bind(SOCKET s, const sockaddr* name, int namelen);

// Control codes. SIO_RCVALL with a 4-byte RCVALL_ON starts taking every IPv4 packet that the
// bound interface receives or sends (on a loopback interface each packet once, not also as the
// copy it sends), RCVALL_OFF stops it; *bytesReturned becomes 0. Overlapped calls are not
// offered (WSAEOPNOTSUPP). An unbound socket or one bound to INADDR_ANY gives WSAEINVAL, an
// input shorter than 4 bytes WSAEFAULT, another value than on or off WSAEINVAL, another control
// code WSAEOPNOTSUPP. Packets that arrive faster than they are read wait in a buffer of several
// MB; what does not fit is dropped.
int WSAIoctl(SOCKET s, DWORD controlCode, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer,
             DWORD outSize, LPDWORD bytesReturned, LPWSAOVERLAPPED overlapped,
             LPWSAOVERLAPPED_COMPLETION_ROUTINE completion);

// Waits for the next packet and copies it, IPv4 header first, into buf. Returns its length; with
// from, the packet's source address (port 0) and *fromlen 16. A packet longer than len is cut
// to len bytes and consumed: the result is SOCKET_ERROR with WSAEMSGSIZE. Only flags 0 is
// offered (WSAEOPNOTSUPP). A *fromlen below 16 gives WSAEFAULT, a handle that is no open socket
// WSAENOTSOCK, an unbound socket WSAEINVAL, an interface that goes away WSAENETDOWN. A call that
// is blocked when CancelBlockingCalls or closesocket is called on the socket fails with
// WSAEINTR. Several threads may read one socket at once; each packet goes to one of them.
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);

// Closes the socket. Calls blocked on it in other threads fail with WSAEINTR. A handle that is
// no open socket (one closed before included) gives WSAENOTSOCK.
int closesocket(SOCKET s);

// Not a Windows Sockets function. The library's own cancelling of a blocking call works only
// from the blocked thread; this wakes readers in other threads: every recvfrom blocked on the
// socket, and every later one, fails with WSAEINTR. After it, closing the socket is all that is
// left to do with it. Returns 0, or SOCKET_ERROR with WSAENOTSOCK.
int CancelBlockingCalls(SOCKET s);

// Dotted text to an address in network byte order: one to four parts, each decimal, octal
// (leading 0) or hexadecimal (leading 0x), the last part filling the remaining bytes, as the
// platform reads them. Text that is no such address, empty text and null give INADDR_NONE.
// A blank ends the address; whatever follows it is ignored.
u_long inet_addr(const char* cp);

// An address as dotted decimal text, in a buffer of the calling thread that the next call
// overwrites.
char* inet_ntoa(in_addr in);

// Not Windows Sockets functions: counters for tests and measurements.
struct SocketCounters {
    std::uint64_t created = 0;    // sockets WSASocket made
    std::uint64_t closed = 0;     // successful closesocket calls
    std::uint64_t badCloses = 0;  // closesocket calls on a handle that was no open socket
};
SocketCounters GetSocketCounters();

struct ReceiveCounters {
    std::uint64_t delivered = 0;  // packets handed to recvfrom callers, cut ones included
    std::uint64_t dropped = 0;    // packets the system dropped because the buffer was full
};
// False, with WSAENOTSOCK, for a handle that is no open socket.
bool GetReceiveCounters(SOCKET s, ReceiveCounters& counters);

}  // namespace win

#pragma pop_macro("INADDR_NONE")
#pragma pop_macro("INADDR_ANY")
#pragma pop_macro("AF_INET")
