// Smooth curves through given points, as polylines fine enough to fill or trace.
#pragma once

#include <QPointF>

#include <vector>

namespace artwork {

// A Catmull-Rom curve through the points, sampled `steps` times between each pair.
std::vector<QPointF> SmoothThrough(const std::vector<QPointF>& points, int steps);

}  // namespace artwork
