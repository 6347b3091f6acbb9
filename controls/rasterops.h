// Drawing on an off-screen RGB32 surface with the platform's pixel rules: a filled rectangle
// covers its left and top edges but not its right and bottom ones, and a line lights its start
// pixel but not its end pixel.
//
// QPainter's aliased lines do not follow the end-point rule (they drop whichever end lies lower),
// and they clip in floating point, which goes wrong for the far-away coordinates that values
// above the range produce. So the surface is drawn here pixel by pixel, exactly, in integers.
#pragma once

#include <QImage>
#include <QRect>

namespace raster {

// The pixels of an RGB32 surface, for drawing many things in a row without asking the image
// for its bits each time. Valid while the image is neither resized nor shared.
struct PixelView {
    uchar* bits = nullptr;
    qsizetype bytesPerLine = 0;
    int width = 0;
    int height = 0;

    static PixelView Of(QImage& surface) {
        return PixelView{surface.bits(), surface.bytesPerLine(), surface.width(), surface.height()};
    }
    QRgb* Row(int y) const { return reinterpret_cast<QRgb*>(bits + y * bytesPerLine); }
};

// A clip rectangle from (left, top) up to, not including, (right, bottom).
struct Clip {
    int left;
    int top;
    int right;
    int bottom;
};

// Fills the rectangle from (left, top) up to, not including, (right, bottom), clipped to the
// surface.
void FillRect(QImage& surface, int left, int top, int right, int bottom, QRgb color);

// Draws a one-pixel line from (x0, y0) to (x1, y1), the end point excluded, lighting only the
// pixels inside clip (and the surface). The pixels are those of the grid-intersection diamond
// rule: one pixel per column for lines flatter than 45 degrees, one per row for steeper ones,
// the nearest to the ideal line, and on a tie the upper pixel (flat lines) or the left pixel
// (steep lines). Clipping never moves a pixel: the clipped line lights exactly the pixels of
// the whole line that fall inside the clip.
void DrawLine(const PixelView& view, int x0, int y0, int x1, int y1, QRgb color, Clip clip);
inline void DrawLine(QImage& surface, int x0, int y0, int x1, int y1, QRgb color,
                     const QRect& clip) {
    DrawLine(PixelView::Of(surface), x0, y0, x1, y1, color,
             Clip{clip.left(), clip.top(), clip.left() + clip.width(), clip.top() + clip.height()});
}
inline void DrawLine(QImage& surface, int x0, int y0, int x1, int y1, QRgb color) {
    DrawLine(surface, x0, y0, x1, y1, color, surface.rect());
}

// Moves the whole surface dx pixels to the left; the dx columns at the right edge are filled
// with fill afterwards.
void ScrollLeft(QImage& surface, int dx, QRgb fill);

}  // namespace raster
