// Test doubles for the network measurement: an "Iphlpapi.dll" whose tables the test sets row by
// row, and recorders for the console parts that the measurement code drives.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "net/consoleparts.h"
#include "platform/iphlpapi.h"
#include "platform/module.h"

namespace nettest {

using win::BOOL;
using win::DWORD;
using win::MIB_IFROW;
using win::MIB_IPADDRROW;
using win::ULONG;

inline MIB_IFROW Row(const std::string& description, DWORD speed, DWORD in = 0, DWORD out = 0) {
    MIB_IFROW row{};
    std::memcpy(row.bDescr, description.data(), std::min(description.size(), sizeof row.bDescr));
    row.dwDescrLen = static_cast<DWORD>(description.size());
    row.dwSpeed = speed;
    row.dwInOctets = in;
    row.dwOutOctets = out;
    return row;
}

// The module's tables and what its callers passed. Like the platform's functions, a call with
// no table or too small a size gives ERROR_INSUFFICIENT_BUFFER and the size needed, and a
// call that succeeds leaves the size alone. Entry points are plain functions, so the
// state is the process's; Install() resets it and registers the module afresh.
struct FakeIpHelper {
    static inline std::vector<MIB_IFROW> rows;
    static inline std::vector<MIB_IPADDRROW> addresses;
    // When not 0, what GetIfTable answers a query without a table.
    static inline DWORD sizeQueryFailure = 0;
    static inline int ifTableCalls = 0;
    static inline std::vector<BOOL> ifTableOrders;
    static inline std::vector<ULONG> ipAddrSizes;
    static inline std::vector<BOOL> ipAddrOrders;

    static DWORD GetIfTable(win::PMIB_IFTABLE table, win::PULONG size, BOOL order) {
        ++ifTableCalls;
        ifTableOrders.push_back(order);
        if (table == nullptr && sizeQueryFailure != 0) {
            return sizeQueryFailure;
        }
        const auto needed =
            static_cast<ULONG>(offsetof(win::MIB_IFTABLE, table) + rows.size() * sizeof(MIB_IFROW));
        if (table == nullptr || *size < needed) {
            *size = needed;
            return win::ERROR_INSUFFICIENT_BUFFER;
        }
        table->dwNumEntries = static_cast<DWORD>(rows.size());
        std::memcpy(table->table, rows.data(), rows.size() * sizeof(MIB_IFROW));
        return win::ERROR_SUCCESS;  // *size stays as it was
    }

    static DWORD GetNumberOfInterfaces(win::PDWORD count) {
        *count = static_cast<DWORD>(rows.size());
        return win::ERROR_SUCCESS;
    }

    static DWORD GetIpAddrTable(win::PMIB_IPADDRTABLE table, win::PULONG size, BOOL order) {
        ipAddrSizes.push_back(*size);
        ipAddrOrders.push_back(order);
        const auto needed = static_cast<ULONG>(offsetof(win::MIB_IPADDRTABLE, table) +
                                               addresses.size() * sizeof(MIB_IPADDRROW));
        if (table == nullptr || *size < needed) {
            *size = needed;
            return win::ERROR_INSUFFICIENT_BUFFER;
        }
        table->dwNumEntries = static_cast<DWORD>(addresses.size());
        std::memcpy(table->table, addresses.data(), addresses.size() * sizeof(MIB_IPADDRROW));
        return win::ERROR_SUCCESS;
    }

    static void Install() {
        rows.clear();
        addresses.clear();
        sizeQueryFailure = 0;
        ifTableCalls = 0;
        ifTableOrders.clear();
        ipAddrSizes.clear();
        ipAddrOrders.clear();
        win::RegisterModule(win::kIpHelperModule,
                            {{"GetIfTable", win::ToEntryPoint(&GetIfTable)},
                             {"GetNumberOfInterfaces", win::ToEntryPoint(&GetNumberOfInterfaces)},
                             {"GetIpAddrTable", win::ToEntryPoint(&GetIpAddrTable)}});
    }
};

class FakeAdapterList : public IAdapterList {
public:
    int AddString(win::LPCSTR text) override {
        lines.emplace_back(text);
        return static_cast<int>(lines.size()) - 1;
    }
    int SetCurSel(int index) override {
        selected = index >= 0 && index < static_cast<int>(lines.size()) ? index : -1;
        return selected;
    }
    int GetCurSel() const override { return selected; }

    std::vector<std::string> lines;
    int selected = -1;
};

class FakeConsole : public IConsoleServices {
public:
    void MessageBox(win::LPCSTR text) override { messages.emplace_back(text); }
    void EndDialog(int result) override { endResults.push_back(result); }
    void UpdateData(bool saveAndValidate) override { updates.push_back(saveAndValidate); }

    std::vector<std::string> messages;
    std::vector<int> endResults;
    std::vector<bool> updates;
};

class FakeHistogram : public IHistogramSink {
public:
    void SetRange(int lower, int upper) override { ranges.emplace_back(lower, upper); }
    void AddSample(win::UINT in, win::UINT out) override { samples.emplace_back(in, out); }

    std::vector<std::pair<int, int>> ranges;
    std::vector<std::pair<win::UINT, win::UINT>> samples;
};

class FakePicture : public ILevelPicture {
public:
    bool LoadFromResource(win::WORD id, win::LPCSTR type) override {
        loads.emplace_back(id, type);
        return true;
    }
    void ShowPicture() override { ++shows; }

    std::vector<std::pair<win::WORD, std::string>> loads;
    int shows = 0;
};

}  // namespace nettest
