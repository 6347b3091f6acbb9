#include "tools/artwork/wingmark.h"

#include "tools/artwork/look.h"
#include "tools/artwork/shapes.h"

namespace artwork {

namespace {

// One feather in the unit square: a slanted bar whose right end is cut back to a point.
QPainterPath Feather(const QRectF& box, int index, double thickness) {
    const double left = 0.06 + 0.11 * index;
    const double right = 0.94 - 0.16 * index;
    const double top = 0.40 + 0.215 * index;
    // The feathers climb 0.26 over the 0.88 width of the longest one.
    const double slope = 0.26 / 0.88;
    const auto at = [&](double x, double y) {
        return QPointF(box.left() + x * box.width(), box.top() + y * box.height());
    };
    const auto topAt = [&](double x) { return top - (x - 0.06) * slope; };
    return Polygon({at(left + 0.05, topAt(left + 0.05)), at(right, topAt(right)),
                    at(right - 0.12, topAt(right - 0.12) + thickness),
                    at(left, topAt(left) + thickness)});
}

}  // namespace

void DrawWingMark(Canvas& canvas, const QRectF& box, double thickness) {
    for (int i = 0; i < 3; ++i) {
        const QPointF from(box.left(), box.center().y());
        const QPointF to(box.right(), box.top());
        const double shift = 0.3 * i;
        canvas.Fill(Feather(box, i, thickness), Paint::Linear(from, to,
                                                              {{0.0, look::Accent(0.0 + shift)},
                                                               {1.0, look::Accent(0.4 + shift)}}));
    }
}

QImage AppIcon(int size) {
    Canvas canvas(size, size);
    const double s = size;
    const QRectF tile(0, 0, s, s);
    const double radius = s * 0.22;
    canvas.Fill(RoundedRect(tile, radius),
                Paint::Linear(QPointF(0, 0), QPointF(0, s),
                              {{0.0, Rgb(look::kGroundTop)}, {1.0, Rgb(look::kGroundBottom)}}));
    {
        const Mask outer(RoundedRect(tile, radius), size, size);
        const Mask inner(RoundedRect(tile.adjusted(1, 1, -1, -1), radius - 1), size, size);
        canvas.Fill(outer - inner, Paint::Solid(Rgb(look::kEdge)));
    }
    if (size <= 16) {
        // Feathers two pixels thick, one pixel apart.
        DrawWingMark(canvas, QRectF(1, 1, 14, 14), 0.14);
    } else {
        const double inset = s * 0.14;
        DrawWingMark(canvas, tile.adjusted(inset, inset, -inset, -inset), 0.15);
    }
    return canvas.ToImage();
}

}  // namespace artwork
