// The interface and address tables of the IP helper module "Iphlpapi.dll", with the platform's
// record layouts: a program binds GetIfTable and GetNumberOfInterfaces at run time through
// LoadLibrary/GetProcAddress and reads the rows by position.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

namespace win {

inline constexpr std::size_t MAX_INTERFACE_NAME_LEN = 256;
inline constexpr std::size_t MAXLEN_PHYSADDR = 8;
inline constexpr std::size_t MAXLEN_IFDESCR = 256;

// One interface: 860 bytes.
struct MIB_IFROW {
    char16_t wszName[MAX_INTERFACE_NAME_LEN];
    DWORD dwIndex;
    DWORD dwType;
    DWORD dwMtu;
    DWORD dwSpeed;  // nominal speed in bits per second
    DWORD dwPhysAddrLen;
    BYTE bPhysAddr[MAXLEN_PHYSADDR];
    DWORD dwAdminStatus;
    DWORD dwOperStatus;
    DWORD dwLastChange;
    DWORD dwInOctets;  // received bytes, modulo 2^32
    DWORD dwInUcastPkts;
    DWORD dwInNUcastPkts;
    DWORD dwInDiscards;
    DWORD dwInErrors;
    DWORD dwInUnknownProtos;
    DWORD dwOutOctets;  // sent bytes, modulo 2^32
    DWORD dwOutUcastPkts;
    DWORD dwOutNUcastPkts;
    DWORD dwOutDiscards;
    DWORD dwOutErrors;
    DWORD dwOutQLen;
    DWORD dwDescrLen;
    BYTE bDescr[MAXLEN_IFDESCR];  // zero-terminated description
};
static_assert(sizeof(MIB_IFROW) == 860);

// The table: the entry count followed by the rows.
struct MIB_IFTABLE {
    DWORD dwNumEntries;
    MIB_IFROW table[1];
};
static_assert(sizeof(MIB_IFTABLE) == 864);
static_assert(offsetof(MIB_IFTABLE, table) == 4);

// One IPv4 address of an interface, in network byte order.
struct MIB_IPADDRROW {
    DWORD dwAddr;
    DWORD dwIndex;
    DWORD dwMask;
    DWORD dwBCastAddr;
    DWORD dwReasmSize;
    WORD unused1;
    WORD wType;
};
static_assert(sizeof(MIB_IPADDRROW) == 24);

struct MIB_IPADDRTABLE {
    DWORD dwNumEntries;
    MIB_IPADDRROW table[1];
};

using PMIB_IFTABLE = MIB_IFTABLE*;
using PMIB_IPADDRTABLE = MIB_IPADDRTABLE*;
using PULONG = ULONG*;
using PDWORD = DWORD*;

// The entry points, as a program binds them.
using GetIfTableFn = DWORD (*)(PMIB_IFTABLE table, PULONG size, BOOL order);
using GetNumberOfInterfacesFn = DWORD (*)(PDWORD count);
using GetIpAddrTableFn = DWORD (*)(PMIB_IPADDRTABLE table, PULONG size, BOOL order);

// The module's name as programs load it.
inline constexpr const char* kIpHelperModule = "Iphlpapi.dll";

}  // namespace win
