#include "net/interfacetable.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iterator>
#include <new>
#include <string_view>
#include <type_traits>

#include "net/trafficmeter.h"
#include "platform/module.h"
#include "platform/registry.h"

namespace {

constexpr win::LPCSTR kProductKey = "SOFTWARE\\Fleetwing";
constexpr win::LPCSTR kNetworkValue = "Network";
constexpr int IDOK = 1;
constexpr std::size_t kRowsOffset = offsetof(win::MIB_IFTABLE, table);

// The length of the first `count` characters of a UTF-8 text. A character is a lead byte with
// the continuation bytes it announces; a stray continuation byte counts as a character of its
// own, so a cut never splits a well-formed sequence.
std::size_t LengthOfCharacters(std::string_view text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t characters = 0; characters < count && at < text.size(); ++characters) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        const std::size_t end = std::min(text.size(), at + length);
        ++at;
        while (at < end && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
            ++at;
        }
    }
    return at;
}

}  // namespace

void CInterfaceTable::Attach(IAdapterList& list, IConsoleServices& console, CTrafficMeter& meter) {
    m_list = &list;
    m_console = &console;
    m_meter = &meter;
}

std::string CInterfaceTable::FormatLine(const win::MIB_IFROW& row) {
    // The description ends at its terminator, or with the field when it has none.
    const auto* bytes = reinterpret_cast<const char*>(row.bDescr);
    const std::string_view description(
        bytes, static_cast<std::size_t>(std::find(bytes, bytes + sizeof row.bDescr, '\0') - bytes));
    const std::string_view shown =
        description.substr(0, LengthOfCharacters(description, kDescriptionChars));

    char speed[16];
    const auto converted = std::to_chars(std::begin(speed), std::end(speed), row.dwSpeed >> 20);

    std::string line(" ");
    line += shown;
    line += ' ';
    line.append(speed, converted.ptr);
    line += " Mb";
    return line;
}

bool CInterfaceTable::IsHidden(const std::string& line) {
    return line.starts_with(" WAN ") || line.starts_with(" isatap.") ||
           line.find("Loopback") != std::string::npos;
}

bool CInterfaceTable::LoadInterfaceList() {
    // The module stays loaded for the life of the program.
    m_pfnGetIfTable = win::FromEntryPoint<std::remove_pointer_t<win::GetIfTableFn>>(
        win::GetProcAddress(win::LoadLibrary(win::kIpHelperModule), "GetIfTable"));
    m_pfnGetNumberOfInterfaces =
        win::FromEntryPoint<std::remove_pointer_t<win::GetNumberOfInterfacesFn>>(
            win::GetProcAddress(win::LoadLibrary(win::kIpHelperModule), "GetNumberOfInterfaces"));
    m_pTable.reset();
    m_capacity = 0;
    m_lineCount = 0;

    const bool bound = m_pfnGetIfTable != nullptr && m_pfnGetNumberOfInterfaces != nullptr;
    if (!bound) {
        m_console->MessageBox("Error loading Iphlpapi.dll");
        m_console->EndDialog(IDOK);
    } else {
        m_tableSize = 0;
        if (m_pfnGetIfTable(nullptr, &m_tableSize, win::TRUE) == win::ERROR_INSUFFICIENT_BUFFER) {
            // Room for as many whole tables of one row as the reported byte count, so that
            // tables that grow later still fit.
            const std::size_t capacity =
                std::max<std::size_t>(1, m_tableSize) * sizeof(win::MIB_IFTABLE);
            m_pTable.reset(new (std::nothrow) std::byte[capacity]());
            if (m_pTable) {
                m_capacity = capacity;
                RefreshTable();
                const std::size_t rows = RowCount();
                for (std::size_t i = 0; i < rows && m_lineCount < kMaxLines; ++i) {
                    const std::string line = FormatLine(RowAt(i));
                    if (!IsHidden(line)) {
                        m_list->AddString(line.c_str());
                        m_rowMap[static_cast<std::size_t>(m_lineCount++)] = static_cast<int>(i);
                    }
                }
            }
        }
    }
    m_list->SetCurSel(m_selected);
    return bound;
}

void CInterfaceTable::RefreshTable() {
    if (m_pfnGetIfTable == nullptr || !m_pTable) {
        return;
    }
    // The buffer is never re-allocated: a table that outgrows it is reported as too large
    // and the buffer keeps the last rows that fitted.
    win::ULONG size = static_cast<win::ULONG>(std::min<std::size_t>(m_tableSize, m_capacity));
    m_pfnGetIfTable(Table(), &size, win::TRUE);
    m_tableSize = size;
}

win::MIB_IFTABLE* CInterfaceTable::Table() const {
    return reinterpret_cast<win::MIB_IFTABLE*>(m_pTable.get());
}

std::size_t CInterfaceTable::RowCount() const {
    if (!m_pTable) {
        return 0;
    }
    win::DWORD entries = 0;
    std::memcpy(&entries, m_pTable.get(), sizeof entries);
    const std::size_t fit = (m_capacity - kRowsOffset) / sizeof(win::MIB_IFROW);
    return std::min<std::size_t>(entries, fit);
}

win::MIB_IFROW CInterfaceTable::RowAt(std::size_t index) const {
    win::MIB_IFROW row;
    std::memcpy(&row, m_pTable.get() + kRowsOffset + index * sizeof row, sizeof row);
    return row;
}

std::optional<win::MIB_IFROW> CInterfaceTable::SelectedRow() const {
    if (m_selected < 0 || m_selected >= m_lineCount) {
        return std::nullopt;
    }
    const auto row = static_cast<std::size_t>(m_rowMap[static_cast<std::size_t>(m_selected)]);
    if (row >= RowCount()) {
        return std::nullopt;
    }
    return RowAt(row);
}

void CInterfaceTable::OnAdapterSelChange() {
    const int selection = m_list->GetCurSel();
    if (selection == m_selected) {
        return;
    }
    m_selected = selection;
    RefreshTable();
    if (const auto row = SelectedRow()) {
        m_meter->ResetBaseline(*row);
    }
    StoreSelection();
}

void CInterfaceTable::StoreSelection() const {
    win::HKEY key = nullptr;
    if (win::RegCreateKeyEx(win::HKEY_CURRENT_USER, kProductKey, 0, nullptr,
                            win::REG_OPTION_NON_VOLATILE, win::KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != win::ERROR_SUCCESS) {
        return;
    }
    const auto value = static_cast<win::DWORD>(m_selected);
    win::BYTE data[sizeof value];
    std::memcpy(data, &value, sizeof value);
    win::RegSetValueEx(key, kNetworkValue, 0, win::REG_DWORD, data, sizeof data);
    win::RegCloseKey(key);
}
