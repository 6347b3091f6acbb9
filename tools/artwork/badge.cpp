#include "tools/artwork/badge.h"

#include <QString>

#include "tools/artwork/canvas.h"
#include "tools/artwork/look.h"
#include "tools/artwork/shapes.h"
#include "tools/artwork/typeface.h"

namespace artwork {

namespace {

constexpr double kWidth = kBadgeWidth;
constexpr double kHeight = kBadgeHeight;
constexpr double kHalfRoot2 = 0.70710678118654752;

Mask MaskOf(const QPainterPath& shape) {
    return Mask(shape, kBadgeWidth, kBadgeHeight);
}

void DrawGround(Canvas& canvas) {
    canvas.FillAll(Paint::Linear(QPointF(0, 0), QPointF(0, kHeight),
                                 {{0.0, Rgb(look::kGroundTop)}, {1.0, Rgb(look::kGroundBottom)}}));
    const QRectF whole(0, 0, kWidth, kHeight);
    const Mask outer = MaskOf(Rectangle(whole));
    const Mask inner = MaskOf(Rectangle(whole.adjusted(1, 1, -1, -1)));
    canvas.Fill(outer - inner, Paint::Solid(Rgb(look::kEdge)));
}

// A half-circle gauge whose needle stands at three quarters of its travel.
void DrawGauge(Canvas& canvas) {
    const QPointF centre(26, 30);
    const double outer = 17;
    const double inner = 13;
    const Mask upperHalf =
        MaskOf(Polygon({{0, 0}, {kWidth, 0}, {kWidth, centre.y() + 1}, {0, centre.y() + 1}}));
    const Mask track = MaskOf(Ring(centre, outer, inner)) & upperHalf;
    canvas.Fill(track, Paint::Solid(Rgb(look::kSlotEdge)));

    // The travel from the left end up to 45 degrees past the top.
    const QPointF towardsNeedle(kHalfRoot2, -kHalfRoot2);
    const Mask travelled = MaskOf(
        Polygon({centre, centre + towardsNeedle * outer * 2,
                 centre + QPointF(-outer * 2, -outer * 2), centre + QPointF(-outer * 2, 1)}));
    canvas.Fill(track & travelled,
                Paint::Linear(centre - QPointF(outer, 0), centre + QPointF(outer * 0.7, -outer),
                              {{0.0, look::Accent(0.0)}, {1.0, look::Accent(0.9)}}));

    // The needle and its hub.
    const QPointF across(kHalfRoot2, kHalfRoot2);
    const QPointF needleTip = centre + towardsNeedle * (outer - 1);
    canvas.Fill(Polygon({centre + across * 1.6, needleTip, centre - across * 1.6}),
                Paint::Solid(Rgb(look::kText)));
    canvas.Fill(Ellipse(centre, 3.2, 3.2), Paint::Solid(Rgb(look::kText)));
    canvas.Fill(Ellipse(centre, 1.4, 1.4), Paint::Solid(Rgb(look::kGroundBottom)));
}

void DrawWords(Canvas& canvas) {
    const Typeface heading = Typeface::Require(Typeface::kSansBoldFile, 19);
    const Typeface small = Typeface::Require(Typeface::kSansFile, 8);
    const double left = 52;
    canvas.Fill(heading.Outline(QStringLiteral("P2P"), QPointF(left, 25), 0.3),
                Paint::Linear(QPointF(left, 0), QPointF(left + 44, 0),
                              {{0.0, Rgb(look::kText)}, {1.0, look::Accent(0.45)}}));
    canvas.Fill(small.Outline(QStringLiteral("ACCELERATOR"), QPointF(left + 0.5, 37), 1.15),
                Paint::Solid(Rgb(look::kMutedText)));
}

}  // namespace

QImage Badge() {
    Canvas canvas(kBadgeWidth, kBadgeHeight);
    DrawGround(canvas);
    DrawGauge(canvas);
    DrawWords(canvas);
    return canvas.ToImage();
}

}  // namespace artwork
