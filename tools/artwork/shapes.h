// Outlines built from straight lines and cubic curves only, so that no trigonometry (whose
// last bits may differ between CPUs) goes into the artwork.
#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <initializer_list>
#include <vector>

namespace artwork {

QPainterPath Rectangle(const QRectF& rect);
QPainterPath RoundedRect(const QRectF& rect, double radius);
QPainterPath Ellipse(QPointF centre, double radiusX, double radiusY);
QPainterPath Polygon(std::initializer_list<QPointF> corners);
// A ring between two concentric circles.
QPainterPath Ring(QPointF centre, double outerRadius, double innerRadius);
// A line of the given width along the points, with square-cut ends.
QPainterPath Ribbon(const std::vector<QPointF>& points, double width);

}  // namespace artwork
