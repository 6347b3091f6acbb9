#include "tools/artwork/ico_writer.h"

#include <stdexcept>

namespace artwork {

namespace {

constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::uint32_t kInfoHeaderSize = 40;

class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    void Byte(std::uint32_t value) { bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF)); }
    void Word(std::uint32_t value) {
        Byte(value);
        Byte(value >> 8);
    }
    void Dword(std::uint32_t value) {
        Word(value & 0xFFFF);
        Word(value >> 16);
    }

private:
    std::vector<std::uint8_t>& bytes_;
};

std::uint32_t MaskStride(int width) {
    return static_cast<std::uint32_t>((width + 31) / 32 * 4);
}

// The image as stored in the file: header, colour rows, mask rows.
std::vector<std::uint8_t> IconImage(const QImage& picture) {
    if (picture.width() != picture.height() || picture.width() > 255 ||
        picture.format() != QImage::Format_ARGB32) {
        throw std::invalid_argument("icon images are square 32-bit pictures up to 255 pixels");
    }
    const int size = picture.width();
    const std::uint32_t colourBytes = static_cast<std::uint32_t>(size * size * 4);
    const std::uint32_t maskBytes = MaskStride(size) * static_cast<std::uint32_t>(size);

    std::vector<std::uint8_t> bytes;
    ByteWriter out(bytes);
    out.Dword(kInfoHeaderSize);
    out.Dword(static_cast<std::uint32_t>(size));
    out.Dword(static_cast<std::uint32_t>(size * 2));  // colour rows and mask rows
    out.Word(1);                                      // planes
    out.Word(32);                                     // bits per pixel
    out.Dword(0);                                     // no compression
    out.Dword(colourBytes + maskBytes);
    out.Dword(0);  // no resolution
    out.Dword(0);
    out.Dword(0);  // no colour table
    out.Dword(0);

    for (int y = size - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < size; ++x) {
            out.Byte(static_cast<std::uint32_t>(qBlue(line[x])));
            out.Byte(static_cast<std::uint32_t>(qGreen(line[x])));
            out.Byte(static_cast<std::uint32_t>(qRed(line[x])));
            out.Byte(static_cast<std::uint32_t>(qAlpha(line[x])));
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        std::vector<std::uint8_t> row(MaskStride(size), 0);
        for (int x = 0; x < size; ++x) {
            if (qAlpha(line[x]) == 0) {
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
        bytes.insert(bytes.end(), row.begin(), row.end());
    }
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> EncodeIco(const std::vector<QImage>& pictures) {
    std::vector<std::vector<std::uint8_t>> images;
    for (const QImage& picture : pictures) {
        images.push_back(IconImage(picture));
    }

    std::vector<std::uint8_t> bytes;
    ByteWriter out(bytes);
    out.Word(0);  // reserved
    out.Word(1);  // an icon, not a cursor
    out.Word(static_cast<std::uint32_t>(images.size()));
    std::size_t offset = kDirectorySize + kEntrySize * images.size();
    for (std::size_t i = 0; i < images.size(); ++i) {
        const auto size = static_cast<std::uint32_t>(pictures[i].width());
        out.Byte(size);  // width
        out.Byte(size);  // height
        out.Byte(0);     // no palette
        out.Byte(0);     // reserved
        out.Word(1);     // planes
        out.Word(32);    // bits per pixel
        out.Dword(static_cast<std::uint32_t>(images[i].size()));
        out.Dword(static_cast<std::uint32_t>(offset));
        offset += images[i].size();
    }
    for (const auto& image : images) {
        bytes.insert(bytes.end(), image.begin(), image.end());
    }
    return bytes;
}

}  // namespace artwork
