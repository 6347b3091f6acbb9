// Icon files (.ico) holding several sizes of one icon.
#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

namespace artwork {

// An .ico file with one image per picture, in the given order. Each image is stored as a
// 32-bit device-independent bitmap with alpha (BITMAPINFOHEADER, rows bottom-up, twice the
// height to count the mask), followed by the 1-bit AND mask, set where alpha is 0. Pictures
// are square, at most 255 pixels, in QImage::Format_ARGB32.
std::vector<std::uint8_t> EncodeIco(const std::vector<QImage>& pictures);

}  // namespace artwork
