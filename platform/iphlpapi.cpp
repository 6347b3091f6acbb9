// The IP helper module: its functions, and its entry points for the built-in module table,
// which lists it under "Iphlpapi.dll" from the table's first use.
#include "platform/addrtable.h"
#include "platform/iftable.h"
#include "platform/iphelper.h"
#include "platform/module.h"

#include <type_traits>

namespace win {

static_assert(std::is_same_v<decltype(&GetIfTable), GetIfTableFn>);
static_assert(std::is_same_v<decltype(&GetNumberOfInterfaces), GetNumberOfInterfacesFn>);
static_assert(std::is_same_v<decltype(&GetIpAddrTable), GetIpAddrTableFn>);

DWORD GetIfTable(PMIB_IFTABLE table, PULONG size, BOOL /*order*/) {
    // The rows are always in the order they were first listed in; see the declaration.
    return iphelper::ProcessInterfaceTable().GetTable(table, size);
}

DWORD GetNumberOfInterfaces(PDWORD count) {
    return iphelper::ProcessInterfaceTable().GetCount(count);
}

DWORD GetIpAddrTable(PMIB_IPADDRTABLE table, PULONG size, BOOL order) {
    return iphelper::GetAddressTable(table, size, order);
}

namespace detail {

ModuleEntries IpHelperEntries() {
    return {{"GetIfTable", ToEntryPoint(&GetIfTable)},
            {"GetNumberOfInterfaces", ToEntryPoint(&GetNumberOfInterfaces)},
            {"GetIpAddrTable", ToEntryPoint(&GetIpAddrTable)}};
}

}  // namespace detail

}  // namespace win
