#include "platform/iftable.h"

#include <linux/if.h>
#include <linux/if_arp.h>
#include <time.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/iphelper.h"
#include "platform/linkdescription.h"
#include "platform/unicode.h"

namespace win::iphelper {

namespace {

// How long a nominal speed is trusted while the link shows no change of state.
constexpr auto kSpeedLifetime = std::chrono::seconds(10);

DWORD Low32(std::uint64_t counter) {
    return static_cast<DWORD>(counter & 0xFFFFFFFFu);
}

DWORD InterfaceType(unsigned hardwareType, unsigned flags, bool wireless) {
    if ((flags & IFF_LOOPBACK) != 0) {
        return MIB_IF_TYPE_LOOPBACK;
    }
    switch (hardwareType) {
        case ARPHRD_ETHER:
            return wireless ? IF_TYPE_IEEE80211 : MIB_IF_TYPE_ETHERNET;
        case ARPHRD_IEEE80211:
        case ARPHRD_IEEE80211_PRISM:
        case ARPHRD_IEEE80211_RADIOTAP:
            return IF_TYPE_IEEE80211;
        case ARPHRD_PPP:
            return MIB_IF_TYPE_PPP;
        case ARPHRD_TUNNEL:
        case ARPHRD_TUNNEL6:
        case ARPHRD_SIT:
        case ARPHRD_IPGRE:
        case ARPHRD_IP6GRE:
        case ARPHRD_NONE:  // tun devices and other layer-3 tunnels
            return IF_TYPE_TUNNEL;
        default:
            return MIB_IF_TYPE_OTHER;
    }
}

DWORD OperStatus(unsigned operState, unsigned flags) {
    if ((flags & IFF_UP) == 0) {
        return MIB_IF_OPER_STATUS_NON_OPERATIONAL;
    }
    switch (operState) {
        case IF_OPER_UP:
            return MIB_IF_OPER_STATUS_OPERATIONAL;
        case IF_OPER_DORMANT:
            return MIB_IF_OPER_STATUS_CONNECTING;
        case IF_OPER_UNKNOWN:  // drivers that keep no state, such as loopback: trust the flags
            return (flags & IFF_RUNNING) != 0 ? MIB_IF_OPER_STATUS_OPERATIONAL
                                              : MIB_IF_OPER_STATUS_DISCONNECTED;
        default:
            return MIB_IF_OPER_STATUS_DISCONNECTED;
    }
}

// The time since boot in hundredths of a second, as dwLastChange counts it.
DWORD Uptime() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const auto centiseconds = static_cast<std::uint64_t>(now.tv_sec) * 100 +
                              static_cast<std::uint64_t>(now.tv_nsec / 10'000'000);
    return Low32(centiseconds);
}

void SetCounters(MIB_IFROW& row, const LinkCounters& counters) {
    row.dwInOctets = Low32(counters.rxBytes);
    row.dwInUcastPkts =
        Low32(counters.rxPackets - std::min(counters.multicast, counters.rxPackets));
    row.dwInNUcastPkts = Low32(counters.multicast);
    row.dwInDiscards = Low32(counters.rxDropped);
    row.dwInErrors = Low32(counters.rxErrors);
    row.dwInUnknownProtos = Low32(counters.rxNoHandler);
    row.dwOutOctets = Low32(counters.txBytes);
    // The kernel does not count sent multicast packets apart.
    row.dwOutUcastPkts = Low32(counters.txPackets);
    row.dwOutNUcastPkts = 0;
    row.dwOutDiscards = Low32(counters.txDropped);
    row.dwOutErrors = Low32(counters.txErrors);
}

}  // namespace

DWORD InterfaceTable::GetTable(MIB_IFTABLE* table, ULONG* size) {
    if (size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::lock_guard lock(m_mutex);
    if (!Refresh()) {
        return ERROR_NOT_SUPPORTED;
    }
    const std::size_t needed = offsetof(MIB_IFTABLE, table) + m_entries.size() * sizeof(MIB_IFROW);
    if (table == nullptr || *size < needed) {
        *size = static_cast<ULONG>(needed);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    table->dwNumEntries = static_cast<DWORD>(m_entries.size());
    // The rows run past the one the record declares: address them as bytes.
    auto* rows = reinterpret_cast<unsigned char*>(table) + offsetof(MIB_IFTABLE, table);
    for (const Entry& entry : m_entries) {
        std::memcpy(rows, &entry.row, sizeof(MIB_IFROW));
        rows += sizeof(MIB_IFROW);
    }
    return ERROR_SUCCESS;
}

DWORD InterfaceTable::GetCount(DWORD* count) {
    if (count == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::lock_guard lock(m_mutex);
    if (!Refresh()) {
        return ERROR_NOT_SUPPORTED;
    }
    *count = static_cast<DWORD>(m_entries.size());
    return ERROR_SUCCESS;
}

bool InterfaceTable::Refresh() {
    const Clock::time_point now = Clock::now();
    // Between announcements of link changes only the counters move, and the kernel gives them
    // alone for a fraction of the cost of the whole link records.
    const bool changed = m_links.TakeChanges();
    if (m_filled && !changed && m_countersDump && RefreshCounters(now)) {
        return true;
    }
    if (!m_links.DumpLinks(m_dump)) {
        // Rows of an earlier call stay as they were: their counters simply do not move.
        return m_filled;
    }
    RefreshLinks(now);
    m_filled = true;
    return true;
}

bool InterfaceTable::RefreshCounters(Clock::time_point now) {
    bool refused = false;
    if (!m_links.DumpCounters(m_counters, &refused)) {
        m_countersDump = !refused;
        return false;
    }
    // Every link there is must be a present row and the other way round, else a change went
    // unannounced.
    std::size_t present = 0;
    for (const Entry& entry : m_entries) {
        present += entry.present ? 1 : 0;
    }
    if (present != m_counters.size()) {
        return false;
    }
    for (const IndexedCounters& link : m_counters) {
        Entry* entry = Find(link.index);
        if (entry == nullptr || !entry->present) {
            return false;
        }
        SetCounters(entry->row, link.counters);
        if ((entry->flags & IFF_LOOPBACK) == 0 && now - entry->speedRead >= kSpeedLifetime) {
            RefreshSpeed(*entry, now);
        }
    }
    return true;
}

void InterfaceTable::RefreshLinks(Clock::time_point now) {
    for (Entry& entry : m_entries) {
        entry.seen = false;
    }
    m_newLinks.clear();
    for (std::size_t i = 0; i < m_dump.size(); ++i) {
        if (Entry* entry = Find(m_dump[i].index)) {
            Update(*entry, m_dump[i], now, false);
        } else {
            m_newLinks.push_back(i);
        }
    }
    // New interfaces go after the rows there are, among themselves by ascending index.
    std::sort(m_newLinks.begin(), m_newLinks.end(),
              [this](std::size_t a, std::size_t b) { return m_dump[a].index < m_dump[b].index; });
    for (const std::size_t i : m_newLinks) {
        Update(m_entries.emplace_back(), m_dump[i], now, true);
    }
    for (Entry& entry : m_entries) {
        if (entry.present && !entry.seen) {
            entry.present = false;
            entry.row.dwOperStatus = MIB_IF_OPER_STATUS_NON_OPERATIONAL;
            entry.row.dwLastChange = Uptime();
        }
    }
}

void InterfaceTable::RefreshSpeed(Entry& entry, Clock::time_point now) {
    entry.row.dwSpeed = SpeedInBits(m_ethtool.SpeedMegabits(entry.name));
    entry.speedRead = now;
}

InterfaceTable::Entry* InterfaceTable::Find(int index) {
    // The kernel lists the links in much the same order every time: try the row after the
    // last one found first.
    const std::size_t count = m_entries.size();
    for (std::size_t step = 0; step < count; ++step) {
        const std::size_t position = (m_hint + step) % count;
        if (static_cast<int>(m_entries[position].row.dwIndex) == index) {
            m_hint = position + 1;
            return &m_entries[position];
        }
    }
    return nullptr;
}

void InterfaceTable::Update(Entry& entry, const LinkRecord& link, Clock::time_point now,
                            bool isNew) {
    MIB_IFROW& row = entry.row;
    if (isNew || link.name != entry.name) {
        entry.name = link.name;
        Identify(entry, link);
    }
    row.dwMtu = link.mtu;
    row.dwPhysAddrLen = static_cast<DWORD>(std::min(link.addressLength, sizeof row.bPhysAddr));
    std::memset(row.bPhysAddr, 0, sizeof row.bPhysAddr);
    std::memcpy(row.bPhysAddr, link.address.data(), row.dwPhysAddrLen);
    row.dwAdminStatus =
        (link.flags & IFF_UP) != 0 ? MIB_IF_ADMIN_STATUS_UP : MIB_IF_ADMIN_STATUS_DOWN;

    const DWORD status = OperStatus(link.operState, link.flags);
    if (!isNew && status != row.dwOperStatus) {
        row.dwLastChange = Uptime();
    }
    row.dwOperStatus = status;

    // A renegotiated link changes its carrier or state, so the speed is read again then, and
    // otherwise now and again.
    const bool changed = isNew || !entry.present || link.flags != entry.flags ||
                         link.operState != entry.operState ||
                         link.carrierChanges != entry.carrierChanges;
    if ((link.flags & IFF_LOOPBACK) != 0) {
        row.dwSpeed = 0;
    } else if (changed || now - entry.speedRead >= kSpeedLifetime) {
        RefreshSpeed(entry, now);
    }
    entry.flags = link.flags;
    entry.operState = link.operState;
    entry.carrierChanges = link.carrierChanges;

    SetCounters(row, link.counters);
    entry.present = true;
    entry.seen = true;
}

void InterfaceTable::Identify(Entry& entry, const LinkRecord& link) {
    MIB_IFROW& row = entry.row;
    row.dwIndex = static_cast<DWORD>(link.index);

    const std::u16string name = text::ToUtf16(link.name);
    std::memset(row.wszName, 0, sizeof row.wszName);
    std::copy_n(name.begin(), std::min(name.size(), MAX_INTERFACE_NAME_LEN - 1), row.wszName);

    const bool loopback = (link.flags & IFF_LOOPBACK) != 0;
    DeviceFacts facts;
    std::string driver;
    if (!loopback) {
        facts = m_devices.Lookup(link.name, link.index, link.address.data(), link.addressLength);
        if (facts.model.empty()) {
            driver = m_ethtool.DriverName(link.name);
            if (driver.empty()) {
                driver = facts.driver;
            }
        }
    }
    row.dwType = InterfaceType(link.hardwareType, link.flags, facts.wireless);

    const std::string description =
        DescribeInterface({link.name, loopback, facts.model, driver, link.kind});
    std::memset(row.bDescr, 0, sizeof row.bDescr);
    std::memcpy(row.bDescr, description.data(), description.size());
    row.dwDescrLen = static_cast<DWORD>(description.size() + 1);
}

InterfaceTable& ProcessInterfaceTable() {
    // Never destroyed, so that a call from another static object's destructor still works.
    static InterfaceTable* const table = new InterfaceTable;
    return *table;
}

}  // namespace win::iphelper
