#include "controls/histogrampicture.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "controls/rasterops.h"

namespace {

// Columns from left up to, not including, right.
struct Run {
    int left;
    int right;
};

bool IsGridRow(int y) {
    return (y + 1) % kHistogramGridStep == 0;
}

// Marks the columns that a segment pair starting at x can touch.
void MarkSegment(std::vector<std::uint8_t>& dirty, std::int64_t x) {
    const std::int64_t width = static_cast<std::int64_t>(dirty.size());
    const std::int64_t from = std::max<std::int64_t>(x, 0);
    const std::int64_t to = std::min<std::int64_t>(x + kHistogramScroll + 1, width);
    for (std::int64_t column = from; column < to; ++column) {
        dirty[static_cast<std::size_t>(column)] = 1;
    }
}

// Paints the runs (ascending, apart) of the picture: first the grid and background row by
// row, then the segments in their drawing order, each clipped to the runs it crosses.
void PaintRuns(QImage& surface, const HistogramPicture& picture, const std::vector<Run>& runs,
               const HistogramPalette& palette) {
    if (runs.empty()) {
        return;
    }
    const raster::PixelView view = raster::PixelView::Of(surface);
    std::vector<QRgb> columnColors(static_cast<std::size_t>(view.width));
    for (const Run& run : runs) {
        for (int x = run.left; x < run.right; ++x) {
            columnColors[static_cast<std::size_t>(x)] =
                picture.gridColumns[static_cast<std::size_t>(x)] ? palette.grid
                                                                 : palette.background;
        }
    }
    const QRgb* colors = columnColors.data();
    for (int y = 0; y < view.height; ++y) {
        QRgb* row = view.Row(y);
        const bool gridRow = IsGridRow(y);
        // The runs are mostly one or two columns wide: plain stores beat a copy call.
        for (const Run& run : runs) {
            for (int x = run.left; x < run.right; ++x) {
                row[x] = gridRow ? palette.grid : colors[x];
            }
        }
    }
    for (const HistogramSegment& segment : picture.segments) {
        const int end = segment.x + kHistogramScroll;
        auto run = std::partition_point(runs.begin(), runs.end(),
                                        [&](const Run& r) { return r.right <= segment.x; });
        for (; run != runs.end() && run->left <= end; ++run) {
            const raster::Clip clip{run->left, 0, run->right, view.height};
            raster::DrawLine(view, segment.x, segment.prevYIn, end, segment.yIn, palette.in, clip);
            raster::DrawLine(view, segment.x, segment.prevYOut, end, segment.yOut, palette.out,
                             clip);
        }
    }
}

}  // namespace

void PaintHistogramColumns(QImage& surface, const HistogramPicture& picture, int left, int right,
                           const HistogramPalette& palette) {
    left = std::max(left, 0);
    right = std::min({right, surface.width(), static_cast<int>(picture.gridColumns.size())});
    if (left < right) {
        PaintRuns(surface, picture, {Run{left, right}}, palette);
    }
}

void ShowHistogramPicture(QImage& surface, const HistogramPicture& shown,
                          const HistogramPicture& next, int shift,
                          const HistogramPalette& palette) {
    const int width = surface.width();
    if (next.gridColumns.size() != static_cast<std::size_t>(width)) {
        return;  // not a picture of this surface
    }
    shift = std::clamp(shift, 0, width);
    const bool comparable = shown.gridColumns.size() == static_cast<std::size_t>(width);
    std::vector<std::uint8_t> dirty(static_cast<std::size_t>(width), comparable ? 0 : 1);
    if (comparable) {
        // The columns that scroll in from the right edge, and those whose grid line came or went.
        for (int x = width - shift; x < width; ++x) {
            dirty[static_cast<std::size_t>(x)] = 1;
        }
        for (int x = 0; x + shift < width; ++x) {
            if (shown.gridColumns[static_cast<std::size_t>(x + shift)] !=
                next.gridColumns[static_cast<std::size_t>(x)]) {
                dirty[static_cast<std::size_t>(x)] = 1;
            }
        }
        // The segments, walked by position: one that is only in one picture, or that sits at the
        // same place in both with other ends, changes the columns it covers.
        std::size_t i = 0;
        std::size_t j = 0;
        while (i < shown.segments.size() || j < next.segments.size()) {
            if (j == next.segments.size() ||
                (i < shown.segments.size() && shown.segments[i].x - shift < next.segments[j].x)) {
                MarkSegment(dirty, std::int64_t{shown.segments[i].x} - shift);
                ++i;
            } else if (i == shown.segments.size() ||
                       next.segments[j].x < shown.segments[i].x - shift) {
                MarkSegment(dirty, next.segments[j].x);
                ++j;
            } else {
                HistogramSegment moved = shown.segments[i];
                moved.x -= shift;
                if (!(moved == next.segments[j])) {
                    MarkSegment(dirty, next.segments[j].x);
                }
                ++i;
                ++j;
            }
        }
        raster::ScrollLeft(surface, shift, palette.background);
    }
    std::vector<Run> runs;
    for (int x = 0; x < width;) {
        if (!dirty[static_cast<std::size_t>(x)]) {
            ++x;
            continue;
        }
        int end = x + 1;
        while (end < width && dirty[static_cast<std::size_t>(end)]) {
            ++end;
        }
        runs.push_back(Run{x, end});
        x = end;
    }
    PaintRuns(surface, next, runs, palette);
}
