// The histogram's surface described by what it is made of, and brought from one such picture to
// the next by repainting only the columns that differ.
//
// A picture is the background, the grid and the line segments of the two series. The grid has
// horizontal lines on every row 13k - 1 across the whole surface and vertical lines wherever the
// scrolling has left them; it is drawn before the segments it lies under and never over one, so
// the surface is always the grid with the segments painted over it in their drawing order. Each
// segment pair (receive, then send) spans the four columns x to x + 3.
#pragma once

#include <QImage>
#include <QRgb>
#include <cstdint>
#include <vector>

inline constexpr int kHistogramGridStep = 13;  // grid spacing in both directions
inline constexpr int kHistogramScroll = 3;     // pixels per scroll, and the width of a segment

struct HistogramPalette {
    QRgb background;
    QRgb grid;
    QRgb in;
    QRgb out;
};

// The receive segment from (x, prevYIn) to (x + 3, yIn) and the send segment from (x, prevYOut)
// to (x + 3, yOut), each without its end point.
struct HistogramSegment {
    int x = 0;
    int prevYIn = 0;
    int yIn = 0;
    int prevYOut = 0;
    int yOut = 0;

    bool operator==(const HistogramSegment&) const = default;
};

struct HistogramPicture {
    std::vector<std::uint8_t> gridColumns;   // one per column: 1 where a vertical grid line runs
    std::vector<HistogramSegment> segments;  // in drawing order, x strictly increasing
};

// Paints the columns from left up to, not including, right of the picture onto the surface.
void PaintHistogramColumns(QImage& surface, const HistogramPicture& picture, int left, int right,
                           const HistogramPalette& palette);

// Brings the surface from shown to next. The surface is first moved shift pixels to the left,
// which is how most of shown reappears in next; then every column whose grid column or
// segments differ from those of shown moved by shift is repainted from next.
void ShowHistogramPicture(QImage& surface, const HistogramPicture& shown,
                          const HistogramPicture& next, int shift, const HistogramPalette& palette);
