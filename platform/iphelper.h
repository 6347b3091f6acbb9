// The functions of the IP helper module "Iphlpapi.dll" and the values its rows carry. The
// built-in module table lists the module under kIpHelperModule from its first use, with the
// entry points "GetIfTable", "GetNumberOfInterfaces" and "GetIpAddrTable".
#pragma once

#include "platform/iphlpapi.h"
#include "platform/module.h"
#include "platform/wintypes.h"

namespace win {

// MIB_IFROW.dwType
inline constexpr DWORD MIB_IF_TYPE_OTHER = 1;
inline constexpr DWORD MIB_IF_TYPE_ETHERNET = 6;
inline constexpr DWORD MIB_IF_TYPE_PPP = 23;
inline constexpr DWORD MIB_IF_TYPE_LOOPBACK = 24;
inline constexpr DWORD IF_TYPE_IEEE80211 = 71;
inline constexpr DWORD IF_TYPE_TUNNEL = 131;

// MIB_IFROW.dwAdminStatus
inline constexpr DWORD MIB_IF_ADMIN_STATUS_UP = 1;
inline constexpr DWORD MIB_IF_ADMIN_STATUS_DOWN = 2;

// MIB_IFROW.dwOperStatus
inline constexpr DWORD MIB_IF_OPER_STATUS_NON_OPERATIONAL = 0;
inline constexpr DWORD MIB_IF_OPER_STATUS_UNREACHABLE = 1;
inline constexpr DWORD MIB_IF_OPER_STATUS_DISCONNECTED = 2;
inline constexpr DWORD MIB_IF_OPER_STATUS_CONNECTING = 3;
inline constexpr DWORD MIB_IF_OPER_STATUS_CONNECTED = 4;
inline constexpr DWORD MIB_IF_OPER_STATUS_OPERATIONAL = 5;

// MIB_IPADDRROW.wType bits
inline constexpr WORD MIB_IPADDR_PRIMARY = 0x0001;
inline constexpr WORD MIB_IPADDR_DISCONNECTED = 0x0008;

// The interface table: the entry count, then one 860-byte row per interface of the calling
// thread's network namespace. The rows keep their positions for the life of the process:
// the first call lists the interfaces in ascending index; an interface that appears later
// gets a row after all the others, and one that disappears keeps its row with its last
// counters and the status NON_OPERATIONAL (a new interface that reuses its index takes the
// row back). So the rows are in ascending index as first seen, whatever order is asked for.
// The counters are the low 32 bits of the kernel's 64-bit link counters; dwSpeed is the
// driver's nominal speed in bits per second (saturated at 4294967295; 0 when it reports none).
// A null table, or a size below 4 + rows * 860, gives ERROR_INSUFFICIENT_BUFFER with *size set
// to that and nothing written; a null size ERROR_INVALID_PARAMETER; a system whose interfaces
// cannot be read ERROR_NOT_SUPPORTED. On success *size is left as it was.
DWORD GetIfTable(PMIB_IFTABLE table, PULONG size, BOOL order);

// The number of rows GetIfTable gives. A null pointer gives ERROR_INVALID_PARAMETER.
DWORD GetNumberOfInterfaces(PDWORD count);

// The IPv4 addresses of the calling thread's network namespace: with order FALSE in the
// kernel's order (127.0.0.1 first on a usual machine), with TRUE sorted by ascending address.
// Addresses, masks and broadcast addresses are in network byte order; dwIndex is the
// interface's index. The same size rules as GetIfTable, with 4 + entries * 24 bytes.
DWORD GetIpAddrTable(PMIB_IPADDRTABLE table, PULONG size, BOOL order);

namespace detail {
// The module's entry points by name, as the module table registers them.
ModuleEntries IpHelperEntries();
}  // namespace detail

}  // namespace win
