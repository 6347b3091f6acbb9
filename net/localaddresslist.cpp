#include "net/localaddresslist.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "platform/iphlpapi.h"
#include "platform/module.h"

CLocalAddressList theLocalAddressList;

namespace {

// Bytes per entry of the work buffer handed to the address table call.
constexpr std::size_t kBytesPerEntry = 28;

// An address in network byte order as dotted text: its bytes in memory order.
void ToDotted(win::DWORD address, std::array<char, CLocalAddressList::kEntrySize>& entry) {
    unsigned char octets[4];
    std::memcpy(octets, &address, sizeof octets);
    char* out = entry.data();
    char* const end = entry.data() + entry.size() - 1;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i != 0) {
            *out++ = '.';
        }
        out = std::to_chars(out, end, octets[i]).ptr;
    }
    *out = '\0';
}

}  // namespace

int CLocalAddressList::FillLocalAddressList(int capacity) {
    m_entries = {};
    m_count = 0;
    const int wanted = std::clamp(capacity, 0, kCapacity);

    const auto getIpAddrTable = win::FromEntryPoint<std::remove_pointer_t<win::GetIpAddrTableFn>>(
        win::GetProcAddress(win::LoadLibrary(win::kIpHelperModule), "GetIpAddrTable"));
    if (getIpAddrTable == nullptr || wanted == 0) {
        return 0;
    }

    const std::size_t bytes = static_cast<std::size_t>(wanted) * kBytesPerEntry;
    const std::unique_ptr<std::byte[]> buffer(new (std::nothrow) std::byte[bytes]());
    if (!buffer) {
        return 0;
    }
    win::ULONG size = static_cast<win::ULONG>(bytes);
    if (getIpAddrTable(reinterpret_cast<win::MIB_IPADDRTABLE*>(buffer.get()), &size, win::FALSE) !=
        win::ERROR_SUCCESS) {
        return 0;
    }

    // Never read past the buffer, whatever count the table claims.
    constexpr std::size_t rowsOffset = offsetof(win::MIB_IPADDRTABLE, table);
    win::DWORD entries = 0;
    std::memcpy(&entries, buffer.get(), sizeof entries);
    const std::size_t fit = (bytes - rowsOffset) / sizeof(win::MIB_IPADDRROW);
    const std::size_t count =
        std::min({static_cast<std::size_t>(entries), static_cast<std::size_t>(wanted), fit});
    for (std::size_t i = 0; i < count; ++i) {
        win::MIB_IPADDRROW row;
        std::memcpy(&row, buffer.get() + rowsOffset + i * sizeof row, sizeof row);
        ToDotted(row.dwAddr, m_entries[i]);
    }
    m_count = static_cast<int>(count);
    return m_count;
}
