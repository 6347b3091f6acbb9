// Colour reduction for the indexed files: a palette chosen by median cut over every picture
// that is to share it, and pictures mapped to their nearest palette colours (no dithering,
// which would only add noise to flat vector artwork).
#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QRgb>

#include <cstdint>
#include <map>
#include <vector>

namespace artwork {

class Palette {
public:
    // A palette of exactly `size` colours (at most 256) for the opaque pictures; unused
    // entries are black. The colours are ordered from dark to light.
    static Palette MedianCut(const std::vector<QImage>& pictures, int size);

    const QList<QRgb>& Colours() const { return colours_; }

    // The index of the palette colour nearest to the colour.
    std::uint8_t NearestIndex(QRgb colour) const;
    // The picture as QImage::Format_Indexed8 with this palette as its colour table.
    QImage Indexed(const QImage& picture) const;
    // The indices of an area of the picture, row by row.
    std::vector<std::uint8_t> Indices(const QImage& picture, const QRect& area) const;

private:
    explicit Palette(QList<QRgb> colours) : colours_(std::move(colours)) {}

    QList<QRgb> colours_;
    mutable std::map<QRgb, std::uint8_t> nearest_;
};

}  // namespace artwork
