#include "tools/artwork/gif_writer.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "tools/artwork/lzw.h"

namespace artwork {

namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kApplicationLabel = 0xFF;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;

class ByteWriter {
public:
    void Byte(unsigned value) { bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF)); }
    void Word(unsigned value) {
        Byte(value);
        Byte(value >> 8);
    }
    void Text(std::string_view text) {
        for (const char c : text) {
            Byte(static_cast<unsigned char>(c));
        }
    }
    // Data cut into sub-blocks of at most 255 bytes, then the zero-length terminator.
    void SubBlocks(const std::vector<std::uint8_t>& data) {
        for (std::size_t at = 0; at < data.size(); at += 255) {
            const std::size_t length = std::min<std::size_t>(255, data.size() - at);
            Byte(static_cast<unsigned>(length));
            bytes_.insert(bytes_.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                          data.begin() + static_cast<std::ptrdiff_t>(at + length));
        }
        Byte(0);
    }

    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

// The size code N of a colour table of 2^(N+1) entries.
int SizeCode(qsizetype colours) {
    for (int code = 0; code < 8; ++code) {
        if (colours == (qsizetype{2} << code)) {
            return code;
        }
    }
    throw std::invalid_argument("a GIF colour table holds 2, 4, 8, ... or 256 colours");
}

void GraphicControl(ByteWriter& out, const GifControl& control) {
    out.Byte(kExtensionIntroducer);
    out.Byte(kGraphicControlLabel);
    out.Byte(4);                             // block size
    out.Byte((control.disposal & 7u) << 2);  // no user input, no transparency
    out.Word(control.delay);
    out.Byte(0);  // transparent colour index, unused
    out.Byte(0);  // terminator
}

void LoopForever(ByteWriter& out) {
    out.Byte(kExtensionIntroducer);
    out.Byte(kApplicationLabel);
    out.Byte(11);  // block size: identifier and authentication code
    out.Text("NETSCAPE2.0");
    out.Byte(3);  // one sub-block: loop sub-block id 1, loop count 0 = forever
    out.Byte(1);
    out.Word(0);
    out.Byte(0);
}

void Image(ByteWriter& out, const GifFrame& frame, int minimumCodeSize) {
    if (frame.indices.size() !=
        static_cast<std::size_t>(frame.area.width() * frame.area.height())) {
        throw std::invalid_argument("a frame needs one colour index per pixel of its area");
    }
    out.Byte(kImageSeparator);
    out.Word(static_cast<unsigned>(frame.area.left()));
    out.Word(static_cast<unsigned>(frame.area.top()));
    out.Word(static_cast<unsigned>(frame.area.width()));
    out.Word(static_cast<unsigned>(frame.area.height()));
    out.Byte(0);  // no local colour table, not interlaced
    out.Byte(static_cast<unsigned>(minimumCodeSize));
    out.SubBlocks(LzwCompress(frame.indices, minimumCodeSize));
}

}  // namespace

std::vector<std::uint8_t> EncodeGif(const GifPicture& picture) {
    const int sizeCode = SizeCode(picture.palette.size());
    // A code size of at least 2, even for a two-colour table.
    const int minimumCodeSize = std::max(2, sizeCode + 1);

    ByteWriter out;
    out.Text("GIF89a");
    out.Word(static_cast<unsigned>(picture.width));
    out.Word(static_cast<unsigned>(picture.height));
    // Global table present, 8 bits of colour resolution, not sorted, its size code.
    out.Byte(0x80u | (7u << 4) | static_cast<unsigned>(sizeCode));
    out.Byte(0);  // background colour index
    out.Byte(0);  // square pixels
    for (const QRgb colour : picture.palette) {
        out.Byte(static_cast<unsigned>(qRed(colour)));
        out.Byte(static_cast<unsigned>(qGreen(colour)));
        out.Byte(static_cast<unsigned>(qBlue(colour)));
    }

    for (std::size_t i = 0; i < picture.frames.size(); ++i) {
        const GifFrame& frame = picture.frames[i];
        if (frame.control) {
            GraphicControl(out, *frame.control);
        }
        if (i == 0 && picture.loop) {
            LoopForever(out);
        }
        Image(out, frame, minimumCodeSize);
    }
    out.Byte(kTrailer);
    return out.Take();
}

}  // namespace artwork
