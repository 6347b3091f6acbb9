#include "net/interfacetable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "net/trafficmeter.h"
#include "netfakes.h"
#include "platform/registry.h"

namespace {

using namespace nettest;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr win::LPCSTR kProductKey = "SOFTWARE\\Fleetwing";

// A fresh fake module, a configuration folder of its own, and a table attached to recorders.
class InterfaceTable : public testing::Test {
protected:
    void SetUp() override {
        FakeIpHelper::Install();
        char folder[] = "/tmp/fw-net-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        m_dir = folder;
        ::setenv("HOME", m_dir.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
        ::setenv("WINEPREFIX", (m_dir + "/wine").c_str(), 1);
        m_table.Attach(m_list, m_console, m_meter);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string UserHive() const { return m_dir + "/config/fleetwing/user.reg"; }

    // The stored "Network" value: its type and data, or nothing when it cannot be read.
    static std::optional<std::pair<DWORD, DWORD>> StoredNetwork() {
        win::HKEY key = nullptr;
        if (win::RegOpenKeyEx(win::HKEY_CURRENT_USER, kProductKey, 0, win::KEY_QUERY_VALUE, &key) !=
            win::ERROR_SUCCESS) {
            return std::nullopt;
        }
        DWORD type = 0;
        DWORD data = 0;
        DWORD size = sizeof data;
        const auto result = win::RegQueryValueEx(key, "Network", nullptr, &type,
                                                 reinterpret_cast<win::BYTE*>(&data), &size);
        win::RegCloseKey(key);
        if (result != win::ERROR_SUCCESS || size != sizeof data) {
            return std::nullopt;
        }
        return std::pair{type, data};
    }

    static void StoreNetwork(DWORD value) {
        win::HKEY key = nullptr;
        ASSERT_EQ(win::RegCreateKeyEx(win::HKEY_CURRENT_USER, kProductKey, 0, nullptr,
                                      win::REG_OPTION_NON_VOLATILE, win::KEY_ALL_ACCESS, nullptr,
                                      &key, nullptr),
                  win::ERROR_SUCCESS);
        ASSERT_EQ(win::RegSetValueEx(key, "Network", 0, win::REG_DWORD,
                                     reinterpret_cast<const win::BYTE*>(&value), sizeof value),
                  win::ERROR_SUCCESS);
        win::RegCloseKey(key);
    }

    // Six rows of which three are listed: 1, 3 and 4.
    static void SixRows() {
        FakeIpHelper::rows = {
            Row("Software Loopback Interface 1", 1'073'741'824),
            Row("eth0-Intel 82574L Gigabit", 1'000'000'000, 1000, 2000),
            Row("WAN Miniport (PPPOE)", 0),
            Row("wlan0-iwlwifi", 0, 3000, 4000),
            Row("usb0-Fast Ethernet Adapter", 100'000'000, 5000, 6000),
            Row("isatap.{5A1B2C3D}", 100'000),
        };
    }

    std::string m_dir;
    FakeAdapterList m_list;
    FakeConsole m_console;
    CTrafficMeter m_meter;
    CInterfaceTable m_table;
};

TEST(InterfaceLine, ShowsTheCutDescriptionTheSpeedInMegabitsAndMb) {
    const std::string forty = "0123456789012345678901234567890123456789";
    const std::string full(256, 'x');  // no terminator within the field
    struct Case {
        std::string description;
        DWORD speed;
        std::string line;
    } cases[] = {
        {"Fast Ethernet Adapter", 100'000'000, " Fast Ethernet Adapter 95 Mb"},
        {"eth0", 0, " eth0 0 Mb"},
        {"eth0", 10'000'000, " eth0 9 Mb"},
        {"eth0", 1'048'575, " eth0 0 Mb"},
        {"eth0", 1'048'576, " eth0 1 Mb"},
        {"eth0", 4'294'967'295, " eth0 4095 Mb"},
        {"", 1'000'000'000, "  953 Mb"},
        {forty.substr(0, 38), 0, " " + forty.substr(0, 38) + " 0 Mb"},
        {forty, 100'000'000, " " + forty.substr(0, 38) + " 95 Mb"},
        {full, 0, " " + full.substr(0, 38) + " 0 Mb"},
        // A multi-byte character is kept whole: 37 letters, "é", then the cut.
        {forty.substr(0, 37) + "\xC3\xA9" + "tail", 0,
         " " + forty.substr(0, 37) + "\xC3\xA9" + " 0 Mb"},
        {forty.substr(0, 36) + "\xE2\x82\xAC\xE2\x82\xAC" + "!", 0,
         " " + forty.substr(0, 36) + "\xE2\x82\xAC\xE2\x82\xAC" + " 0 Mb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(CInterfaceTable::FormatLine(Row(c.description, c.speed)), c.line);
    }
}

TEST(InterfaceLine, HidesWanIsatapAndLoopbackButNotTheirNearMisses) {
    struct Case {
        std::string description;
        bool hidden;
    } cases[] = {
        {"WAN Miniport (IP)", true},
        {"WAN", true},  // the line puts a blank after it
        {"WANMiniport", false},
        {"wan Miniport (IP)", false},
        {"Wan Miniport (IP)", false},
        {"Ethernet WAN port", false},
        {" WAN Miniport", false},  // the line then starts with two blanks
        {"isatap.{5A1B2C3D}", true},
        {"isatap.", true},
        {"isatap{5A1B2C3D}", false},
        {"Isatap.{5A1B2C3D}", false},
        {"Software Loopback Interface 1", true},
        {"lo-Loopback", true},
        {"Loopback", true},
        {"LOOPBACK adapter", false},
        {"loopback", false},
        {"Loop back", false},
        // Only what the line shows counts: the word past the 38-character cut is not seen.
        {std::string(38, 'x') + "Loopback", false},
        {std::string(30, 'x') + "Loopback", true},
        {"eth0-Intel 82574L Gigabit", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        const std::string line = CInterfaceTable::FormatLine(Row(c.description, 100'000'000));
        EXPECT_EQ(CInterfaceTable::IsHidden(line), c.hidden) << line;
    }
}

TEST_F(InterfaceTable, ListsTheUsableRowsInTableOrderAndMapsEachLineToItsRow) {
    SixRows();
    m_table.m_selected = 1;
    ASSERT_TRUE(m_table.LoadInterfaceList());

    EXPECT_THAT(m_list.lines,
                ElementsAre(" eth0-Intel 82574L Gigabit 953 Mb", " wlan0-iwlwifi 0 Mb",
                            " usb0-Fast Ethernet Adapter 95 Mb"));
    EXPECT_EQ(m_table.m_lineCount, 3);
    EXPECT_THAT(std::vector<int>(m_table.m_rowMap.begin(), m_table.m_rowMap.begin() + 3),
                ElementsAre(1, 3, 4));
    EXPECT_EQ(m_list.selected, 1);
    EXPECT_THAT(m_console.messages, IsEmpty());
    EXPECT_THAT(m_console.endResults, IsEmpty());

    const struct {
        int line;
        const char* description;
        DWORD in;
    } expected[] = {{0, "eth0-Intel 82574L Gigabit", 1000},
                    {1, "wlan0-iwlwifi", 3000},
                    {2, "usb0-Fast Ethernet Adapter", 5000}};
    for (const auto& e : expected) {
        m_table.m_selected = e.line;
        const auto row = m_table.SelectedRow();
        ASSERT_TRUE(row.has_value()) << e.line;
        EXPECT_STREQ(reinterpret_cast<const char*>(row->bDescr), e.description);
        EXPECT_EQ(row->dwInOctets, e.in);
    }
    // Every call asked for rows sorted by interface index.
    EXPECT_THAT(FakeIpHelper::ifTableOrders, testing::Each(win::TRUE));
}

TEST_F(InterfaceTable, AStoredChoiceBeyondTheListSelectsNoLineAndOffersNoRow) {
    SixRows();
    for (const int stored : {3, 255, -1}) {
        SCOPED_TRACE(stored);
        FakeAdapterList list;
        CInterfaceTable table;
        table.Attach(list, m_console, m_meter);
        table.m_selected = stored;
        ASSERT_TRUE(table.LoadInterfaceList());
        EXPECT_EQ(list.lines.size(), 3u);
        EXPECT_EQ(list.selected, -1);
        EXPECT_FALSE(table.SelectedRow().has_value());
    }
}

TEST_F(InterfaceTable, AMissingEntryPointIsReportedAndEndsTheConsoleWithOk) {
    for (const char* entry : {"GetIfTable", "GetNumberOfInterfaces"}) {
        SCOPED_TRACE(entry);
        FakeIpHelper::Install();
        SixRows();
        ASSERT_TRUE(win::RemoveEntryPoint(win::kIpHelperModule, entry));
        FakeAdapterList list;
        FakeConsole console;
        CInterfaceTable table;
        table.Attach(list, console, m_meter);

        EXPECT_FALSE(table.LoadInterfaceList());
        EXPECT_THAT(console.messages, ElementsAre("Error loading Iphlpapi.dll"));
        EXPECT_THAT(console.endResults, ElementsAre(1));
        EXPECT_THAT(list.lines, IsEmpty());
        EXPECT_EQ(list.selected, -1);

        // Nothing reads the table afterwards.
        table.RefreshTable();
        EXPECT_FALSE(table.SelectedRow().has_value());
        EXPECT_EQ(FakeIpHelper::ifTableCalls, 0);
    }
}

TEST_F(InterfaceTable, ATableThatCannotBeSizedGivesAnEmptyListAndNoRow) {
    SixRows();
    FakeIpHelper::sizeQueryFailure = 50;
    EXPECT_TRUE(m_table.LoadInterfaceList());
    EXPECT_THAT(m_list.lines, IsEmpty());
    EXPECT_EQ(m_list.selected, -1);
    EXPECT_THAT(m_console.messages, IsEmpty());

    m_table.RefreshTable();
    EXPECT_FALSE(m_table.SelectedRow().has_value());
    EXPECT_EQ(FakeIpHelper::ifTableCalls, 1);
}

TEST_F(InterfaceTable, ARefreshRereadsTheRowsInPlace) {
    SixRows();
    ASSERT_TRUE(m_table.LoadInterfaceList());
    const auto* buffer = m_table.m_pTable.get();

    FakeIpHelper::rows[1].dwInOctets = 0xFFFFFFF0;
    FakeIpHelper::rows[1].dwOutOctets = 77;
    m_table.RefreshTable();
    const auto row = m_table.SelectedRow();
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->dwInOctets, 0xFFFFFFF0u);
    EXPECT_EQ(row->dwOutOctets, 77u);
    EXPECT_EQ(m_table.m_pTable.get(), buffer);
}

TEST_F(InterfaceTable, AddedInterfacesAreReadFromTheSecondRefreshInTheSameBuffer) {
    FakeIpHelper::rows = {Row("eth0", 100'000'000, 10, 20)};
    ASSERT_TRUE(m_table.LoadInterfaceList());
    const auto* buffer = m_table.m_pTable.get();

    // The first refresh finds the size on record too small and learns the new one.
    FakeIpHelper::rows.push_back(Row("veth0", 10'000'000));
    FakeIpHelper::rows.push_back(Row("veth1", 10'000'000));
    FakeIpHelper::rows[0].dwInOctets = 30;
    m_table.RefreshTable();
    EXPECT_EQ(m_table.m_tableSize, 4 + 3 * sizeof(MIB_IFROW));
    EXPECT_EQ(m_table.SelectedRow().value().dwInOctets, 10u);

    m_table.RefreshTable();
    EXPECT_EQ(m_table.SelectedRow().value().dwInOctets, 30u);
    EXPECT_EQ(m_table.m_pTable.get(), buffer);
}

TEST_F(InterfaceTable, ATableThatOutgrowsTheBufferKeepsTheLastRowsThatFitted) {
    FakeIpHelper::rows = {Row("eth0", 100'000'000, 10, 20)};
    ASSERT_TRUE(m_table.LoadInterfaceList());
    // One row reported 864 bytes, so the buffer has room for 864 one-row tables.
    ASSERT_EQ(m_table.m_capacity, 864u * 864u);
    const std::size_t fits = (m_table.m_capacity - 4) / sizeof(MIB_IFROW);

    // More rows than fit: the refresh is refused and the old rows stay.
    FakeIpHelper::rows.resize(fits + 1, Row("veth", 625'000'000, 0, 0));
    FakeIpHelper::rows[0].dwInOctets = 99;
    m_table.RefreshTable();
    EXPECT_EQ(m_table.m_tableSize, 4 + (fits + 1) * sizeof(MIB_IFROW));
    ASSERT_TRUE(m_table.SelectedRow().has_value());
    EXPECT_EQ(m_table.SelectedRow().value().dwInOctets, 10u);

    // As many as fit: the same buffer takes them.
    FakeIpHelper::rows.resize(fits);
    m_table.RefreshTable();
    ASSERT_TRUE(m_table.SelectedRow().has_value());
    EXPECT_EQ(m_table.SelectedRow().value().dwInOctets, 99u);
}

TEST_F(InterfaceTable, ATableThatShrankBelowTheMappedRowOffersNoRowUntilItGrowsBack) {
    SixRows();
    m_table.m_selected = 2;  // row 4
    ASSERT_TRUE(m_table.LoadInterfaceList());
    const auto six = FakeIpHelper::rows;

    FakeIpHelper::rows.resize(4);
    m_table.RefreshTable();
    EXPECT_FALSE(m_table.SelectedRow().has_value());

    FakeIpHelper::rows = six;
    m_table.RefreshTable();
    ASSERT_TRUE(m_table.SelectedRow().has_value());
    EXPECT_EQ(m_table.SelectedRow().value().dwInOctets, 5000u);
}

TEST_F(InterfaceTable, ANewChoiceResetsTheMeterBaselineAndIsStoredAsADword) {
    SixRows();
    ASSERT_TRUE(m_table.LoadInterfaceList());
    m_meter.m_rateIn = 42;
    m_meter.m_peak = 250;
    m_meter.m_topLabel = "25.0%";

    // The counters move on before the choice: the baseline is taken from a fresh reading.
    FakeIpHelper::rows[4].dwInOctets = 123'456;
    FakeIpHelper::rows[4].dwOutOctets = 654'321;
    m_list.selected = 2;
    m_table.OnAdapterSelChange();

    EXPECT_EQ(m_table.m_selected, 2);
    EXPECT_EQ(m_meter.m_lastInOctets, 123'456u);
    EXPECT_EQ(m_meter.m_lastOutOctets, 654'321u);
    EXPECT_EQ(m_meter.m_divisor, 100'000'000u >> 13);
    EXPECT_EQ(m_meter.m_rateIn, 42);
    EXPECT_EQ(m_meter.m_peak, 250);
    EXPECT_EQ(m_meter.m_topLabel, "25.0%");
    EXPECT_EQ(StoredNetwork(), std::pair(DWORD{win::REG_DWORD}, DWORD{2}));

    m_list.selected = 0;
    m_table.OnAdapterSelChange();
    EXPECT_EQ(StoredNetwork(), std::pair(DWORD{win::REG_DWORD}, DWORD{0}));
    EXPECT_EQ(m_meter.m_divisor, 1'000'000'000u >> 13);
}

TEST_F(InterfaceTable, ChoosingTheSameLineAgainWritesNothingAndKeepsTheBaseline) {
    SixRows();
    StoreNetwork(7);
    m_table.m_selected = 1;
    ASSERT_TRUE(m_table.LoadInterfaceList());
    m_meter.ResetBaseline(*m_table.SelectedRow());
    const int callsBefore = FakeIpHelper::ifTableCalls;

    struct stat before {};
    ASSERT_EQ(::stat(UserHive().c_str(), &before), 0);
    FakeIpHelper::rows[3].dwInOctets = 999'999;
    m_list.selected = 1;
    m_table.OnAdapterSelChange();

    struct stat after {};
    ASSERT_EQ(::stat(UserHive().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(StoredNetwork(), std::pair(DWORD{win::REG_DWORD}, DWORD{7}));
    EXPECT_EQ(m_meter.m_lastInOctets, 3000u);
    EXPECT_EQ(FakeIpHelper::ifTableCalls, callsBefore);
}

TEST_F(InterfaceTable, ANewChoiceStaysInEffectWhenTheKeyCannotBeCreated) {
    SixRows();
    ASSERT_TRUE(m_table.LoadInterfaceList());
    // The configuration folder is a plain file: no hive can be written below it.
    const std::string blocker = m_dir + "/config";
    std::ofstream(blocker) << "not a folder";

    m_list.selected = 1;
    m_table.OnAdapterSelChange();
    EXPECT_EQ(m_table.m_selected, 1);
    EXPECT_EQ(m_meter.m_lastInOctets, 3000u);
    EXPECT_EQ(m_meter.m_divisor, 1u);  // wlan0 reports no speed
    EXPECT_FALSE(StoredNetwork().has_value());
    EXPECT_TRUE(std::filesystem::is_regular_file(blocker));
}

TEST_F(InterfaceTable, TheListStopsAtTwoHundredAndFiftySixLines) {
    for (int i = 0; i < 300; ++i) {
        FakeIpHelper::rows.push_back(Row("veth" + std::to_string(i), 10'000'000));
    }
    m_table.m_selected = 255;
    ASSERT_TRUE(m_table.LoadInterfaceList());
    ASSERT_EQ(m_list.lines.size(), 256u);
    EXPECT_EQ(m_list.lines.back(), " veth255 9 Mb");
    EXPECT_EQ(m_table.m_rowMap[255], 255);
    EXPECT_EQ(m_list.selected, 255);
}

}  // namespace
