#include "net/trafficmeter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <clocale>
#include <iostream>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "net/interfacetable.h"
#include "netfakes.h"

namespace {

using namespace nettest;
using testing::ElementsAre;
using testing::IsEmpty;
using win::UINT;

// 8,192,000 bits per second: a divisor of 1000, so a tick of 1000 × r bytes is a rate of r.
constexpr DWORD kSpeed = 8'192'000;
constexpr DWORD kDivisor = 1000;

// A rate whose step is the given one.
constexpr DWORD RateInStep(int step) {
    switch (step) {
        case 10:
            return 0;
        case 50:
            return 20;
        case 100:
            return 70;
        case 250:
            return 150;
        case 500:
            return 300;
        default:
            return 900;
    }
}

// One interface behind the fake module, listed, chosen and taken as the meter's baseline.
class TrafficMeter : public testing::Test {
protected:
    void SetUp() override {
        FakeIpHelper::Install();
        FakeIpHelper::rows = {Row("eth0", kSpeed, 5'000'000, 7'000'000)};
        m_table.Attach(m_list, m_console, m_meter);
        ASSERT_TRUE(m_table.LoadInterfaceList());
        m_meter.Attach(m_table, m_histogram, m_picture, m_console);
        m_meter.m_topLabel = "1,0%";
        m_meter.m_middleLabel = "0,5%";
        m_meter.m_bottomLabel = "0%";
        m_table.RefreshTable();
        m_meter.ResetBaseline(*m_table.SelectedRow());
    }

    // One tick after the interface counted these bytes.
    void Tick(DWORD in, DWORD out = 0) {
        FakeIpHelper::rows[0].dwInOctets += in;
        FakeIpHelper::rows[0].dwOutOctets += out;
        m_meter.OnMeterTick();
    }
    // One tick whose value is the given step.
    void TickAt(int step) { Tick(RateInStep(step) * kDivisor); }

    void ExpectScale(int peak, const char* top, const char* middle) {
        EXPECT_EQ(m_meter.m_peak, peak);
        EXPECT_EQ(m_meter.m_topLabel, top);
        EXPECT_EQ(m_meter.m_middleLabel, middle);
        EXPECT_EQ(m_meter.m_bottomLabel, "0%");
        ASSERT_FALSE(m_histogram.ranges.empty());
        EXPECT_EQ(m_histogram.ranges.back(), std::pair(1, peak));
    }

    FakeAdapterList m_list;
    FakeConsole m_console;
    FakeHistogram m_histogram;
    FakePicture m_picture;
    CTrafficMeter m_meter;
    CInterfaceTable m_table;
};

TEST(StepUtilisation, FallsInTheFirstStepAboveTheRate) {
    const struct {
        int rate;
        int step;
    } cases[] = {{INT_MIN, 10}, {-1, 10},    {0, 10},      {1, 10},        {9, 10},    {10, 50},
                 {49, 50},      {50, 100},   {99, 100},    {100, 250},     {249, 250}, {250, 500},
                 {499, 500},    {500, 1000}, {1024, 1000}, {INT_MAX, 1000}};
    for (const auto& c : cases) {
        EXPECT_EQ(CTrafficMeter::StepUtilisation(c.rate), c.step) << c.rate;
    }
}

TEST(ResetBaseline, TakesTheCountersAndTheSpeedOverEightThousandOneHundredNinetyTwo) {
    const struct {
        DWORD speed;
        DWORD divisor;
    } cases[] = {{0, 1},
                 {8191, 1},
                 {8192, 1},
                 {16'384, 2},
                 {100'000'000, 12'207},
                 {1'000'000'000, 122'070},
                 {0xFFFFFFFF, 524'287}};
    for (const auto& c : cases) {
        CTrafficMeter meter;
        meter.ResetBaseline(Row("eth0", c.speed, 11, 22));
        EXPECT_EQ(meter.m_divisor, c.divisor) << c.speed;
        EXPECT_EQ(meter.m_lastInOctets, 11u);
        EXPECT_EQ(meter.m_lastOutOctets, 22u);
    }
}

TEST_F(TrafficMeter, RatesAreByteCountsModulo2To32OverTheDivisorAndAtLeastOne) {
    const struct {
        const char* what;
        DWORD speed;
        DWORD lastIn, in;
        DWORD lastOut, out;
        int rateIn, rateOut;
    } cases[] = {
        {"a hundred times the divisor", kSpeed, 0, 100'000, 0, 0, 100, 1},
        {"quotients truncate", kSpeed, 0, 99'999, 0, 1'999, 99, 1},
        {"no bytes either way", kSpeed, 500, 500, 700, 700, 1, 1},
        {"both directions", kSpeed, 10, 50'010, 0, 250'000, 50, 250},
        {"a receive counter that wrapped", kSpeed, 0xFFFFFFFF - 49'999, 50'000, 0, 0, 100, 1},
        {"a send counter that wrapped", kSpeed, 0, 0, 0xFFFFFFFF - 149'999, 100'000, 1, 250},
        {"a counter that was reset", kSpeed, 1000, 0, 0, 0, 4'294'966, 1},
        {"no speed: every byte counts", 0, 0, 5, 0, 512, 5, 512},
        {"no speed and a reset counter", 0, 1000, 0, 0, 0, 1000, 1},
        {"no speed and a count of 2^32 - 1", 0, 1, 0, 0, 0, 1, 1},
        {"no speed and a count of 2^31", 0, 0, 0x80000000, 0, 0, INT_MIN, 1},
        {"full speed", 0xFFFFFFFF, 0, 524'287 * 1024, 0, 0, 1024, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CTrafficMeter meter;
        FakeHistogram histogram;
        meter.Attach(m_table, histogram, m_picture, m_console);
        meter.ResetBaseline(Row("eth0", c.speed, c.lastIn, c.lastOut));
        FakeIpHelper::rows[0].dwInOctets = c.in;
        FakeIpHelper::rows[0].dwOutOctets = c.out;
        meter.OnMeterTick();
        EXPECT_EQ(meter.m_rateIn, c.rateIn);
        EXPECT_EQ(meter.m_rateOut, c.rateOut);
        EXPECT_EQ(meter.m_lastInOctets, c.in);
        EXPECT_EQ(meter.m_lastOutOctets, c.out);
        // The raw rates are drawn, receive first.
        EXPECT_THAT(histogram.samples, ElementsAre(std::pair(static_cast<UINT>(c.rateIn),
                                                             static_cast<UINT>(c.rateOut))));
    }
}

TEST_F(TrafficMeter, TheTickValueIsTheHigherStepOfTheTwoRates) {
    const struct {
        DWORD rateIn, rateOut;
        int value;
    } cases[] = {{0, 0, 10},    {100, 0, 250}, {10, 50, 100},
                 {50, 10, 100}, {9, 499, 500}, {500, 9, 1000}};
    for (const auto& c : cases) {
        CTrafficMeter meter;
        FakeHistogram histogram;
        meter.Attach(m_table, histogram, m_picture, m_console);
        meter.ResetBaseline(FakeIpHelper::rows[0]);
        FakeIpHelper::rows[0].dwInOctets += c.rateIn * kDivisor;
        FakeIpHelper::rows[0].dwOutOctets += c.rateOut * kDivisor;
        meter.OnMeterTick();
        EXPECT_EQ(meter.m_ring[0], c.value) << c.rateIn << " " << c.rateOut;
        EXPECT_EQ(meter.m_peak, c.value);
    }
}

TEST_F(TrafficMeter, TheFirstTickPublishesTheScaleWithPointsAndTheLevelTwoPicture) {
    Tick(0);
    ExpectScale(10, "1.0%", "0.5%");
    EXPECT_EQ(m_meter.m_hold, 110);
    EXPECT_THAT(m_picture.loads, ElementsAre(std::pair(win::WORD{128}, std::string("GIF"))));
    EXPECT_EQ(m_picture.shows, 1);
    EXPECT_EQ(m_meter.m_level, 2);
    EXPECT_THAT(m_console.updates, ElementsAre(false));
    EXPECT_THAT(m_histogram.samples, ElementsAre(std::pair(UINT{1}, UINT{1})));
}

TEST_F(TrafficMeter, EachScaleHasItsLabelsAndPicture) {
    const struct {
        int step;
        const char* top;
        const char* middle;
        int level;
        win::WORD picture;
    } cases[] = {{10, "1.0%", "0.5%", 2, 128},    {50, "5.0%", "2.5%", 3, 178},
                 {100, "10.0%", "5.0%", 4, 179},  {250, "25.0%", "12.5%", 5, 180},
                 {500, "50.0%", "25.0%", 6, 181}, {1000, "100.0%", "50.0%", 6, 181}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        CTrafficMeter meter;
        FakeHistogram histogram;
        FakePicture picture;
        meter.Attach(m_table, histogram, picture, m_console);
        meter.ResetBaseline(FakeIpHelper::rows[0]);
        FakeIpHelper::rows[0].dwInOctets += RateInStep(c.step) * kDivisor;
        meter.OnMeterTick();
        EXPECT_EQ(meter.m_peak, c.step);
        EXPECT_EQ(meter.m_topLabel, c.top);
        EXPECT_EQ(meter.m_middleLabel, c.middle);
        EXPECT_EQ(meter.m_level, c.level);
        EXPECT_THAT(picture.loads, ElementsAre(std::pair(c.picture, std::string("GIF"))));
        EXPECT_THAT(histogram.ranges, ElementsAre(std::pair(1, c.step)));
    }
}

TEST_F(TrafficMeter, ThePictureChangesOnlyWhenTheLevelDoes) {
    const struct {
        int value;
        int level;
        int picture;  // 0: nothing loaded
    } steps[] = {{5, 1, 0},      {10, 2, 128}, {49, 2, 0},      {50, 3, 178}, {99, 3, 0},
                 {100, 4, 179},  {249, 4, 0},  {250, 5, 180},   {499, 5, 0},  {500, 6, 181},
                 {100000, 6, 0}, {0, 1, 176},  {INT_MIN, 1, 0}, {10, 2, 128}};
    CTrafficMeter meter;
    FakePicture picture;
    FakeHistogram histogram;
    meter.Attach(m_table, histogram, picture, m_console);
    for (const auto& s : steps) {
        SCOPED_TRACE(s.value);
        const auto loadsBefore = picture.loads.size();
        meter.ShowLevelPicture(s.value);
        EXPECT_EQ(meter.m_level, s.level);
        if (s.picture == 0) {
            EXPECT_EQ(picture.loads.size(), loadsBefore);
        } else {
            ASSERT_EQ(picture.loads.size(), loadsBefore + 1);
            EXPECT_EQ(picture.loads.back(),
                      std::pair(static_cast<win::WORD>(s.picture), std::string("GIF")));
        }
        EXPECT_EQ(picture.shows, static_cast<int>(picture.loads.size()));
    }
}

TEST_F(TrafficMeter, ABurstHoldsTheScaleUntilItsSlotIsWrittenAgain) {
    for (int i = 0; i < 5; ++i) {
        TickAt(10);
    }
    TickAt(500);  // tick t
    ExpectScale(500, "50.0%", "25.0%");
    EXPECT_EQ(m_meter.m_hold, 110);
    const auto updates = m_console.updates.size();
    const auto ranges = m_histogram.ranges.size();

    for (int tick = 1; tick <= 110; ++tick) {
        TickAt(10);
        ASSERT_EQ(m_meter.m_peak, 500) << "tick t + " << tick;
    }
    EXPECT_EQ(m_meter.m_hold, 0);
    EXPECT_EQ(m_meter.m_topLabel, "50.0%");
    EXPECT_EQ(m_console.updates.size(), updates);
    EXPECT_EQ(m_histogram.ranges.size(), ranges);

    TickAt(10);  // tick t + 111
    ExpectScale(10, "1.0%", "0.5%");
    EXPECT_EQ(m_picture.loads.back().first, 128);
    // Every slot now holds 10: the last slot wins, and the hold counts to it from slot 6,
    // the one this 117th tick wrote.
    EXPECT_EQ(m_meter.m_hold, 109 - 6);
    EXPECT_EQ(m_console.updates.size(), updates + 1);
    EXPECT_EQ(m_histogram.samples.size(), 117u);
}

TEST_F(TrafficMeter, AmongEqualHighestValuesTheHigherSlotIsTakenWhateverWasWrittenLast) {
    const struct {
        const char* what;
        int burstTick;
        std::vector<int> ticksAt250;
        int searchTick;
        int hold;                // after the search: ticks until the chosen slot is written again
        int nextPeak, nextHold;  // after the search that follows
    } cases[] = {
        // Slots 19 and 59; the search runs at tick 112, which writes slot 1. The next one, at
        // tick 171 (slot 60), finds only 10s and takes slot 109.
        {"the later slot written last", 1, {20, 60}, 112, 58, 10, 49},
        // Slots 100 and, after the wrap, 5; the search runs at tick 121, which writes slot 10.
        // The next one, at tick 212 (slot 101), finds slot 5 still holding 250.
        {"the later slot written first", 10, {101, 116}, 121, 90, 250, 14},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CTrafficMeter meter;
        FakeHistogram histogram;
        meter.Attach(m_table, histogram, m_picture, m_console);
        meter.ResetBaseline(FakeIpHelper::rows[0]);
        for (int tick = 1; tick <= c.searchTick; ++tick) {
            const bool at250 =
                std::find(c.ticksAt250.begin(), c.ticksAt250.end(), tick) != c.ticksAt250.end();
            const int step = tick == c.burstTick ? 1000 : at250 ? 250 : 10;
            FakeIpHelper::rows[0].dwInOctets += RateInStep(step) * kDivisor;
            meter.OnMeterTick();
            if (tick < c.searchTick) {
                ASSERT_EQ(meter.m_peak, tick < c.burstTick ? 10 : 1000) << tick;
            }
        }
        EXPECT_EQ(meter.m_peak, 250);
        EXPECT_EQ(meter.m_hold, c.hold);
        EXPECT_EQ(meter.m_topLabel, "25.0%");
        EXPECT_EQ(meter.m_middleLabel, "12.5%");

        // The scale stays until the chosen slot is written again; the tick after that searches.
        for (int tick = 1; tick <= c.hold; ++tick) {
            meter.OnMeterTick();
            ASSERT_EQ(meter.m_peak, 250) << tick;
        }
        EXPECT_EQ(meter.m_hold, 0);
        meter.OnMeterTick();
        EXPECT_EQ(meter.m_peak, c.nextPeak);
        EXPECT_EQ(meter.m_hold, c.nextHold);
    }
}

TEST_F(TrafficMeter, TheRingIndexReads110UntilTheNextTickWritesSlotZero) {
    for (int i = 0; i < 110; ++i) {
        TickAt(10);
    }
    EXPECT_EQ(m_meter.m_ringIndex, 110);
    EXPECT_EQ(m_meter.m_ring[109], 10);
    TickAt(250);
    EXPECT_EQ(m_meter.m_ringIndex, 1);
    EXPECT_EQ(m_meter.m_ring[0], 250);
    EXPECT_EQ(m_meter.m_ring[1], 10);
}

// A decimal comma in the C++ global locale and, when the machine has such a locale, in the C
// locale; both are put back when it goes.
class CommaLocales {
public:
    CommaLocales()
        : m_previous(std::locale::global(std::locale(std::locale::classic(), new Comma))),
          m_previousC(std::setlocale(LC_ALL, nullptr)) {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE",
                                 "fr_FR", "nl_NL.UTF-8", "ru_RU.UTF-8"}) {
            if (std::setlocale(LC_ALL, name) != nullptr &&
                std::string(std::localeconv()->decimal_point) == ",") {
                m_cHasComma = true;
                return;
            }
        }
        std::setlocale(LC_ALL, "C.UTF-8");
    }
    ~CommaLocales() {
        std::setlocale(LC_ALL, m_previousC.c_str());
        std::locale::global(m_previous);
    }
    bool CHasComma() const { return m_cHasComma; }

private:
    struct Comma : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    std::locale m_previous;
    std::string m_previousC;
    bool m_cHasComma = false;
};

TEST_F(TrafficMeter, LabelsUseAPointWhateverTheLocale) {
    const CommaLocales locales;
    std::ostringstream probe;
    probe << 0.5;
    ASSERT_EQ(probe.str(), "0,5");
    if (!locales.CHasComma()) {
        std::cout << "[          ] no C locale with a decimal comma on this machine\n";
    }

    TickAt(10);
    ExpectScale(10, "1.0%", "0.5%");
    TickAt(250);
    ExpectScale(250, "25.0%", "12.5%");
    TickAt(1000);
    ExpectScale(1000, "100.0%", "50.0%");
}

TEST_F(TrafficMeter, NoTickIsTakenWhileThereIsNoRowForTheChoice) {
    const struct {
        const char* what;
        std::vector<MIB_IFROW> rows;
        DWORD sizeQueryFailure;
        int selected;
    } cases[] = {
        {"no table", {Row("eth0", kSpeed)}, 50, 0},
        {"an empty list", {Row("Loopback", kSpeed), Row("WAN Miniport", kSpeed)}, 0, 0},
        {"a choice beyond the list", {Row("eth0", kSpeed)}, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeIpHelper::Install();
        FakeIpHelper::rows = c.rows;
        FakeIpHelper::sizeQueryFailure = c.sizeQueryFailure;
        FakeAdapterList list;
        FakeConsole console;
        FakeHistogram histogram;
        FakePicture picture;
        CInterfaceTable table;
        CTrafficMeter meter;
        table.Attach(list, console, meter);
        meter.Attach(table, histogram, picture, console);
        table.m_selected = c.selected;
        ASSERT_TRUE(table.LoadInterfaceList());
        for (int i = 0; i < 3; ++i) {
            meter.OnMeterTick();
        }
        EXPECT_THAT(histogram.samples, IsEmpty());
        EXPECT_THAT(histogram.ranges, IsEmpty());
        EXPECT_THAT(picture.loads, IsEmpty());
        EXPECT_THAT(console.updates, IsEmpty());
        EXPECT_EQ(meter.m_ringIndex, 0);
        EXPECT_EQ(meter.m_divisor, 0u);
    }
}

TEST_F(TrafficMeter, ARowThatDisappearsPausesTheMeterAndItsReturnCountsTheWholePause) {
    TickAt(10);
    auto rows = FakeIpHelper::rows;
    FakeIpHelper::rows.clear();
    m_meter.OnMeterTick();
    m_meter.OnMeterTick();
    EXPECT_EQ(m_histogram.samples.size(), 1u);
    EXPECT_EQ(m_meter.m_ringIndex, 1);

    rows[0].dwInOctets += 60 * kDivisor;  // counted while the row was missing
    FakeIpHelper::rows = rows;
    Tick(40 * kDivisor);
    EXPECT_EQ(m_meter.m_rateIn, 100);
    EXPECT_EQ(m_meter.m_ringIndex, 2);
}

TEST_F(TrafficMeter, WithoutABaselineTheFirstRowOnlyBecomesTheBaseline) {
    CTrafficMeter meter;
    FakeHistogram histogram;
    meter.Attach(m_table, histogram, m_picture, m_console);
    meter.OnMeterTick();
    EXPECT_THAT(histogram.samples, IsEmpty());
    EXPECT_EQ(meter.m_divisor, kDivisor);
    EXPECT_EQ(meter.m_lastInOctets, FakeIpHelper::rows[0].dwInOctets);

    FakeIpHelper::rows[0].dwInOctets += 70 * kDivisor;
    meter.OnMeterTick();
    EXPECT_THAT(histogram.samples, ElementsAre(std::pair(UINT{70}, UINT{1})));
    EXPECT_EQ(meter.m_peak, 100);
}

}  // namespace
