// GIF89a files, built block by block.
//
// Layout written: the header "GIF89a"; the logical screen descriptor with a global colour
// table (no local tables); then, per frame, its graphic control extension (when it has one),
// for the first frame the looping application extension ("NETSCAPE2.0") right after that
// control extension, the image descriptor and the LZW image data in sub-blocks; last the
// trailer.
#pragma once

#include <QList>
#include <QRect>
#include <QRgb>

#include <cstdint>
#include <optional>
#include <vector>

namespace artwork {

struct GifControl {
    std::uint16_t delay = 0;    // hundredths of a second after the frame
    std::uint8_t disposal = 0;  // what becomes of the frame's area after the delay, 0 to 7
};

struct GifFrame {
    QRect area;                         // position and size on the logical screen
    std::vector<std::uint8_t> indices;  // area width × height colour indices, row by row
    std::optional<GifControl> control;  // the frame's graphic control extension
};

struct GifPicture {
    int width = 0;
    int height = 0;
    QList<QRgb> palette;  // the global colour table: 2, 4, ... or 256 colours
    bool loop = false;    // add the application extension that asks for endless looping
    std::vector<GifFrame> frames;
};

std::vector<std::uint8_t> EncodeGif(const GifPicture& picture);

}  // namespace artwork
