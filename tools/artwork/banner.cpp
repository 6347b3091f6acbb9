#include "tools/artwork/banner.h"

#include <QString>

#include <vector>

#include "tools/artwork/canvas.h"
#include "tools/artwork/curve.h"
#include "tools/artwork/look.h"
#include "tools/artwork/shapes.h"
#include "tools/artwork/typeface.h"
#include "tools/artwork/wingmark.h"

namespace artwork {

namespace {

constexpr double kWidth = kBannerWidth;
constexpr double kHeight = kBannerHeight;
// Where the traffic curve starts, clear of the words.
constexpr double kCurveLeft = 250;

void DrawGround(Canvas& canvas) {
    canvas.FillAll(Paint::Linear(QPointF(0, 0), QPointF(0, kHeight),
                                 {{0.0, Rgb(look::kGroundTop)}, {1.0, Rgb(look::kGroundBottom)}}));
    // A soft light behind the mark.
    canvas.FillAll(Paint::Radial(
        QPointF(34, 29), 90, 46,
        {{0.0, WithAlpha(look::Accent(0.3), 0.22)}, {1.0, WithAlpha(look::Accent(0.3), 0.0)}}));
}

// A traffic curve fading in towards the right edge.
void DrawTraffic(Canvas& canvas) {
    // Samples of a line getting busier, with the bursts that real traffic has.
    const std::vector<double> levels = {46, 44, 45, 41, 43.5, 42, 38, 40, 35,
                                        37, 31, 34, 29, 31,   25, 28, 21, 18};
    const double step = (kWidth - kCurveLeft) / static_cast<double>(levels.size() - 1);
    std::vector<QPointF> points;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        points.emplace_back(kCurveLeft + static_cast<double>(i) * step, levels[i]);
    }
    const std::vector<QPointF> curve = SmoothThrough(points, 4);

    QPainterPath area;
    area.moveTo(curve.front().x(), kHeight);
    for (const QPointF& point : curve) {
        area.lineTo(point);
    }
    area.lineTo(curve.back().x(), kHeight);
    area.closeSubpath();
    const Paint towardsRight = Paint::Linear(
        QPointF(kCurveLeft, 0), QPointF(kWidth, 0),
        {{0.0, WithAlpha(look::Accent(0.55), 0.0)}, {1.0, WithAlpha(look::Accent(0.55), 1.0)}});
    canvas.Fill(area, towardsRight, 0.12);
    canvas.Fill(Ribbon(curve, 1.3), towardsRight, 0.55);

    // Faint measuring lines across the curve.
    for (int i = 0; i < 3; ++i) {
        const double y = 14.5 + 14 * i;
        canvas.Fill(Polygon({{kCurveLeft, y}, {kWidth, y}, {kWidth, y + 1}, {kCurveLeft, y + 1}}),
                    towardsRight, 0.08);
    }
}

void DrawName(Canvas& canvas) {
    const Typeface title = Typeface::Require(Typeface::kSansBoldFile, 31);
    const Typeface tagline = Typeface::Require(Typeface::kSansFile, 9.5);
    const double left = 68;
    const double baseline = 33;
    const QString first = QStringLiteral("Fleet");
    const QString second = QStringLiteral("wing");
    const double tracking = -0.4;
    canvas.Fill(title.Outline(first, QPointF(left, baseline), tracking),
                Paint::Linear(QPointF(0, baseline - 23), QPointF(0, baseline),
                              {{0.0, Rgb(0xFFFFFF)}, {1.0, Rgb(look::kText)}}));
    const double secondLeft = left + title.Advance(first, tracking) + tracking;
    const double secondRight = secondLeft + title.Advance(second, tracking);
    canvas.Fill(title.Outline(second, QPointF(secondLeft, baseline), tracking),
                Paint::Linear(QPointF(secondLeft, 0), QPointF(secondRight, 0),
                              {{0.0, look::Accent(0.25)}, {1.0, look::Accent(0.85)}}));
    canvas.Fill(tagline.Outline(QStringLiteral("P2P NETWORK ACCELERATOR"),
                                QPointF(left + 1.5, baseline + 14), 1.55),
                Paint::Solid(Rgb(look::kMutedText)));
}

void DrawEdges(Canvas& canvas) {
    // A light top edge and an accent line along the bottom that fades out at both ends.
    canvas.Fill(Polygon({{0, 0}, {kWidth, 0}, {kWidth, 1}, {0, 1}}), Paint::Solid(Rgb(0xFFFFFF)),
                0.06);
    canvas.Fill(Polygon({{0, kHeight - 2}, {kWidth, kHeight - 2}, {kWidth, kHeight}, {0, kHeight}}),
                Paint::Linear(QPointF(0, 0), QPointF(kWidth, 0),
                              {{0.0, WithAlpha(look::Accent(0.0), 0.0)},
                               {0.25, WithAlpha(look::Accent(0.2), 0.9)},
                               {0.75, WithAlpha(look::Accent(0.8), 0.9)},
                               {1.0, WithAlpha(look::Accent(1.0), 0.0)}}));
}

}  // namespace

QImage Banner() {
    Canvas canvas(kBannerWidth, kBannerHeight);
    DrawGround(canvas);
    DrawTraffic(canvas);
    DrawWingMark(canvas, QRectF(14, 8, 42, 42));
    DrawName(canvas);
    DrawEdges(canvas);
    return canvas.ToImage();
}

}  // namespace artwork
