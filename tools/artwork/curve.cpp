#include "tools/artwork/curve.h"

namespace artwork {

std::vector<QPointF> SmoothThrough(const std::vector<QPointF>& points, int steps) {
    std::vector<QPointF> curve;
    if (points.size() < 2) {
        return points;
    }
    const auto point = [&](std::size_t i, int offset) {
        const auto last = static_cast<std::ptrdiff_t>(points.size()) - 1;
        auto at = static_cast<std::ptrdiff_t>(i) + offset;
        at = at < 0 ? 0 : (at > last ? last : at);
        return points[static_cast<std::size_t>(at)];
    };
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const QPointF p0 = point(i, -1);
        const QPointF p1 = point(i, 0);
        const QPointF p2 = point(i, 1);
        const QPointF p3 = point(i, 2);
        for (int step = 0; step < steps; ++step) {
            const double t = step / double(steps);
            const double t2 = t * t;
            const double t3 = t2 * t;
            curve.push_back(0.5 * (2 * p1 + (p2 - p0) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t2 +
                                   (3 * p1 - p0 - 3 * p2 + p3) * t3));
        }
    }
    curve.push_back(points.back());
    return curve;
}

}  // namespace artwork
