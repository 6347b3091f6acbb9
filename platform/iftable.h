// The process's interface table: rows built from the kernel's link dump, kept in the positions
// they were first given, with the nominal speeds and descriptions the drivers and the device
// manager tell.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/devicefacts.h"
#include "platform/ethtoolsocket.h"
#include "platform/iphlpapi.h"
#include "platform/netlinklinks.h"
#include "platform/wintypes.h"

namespace win::iphelper {

class InterfaceTable {
public:
    // GetIfTable and GetNumberOfInterfaces: each call refreshes the rows from the kernel.
    DWORD GetTable(MIB_IFTABLE* table, ULONG* size);
    DWORD GetCount(DWORD* count);

private:
    using Clock = std::chrono::steady_clock;

    struct Entry {
        MIB_IFROW row{};
        std::string name;
        unsigned flags = 0;
        unsigned operState = 0;
        std::uint32_t carrierChanges = 0;
        Clock::time_point speedRead{};
        bool present = false;
        bool seen = false;
    };

    // False when the kernel could not be asked and there are no rows from an earlier call.
    bool Refresh();
    // The counters alone, while no link has changed; false when that is not enough.
    bool RefreshCounters(Clock::time_point now);
    void RefreshLinks(Clock::time_point now);
    void RefreshSpeed(Entry& entry, Clock::time_point now);
    Entry* Find(int index);
    void Update(Entry& entry, const LinkRecord& link, Clock::time_point now, bool isNew);
    void Identify(Entry& entry, const LinkRecord& link);

    std::mutex m_mutex;
    LinkSocket m_links;
    EthtoolSocket m_ethtool;
    DeviceFactsSource m_devices;
    std::vector<LinkRecord> m_dump;
    std::vector<IndexedCounters> m_counters;
    std::vector<Entry> m_entries;
    std::vector<std::size_t> m_newLinks;
    std::size_t m_hint = 0;
    bool m_filled = false;
    bool m_countersDump = true;  // whether the kernel offers the counters alone
};

// The one table of the process, made on first use and never destroyed.
InterfaceTable& ProcessInterfaceTable();

}  // namespace win::iphelper
