#include "platform/addrtable.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/iphelper.h"

namespace win::iphelper {

namespace {

constexpr DWORD kReassemblySize = 65535;

DWORD Ipv4(const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET) {
        return 0;
    }
    sockaddr_in ipv4;
    std::memcpy(&ipv4, address, sizeof ipv4);
    return ipv4.sin_addr.s_addr;
}

// The interface of an address label such as "eth0:1" is the part before the colon.
DWORD InterfaceIndex(const char* label) {
    std::string name(label);
    name.resize(std::min(name.find(':'), name.size()));
    return ::if_nametoindex(name.c_str());
}

bool ReadAddresses(std::vector<MIB_IPADDRROW>& rows) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return false;
    }
    std::vector<DWORD> indexesWithAddress;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        MIB_IPADDRROW row{};
        row.dwAddr = Ipv4(entry->ifa_addr);
        row.dwIndex = InterfaceIndex(entry->ifa_name);
        row.dwMask = Ipv4(entry->ifa_netmask);
        // Without a broadcast address of its own, the list gives the address itself there.
        const DWORD given =
            (entry->ifa_flags & IFF_BROADCAST) != 0 ? Ipv4(entry->ifa_broadaddr) : 0;
        row.dwBCastAddr = given != 0 && given != row.dwAddr ? given : (row.dwAddr | ~row.dwMask);
        row.dwReasmSize = kReassemblySize;
        if (std::find(indexesWithAddress.begin(), indexesWithAddress.end(), row.dwIndex) ==
            indexesWithAddress.end()) {
            indexesWithAddress.push_back(row.dwIndex);
            row.wType |= MIB_IPADDR_PRIMARY;
        }
        if ((entry->ifa_flags & IFF_RUNNING) == 0) {
            row.wType |= MIB_IPADDR_DISCONNECTED;
        }
        rows.push_back(row);
    }
    ::freeifaddrs(list);
    return true;
}

}  // namespace

DWORD GetAddressTable(MIB_IPADDRTABLE* table, ULONG* size, BOOL order) {
    if (size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<MIB_IPADDRROW> rows;
    if (!ReadAddresses(rows)) {
        return ERROR_NOT_SUPPORTED;
    }
    const std::size_t needed =
        offsetof(MIB_IPADDRTABLE, table) + rows.size() * sizeof(MIB_IPADDRROW);
    if (table == nullptr || *size < needed) {
        *size = static_cast<ULONG>(needed);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (order != FALSE) {
        std::stable_sort(rows.begin(), rows.end(),
                         [](const MIB_IPADDRROW& a, const MIB_IPADDRROW& b) {
                             return ntohl(a.dwAddr) < ntohl(b.dwAddr);
                         });
    }
    table->dwNumEntries = static_cast<DWORD>(rows.size());
    // The rows run past the one the record declares: address them as bytes.
    std::memcpy(reinterpret_cast<unsigned char*>(table) + offsetof(MIB_IPADDRTABLE, table),
                rows.data(), rows.size() * sizeof(MIB_IPADDRROW));
    return ERROR_SUCCESS;
}

}  // namespace win::iphelper
