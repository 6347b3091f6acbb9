#include "net/localaddresslist.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "netfakes.h"

namespace {

using namespace nettest;
using testing::ElementsAre;

// An address row whose bytes, in memory order, are a.b.c.d (network byte order).
MIB_IPADDRROW Address(int a, int b, int c, int d) {
    MIB_IPADDRROW row{};
    const unsigned char octets[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                     static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    std::memcpy(&row.dwAddr, octets, sizeof octets);
    row.dwMask = 0x00FFFFFF;
    return row;
}

std::vector<std::string> Texts(const CLocalAddressList& list) {
    std::vector<std::string> texts;
    for (const auto& entry : list.m_entries) {
        texts.emplace_back(entry.data());
    }
    return texts;
}

class LocalAddressList : public testing::Test {
protected:
    void SetUp() override { FakeIpHelper::Install(); }
    CLocalAddressList m_list;
};

TEST_F(LocalAddressList, HoldsTheAddressesInTheTablesOrder) {
    FakeIpHelper::addresses = {Address(127, 0, 0, 1), Address(192, 168, 1, 20)};
    EXPECT_EQ(m_list.FillLocalAddressList(100), 2);
    EXPECT_EQ(m_list.m_count, 2);
    const auto texts = Texts(m_list);
    EXPECT_EQ(texts[0], "127.0.0.1");
    EXPECT_EQ(texts[1], "192.168.1.20");
    EXPECT_EQ(std::count(texts.begin(), texts.end(), ""), 98);
    // A work buffer of 28 bytes per entry, the table unsorted.
    EXPECT_THAT(FakeIpHelper::ipAddrSizes, ElementsAre(2800u));
    EXPECT_THAT(FakeIpHelper::ipAddrOrders, ElementsAre(win::FALSE));
}

TEST_F(LocalAddressList, WritesEachAddressAsDottedText) {
    const struct {
        MIB_IPADDRROW row;
        const char* text;
    } cases[] = {{Address(0, 0, 0, 0), "0.0.0.0"},
                 {Address(255, 255, 255, 255), "255.255.255.255"},
                 {Address(1, 2, 3, 4), "1.2.3.4"},
                 {Address(10, 0, 100, 9), "10.0.100.9"}};
    for (const auto& c : cases) {
        FakeIpHelper::addresses.push_back(c.row);
    }
    ASSERT_EQ(m_list.FillLocalAddressList(100), 4);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_STREQ(m_list.m_entries[i].data(), cases[i].text);
    }
}

TEST_F(LocalAddressList, KeepsTheFirstRowsUpToTheCapacity) {
    // The work buffer has 28 bytes per entry, the table needs 24 per row and 4 more.
    const struct {
        int addresses;
        int capacity;
        int count;
    } cases[] = {{105, 100, 100}, {105, 500, 100}, {116, 100, 100}, {105, 0, 0},
                 {1, 1, 1},       {2, 1, 0},       {6, 6, 6},       {7, 6, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.addresses << " addresses, capacity " << c.capacity);
        FakeIpHelper::addresses.clear();
        for (int i = 0; i < c.addresses; ++i) {
            FakeIpHelper::addresses.push_back(Address(10, 1, 0, i));
        }
        CLocalAddressList list;
        EXPECT_EQ(list.FillLocalAddressList(c.capacity), c.count);
        EXPECT_EQ(list.m_count, c.count);
        const auto texts = Texts(list);
        for (int i = 0; i < c.count; ++i) {
            EXPECT_EQ(texts[i], "10.1.0." + std::to_string(i));
        }
        EXPECT_EQ(std::count(texts.begin(), texts.end(), ""), 100 - c.count);
    }
}

TEST_F(LocalAddressList, IsEmptyWhenTheTableCannotBeRead) {
    FakeIpHelper::addresses = {Address(127, 0, 0, 1), Address(192, 168, 1, 20)};
    ASSERT_EQ(m_list.FillLocalAddressList(100), 2);

    // 117 rows do not fit the 2800 bytes.
    for (int i = 0; i < 115; ++i) {
        FakeIpHelper::addresses.push_back(Address(10, 2, 0, i));
    }
    EXPECT_EQ(m_list.FillLocalAddressList(100), 0);
    EXPECT_EQ(m_list.m_count, 0);
    EXPECT_EQ(m_list.m_entries[0][0], '\0');
    EXPECT_EQ(m_list.m_entries[1][0], '\0');

    // 116 rows still do.
    FakeIpHelper::addresses.pop_back();
    EXPECT_EQ(m_list.FillLocalAddressList(100), 100);

    ASSERT_TRUE(win::RemoveEntryPoint(win::kIpHelperModule, "GetIpAddrTable"));
    EXPECT_EQ(m_list.FillLocalAddressList(100), 0);
    EXPECT_EQ(m_list.m_entries[0][0], '\0');
}

}  // namespace
