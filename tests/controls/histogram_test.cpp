#include "controls/histogramctrl.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QTimerEvent>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "qtapp.h"
#include "tests/controls/histogram_reference.h"

namespace {

constexpr QRgb kBackground = qRgb(0, 0, 0);
constexpr QRgb kGrid = qRgb(0, 130, 66);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kRed = qRgb(255, 0, 0);

using Pixels = std::set<std::pair<int, int>>;  // (x, y)

Pixels PixelsOf(const QImage& image, QRgb color) {
    Pixels found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == color) {
                found.insert({x, y});
            }
        }
    }
    return found;
}

Pixels Row(int y, int fromX, int toX) {  // toX included
    Pixels row;
    for (int x = fromX; x <= toX; ++x) {
        row.insert({x, y});
    }
    return row;
}

::testing::AssertionResult SamePixels(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << "size " << actual.width() << "x" << actual.height() << ", expected "
               << expected.width() << "x" << expected.height();
    }
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    int differing = 0;
    int firstX = -1;
    int firstY = -1;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            if (actual.pixel(x, y) != expected.pixel(x, y)) {
                if (differing++ == 0) {
                    firstX = x;
                    firstY = y;
                }
            }
        }
    }
    if (differing == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << differing << " pixels differ, the first at (" << firstX << ", " << firstY
           << "): " << std::hex << actual.pixel(firstX, firstY) << " instead of "
           << expected.pixel(firstX, firstY);
}

// A control whose client area is width x height, its timer stopped so that only the test ticks.
class Histogram : public ::testing::Test {
protected:
    static constexpr int kWidth = 360;
    static constexpr int kHeight = 60;

    void SetUp() override {
        ASSERT_TRUE(m_ctrl.Create(QRect(0, 0, kWidth + 4, kHeight + 4), &m_parent, 1000));
        m_ctrl.SetSpeed(0);
        m_ctrl.SetRange(1, 10);
    }
    void Tick(win::UINT in, win::UINT out = 0) {
        m_ctrl.AddSample(in, out);
        m_ctrl.DrawStep();
    }
    Pixels Green() const { return PixelsOf(m_ctrl.Surface(), kGreen); }

    QWidget m_parent;
    CHistogramCtrl m_ctrl;
};

TEST_F(Histogram, CreateMakesAFindableChildWithASurfaceInsideItsEdge) {
    QWidget parent;
    CHistogramCtrl ctrl;
    ASSERT_TRUE(ctrl.Create(QRect(38, 149, 343, 72), &parent, 1000));
    EXPECT_EQ(ctrl.parentWidget(), &parent);
    EXPECT_EQ(ctrl.geometry(), QRect(38, 149, 343, 72));
    EXPECT_EQ(ctrl.property("ctrlId").toInt(), 1000);
    EXPECT_EQ(ctrl.property("ctrlId").typeId(), QMetaType::Int);
    EXPECT_FALSE(ctrl.isHidden());
    EXPECT_EQ(ctrl.focusPolicy(), Qt::TabFocus);
    EXPECT_EQ(ctrl.Surface().size(), QSize(339, 68));

    // Background with the full grid: lines on every column and row 13k - 1.
    const QImage& surface = ctrl.Surface();
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            const bool grid = x % 13 == 12 || y % 13 == 12;
            ASSERT_EQ(surface.pixel(x, y), grid ? kGrid : kBackground) << x << "," << y;
        }
    }

    EXPECT_FALSE(ctrl.Create(QRect(0, 0, 100, 50), &parent, 1000)) << "created twice";
}

TEST_F(Histogram, WithoutASurfaceNothingIsDrawn) {
    QWidget parent;
    CHistogramCtrl never;
    never.AddSample(5, 5);
    never.DrawStep();
    never.Rebuild();
    EXPECT_EQ(never.HistoryCount(), 0);
    EXPECT_TRUE(never.Surface().isNull());

    CHistogramCtrl noClientArea;
    EXPECT_FALSE(noClientArea.Create(QRect(0, 0, 4, 30), &parent, 1000));
    noClientArea.AddSample(5, 5);
    noClientArea.DrawStep();
    EXPECT_EQ(noClientArea.HistoryCount(), 0);
}

TEST_F(Histogram, PaintingCopiesTheSurfaceIntoTheClientArea) {
    m_parent.resize(400, 100);
    m_parent.show();
    Tick(5, 3);
    const QImage shown = m_ctrl.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(kWidth + 4, kHeight + 4));
    EXPECT_TRUE(SamePixels(shown.copy(2, 2, kWidth, kHeight), m_ctrl.Surface()));
}

// A first tick: the oldest point is drawn twice, then once more as the newest, each 3 pixels
// wide and flat; the newest ends before x = right - 11.
TEST_F(Histogram, AFirstPointIsDrawnFlatAtItsHeight) {
    struct Case {
        const char* what;
        std::vector<win::UINT> queued;
        int row;  // -1: nothing visible
    };
    const Case cases[] = {
        {"half the range at half the height", {5}, kHeight - kHeight * 5 / 10},
        {"the top of the range on the top row", {10}, 0},
        {"the bottom of the range", {1}, kHeight - kHeight / 10},
        {"two values average to their truncated mean", {3, 4}, kHeight - kHeight * 3 / 10},
        {"above the range, out of sight", {20}, -1},
        {"0 has no point yet", {0}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CHistogramCtrl ctrl;
        ASSERT_TRUE(ctrl.Create(QRect(0, 0, kWidth + 4, kHeight + 4), &m_parent, 1000));
        ctrl.SetSpeed(0);
        ctrl.SetRange(1, 10);
        for (const win::UINT v : c.queued) {
            ctrl.AddSample(v, 0);
        }
        ctrl.DrawStep();
        const Pixels expected = c.row < 0 ? Pixels{} : Row(c.row, kWidth - 20, kWidth - 12);
        EXPECT_EQ(PixelsOf(ctrl.Surface(), kGreen), expected);
        EXPECT_TRUE(PixelsOf(ctrl.Surface(), kRed).empty()) << "the send line had only 0";
    }
}

TEST_F(Histogram, TheSendLineIsDrawnOverTheReceiveLine) {
    m_ctrl.SetRange(-5, 5);  // 0 is 6 above the bottom of a range of 11
    Tick(0, 0);
    const int row = kHeight - kHeight * 6 / 11;
    EXPECT_EQ(PixelsOf(m_ctrl.Surface(), kRed), Row(row, kWidth - 20, kWidth - 12));
    EXPECT_TRUE(Green().empty());
}

TEST_F(Histogram, ATickWithNothingQueuedKeepsTheLineAtItsHeight) {
    Tick(5);
    m_ctrl.DrawStep();
    EXPECT_EQ(m_ctrl.HistoryCount(), 2);
    EXPECT_EQ(Green(), Row(30, kWidth - 23, kWidth - 12));
}

TEST_F(Histogram, ARisingPointIsASteepSegmentWithOnePixelPerRow) {
    Tick(1);   // y = 54
    Tick(10);  // y = 0
    const Pixels green = Green();
    for (int y = 1; y < 54; ++y) {
        int inRow = 0;
        for (const auto& [x, py] : green) {
            if (py == y) {
                ++inRow;
                EXPECT_GE(x, kWidth - 17);
                EXPECT_LE(x, kWidth - 14);
            }
        }
        EXPECT_EQ(inRow, 1) << "row " << y;
    }
    // The newest point, flat on the top row, stops short of right - 11.
    EXPECT_EQ(green.count({kWidth - 12, 0}), 1u);
    EXPECT_EQ(green.count({kWidth - 11, 0}), 0u);
}

TEST_F(Histogram, AValueAboveTheRangeIsCutAtTheTop) {
    Tick(5);   // y = 30
    Tick(20);  // y = -60
    const Pixels green = Green();
    for (int y = 0; y < 30; ++y) {
        int inRow = 0;
        for (const auto& [x, py] : green) {
            inRow += py == y && x >= kWidth - 17 && x <= kWidth - 14;
        }
        EXPECT_EQ(inRow, 1) << "row " << y;
    }
    for (const auto& [x, y] : green) {
        EXPECT_LT(x, kWidth - 13) << "the newest point lies above the top";
    }
}

TEST_F(Histogram, AFullHistorySpansThreePixelsPerPoint) {
    Tick(10);  // the oldest point, on the top row
    for (int i = 1; i < 110; ++i) {
        Tick(1);
    }
    ASSERT_EQ(m_ctrl.HistoryCount(), 110);
    // The oldest point is drawn twice from x = right - 347; its second segment ends 330 pixels
    // left of the newest point's end, right - 11, where the next point's segment starts.
    Pixels top;
    for (const auto& pixel : Green()) {
        if (pixel.second == 0) {
            top.insert(pixel);
        }
    }
    EXPECT_EQ(top, Row(0, kWidth - 347, kWidth - 341));
    EXPECT_EQ(Green().count({kWidth - 12, 54}), 1u);
    EXPECT_EQ(Green().count({kWidth - 11, 54}), 0u);

    // The 111th tick drops the oldest point.
    Tick(1);
    EXPECT_EQ(m_ctrl.HistoryCount(), 110);
    for (const auto& [x, y] : Green()) {
        EXPECT_NE(y, 0) << "at x = " << x;
    }
}

TEST_F(Histogram, ANewRangeRescalesTheWholeHistoryAtTheNextTick) {
    for (int i = 0; i < 20; ++i) {
        Tick(5);
    }
    const QImage before = m_ctrl.Surface().copy();
    ASSERT_FALSE(Green().empty());
    for (const auto& pixel : Green()) {
        ASSERT_EQ(pixel.second, 30);
    }
    m_ctrl.SetRange(1, 20);
    EXPECT_TRUE(SamePixels(m_ctrl.Surface(), before)) << "redrawn before the tick";
    Tick(5);
    ASSERT_FALSE(Green().empty());
    for (const auto& pixel : Green()) {
        EXPECT_EQ(pixel.second, kHeight - kHeight * 5 / 20);
    }
}

TEST_F(Histogram, AnEmptyRangeHidesTheLinesUntilARangeReturns) {
    Tick(5);
    m_ctrl.SetRange(5, 4);  // no values at all: no point has a height
    Tick(7);                // queued as 3
    EXPECT_TRUE(Green().empty());
    m_ctrl.SetRange(1, 10);
    m_ctrl.DrawStep();  // the history is 5, 3, 0
    EXPECT_EQ(Green().count({kWidth - 26, 30}), 1u);
    EXPECT_EQ(Green().count({kWidth - 12, 42}), 1u);
}

TEST_F(Histogram, TheTimerTicksFromCreationAndSetSpeedRestartsOrStopsIt) {
    CHistogramCtrl ctrl;
    EXPECT_EQ(ctrl.SetSpeed(0), 0u) << "stopped after construction";
    ASSERT_TRUE(ctrl.Create(QRect(0, 0, 100, 50), &m_parent, 1000));
    EXPECT_TRUE(ctrl.IsTimerRunning());
    EXPECT_EQ(ctrl.SetSpeed(1000), 500u);
    EXPECT_TRUE(ctrl.IsTimerRunning());
    EXPECT_EQ(ctrl.SetSpeed(0), 1000u);
    EXPECT_FALSE(ctrl.IsTimerRunning());

    // Stopped, it keeps queueing; the first tick afterwards averages everything into one point.
    ctrl.SetRange(1, 10);
    ctrl.AddSample(2, 0);
    ctrl.AddSample(4, 0);
    ctrl.AddSample(6, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(ctrl.HistoryCount(), 0);
    EXPECT_EQ(ctrl.SetSpeed(1000), 0u);
    QTimerEvent tick(12345);  // any timer's event runs a tick
    QCoreApplication::sendEvent(&ctrl, &tick);
    EXPECT_EQ(ctrl.HistoryCount(), 1);
    const int row = 46 - 46 * 4 / 10;
    EXPECT_EQ(PixelsOf(ctrl.Surface(), kGreen), Row(row, 96 - 20, 96 - 12));

    // The real timer ticks.
    ctrl.SetSpeed(1);
    const QDeadlineTimer deadline(30000);
    while (ctrl.HistoryCount() < 3 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_GE(ctrl.HistoryCount(), 3);
}

// Long runs against the reference: after every tick and every rebuild the control must show
// exactly the pixels of the step-by-step drawing.
struct TickRun {
    const char* name;
    int width;
    int height;
    int ticks;
    unsigned seed;
    int zeroPercent;     // samples of 0
    int abovePercent;    // samples above the range (cut at the top)
    int hugePercent;     // samples anywhere in 32 bits
    int rangePercent;    // ticks preceded by a new range
    int rebuildPercent;  // ticks followed by a separate rebuild
};

class AgainstReference : public ::testing::TestWithParam<TickRun> {};

TEST_P(AgainstReference, EveryTickShowsTheRebuiltPicture) {
    const TickRun& run = GetParam();
    QWidget parent;
    CHistogramCtrl ctrl;
    ASSERT_TRUE(ctrl.Create(QRect(5, 7, run.width + 4, run.height + 4), &parent, 1000));
    ctrl.SetSpeed(0);
    ReferenceHistogram reference(run.width, run.height);
    ASSERT_TRUE(SamePixels(ctrl.Surface(), reference.Surface())) << "after creation";

    std::mt19937 random(run.seed);
    const auto percent = [&](int p) {
        return std::uniform_int_distribution<int>(0, 99)(random) < p;
    };
    int lower = 1;
    int upper = 10;
    const auto setRange = [&](int newLower, int newUpper) {
        lower = newLower;
        upper = newUpper;
        ctrl.SetRange(lower, upper);
        reference.SetRange(lower, upper);
    };
    setRange(1, 10);
    const auto sample = [&]() -> win::UINT {
        const int span = upper - lower + 1;
        if (percent(run.zeroPercent)) {
            return 0;
        }
        if (percent(run.hugePercent)) {
            return static_cast<win::UINT>(random());
        }
        const int top = percent(run.abovePercent) ? 3 * span : span;
        return static_cast<win::UINT>(
            lower + std::uniform_int_distribution<int>(0, std::max(top - 1, 0))(random));
    };

    for (int tick = 1; tick <= run.ticks; ++tick) {
        if (percent(run.rangePercent)) {
            switch (std::uniform_int_distribution<int>(0, 5)(random)) {
                case 0:
                    setRange(1, 1 + std::uniform_int_distribution<int>(0, 2000)(random));
                    break;
                case 1:
                    setRange(-50, 50);
                    break;
                case 2:
                    setRange(5, 4);
                    break;  // no values at all
                case 3:
                    setRange(1, 1);
                    break;
                case 4:
                    setRange(100, 20);
                    break;  // upside down: a range of 2^32 - 79
                default:
                    setRange(1, 10);
                    break;
            }
        }
        const int queued = std::uniform_int_distribution<int>(0, 3)(random);
        for (int i = 0; i < queued; ++i) {
            const win::UINT in = sample();
            const win::UINT out = sample();
            ctrl.AddSample(in, out);
            reference.AddSample(in, out);
        }
        if (tick % 7 == 0) {
            QTimerEvent event(1);
            QCoreApplication::sendEvent(&ctrl, &event);
        } else {
            ctrl.DrawStep();
        }
        reference.DrawStep();
        ASSERT_EQ(ctrl.HistoryCount(), reference.HistoryCount()) << "tick " << tick;
        ASSERT_TRUE(SamePixels(ctrl.Surface(), reference.Surface())) << "tick " << tick;
        if (percent(run.rebuildPercent)) {
            ctrl.Rebuild();
            reference.Rebuild();
            ASSERT_TRUE(SamePixels(ctrl.Surface(), reference.Surface()))
                << "rebuild after tick " << tick;
        }
    }
}

const TickRun kRuns[] = {
    // name, width, height, ticks, seed, zero%, above%, huge%, range%, rebuild%
    {"ConsoleSize", 339, 68, 400, 1, 10, 10, 2, 2, 2},
    {"WiderThanTheHistory", 400, 60, 300, 2, 20, 10, 2, 3, 3},
    {"MostlyZero", 360, 40, 300, 3, 85, 5, 0, 1, 1},
    {"MostlyAbove", 200, 50, 250, 4, 5, 70, 10, 2, 2},
    {"HugeValues", 150, 30, 250, 5, 5, 5, 60, 5, 2},
    {"RangeChanges", 120, 45, 250, 6, 10, 20, 5, 40, 5},
    {"Narrow13", 13, 40, 200, 7, 10, 10, 5, 5, 5},
    {"Narrow14", 14, 40, 200, 8, 10, 10, 5, 5, 5},
    {"Narrow12", 12, 20, 200, 9, 10, 10, 5, 5, 5},
    {"Narrow5", 5, 20, 200, 10, 10, 10, 5, 5, 5},
    {"OnePixel", 1, 1, 150, 11, 10, 10, 5, 5, 5},
    {"Flat", 500, 7, 250, 12, 10, 10, 5, 5, 5},
    {"Tall", 40, 600, 200, 13, 10, 10, 5, 5, 5},
};

INSTANTIATE_TEST_SUITE_P(Histogram, AgainstReference, ::testing::ValuesIn(kRuns),
                         [](const ::testing::TestParamInfo<TickRun>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
