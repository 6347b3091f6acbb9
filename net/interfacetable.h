// The console's copy of the system's interface table and the adapter list built from it: which
// list line stands for which table row, and the user's choice of line, kept in the registry.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "net/consoleparts.h"
#include "platform/iphlpapi.h"
#include "platform/wintypes.h"

class CTrafficMeter;

class CInterfaceTable {
public:
    static constexpr int kMaxLines = 256;
    // How much of a description a list line shows.
    static constexpr std::size_t kDescriptionChars = 38;

    // The list to fill and read, the console to report to, and the meter that a new choice
    // gives a new baseline. All must outlive this record.
    void Attach(IAdapterList& list, IConsoleServices& console, CTrafficMeter& meter);

    // Binds the entry points of "Iphlpapi.dll", fetches the table, fills the adapter list with
    // the usable interfaces and selects line m_selected. When an entry point is missing the
    // user is told, the console is ended with IDOK and the result is false.
    bool LoadInterfaceList();

    // Refills the table in place (rows sorted by interface index). Does nothing while there
    // is no table.
    void RefreshTable();

    // The row that the chosen line stands for, from the current table; nothing while there is
    // no table, the choice lies beyond the list, or the table holds fewer rows than the
    // line's row index.
    std::optional<win::MIB_IFROW> SelectedRow() const;

    // The adapter list's selection changed: a new choice gives the meter a new baseline and is
    // stored as "Network" under the product key. The same choice again does nothing.
    void OnAdapterSelChange();

    // The adapter list's line for a row, and whether the list hides that line.
    static std::string FormatLine(const win::MIB_IFROW& row);
    static bool IsHidden(const std::string& line);

    win::GetIfTableFn m_pfnGetIfTable = nullptr;
    win::GetNumberOfInterfacesFn m_pfnGetNumberOfInterfaces = nullptr;
    // The table buffer, allocated once with room for 864 bytes per byte of the size first
    // reported, then refilled in place.
    std::unique_ptr<std::byte[]> m_pTable;
    std::size_t m_capacity = 0;
    // The size last reported to or by GetIfTable.
    win::ULONG m_tableSize = 0;
    // Entry j: the table row (position in the table, not the interface index) of list line j.
    std::array<int, kMaxLines> m_rowMap{};
    int m_lineCount = 0;
    // The chosen list line; set from the stored preference before the list is filled.
    int m_selected = 0;

private:
    win::MIB_IFTABLE* Table() const;
    // How many rows the buffer holds now, never more than fit in it, and a copy of one.
    std::size_t RowCount() const;
    win::MIB_IFROW RowAt(std::size_t index) const;
    void StoreSelection() const;

    IAdapterList* m_list = nullptr;
    IConsoleServices* m_console = nullptr;
    CTrafficMeter* m_meter = nullptr;
};
