// Builds small GIF files for the tests, block by block. The image data is LZW that uses only
// literal codes and clears the code table before it would grow, which every decoder reads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t r, g, b;
};

// The colours the tests paint with, as palette indices.
enum Colour : std::uint8_t { kRed = 0, kBlue = 1, kGreen = 2, kYellow = 3 };

inline std::vector<Rgb> TestPalette() {
    return {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 255, 0}};
}

// The size code of a colour table that holds at least that many colours (2 to 256).
inline int TableSizeCode(std::size_t colours) {
    int code = 0;
    while ((std::size_t{2} << code) < colours) {
        ++code;
    }
    return code;
}

inline void PutWord(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

inline void PutTable(Bytes& out, const std::vector<Rgb>& colours) {
    const std::size_t entries = std::size_t{2} << TableSizeCode(colours.size());
    for (std::size_t i = 0; i < entries; ++i) {
        const Rgb c = i < colours.size() ? colours[i] : Rgb{0, 0, 0};
        out.insert(out.end(), {c.r, c.g, c.b});
    }
}

// Data split into a chain of sub-blocks of at most 255 bytes, with its terminator.
inline Bytes SubBlocks(const Bytes& data) {
    Bytes out;
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t size = std::min<std::size_t>(255, data.size() - at);
        out.push_back(static_cast<std::uint8_t>(size));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + size));
    }
    out.push_back(0);
    return out;
}

// The minimum code size byte and the LZW sub-blocks for those pixel indices.
inline Bytes LzwImageData(const Bytes& pixels, int minCodeSize) {
    Bytes packed;
    std::uint32_t accumulator = 0;
    int bits = 0;
    const int width = minCodeSize + 1;
    auto put = [&](std::uint32_t code) {
        accumulator |= code << bits;
        bits += width;
        while (bits >= 8) {
            packed.push_back(static_cast<std::uint8_t>(accumulator & 0xFF));
            accumulator >>= 8;
            bits -= 8;
        }
    };
    const std::uint32_t clear = 1u << minCodeSize;
    const int literalsPerClear = (1 << minCodeSize) - 2;
    int run = 0;
    put(clear);
    for (std::uint8_t pixel : pixels) {
        if (run == literalsPerClear) {
            put(clear);
            run = 0;
        }
        put(pixel);
        ++run;
    }
    put(clear + 1);
    if (bits > 0) {
        packed.push_back(static_cast<std::uint8_t>(accumulator & 0xFF));
    }
    Bytes out{static_cast<std::uint8_t>(minCodeSize)};
    const Bytes chain = SubBlocks(packed);
    out.insert(out.end(), chain.begin(), chain.end());
    return out;
}

class GifBuilder {
public:
    // A header and logical screen; a global colour table when colours are given.
    GifBuilder(int width, int height, const std::vector<Rgb>& colours = TestPalette(),
               const std::string& version = "89a") {
        const std::string signature = "GIF" + version;
        m_bytes.assign(signature.begin(), signature.end());
        PutWord(m_bytes, static_cast<unsigned>(width));
        PutWord(m_bytes, static_cast<unsigned>(height));
        const std::uint8_t packed =
            colours.empty() ? 0 : static_cast<std::uint8_t>(0x80 | TableSizeCode(colours.size()));
        m_bytes.insert(m_bytes.end(), {packed, 0, 0});
        if (!colours.empty()) {
            PutTable(m_bytes, colours);
        }
    }

    GifBuilder& Control(unsigned delay, unsigned disposal, int transparentIndex = -1) {
        const auto packed =
            static_cast<std::uint8_t>(((disposal & 7) << 2) | (transparentIndex >= 0 ? 1 : 0));
        m_bytes.insert(m_bytes.end(), {0x21, 0xF9, 4, packed});
        PutWord(m_bytes, delay);
        m_bytes.push_back(static_cast<std::uint8_t>(transparentIndex >= 0 ? transparentIndex : 0));
        m_bytes.push_back(0);
        return *this;
    }

    GifBuilder& Application(const std::string& identifier = "NETSCAPE2.0",
                            const Bytes& data = {1, 0, 0}) {
        m_bytes.insert(m_bytes.end(), {0x21, 0xFF, 11});
        std::string id = identifier;
        id.resize(11, ' ');
        m_bytes.insert(m_bytes.end(), id.begin(), id.end());
        const Bytes chain = SubBlocks(data);
        m_bytes.insert(m_bytes.end(), chain.begin(), chain.end());
        return *this;
    }

    GifBuilder& Comment(const std::string& text) {
        m_bytes.insert(m_bytes.end(), {0x21, 0xFE});
        const Bytes chain = SubBlocks(Bytes(text.begin(), text.end()));
        m_bytes.insert(m_bytes.end(), chain.begin(), chain.end());
        return *this;
    }

    GifBuilder& PlainText(unsigned left, unsigned top, unsigned width, unsigned height,
                          const std::string& text) {
        m_bytes.insert(m_bytes.end(), {0x21, 0x01, 12});
        PutWord(m_bytes, left);
        PutWord(m_bytes, top);
        PutWord(m_bytes, width);
        PutWord(m_bytes, height);
        m_bytes.insert(m_bytes.end(), {8, 8, kRed, kBlue});
        const Bytes chain = SubBlocks(Bytes(text.begin(), text.end()));
        m_bytes.insert(m_bytes.end(), chain.begin(), chain.end());
        return *this;
    }

    // An image of those pixel indices, row by row; with its own colour table when given.
    GifBuilder& Image(unsigned left, unsigned top, unsigned width, unsigned height,
                      const Bytes& pixels, const std::vector<Rgb>& localColours = {}) {
        m_bytes.push_back(0x2C);
        PutWord(m_bytes, left);
        PutWord(m_bytes, top);
        PutWord(m_bytes, width);
        PutWord(m_bytes, height);
        m_bytes.push_back(localColours.empty() ? 0
                                               : static_cast<std::uint8_t>(
                                                     0x80 | TableSizeCode(localColours.size())));
        if (!localColours.empty()) {
            PutTable(m_bytes, localColours);
        }
        const Bytes data = LzwImageData(pixels, 2);
        m_bytes.insert(m_bytes.end(), data.begin(), data.end());
        return *this;
    }

    // An image of one colour.
    GifBuilder& Fill(unsigned left, unsigned top, unsigned width, unsigned height,
                     std::uint8_t colour) {
        return Image(left, top, width, height, Bytes(std::size_t{width} * height, colour));
    }

    GifBuilder& Raw(const Bytes& bytes) {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }

    GifBuilder& Trailer() {
        m_bytes.push_back(0x3B);
        return *this;
    }

    const Bytes& bytes() const { return m_bytes; }
    std::size_t size() const { return m_bytes.size(); }

private:
    Bytes m_bytes;
};

}  // namespace giftest
