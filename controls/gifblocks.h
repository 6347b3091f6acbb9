// A walk over the blocks of a GIF file in memory, as the animated picture takes a GIF apart into
// frames. Plain C++ with no drawing: it only classifies and measures blocks and cuts out
// stand-alone one-frame GIFs. It never reads a byte outside the data it is given.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

enum class GifBlockKind {
    Unrecognised,  // anything the walk cannot pass, also the end of the data
    ApplicationExtension,
    CommentExtension,
    GraphicControlExtension,
    PlainTextExtension,
    ImageDescriptor,
    Trailer,
};

// The values that a frame carries besides its picture.
struct GifFrameValues {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t delay = 0;  // hundredths of a second; all bits set without a control extension
    std::uint32_t disposal = 0;
};

// A frame cut out of the file: a complete GIF with the file's header, logical screen and global
// colour table, the frame's own blocks and a trailer.
struct GifFrame {
    std::vector<std::uint8_t> gif;
    GifFrameValues values;
};

inline constexpr std::uint32_t kNoDelay = 0xFFFFFFFFu;

class CGifBlockWalker {
public:
    // The walker borrows the bytes; they must outlive it.
    CGifBlockWalker(const std::uint8_t* data, std::uint32_t size);

    // True when the data begins with "GIF87a" or "GIF89a".
    static bool HasGifSignature(const std::uint8_t* data, std::uint32_t size);

    // The logical screen's size; 0 where the data is too short to hold it.
    int ScreenWidth() const;
    int ScreenHeight() const;
    // Size in bytes of the global colour table, 0 when the file has none.
    std::uint32_t ColorTableSize() const { return m_colorTableSize; }
    std::uint32_t Offset() const { return m_offset; }

    // Puts the walk on the first block after the global colour table.
    void RewindBlocks();
    GifBlockKind CurrentBlockKind() const;
    // The length of the block at the walk position; -1 for a block the walk cannot pass. A
    // block that runs past the end of the data gets a length that ends beyond it.
    std::int64_t CurrentBlockLength() const;
    // The length of the sub-block chain that starts at the offset, terminator included.
    std::int64_t SubBlocksLength(std::int64_t offset) const;
    // Moves past the current block; false when it has no valid length or does not end within
    // the data (ending exactly at the end is allowed).
    bool SkipBlock();
    // Moves past one graphic block (with its control extension and whatever lies between them);
    // false where the walk ends.
    bool SkipGraphicBlock();
    // Cuts out the next frame and moves past it; nothing where the walk ends.
    std::optional<GifFrame> ExtractFrame();

private:
    std::uint32_t ReadWord(std::uint32_t offset) const;
    // Skips application and comment extensions; false when a skip fails.
    bool SkipNonGraphicBlocks();
    // From a graphic control extension, walks to the image descriptor or plain text extension
    // that it belongs to, adding the length of every block passed to *length when given.
    bool WalkToRenderingBlock(std::int64_t* length);
    static bool IsRenderingBlock(GifBlockKind kind);

    const std::uint8_t* m_data;
    std::uint32_t m_dataSize;
    std::uint32_t m_offset = 0;
    std::uint32_t m_colorTableSize = 0;
};
