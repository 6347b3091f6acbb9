// The product's mark, a wing of three swept feathers, and the program's icon built on it.
#pragma once

#include <QImage>
#include <QRectF>

#include "tools/artwork/canvas.h"

namespace artwork {

// Draws the mark into the square box; thickness is that of a feather, as a part of the box.
void DrawWingMark(Canvas& canvas, const QRectF& box, double thickness = 0.15);

// The icon at one size: the mark on a dark rounded tile, transparent outside it.
QImage AppIcon(int size);

}  // namespace artwork
