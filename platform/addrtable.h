// The IPv4 address table, read from the system's list of interface addresses.
#pragma once

#include "platform/iphlpapi.h"
#include "platform/wintypes.h"

namespace win::iphelper {

// GetIpAddrTable. The rows come in the kernel's order, or sorted by ascending address with
// order TRUE. dwBCastAddr is the interface's broadcast address, or for an interface without
// one the address with all host bits set; dwReasmSize is 65535; wType has MIB_IPADDR_PRIMARY
// on the first address of each interface and MIB_IPADDR_DISCONNECTED while the interface is
// not running.
DWORD GetAddressTable(MIB_IPADDRTABLE* table, ULONG* size, BOOL order);

}  // namespace win::iphelper
