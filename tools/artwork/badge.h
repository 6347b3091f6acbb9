// The console's small picture beside the statistics (bitmap 175, 136 × 45): a speed gauge
// with the words "P2P accelerator".
#pragma once

#include <QImage>

namespace artwork {

inline constexpr int kBadgeWidth = 136;
inline constexpr int kBadgeHeight = 45;

QImage Badge();

}  // namespace artwork
