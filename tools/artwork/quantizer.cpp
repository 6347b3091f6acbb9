#include "tools/artwork/quantizer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace artwork {

namespace {

struct Entry {
    std::array<int, 3> channels;
    std::int64_t count;
};

using Entries = std::vector<Entry>;

// A run of entries [begin, end) that will become one palette colour.
struct Box {
    std::size_t begin;
    std::size_t end;
};

struct BoxStatistics {
    std::int64_t count = 0;
    std::array<std::int64_t, 3> sum{};
    std::array<std::int64_t, 3> squares{};

    // Weighted spread of one channel, scaled by the count (count² × variance).
    std::int64_t Spread(int channel) const {
        return squares[channel] * count - sum[channel] * sum[channel];
    }
    std::int64_t TotalSpread() const { return Spread(0) + Spread(1) + Spread(2); }
    QRgb Mean() const {
        const auto mean = [&](int channel) {
            return static_cast<int>((sum[channel] + count / 2) / count);
        };
        return qRgb(mean(0), mean(1), mean(2));
    }
};

BoxStatistics Statistics(const Entries& entries, const Box& box) {
    BoxStatistics statistics;
    for (std::size_t i = box.begin; i < box.end; ++i) {
        const Entry& entry = entries[i];
        statistics.count += entry.count;
        for (int c = 0; c < 3; ++c) {
            statistics.sum[c] += entry.channels[c] * entry.count;
            statistics.squares[c] +=
                std::int64_t{entry.channels[c]} * entry.channels[c] * entry.count;
        }
    }
    return statistics;
}

// Splits the box across its widest channel at the weighted median.
std::pair<Box, Box> Split(Entries& entries, const Box& box, const BoxStatistics& statistics) {
    int axis = 0;
    for (int c = 1; c < 3; ++c) {
        if (statistics.Spread(c) > statistics.Spread(axis)) {
            axis = c;
        }
    }
    std::sort(entries.begin() + static_cast<std::ptrdiff_t>(box.begin),
              entries.begin() + static_cast<std::ptrdiff_t>(box.end),
              [axis](const Entry& a, const Entry& b) {
                  if (a.channels[axis] != b.channels[axis]) {
                      return a.channels[axis] < b.channels[axis];
                  }
                  return a.channels < b.channels;
              });
    std::int64_t below = 0;
    std::size_t middle = box.begin + 1;
    for (std::size_t i = box.begin; i + 1 < box.end; ++i) {
        below += entries[i].count;
        middle = i + 1;
        if (below * 2 >= statistics.count) {
            break;
        }
    }
    return {{box.begin, middle}, {middle, box.end}};
}

// The pictures come from Canvas::ToImage; anything else is converted first.
QImage ThirtyTwoBit(const QImage& picture) {
    if (picture.format() == QImage::Format_ARGB32 || picture.format() == QImage::Format_RGB32) {
        return picture;
    }
    return picture.convertToFormat(QImage::Format_ARGB32);
}

int Luma(QRgb colour) {
    return 299 * qRed(colour) + 587 * qGreen(colour) + 114 * qBlue(colour);
}

}  // namespace

Palette Palette::MedianCut(const std::vector<QImage>& pictures, int size) {
    std::map<QRgb, std::int64_t> histogram;
    for (const QImage& picture : pictures) {
        const QImage rgb = ThirtyTwoBit(picture);
        for (int y = 0; y < rgb.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            for (int x = 0; x < rgb.width(); ++x) {
                ++histogram[line[x] | 0xFF000000u];
            }
        }
    }
    Entries entries;
    for (const auto& [colour, count] : histogram) {
        entries.push_back({{qRed(colour), qGreen(colour), qBlue(colour)}, count});
    }

    std::vector<Box> boxes{{0, entries.size()}};
    while (static_cast<int>(boxes.size()) < size) {
        // Split the box whose colours stray furthest from their mean.
        std::size_t widest = boxes.size();
        std::int64_t widestSpread = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].end - boxes[i].begin < 2) {
                continue;
            }
            const std::int64_t spread =
                Statistics(entries, boxes[i]).TotalSpread() / Statistics(entries, boxes[i]).count;
            if (widest == boxes.size() || spread > widestSpread) {
                widest = i;
                widestSpread = spread;
            }
        }
        if (widest == boxes.size()) {
            break;  // every box holds a single colour
        }
        const auto [low, high] = Split(entries, boxes[widest], Statistics(entries, boxes[widest]));
        boxes[widest] = low;
        boxes.push_back(high);
    }

    QList<QRgb> colours;
    for (const Box& box : boxes) {
        colours.push_back(Statistics(entries, box).Mean());
    }
    std::sort(colours.begin(), colours.end(),
              [](QRgb a, QRgb b) { return Luma(a) != Luma(b) ? Luma(a) < Luma(b) : a < b; });
    while (colours.size() < size) {
        colours.push_back(qRgb(0, 0, 0));
    }
    return Palette(std::move(colours));
}

std::uint8_t Palette::NearestIndex(QRgb colour) const {
    colour |= 0xFF000000u;
    if (const auto found = nearest_.find(colour); found != nearest_.end()) {
        return found->second;
    }
    std::uint8_t best = 0;
    int bestDistance = 0;
    for (qsizetype i = 0; i < colours_.size(); ++i) {
        const int dr = qRed(colour) - qRed(colours_[i]);
        const int dg = qGreen(colour) - qGreen(colours_[i]);
        const int db = qBlue(colour) - qBlue(colours_[i]);
        const int distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (i == 0 || distance < bestDistance) {
            best = static_cast<std::uint8_t>(i);
            bestDistance = distance;
        }
    }
    nearest_.emplace(colour, best);
    return best;
}

QImage Palette::Indexed(const QImage& picture) const {
    const QImage rgb = ThirtyTwoBit(picture);
    QImage indexed(rgb.size(), QImage::Format_Indexed8);
    indexed.setColorTable(colours_);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* to = indexed.scanLine(y);
        // Rows are padded to whole 32-bit words, and the padding goes into BMP files as it is.
        std::memset(to, 0, static_cast<std::size_t>(indexed.bytesPerLine()));
        for (int x = 0; x < rgb.width(); ++x) {
            to[x] = NearestIndex(from[x]);
        }
    }
    return indexed;
}

std::vector<std::uint8_t> Palette::Indices(const QImage& picture, const QRect& area) const {
    const QImage rgb = ThirtyTwoBit(picture);
    std::vector<std::uint8_t> indices;
    indices.reserve(static_cast<std::size_t>(area.width() * area.height()));
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            indices.push_back(NearestIndex(line[x]));
        }
    }
    return indices;
}

}  // namespace artwork
