#include "controls/gifblocks.h"

#include <cstring>

namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint32_t kHeaderSize = 13;  // signature, version and logical screen descriptor

// Size in bytes of a colour table from the packed byte that announces it (flag in bit 7, size
// code in bits 0 to 2).
std::uint32_t ColorTableBytes(std::uint8_t packed) {
    return (packed & 0x80) != 0 ? 3u << ((packed & 0x07) + 1) : 0;
}

}  // namespace

CGifBlockWalker::CGifBlockWalker(const std::uint8_t* data, std::uint32_t size)
    : m_data(data), m_dataSize(data != nullptr ? size : 0) {
    if (m_dataSize > 10) {
        m_colorTableSize = ColorTableBytes(m_data[10]);
    }
    RewindBlocks();
}

bool CGifBlockWalker::HasGifSignature(const std::uint8_t* data, std::uint32_t size) {
    return data != nullptr && size >= 6 &&
           (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

int CGifBlockWalker::ScreenWidth() const {
    return static_cast<int>(ReadWord(6));
}

int CGifBlockWalker::ScreenHeight() const {
    return static_cast<int>(ReadWord(8));
}

std::uint32_t CGifBlockWalker::ReadWord(std::uint32_t offset) const {
    if (static_cast<std::uint64_t>(offset) + 2 > m_dataSize) {
        return 0;
    }
    return static_cast<std::uint32_t>(m_data[offset] | (m_data[offset + 1] << 8));
}

void CGifBlockWalker::RewindBlocks() {
    m_offset = kHeaderSize + m_colorTableSize;
}

GifBlockKind CGifBlockWalker::CurrentBlockKind() const {
    if (m_offset >= m_dataSize) {
        return GifBlockKind::Unrecognised;
    }
    switch (m_data[m_offset]) {
        case kImageSeparator:
            return GifBlockKind::ImageDescriptor;
        case kTrailer:
            return GifBlockKind::Trailer;
        case kExtensionIntroducer:
            break;
        default:
            return GifBlockKind::Unrecognised;
    }
    if (m_offset + 1 >= m_dataSize) {
        return GifBlockKind::Unrecognised;
    }
    switch (m_data[m_offset + 1]) {
        case 0xFF:
            return GifBlockKind::ApplicationExtension;
        case 0xFE:
            return GifBlockKind::CommentExtension;
        case 0xF9:
            return GifBlockKind::GraphicControlExtension;
        case 0x01:
            return GifBlockKind::PlainTextExtension;
        default:
            return GifBlockKind::Unrecognised;
    }
}

std::int64_t CGifBlockWalker::CurrentBlockLength() const {
    const std::int64_t at = m_offset;
    switch (CurrentBlockKind()) {
        case GifBlockKind::ApplicationExtension:
            return 14 + SubBlocksLength(at + 14);
        case GifBlockKind::CommentExtension:
            return 2 + SubBlocksLength(at + 2);
        case GifBlockKind::GraphicControlExtension:
            return 8;
        case GifBlockKind::PlainTextExtension:
            return 15 + SubBlocksLength(at + 15);
        case GifBlockKind::ImageDescriptor: {
            // Without its packed byte the descriptor cannot end within the data, and 11 bytes
            // already end beyond it.
            if (at + 9 >= m_dataSize) {
                return 11;
            }
            const std::int64_t colorTable = ColorTableBytes(m_data[at + 9]);
            return 11 + colorTable + SubBlocksLength(at + 11 + colorTable);
        }
        case GifBlockKind::Trailer:
            return 1;
        case GifBlockKind::Unrecognised:
            break;
    }
    return -1;
}

std::int64_t CGifBlockWalker::SubBlocksLength(std::int64_t offset) const {
    std::int64_t at = offset;
    while (at < m_dataSize) {
        const std::uint8_t size = m_data[at];
        if (size == 0) {
            return at - offset + 1;
        }
        at += size + 1;
    }
    // The chain runs past the end: its terminator would lie beyond the data.
    return at - offset + 1;
}

bool CGifBlockWalker::SkipBlock() {
    if (m_data == nullptr || m_dataSize == 0) {
        return false;
    }
    const std::int64_t length = CurrentBlockLength();
    if (length <= 0 || m_offset + length > m_dataSize) {
        return false;
    }
    m_offset += static_cast<std::uint32_t>(length);
    return true;
}

bool CGifBlockWalker::IsRenderingBlock(GifBlockKind kind) {
    return kind == GifBlockKind::ImageDescriptor || kind == GifBlockKind::PlainTextExtension;
}

bool CGifBlockWalker::SkipNonGraphicBlocks() {
    for (;;) {
        const GifBlockKind kind = CurrentBlockKind();
        if (kind != GifBlockKind::ApplicationExtension && kind != GifBlockKind::CommentExtension) {
            return true;
        }
        if (!SkipBlock()) {
            return false;
        }
    }
}

bool CGifBlockWalker::WalkToRenderingBlock(std::int64_t* length) {
    for (;;) {
        const GifBlockKind kind = CurrentBlockKind();
        if (IsRenderingBlock(kind)) {
            return true;
        }
        if (kind == GifBlockKind::Unrecognised || kind == GifBlockKind::Trailer) {
            return false;
        }
        const std::int64_t blockLength = CurrentBlockLength();
        if (!SkipBlock()) {
            return false;
        }
        if (length != nullptr) {
            *length += blockLength;
        }
    }
}

bool CGifBlockWalker::SkipGraphicBlock() {
    if (!SkipNonGraphicBlocks()) {
        return false;
    }
    const GifBlockKind kind = CurrentBlockKind();
    if (kind == GifBlockKind::Unrecognised || kind == GifBlockKind::Trailer ||
        CurrentBlockLength() <= 0) {
        return false;
    }
    if (kind == GifBlockKind::GraphicControlExtension) {
        if (!SkipBlock() || !WalkToRenderingBlock(nullptr)) {
            return false;
        }
    }
    return SkipBlock();
}

std::optional<GifFrame> CGifBlockWalker::ExtractFrame() {
    GifFrame frame;
    if (!SkipNonGraphicBlocks()) {
        return std::nullopt;
    }
    GifBlockKind kind = CurrentBlockKind();
    if (kind == GifBlockKind::Unrecognised || kind == GifBlockKind::Trailer) {
        return std::nullopt;
    }
    const std::uint32_t start = m_offset;
    std::int64_t length = CurrentBlockLength();
    if (length <= 0) {
        return std::nullopt;
    }
    if (kind == GifBlockKind::GraphicControlExtension) {
        if (!SkipBlock()) {
            return std::nullopt;
        }
        // The whole extension lies within the data once it could be skipped.
        frame.values.disposal = (m_data[start + 3] >> 2) & 0x07u;
        frame.values.delay = ReadWord(start + 4);
        if (!WalkToRenderingBlock(&length)) {
            return std::nullopt;
        }
        length += CurrentBlockLength();
        kind = CurrentBlockKind();
    } else {
        frame.values.delay = kNoDelay;
    }
    const std::uint32_t renderingBlock = m_offset;
    if (!SkipBlock()) {
        return std::nullopt;
    }
    if (kind == GifBlockKind::ImageDescriptor) {
        frame.values.left = ReadWord(renderingBlock + 1);
        frame.values.top = ReadWord(renderingBlock + 3);
        frame.values.width = ReadWord(renderingBlock + 5);
        frame.values.height = ReadWord(renderingBlock + 7);
    }
    // Every block from the start up to here was skipped within the data, and the walk began
    // after the header and colour table, so both ranges copied lie inside it.
    const std::uint32_t header = kHeaderSize + m_colorTableSize;
    const auto count = static_cast<std::uint32_t>(length);
    frame.gif.reserve(std::size_t{header} + count + 1);
    frame.gif.assign(m_data, m_data + header);
    frame.gif.insert(frame.gif.end(), m_data + start, m_data + start + count);
    frame.gif.push_back(kTrailer);
    return frame;
}
