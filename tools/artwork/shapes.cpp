#include "tools/artwork/shapes.h"

#include <algorithm>
#include <cmath>

namespace artwork {

namespace {

// How far the control points of a cubic curve stand from its ends to follow a quarter circle.
constexpr double kKappa = 0.5522847498307936;

}  // namespace

QPainterPath Rectangle(const QRectF& rect) {
    return Polygon({rect.topLeft(), rect.topRight(), rect.bottomRight(), rect.bottomLeft()});
}

QPainterPath RoundedRect(const QRectF& rect, double radius) {
    const double r = std::min({radius, rect.width() / 2, rect.height() / 2});
    const double k = r * (1 - kKappa);
    const double left = rect.left();
    const double top = rect.top();
    const double right = rect.right();
    const double bottom = rect.bottom();
    QPainterPath path;
    path.moveTo(left + r, top);
    path.lineTo(right - r, top);
    path.cubicTo(right - k, top, right, top + k, right, top + r);
    path.lineTo(right, bottom - r);
    path.cubicTo(right, bottom - k, right - k, bottom, right - r, bottom);
    path.lineTo(left + r, bottom);
    path.cubicTo(left + k, bottom, left, bottom - k, left, bottom - r);
    path.lineTo(left, top + r);
    path.cubicTo(left, top + k, left + k, top, left + r, top);
    path.closeSubpath();
    return path;
}

QPainterPath Ellipse(QPointF centre, double radiusX, double radiusY) {
    const double x = centre.x();
    const double y = centre.y();
    const double kx = radiusX * kKappa;
    const double ky = radiusY * kKappa;
    QPainterPath path;
    path.moveTo(x + radiusX, y);
    path.cubicTo(x + radiusX, y + ky, x + kx, y + radiusY, x, y + radiusY);
    path.cubicTo(x - kx, y + radiusY, x - radiusX, y + ky, x - radiusX, y);
    path.cubicTo(x - radiusX, y - ky, x - kx, y - radiusY, x, y - radiusY);
    path.cubicTo(x + kx, y - radiusY, x + radiusX, y - ky, x + radiusX, y);
    path.closeSubpath();
    return path;
}

QPainterPath Polygon(std::initializer_list<QPointF> corners) {
    QPainterPath path;
    bool first = true;
    for (const QPointF& corner : corners) {
        if (first) {
            path.moveTo(corner);
            first = false;
        } else {
            path.lineTo(corner);
        }
    }
    path.closeSubpath();
    return path;
}

QPainterPath Ring(QPointF centre, double outerRadius, double innerRadius) {
    QPainterPath path = Ellipse(centre, outerRadius, outerRadius);
    path.addPath(Ellipse(centre, innerRadius, innerRadius));
    path.setFillRule(Qt::OddEvenFill);
    return path;
}

QPainterPath Ribbon(const std::vector<QPointF>& points, double width) {
    QPainterPath path;
    if (points.size() < 2) {
        return path;
    }
    std::vector<QPointF> left;
    std::vector<QPointF> right;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const QPointF before = points[i == 0 ? 0 : i - 1];
        const QPointF after = points[i + 1 < points.size() ? i + 1 : i];
        const QPointF along = after - before;
        const double length = std::sqrt(along.x() * along.x() + along.y() * along.y());
        const QPointF normal(-along.y() / length * width / 2, along.x() / length * width / 2);
        left.push_back(points[i] + normal);
        right.push_back(points[i] - normal);
    }
    path.moveTo(left.front());
    for (std::size_t i = 1; i < left.size(); ++i) {
        path.lineTo(left[i]);
    }
    for (std::size_t i = right.size(); i-- > 0;) {
        path.lineTo(right[i]);
    }
    path.closeSubpath();
    return path;
}

}  // namespace artwork
