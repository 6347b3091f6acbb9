#include "controls/rasterops.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace raster {
namespace {

QRgb* Row(uchar* bits, qsizetype bytesPerLine, std::int64_t y) {
    return reinterpret_cast<QRgb*>(bits + static_cast<qsizetype>(y) * bytesPerLine);
}

int Sign(std::int64_t v) {
    return (v > 0) - (v < 0);
}

}  // namespace

void FillRect(QImage& surface, int left, int top, int right, int bottom, QRgb color) {
    const int x0 = std::max(left, 0);
    const int x1 = std::min(right, surface.width());
    const int y0 = std::max(top, 0);
    const int y1 = std::min(bottom, surface.height());
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    uchar* bits = surface.bits();
    const qsizetype bytesPerLine = surface.bytesPerLine();
    for (int y = y0; y < y1; ++y) {
        QRgb* row = Row(bits, bytesPerLine, y);
        std::fill(row + x0, row + x1, color);
    }
}

void DrawLine(const PixelView& view, int x0, int y0, int x1, int y1, QRgb color, Clip clip) {
    clip.left = std::max(clip.left, 0);
    clip.top = std::max(clip.top, 0);
    clip.right = std::min(clip.right, view.width);
    clip.bottom = std::min(clip.bottom, view.height);
    if (clip.left >= clip.right || clip.top >= clip.bottom) {
        return;
    }
    const std::int64_t dx = std::int64_t{x1} - x0;
    const std::int64_t dy = std::int64_t{y1} - y0;
    const bool steep = (dy < 0 ? -dy : dy) > (dx < 0 ? -dx : dx);

    // The major axis advances one pixel per step; the end point is not a step.
    const std::int64_t majorStart = steep ? y0 : x0;
    const std::int64_t majorDelta = steep ? dy : dx;
    const std::int64_t minorStart = steep ? x0 : y0;
    const std::int64_t minorDelta = steep ? dx : dy;
    const std::int64_t steps = majorDelta < 0 ? -majorDelta : majorDelta;
    if (steps == 0) {
        return;
    }
    const int majorDir = Sign(majorDelta);
    const int minorDir = Sign(minorDelta);
    const std::int64_t majorLo = steep ? clip.top : clip.left;
    const std::int64_t majorHi = steep ? clip.bottom : clip.right;
    const std::int64_t minorLo = steep ? clip.left : clip.top;
    const std::int64_t minorHi = steep ? clip.right : clip.bottom;

    // The steps whose major coordinate lies inside the clip.
    std::int64_t first = 0;
    std::int64_t last = steps;
    if (majorDir > 0) {
        first = std::max(first, majorLo - majorStart);
        last = std::min(last, majorHi - majorStart);
    } else {
        first = std::max(first, majorStart - majorHi + 1);
        last = std::min(last, majorStart - majorLo + 1);
    }
    if (first >= last) {
        return;
    }

    // The minor offset of step i is the integer nearest to i * a / n (a the minor distance, n the
    // number of steps), a tie going to the smaller coordinate: rounded down when the minor axis
    // runs forward, up when it runs backward. That is q = floor((2 i a + c) / 2n) with
    // c = n - 1 forward and c = n backward, kept below as q and the remainder e.
    const std::uint64_t n = static_cast<std::uint64_t>(steps);
    const std::uint64_t a = static_cast<std::uint64_t>(minorDelta < 0 ? -minorDelta : minorDelta);
    const std::uint64_t c = minorDir < 0 ? n : n - 1;

    // Skip the steps before the minor coordinate reaches the clip: the first step with q >= k.
    const std::int64_t k = minorDir > 0 ? minorLo - minorStart : minorStart - minorHi + 1;
    constexpr std::int64_t kExact = std::int64_t{1} << 30;  // keeps 2 n k below 2^63
    if (a != 0 && k > 0 && steps < kExact && k < kExact) {
        const std::uint64_t need = 2 * n * static_cast<std::uint64_t>(k);
        const std::uint64_t entry = need <= c ? 0 : (need - c + 2 * a - 1) / (2 * a);
        first = std::max(first, static_cast<std::int64_t>(entry));
        if (first >= last) {
            return;
        }
    }

    const std::uint64_t p = static_cast<std::uint64_t>(first) * a;  // both below 2^32
    std::uint64_t q = p / n;
    std::uint64_t e = 2 * (p % n) + c;
    q += e / (2 * n);
    e %= 2 * n;

    for (std::int64_t i = first; i < last; ++i) {
        const std::int64_t major = majorStart + majorDir * i;
        const std::int64_t minor = minorStart + minorDir * static_cast<std::int64_t>(q);
        if (minor >= minorLo && minor < minorHi) {
            if (steep) {
                view.Row(static_cast<int>(major))[minor] = color;
            } else {
                view.Row(static_cast<int>(minor))[major] = color;
            }
        } else if (minorDir >= 0 ? minor >= minorHi : minor < minorLo) {
            break;  // the line has left the clip for good
        }
        e += 2 * a;
        if (e >= 2 * n) {
            e -= 2 * n;
            ++q;
        }
    }
}

void ScrollLeft(QImage& surface, int dx, QRgb fill) {
    const int width = surface.width();
    if (dx <= 0 || width == 0) {
        return;
    }
    const int kept = std::max(width - dx, 0);
    uchar* bits = surface.bits();
    const qsizetype bytesPerLine = surface.bytesPerLine();
    for (int y = 0; y < surface.height(); ++y) {
        QRgb* row = Row(bits, bytesPerLine, y);
        if (kept > 0) {
            std::memmove(row, row + dx, static_cast<std::size_t>(kept) * sizeof(QRgb));
        }
        std::fill(row + kept, row + width, fill);
    }
}

}  // namespace raster
