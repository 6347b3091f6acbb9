#include "controls/rasterops.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QRect>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

namespace {

__extension__ using Wide = __int128;

constexpr QRgb kBlack = 0xff000000;
constexpr QRgb kInk = 0xffffffff;

using Pixels = std::set<std::pair<int, int>>;  // (x, y)

QImage Blank(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kBlack);
    return image;
}

Pixels Lit(const QImage& image) {
    Pixels lit;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == kInk) {
                lit.insert({x, y});
            }
        }
    }
    return lit;
}

Wide FloorDiv(Wide a, Wide b) {
    Wide q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

// The pixels of a line under the diamond rule, found the plain way: one pixel per step of the
// longer axis, the end point excluded; across it the pixel nearest the ideal line, a tie going
// to the smaller coordinate. Only steps whose major coordinate lies in [lo, hi) are listed.
Pixels Oracle(int x0, int y0, int x1, int y1, const QRect& box) {
    const Wide dx = Wide{x1} - x0;
    const Wide dy = Wide{y1} - y0;
    const bool steep = (dy < 0 ? -dy : dy) > (dx < 0 ? -dx : dx);
    const Wide major0 = steep ? y0 : x0;
    const Wide minor0 = steep ? x0 : y0;
    const Wide majorDelta = steep ? dy : dx;
    const Wide minorDelta = steep ? dx : dy;
    const Wide n = majorDelta < 0 ? -majorDelta : majorDelta;
    const Wide dir = majorDelta < 0 ? -1 : 1;
    const Wide lo = steep ? box.top() : box.left();
    const Wide hi = lo + (steep ? box.height() : box.width());
    Pixels lit;
    for (Wide major = lo; major < hi; ++major) {
        const Wide i = (major - major0) * dir;
        if (i < 0 || i >= n) {
            continue;
        }
        // The ideal minor coordinate is exact / n.
        const Wide exact = minor0 * n + i * minorDelta;
        const Wide below = FloorDiv(exact, n);
        const Wide distBelow = exact - below * n;
        const Wide distAbove = (below + 1) * n - exact;
        const Wide minor = distAbove < distBelow ? below + 1 : below;
        const int px = static_cast<int>(steep ? minor : major);
        const int py = static_cast<int>(steep ? major : minor);
        if (box.contains(px, py)) {
            lit.insert({px, py});
        }
    }
    return lit;
}

TEST(RasterLine, FollowsTheDiamondRuleForEveryShortLine) {
    // Every line between points of a 12 x 12 block around a 6 x 6 surface, whole and clipped.
    const QRect clips[] = {QRect(0, 0, 6, 6), QRect(1, 2, 3, 2), QRect(4, 0, 1, 6)};
    for (int x0 = -3; x0 < 9; ++x0) {
        for (int y0 = -3; y0 < 9; ++y0) {
            for (int x1 = -3; x1 < 9; ++x1) {
                for (int y1 = -3; y1 < 9; ++y1) {
                    for (const QRect& clip : clips) {
                        QImage image = Blank(6, 6);
                        raster::DrawLine(image, x0, y0, x1, y1, kInk, clip);
                        ASSERT_EQ(Lit(image), Oracle(x0, y0, x1, y1, clip))
                            << "(" << x0 << "," << y0 << ")-(" << x1 << "," << y1 << ") clip "
                            << clip.x() << "," << clip.y() << " " << clip.width() << "x"
                            << clip.height();
                    }
                }
            }
        }
    }
}

TEST(RasterLine, LightsTheStartAndBreaksTiesUpwardAndLeftward) {
    struct Case {
        int x0, y0, x1, y1;
        Pixels lit;
    };
    const Case cases[] = {
        {1, 1, 4, 1, {{1, 1}, {2, 1}, {3, 1}}},  // horizontal, end excluded
        {2, 0, 2, 3, {{2, 0}, {2, 1}, {2, 2}}},  // vertical, end excluded
        {3, 3, 3, 3, {}},                        // a line to its own start is empty
        {0, 0, 2, 1, {{0, 0}, {1, 0}}},          // tie at x = 1: the upper pixel
        {2, 1, 0, 0, {{2, 1}, {1, 0}}},          // the same tie drawn backwards: still upper
        {0, 0, 1, 2, {{0, 0}, {0, 1}}},          // tie at y = 1: the left pixel
        {1, 2, 0, 0, {{1, 2}, {0, 1}}},          // backwards: still left
        {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},  // diagonal
        {0, 4, 3, 0, {{0, 4}, {1, 3}, {1, 2}, {2, 1}}},
    };
    for (const Case& c : cases) {
        QImage image = Blank(6, 6);
        raster::DrawLine(image, c.x0, c.y0, c.x1, c.y1, kInk);
        EXPECT_EQ(Lit(image), c.lit)
            << "(" << c.x0 << "," << c.y0 << ")-(" << c.x1 << "," << c.y1 << ")";
    }
}

TEST(RasterLine, FarAwayEndsLightTheSamePixelsAsTheWholeLine) {
    // Values far above a graph's range put line ends billions of pixels away.
    struct Case {
        int x0, y0, x1, y1;
    };
    const Case cases[] = {
        {2, 3, 5, -2000000000},           {5, -2000000000, 2, 3},
        {1, 2147483647, 4, -2147483647},  {-2147483647, 3, 2147483647, 5},
        {2147483647, -7, -2147483647, 9}, {-2147483647, -2147483647, 2147483647, 2147483647},
        {-1000000000, 7, 1000000000, -7},
    };
    for (const Case& c : cases) {
        QImage image = Blank(8, 8);
        raster::DrawLine(image, c.x0, c.y0, c.x1, c.y1, kInk);
        EXPECT_EQ(Lit(image), Oracle(c.x0, c.y0, c.x1, c.y1, image.rect()))
            << "(" << c.x0 << "," << c.y0 << ")-(" << c.x1 << "," << c.y1 << ")";
    }
    // A steep line that ends far above: one pixel in every row from its start to the top.
    QImage image = Blank(8, 8);
    raster::DrawLine(image, 2, 5, 5, -2000000000, kInk);
    const Pixels lit = Lit(image);
    EXPECT_EQ(lit.size(), 6u);
    EXPECT_EQ(lit.count({2, 5}), 1u);
}

TEST(RasterFill, CoversLeftAndTopEdgesButNotRightAndBottom) {
    struct Case {
        int left, top, right, bottom;
        Pixels lit;
    };
    const Case cases[] = {
        {1, 1, 3, 2, {{1, 1}, {2, 1}}},
        {-5, -5, 1, 1, {{0, 0}}},
        {3, 3, 3, 5, {}},
        {2, 2, 1, 4, {}},
        {3, 2, 100, 3, {{3, 2}}},
    };
    for (const Case& c : cases) {
        QImage image = Blank(4, 4);
        raster::FillRect(image, c.left, c.top, c.right, c.bottom, kInk);
        EXPECT_EQ(Lit(image), c.lit) << c.left << "," << c.top << "," << c.right << "," << c.bottom;
    }
}

TEST(RasterScroll, MovesLeftAndFillsTheRightStrip) {
    QImage image(5, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 5; ++x) {
            image.setPixel(x, y, qRgb(x, y, 7));
        }
    }
    raster::ScrollLeft(image, 3, kBlack);
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(image.pixel(0, y), qRgb(3, y, 7));
        EXPECT_EQ(image.pixel(1, y), qRgb(4, y, 7));
        for (int x = 2; x < 5; ++x) {
            EXPECT_EQ(image.pixel(x, y), kBlack);
        }
    }
    raster::ScrollLeft(image, 9, kInk);
    EXPECT_EQ(Lit(image).size(), 10u);
}

}  // namespace
