// The throughput indicator of the console's picture control, 200 × 27 pixels: fourteen
// segments that light up one after the other from left to right, then a flash of the full
// bar, then the sweep starts again. The same frames serve every level; only the delay
// differs, so a busier line sweeps faster.
#pragma once

#include <QImage>
#include <QRect>

#include <cstdint>
#include <vector>

#include "tools/artwork/gif_writer.h"

namespace artwork {

inline constexpr int kMeterWidth = 200;
inline constexpr int kMeterHeight = 27;
inline constexpr int kMeterSegments = 14;
inline constexpr int kMeterColours = 64;

// Where segment i (0 to 13) lies on the picture.
QRect MeterSegment(int index);

// The sweep: 16 frames, each shown for `delay` hundredths of a second. The first frame is the
// whole empty bar, the next fourteen each light one segment and stay (disposal 1), the last
// is the whole bar at its peak and is cleared after its delay (disposal 2). The first frame
// carries the looping extension after its control extension.
GifPicture MeterSweep(std::uint16_t delay);

// The picture shown while acceleration is off: one still image of the bar switched off.
GifPicture MeterIdle();

}  // namespace artwork
