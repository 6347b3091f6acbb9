// The console's banner (bitmap 174, 379 × 58): the mark and the product name on a dark band
// with a faint traffic curve behind.
#pragma once

#include <QImage>

namespace artwork {

inline constexpr int kBannerWidth = 379;
inline constexpr int kBannerHeight = 58;

QImage Banner();

}  // namespace artwork
