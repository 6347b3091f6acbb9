#include "controls/gifblocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "controls/gifbuilder.h"

namespace {

using giftest::Bytes;
using giftest::GifBuilder;

// The header and logical screen of a GIF without a global colour table: the blocks start at 13.
Bytes BareHeader() {
    return GifBuilder(8, 8, {}).bytes();
}

// A walker over a private copy of the data, so that reading a byte past the end is caught.
class Walk {
public:
    explicit Walk(const Bytes& data) : m_data(data), m_walker(m_data.data(), Size(m_data)) {}
    CGifBlockWalker* operator->() { return &m_walker; }

    int CountFrames() {
        int frames = 0;
        m_walker.RewindBlocks();
        while (m_walker.SkipGraphicBlock()) {
            ++frames;
        }
        return frames;
    }

    std::vector<GifFrame> ExtractAll() {
        std::vector<GifFrame> frames;
        m_walker.RewindBlocks();
        while (auto frame = m_walker.ExtractFrame()) {
            frames.push_back(*frame);
        }
        return frames;
    }

private:
    static std::uint32_t Size(const Bytes& data) { return static_cast<std::uint32_t>(data.size()); }
    Bytes m_data;
    CGifBlockWalker m_walker;
};

struct BlockCase {
    const char* name;
    Bytes block;  // placed right after a header without colour table
    GifBlockKind kind;
    std::int64_t length;
};

void PrintTo(const BlockCase& test, std::ostream* out) {
    *out << test.name;
}

class BlockKinds : public testing::TestWithParam<BlockCase> {};

TEST_P(BlockKinds, ClassifiesAndMeasuresTheBlockAtTheWalkPosition) {
    Bytes data = BareHeader();
    data.insert(data.end(), GetParam().block.begin(), GetParam().block.end());
    Walk walk(data);
    EXPECT_EQ(walk->Offset(), 13u);
    EXPECT_EQ(walk->CurrentBlockKind(), GetParam().kind);
    EXPECT_EQ(walk->CurrentBlockLength(), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(
    Gif, BlockKinds,
    testing::Values(
        // 14 bytes of head, then sub-blocks 3+1 and 2+1 and the terminator.
        BlockCase{"Application",
                  {0x21, 0xFF, 11,  'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E',
                   '2',  '.',  '0', 3,   1,   0,   0,   2,   9,   9,   0},
                  GifBlockKind::ApplicationExtension,
                  14 + 8},
        BlockCase{"Comment", {0x21, 0xFE, 2, 'h', 'i', 0}, GifBlockKind::CommentExtension, 2 + 4},
        // The control extension is 8 long whatever its own size byte says.
        BlockCase{"GraphicControl",
                  {0x21, 0xF9, 7, 0, 0, 0, 0, 0},
                  GifBlockKind::GraphicControlExtension,
                  8},
        BlockCase{"PlainText",
                  {0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 8, 8, 0, 1, 1, 'x', 0},
                  GifBlockKind::PlainTextExtension,
                  15 + 3},
        BlockCase{"Image",
                  {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 1, 4, 0},
                  GifBlockKind::ImageDescriptor,
                  11 + 3},
        // Size code 0 in a set local table flag: 6 bytes of table before the data.
        BlockCase{"ImageWithLocalTable",
                  {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x80, 1, 2, 3, 4, 5, 6, 2, 1, 4, 0},
                  GifBlockKind::ImageDescriptor,
                  11 + 6 + 3},
        BlockCase{"Trailer", {0x3B}, GifBlockKind::Trailer, 1},
        BlockCase{"OtherExtensionLabel", {0x21, 0x02, 0, 0}, GifBlockKind::Unrecognised, -1},
        BlockCase{"OtherByte", {0x00, 0x3B}, GifBlockKind::Unrecognised, -1},
        BlockCase{"IntroducerAsLastByte", {0x21}, GifBlockKind::Unrecognised, -1},
        BlockCase{"EndOfData", {}, GifBlockKind::Unrecognised, -1}),
    [](const testing::TestParamInfo<BlockCase>& test) { return std::string(test.param.name); });

TEST(GifBlocks, GlobalColourTableMovesTheFirstBlock) {
    // Four colours: size code 1, 12 bytes of table.
    Walk walk(GifBuilder(4, 4).Trailer().bytes());
    EXPECT_EQ(walk->ColorTableSize(), 12u);
    EXPECT_EQ(walk->Offset(), 25u);
    EXPECT_EQ(walk->CurrentBlockKind(), GifBlockKind::Trailer);
    EXPECT_EQ(walk->ScreenWidth(), 4);
    EXPECT_EQ(walk->ScreenHeight(), 4);
}

TEST(GifBlocks, SkipMayEndExactlyAtTheEndButNotBeyond) {
    Bytes data = BareHeader();
    const Bytes comment{0x21, 0xFE, 2, 'h', 'i', 0};
    data.insert(data.end(), comment.begin(), comment.end());
    {
        Walk walk(data);
        EXPECT_TRUE(walk->SkipBlock());
        EXPECT_EQ(walk->Offset(), data.size());
        EXPECT_EQ(walk->CurrentBlockKind(), GifBlockKind::Unrecognised);
        EXPECT_FALSE(walk->SkipBlock());
    }
    data.pop_back();  // the chain now runs past the end
    Walk walk(data);
    EXPECT_EQ(walk->CurrentBlockKind(), GifBlockKind::CommentExtension);
    EXPECT_GT(walk->Offset() + walk->CurrentBlockLength(), static_cast<std::int64_t>(data.size()));
    EXPECT_FALSE(walk->SkipBlock());
    EXPECT_EQ(walk->Offset(), 13u);
}

TEST(GifBlocks, ChainLengthReadsNoByteBeyondTheData) {
    // A size byte that announces far more than is left, and chains cut at every point.
    const Bytes image{0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x80, 1, 2, 3, 4, 5, 6, 2, 200, 4, 0};
    for (std::size_t cut = 1; cut <= image.size(); ++cut) {
        Bytes data = BareHeader();
        data.insert(data.end(), image.begin(), image.begin() + static_cast<std::ptrdiff_t>(cut));
        Walk walk(data);
        EXPECT_GT(walk->Offset() + walk->CurrentBlockLength(),
                  static_cast<std::int64_t>(data.size()))
            << "cut at " << cut;
        EXPECT_FALSE(walk->SkipGraphicBlock()) << "cut at " << cut;
        EXPECT_FALSE(walk->ExtractFrame().has_value()) << "cut at " << cut;
    }
}

TEST(GifBlocks, CountsGraphicBlocksWithOrWithoutControlExtension) {
    const Bytes gif = GifBuilder(8, 8)
                          .Application()
                          .Comment("made by hand")
                          .Control(10, 1)
                          .Fill(0, 0, 8, 8, giftest::kRed)
                          .Fill(1, 1, 2, 2, giftest::kBlue)  // no control extension
                          .Control(20, 2)
                          .Comment("between")
                          .PlainText(0, 0, 8, 8, "text")
                          .Trailer()
                          .bytes();
    EXPECT_EQ(Walk(gif).CountFrames(), 3);
}

struct WalkEnd {
    const char* name;
    Bytes tail;  // after two complete frames
    int frames;
};

void PrintTo(const WalkEnd& test, std::ostream* out) {
    *out << test.name;
}

class WalkEnds : public testing::TestWithParam<WalkEnd> {};

TEST_P(WalkEnds, KeepsTheFramesFoundBeforeTheWalkStops) {
    const Bytes gif = GifBuilder(8, 8)
                          .Control(10, 1)
                          .Fill(0, 0, 8, 8, giftest::kRed)
                          .Control(10, 1)
                          .Fill(2, 2, 4, 4, giftest::kBlue)
                          .Raw(GetParam().tail)
                          .bytes();
    Walk walk(gif);
    EXPECT_EQ(walk.CountFrames(), GetParam().frames);
    EXPECT_EQ(walk.ExtractAll().size(), static_cast<std::size_t>(GetParam().frames));
}

INSTANTIATE_TEST_SUITE_P(
    Gif, WalkEnds,
    testing::Values(WalkEnd{"Trailer", {0x3B, 0x21, 0xF9}, 2}, WalkEnd{"NoTrailer", {}, 2},
                    WalkEnd{"UnrecognisedBlock", {0x21, 0x77, 1, 0, 0x2C}, 2},
                    WalkEnd{"ControlExtensionThenTrailer", {0x21, 0xF9, 4, 0, 0, 0, 0, 0, 0x3B}, 2},
                    WalkEnd{"ControlExtensionCut", {0x21, 0xF9, 4, 0, 0}, 2},
                    WalkEnd{"ImageChainPastTheEnd", {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 9, 1}, 2},
                    WalkEnd{"CommentChainPastTheEnd", {0x21, 0xFE, 40, 'x'}, 2},
                    WalkEnd{
                        "ImageWithoutControl", {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 1, 4, 0}, 3}),
    [](const testing::TestParamInfo<WalkEnd>& test) { return std::string(test.param.name); });

TEST(GifBlocks, ExtractedFrameIsTheHeaderTheFramesBlocksAndATrailer) {
    GifBuilder builder(200, 27);
    const std::size_t header = builder.size();
    builder.Application("NETSCAPE2.0", {1, 0, 0});
    const std::size_t firstFrame = builder.size();
    builder.Control(312, 1, giftest::kYellow)
        .Application("XMPDataXMP", {7, 7})
        .Fill(0, 0, 200, 27, giftest::kRed);
    const std::size_t secondFrame = builder.size();
    builder.Comment("skipped").Control(6, 2).Fill(8, 5, 10, 17, giftest::kBlue).Trailer();
    const Bytes gif = builder.bytes();

    Walk walk(gif);
    const std::vector<GifFrame> frames = walk.ExtractAll();
    ASSERT_EQ(frames.size(), 2u);

    Bytes expected(gif.begin(), gif.begin() + static_cast<std::ptrdiff_t>(header));
    expected.insert(expected.end(), gif.begin() + static_cast<std::ptrdiff_t>(firstFrame),
                    gif.begin() + static_cast<std::ptrdiff_t>(secondFrame));
    expected.push_back(0x3B);
    EXPECT_EQ(frames[0].gif, expected);
    EXPECT_EQ(frames[0].values.delay, 312u);
    EXPECT_EQ(frames[0].values.disposal, 1u);
    EXPECT_EQ(frames[0].values.left, 0u);
    EXPECT_EQ(frames[0].values.width, 200u);
    EXPECT_EQ(frames[0].values.height, 27u);

    // The comment before the second frame's control extension is not part of the frame.
    const std::size_t commentLength = 2 + 8 + 1;
    Bytes second(gif.begin(), gif.begin() + static_cast<std::ptrdiff_t>(header));
    second.insert(second.end(),
                  gif.begin() + static_cast<std::ptrdiff_t>(secondFrame + commentLength),
                  gif.end() - 1);
    second.push_back(0x3B);
    EXPECT_EQ(frames[1].gif, second);
    EXPECT_EQ(frames[1].values.delay, 6u);
    EXPECT_EQ(frames[1].values.disposal, 2u);
    EXPECT_EQ(frames[1].values.left, 8u);
    EXPECT_EQ(frames[1].values.top, 5u);
    EXPECT_EQ(frames[1].values.width, 10u);
    EXPECT_EQ(frames[1].values.height, 17u);
}

TEST(GifBlocks, FrameWithoutControlExtensionWaitsForeverWithoutDisposal) {
    const Bytes gif = GifBuilder(8, 8).Fill(3, 4, 2, 1, giftest::kGreen).bytes();
    Walk walk(gif);
    const std::vector<GifFrame> frames = walk.ExtractAll();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].values.delay, kNoDelay);
    EXPECT_EQ(frames[0].values.disposal, 0u);
    EXPECT_EQ(frames[0].values.left, 3u);
    EXPECT_EQ(frames[0].values.top, 4u);
    EXPECT_EQ(frames[0].values.width, 2u);
    EXPECT_EQ(frames[0].values.height, 1u);
}

TEST(GifBlocks, PlainTextFrameHasNoPosition) {
    const Bytes gif = GifBuilder(8, 8).Control(7, 3).PlainText(1, 2, 3, 4, "abc").bytes();
    Walk walk(gif);
    const std::vector<GifFrame> frames = walk.ExtractAll();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].values.delay, 7u);
    EXPECT_EQ(frames[0].values.disposal, 3u);
    EXPECT_EQ(frames[0].values.left, 0u);
    EXPECT_EQ(frames[0].values.width, 0u);
    EXPECT_EQ(frames[0].gif.back(), 0x3B);
}

TEST(GifBlocks, SignatureNeedsOneOfTheTwoVersions) {
    const auto has = [](const std::string& text) {
        return CGifBlockWalker::HasGifSignature(reinterpret_cast<const std::uint8_t*>(text.data()),
                                                static_cast<std::uint32_t>(text.size()));
    };
    EXPECT_TRUE(has("GIF87a"));
    EXPECT_TRUE(has("GIF89a and more"));
    EXPECT_FALSE(has("GIF90a"));
    EXPECT_FALSE(has("GIF89"));
    EXPECT_FALSE(has("gif89a"));
    EXPECT_FALSE(CGifBlockWalker::HasGifSignature(nullptr, 6));
}

TEST(GifBlocks, TruncatedHeadersGiveNoFrames) {
    const Bytes gif = GifBuilder(8, 8).Control(10, 1).Fill(0, 0, 8, 8, giftest::kRed).bytes();
    for (std::size_t cut = 0; cut <= 30; ++cut) {
        Walk walk(Bytes(gif.begin(), gif.begin() + static_cast<std::ptrdiff_t>(cut)));
        EXPECT_EQ(walk.CountFrames(), 0) << "cut at " << cut;
        EXPECT_TRUE(walk.ExtractAll().empty()) << "cut at " << cut;
    }
}

}  // namespace
