// The machine's IPv4 addresses as dotted texts, copied once when the console starts, for the
// packet observer to choose the address it binds to.
#pragma once

#include <array>
#include <cstddef>

class CLocalAddressList {
public:
    static constexpr int kCapacity = 100;
    // Room for "255.255.255.255" and its terminating zero.
    static constexpr std::size_t kEntrySize = 16;

    // Fills the entries from the system's address table, in the table's order, at most
    // `capacity` of them (never more than kCapacity), and returns how many were filled; that
    // count is also kept in m_count. A table that cannot be read gives an empty list.
    int FillLocalAddressList(int capacity);

    // The dotted texts; entries never filled are empty.
    std::array<std::array<char, kEntrySize>, kCapacity> m_entries{};
    int m_count = 0;
};

// The process's one list.
extern CLocalAddressList theLocalAddressList;
