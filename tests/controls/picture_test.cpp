#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <future>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "controls/gifblocks.h"
#include "controls/gifbuilder.h"
#include "controls/picturetesting.h"
#include "platform/qt/resources.h"

namespace {

using giftest::Bytes;
using giftest::GifBuilder;
using picturetest::kBlue;
using picturetest::kButtonFace;
using picturetest::kGreen;
using picturetest::kMenu;
using picturetest::kRed;
using picturetest::kYellow;

// A delay that keeps a frame on the canvas for the rest of a test (655 s).
constexpr unsigned kHold = 65535;

// Three frames on a 30 by 10 screen: red over the whole screen, a blue square at (2, 2) with
// the given disposal, then a green square at (20, 2) that stays.
Bytes DisposalGif(unsigned disposal) {
    return GifBuilder(30, 10)
        .Application()
        .Control(5, 1)
        .Fill(0, 0, 30, 10, giftest::kRed)
        .Control(5, disposal)
        .Fill(2, 2, 6, 6, giftest::kBlue)
        .Control(kHold, 1)
        .Fill(20, 2, 6, 6, giftest::kGreen)
        .Trailer()
        .bytes();
}

// Two short frames; the second holds when told to.
Bytes TwoFrameGif(unsigned secondDelay = 0) {
    return GifBuilder(30, 10)
        .Control(0, 1)
        .Fill(0, 0, 10, 10, giftest::kRed)
        .Control(secondDelay, 1)
        .Fill(0, 0, 10, 10, giftest::kBlue)
        .Trailer()
        .bytes();
}

Bytes StillGif() {
    return GifBuilder(12, 6).Control(0, 0).Fill(0, 0, 12, 6, giftest::kYellow).Trailer().bytes();
}

// The blocks of a GIF built without a colour table, without its 13 bytes of header.
Bytes BlocksOf(const GifBuilder& builder) {
    return Bytes(builder.bytes().begin() + 13, builder.bytes().end());
}

Bytes PngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return Bytes(bytes.begin(), bytes.end());
}

class Picture : public picturetest::PictureTest {};

TEST_F(Picture, AnimatedGifIsTakenApartIntoFramesOnACanvasOfTheScreenSize) {
    const Bytes gif = GifBuilder(30, 10)
                          .Control(312, 1)
                          .Fill(0, 0, 30, 10, giftest::kRed)
                          .Control(6, 2)
                          .Fill(8, 5, 3, 4, giftest::kBlue)
                          .Trailer()
                          .bytes();
    m_picture->move(7, 9);
    ASSERT_TRUE(Load(gif));
    EXPECT_TRUE(m_picture->IsAnimated());
    EXPECT_FALSE(m_picture->IsPlaying());
    EXPECT_EQ(m_picture->PictureSize(), QSize(30, 10));
    EXPECT_EQ(m_picture->geometry(), QRect(7, 9, 30, 10));
    EXPECT_EQ(m_picture->Background(), kButtonFace);

    const auto& frames = m_picture->Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].m_delay, 312u);
    EXPECT_EQ(frames[0].m_disposal, 1u);
    EXPECT_EQ(frames[1].m_delay, 6u);
    EXPECT_EQ(frames[1].m_disposal, 2u);
    EXPECT_EQ(frames[1].m_left, 8u);
    EXPECT_EQ(frames[1].m_top, 5u);
    EXPECT_EQ(frames[1].m_width, 3u);
    EXPECT_EQ(frames[1].m_height, 4u);
    // Each frame keeps only its own rectangle.
    EXPECT_EQ(frames[1].m_image.size(), QSize(3, 4));
    EXPECT_EQ(frames[1].m_imageAt, QPoint(8, 5));
    EXPECT_EQ(QColor(frames[1].m_image.pixel(1, 1)), kBlue);

    // Before it is shown the canvas holds the menu colour only.
    const QImage canvas = m_picture->Canvas();
    ASSERT_EQ(canvas.size(), QSize(30, 10));
    EXPECT_EQ(Pixel(canvas, 0, 0), kMenu);
    EXPECT_EQ(Pixel(canvas, 29, 9), kMenu);
}

TEST_F(Picture, StillPicturesAreDrawnOnceWithoutAWorker) {
    QImage png(5, 4, QImage::Format_ARGB32);
    png.fill(Qt::transparent);
    png.setPixel(1, 2, qRgb(0, 255, 0));
    struct Still {
        const char* name;
        Bytes bytes;
        QSize size;
        QPoint probe;
        QColor colour;
    };
    const std::vector<Still> stills = {
        {"one-frame GIF", StillGif(), QSize(12, 6), QPoint(11, 5), kYellow},
        {"PNG", PngBytes(png), QSize(5, 4), QPoint(1, 2), kGreen},
    };
    for (const Still& still : stills) {
        SCOPED_TRACE(still.name);
        ASSERT_TRUE(Load(still.bytes));
        EXPECT_FALSE(m_picture->IsAnimated());
        EXPECT_TRUE(m_picture->Frames().empty());
        EXPECT_EQ(m_picture->PictureSize(), still.size);
        EXPECT_EQ(m_picture->size(), still.size);
        EXPECT_EQ(Pixel(m_picture->Canvas(), still.probe.x(), still.probe.y()), kMenu);
        m_picture->ShowPicture();
        EXPECT_FALSE(m_picture->IsPlaying());
        const QImage canvas = m_picture->Canvas();
        EXPECT_EQ(Pixel(canvas, still.probe.x(), still.probe.y()), still.colour);
    }
    // The PNG's transparent pixels leave the canvas as it was.
    EXPECT_EQ(Pixel(m_picture->Canvas(), 0, 0), kMenu);
}

TEST_F(Picture, PaintingCopiesTheCanvasToTheWindow) {
    ASSERT_TRUE(Load(DisposalGif(1)));
    m_picture->ShowPicture();
    ASSERT_TRUE(WaitForPixel(*m_picture, 22, 4, kGreen));
    m_picture->StopAnimation();
    const QImage shown = m_picture->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, m_picture->Canvas().convertToFormat(QImage::Format_RGB32));
}

TEST_F(Picture, RejectedDataLeavesTheControlEmpty) {
    const Bytes bytes(64, 0x5A);
    Bytes otherVersion = StillGif();
    otherVersion[4] = '0';  // "GIF80a"
    struct Rejected {
        const char* name;
        Bytes bytes;
    };
    const std::vector<Rejected> cases = {
        {"nothing", {}},
        {"not a picture", bytes},
        {"signature only", Bytes{'G', 'I', 'F', '8', '9', 'a'}},
        {"another GIF version", otherVersion},
        {"no frame", GifBuilder(8, 8).Comment("empty").Trailer().bytes()},
        {"frames that do not load",
         GifBuilder(8, 8).PlainText(0, 0, 8, 8, "a").PlainText(0, 0, 8, 8, "b").Trailer().bytes()},
        {"screen too large for a canvas",
         GifBuilder(65535, 65535).Control(5, 1).Fill(0, 0, 2, 2, 0).Fill(0, 0, 2, 2, 1).bytes()},
        {"empty screen", GifBuilder(0, 8).Fill(0, 0, 2, 2, 0).Fill(0, 0, 2, 2, 1).bytes()},
    };
    for (const Rejected& rejected : cases) {
        SCOPED_TRACE(rejected.name);
        ASSERT_TRUE(Load(DisposalGif(1)));
        m_picture->ShowPicture();
        EXPECT_FALSE(Load(rejected.bytes));
        EXPECT_FALSE(m_picture->IsPlaying());
        EXPECT_FALSE(m_picture->IsAnimated());
        EXPECT_TRUE(m_picture->Frames().empty());
        EXPECT_TRUE(m_picture->Canvas().isNull());
        EXPECT_EQ(m_picture->Background(), QColor(Qt::white));
        m_picture->ShowPicture();
        EXPECT_FALSE(m_picture->IsPlaying());
    }
    EXPECT_FALSE(m_picture->LoadFromMemory(nullptr, 10));
}

TEST_F(Picture, MissingResourceKeepsThePictureThatPlays) {
    ASSERT_TRUE(Load(DisposalGif(1)));
    m_picture->ShowPicture();
    EXPECT_FALSE(m_picture->LoadFromResource(win::WORD{9999}, "GIF"));
    EXPECT_FALSE(m_picture->LoadFromResource("NO SUCH NAME", "NOTYPE"));
    EXPECT_TRUE(m_picture->IsPlaying());
    EXPECT_EQ(m_picture->Frames().size(), 3u);
    EXPECT_TRUE(WaitForPixel(*m_picture, 22, 4, kGreen));
}

// Where the block walk stops, the frames found before it play.
TEST_F(Picture, FramesBeforeTheEndOfTheWalkPlay) {
    struct Walk {
        const char* name;
        Bytes tail;  // after a red frame and a blue frame that holds
        std::size_t frames;
    };
    const std::vector<Walk> cases = {
        {"no trailer", {}, 2},
        {"chain past the end",
         {0x21, 0xF9, 4, 0, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 90},
         2},
        {"unrecognised block", {0x21, 0x42, 3, 1, 2, 3, 0, 0x3B}, 2},
        // The plain text frame is counted but does not load; the image after it does.
        {"plain text frame",
         BlocksOf(GifBuilder(0, 0, {})
                      .Control(0, 1)
                      .PlainText(0, 0, 4, 4, "txt")
                      .Fill(20, 0, 5, 5, giftest::kGreen)
                      .Trailer()),
         3},
    };
    for (const Walk& walk : cases) {
        SCOPED_TRACE(walk.name);
        const Bytes gif = GifBuilder(30, 10)
                              .Control(0, 1)
                              .Fill(0, 0, 30, 10, giftest::kRed)
                              .Control(kHold, 1)
                              .Fill(2, 2, 4, 4, giftest::kBlue)
                              .Raw(walk.tail)
                              .bytes();
        ASSERT_TRUE(Load(gif));
        EXPECT_EQ(m_picture->Frames().size(), walk.frames);
        m_picture->ShowPicture();
        EXPECT_TRUE(WaitForPixel(*m_picture, 3, 3, kBlue));
        EXPECT_EQ(Pixel(m_picture->Canvas(), 15, 5), kRed);
    }
}

TEST_F(Picture, FrameWithoutControlExtensionStaysUntilStopped) {
    const Bytes gif = GifBuilder(30, 10)
                          .Fill(0, 0, 30, 10, giftest::kRed)
                          .Control(0, 1)
                          .Fill(0, 0, 30, 10, giftest::kBlue)
                          .bytes();
    ASSERT_TRUE(Load(gif));
    ASSERT_EQ(m_picture->Frames().size(), 2u);
    EXPECT_EQ(m_picture->Frames()[0].m_delay, 0xFFFFFFFFu);
    EXPECT_EQ(m_picture->Frames()[0].m_disposal, 0u);
    EXPECT_EQ(CPictureEx::FrameWaitMilliseconds(m_picture->Frames()[0].m_delay), 4294967286u);
    m_picture->ShowPicture();
    EXPECT_TRUE(WaitForPixel(*m_picture, 5, 5, kRed));
    m_picture->StopAnimation();
    EXPECT_FALSE(m_picture->IsPlaying());
}

TEST(PictureTiming, FrameWaitFollowsTheDelay) {
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> waits = {
        {312, 3120}, {187, 1870}, {62, 620}, {31, 310}, {12, 120},      {6, 60},
        {5, 50},     {4, 100},    {1, 100},  {0, 100},  {65535, 655350}};
    for (const auto& [delay, milliseconds] : waits) {
        EXPECT_EQ(CPictureEx::FrameWaitMilliseconds(delay), milliseconds) << delay;
    }
}

struct DisposalCase {
    unsigned disposal;
    QColor underSecondFrame;  // once the third frame shows
};

void PrintTo(const DisposalCase& test, std::ostream* out) {
    *out << "disposal method " << test.disposal;
}

class Disposal : public picturetest::PictureTest,
                 public testing::WithParamInterface<DisposalCase> {};

TEST_P(Disposal, LeavesClearsOrRestoresTheFrameArea) {
    ASSERT_TRUE(Load(DisposalGif(GetParam().disposal)));
    m_picture->ShowPicture();
    ASSERT_TRUE(WaitForPixel(*m_picture, 22, 4, kGreen));
    const QImage canvas = m_picture->Canvas();
    EXPECT_EQ(Pixel(canvas, 2, 2), GetParam().underSecondFrame);
    EXPECT_EQ(Pixel(canvas, 7, 7), GetParam().underSecondFrame);
    EXPECT_EQ(Pixel(canvas, 8, 8), kRed);
    EXPECT_EQ(Pixel(canvas, 1, 1), kRed);
    EXPECT_EQ(Pixel(canvas, 15, 5), kRed);
}

INSTANTIATE_TEST_SUITE_P(Picture, Disposal,
                         testing::Values(DisposalCase{0, kBlue}, DisposalCase{1, kBlue},
                                         DisposalCase{2, kButtonFace}, DisposalCase{3, kRed},
                                         DisposalCase{4, kBlue}, DisposalCase{7, kBlue}),
                         [](const testing::TestParamInfo<DisposalCase>& test) {
                             return "Method" + std::to_string(test.param.disposal);
                         });

TEST_F(Picture, TransparentPixelsAndLocalColoursDrawOverTheCanvas) {
    const std::vector<giftest::Rgb> local = {{0, 255, 0}, {255, 255, 0}, {0, 0, 0}, {0, 0, 0}};
    const Bytes gif = GifBuilder(30, 10)
                          .Control(0, 1)
                          .Fill(0, 0, 30, 10, giftest::kBlue)
                          .Control(kHold, 1, 2)
                          // 3 by 2 at (10, 4); index 2 is transparent, the local table gives
                          // green for 0 and yellow for 1.
                          .Image(10, 4, 3, 2, {0, 2, 1, 2, 2, 0}, local)
                          .bytes();
    ASSERT_TRUE(Load(gif));
    m_picture->ShowPicture();
    ASSERT_TRUE(WaitForPixel(*m_picture, 10, 4, kGreen));
    const QImage canvas = m_picture->Canvas();
    EXPECT_EQ(Pixel(canvas, 11, 4), kBlue);
    EXPECT_EQ(Pixel(canvas, 12, 4), kYellow);
    EXPECT_EQ(Pixel(canvas, 10, 5), kBlue);
    EXPECT_EQ(Pixel(canvas, 12, 5), kGreen);
    EXPECT_EQ(Pixel(canvas, 9, 4), kBlue);
    EXPECT_EQ(Pixel(canvas, 13, 5), kBlue);
}

TEST_F(Picture, FramesReachingPastTheCanvasAreClipped) {
    const Bytes gif = GifBuilder(30, 10)
                          .Control(5, 1)
                          .Fill(0, 0, 30, 10, giftest::kRed)
                          .Control(5, 3)
                          .Fill(25, 5, 10, 10, giftest::kBlue)
                          .Control(5, 2)
                          .Fill(40, 20, 4, 4, giftest::kYellow)  // wholly beside the canvas
                          .Control(kHold, 1)
                          .Fill(0, 0, 2, 2, giftest::kGreen)
                          .Trailer()
                          .bytes();
    ASSERT_TRUE(Load(gif));
    const auto& frames = m_picture->Frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[1].m_width, 10u);
    EXPECT_EQ(frames[1].m_image.size(), QSize(5, 5));
    EXPECT_EQ(frames[1].m_imageAt, QPoint(25, 5));
    EXPECT_EQ(frames[2].m_left, 40u);
    EXPECT_TRUE(frames[2].m_image.isNull());

    m_picture->ShowPicture();
    ASSERT_TRUE(WaitForPixel(*m_picture, 1, 1, kGreen));
    const QImage canvas = m_picture->Canvas();
    EXPECT_EQ(Pixel(canvas, 29, 9), kRed);  // restored after the blue frame
    EXPECT_EQ(Pixel(canvas, 24, 4), kRed);
    EXPECT_EQ(Pixel(canvas, 15, 5), kRed);
}

TEST_F(Picture, AfterTheLastFrameTheCanvasIsClearedAndTheFirstFollows) {
    ASSERT_TRUE(Load(TwoFrameGif()));
    m_picture->ShowPicture();
    // No frame covers (20, 5): it shows the menu colour until the first round ends.
    EXPECT_TRUE(WaitForPixel(*m_picture, 20, 5, kButtonFace));
    EXPECT_TRUE(WaitForPixel(*m_picture, 5, 5, kRed));
    EXPECT_TRUE(WaitForPixel(*m_picture, 5, 5, kBlue));
}

TEST_F(Picture, StopCutsALongDelayShort) {
    ASSERT_TRUE(Load(DisposalGif(1)));
    m_picture->ShowPicture();
    ASSERT_TRUE(WaitForPixel(*m_picture, 22, 4, kGreen));  // now in its 655 s delay
    auto stopped = std::async(std::launch::async, [this] { m_picture->StopAnimation(); });
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_FALSE(m_picture->IsPlaying());
    // The canvas keeps the last drawing.
    EXPECT_EQ(Pixel(m_picture->Canvas(), 22, 4), kGreen);
}

TEST_F(Picture, ShowAgainAfterStopGoesOnPlaying) {
    ASSERT_TRUE(Load(TwoFrameGif()));
    m_picture->ShowPicture();
    ASSERT_TRUE(WaitForPixel(*m_picture, 5, 5, kBlue));
    m_picture->StopAnimation();
    m_picture->StopAnimation();  // a second stop has nothing to end
    m_picture->ShowPicture();
    EXPECT_TRUE(m_picture->IsPlaying());
    EXPECT_TRUE(WaitForPixel(*m_picture, 5, 5, kRed));
    EXPECT_TRUE(WaitForPixel(*m_picture, 5, 5, kBlue));
}

TEST_F(Picture, ShowWhilePlayingStartsNoSecondWorker) {
    ASSERT_TRUE(Load(TwoFrameGif()));
    for (int i = 0; i < 5; ++i) {
        m_picture->ShowPicture();
        EXPECT_TRUE(m_picture->IsPlaying());
    }
    EXPECT_TRUE(WaitForPixel(*m_picture, 5, 5, kBlue));
    m_picture->StopAnimation();
    EXPECT_FALSE(m_picture->IsPlaying());
}

TEST_F(Picture, LoadsInEitherOrderStopTheOldPictureFirst) {
    // Animated over still, still over animated, and animated over animated while it plays.
    ASSERT_TRUE(Load(StillGif()));
    m_picture->ShowPicture();
    ASSERT_TRUE(Load(DisposalGif(1)));
    EXPECT_EQ(m_picture->PictureSize(), QSize(30, 10));
    EXPECT_EQ(Pixel(m_picture->Canvas(), 22, 4), kMenu);
    m_picture->ShowPicture();
    ASSERT_TRUE(WaitForPixel(*m_picture, 22, 4, kGreen));

    ASSERT_TRUE(Load(StillGif()));
    EXPECT_FALSE(m_picture->IsPlaying());
    EXPECT_EQ(m_picture->PictureSize(), QSize(12, 6));
    m_picture->ShowPicture();
    EXPECT_EQ(Pixel(m_picture->Canvas(), 3, 3), kYellow);

    ASSERT_TRUE(Load(TwoFrameGif(kHold)));
    m_picture->ShowPicture();
    ASSERT_TRUE(WaitForPixel(*m_picture, 5, 5, kBlue));
    ASSERT_TRUE(Load(DisposalGif(2)));
    EXPECT_FALSE(m_picture->IsPlaying());
    EXPECT_EQ(Pixel(m_picture->Canvas(), 5, 5), kMenu);
    m_picture->ShowPicture();
    EXPECT_TRUE(WaitForPixel(*m_picture, 22, 4, kGreen));
}

TEST_F(Picture, DestroyedWhilePlaying) {
    ASSERT_TRUE(Load(TwoFrameGif()));
    m_picture->ShowPicture();
    ASSERT_TRUE(WaitForPixel(*m_picture, 5, 5, kBlue));
    m_picture.reset();

    // With its dialog, in the middle of a long delay and with repaints still queued.
    auto dialog = std::make_unique<QDialog>();
    CPictureEx* child = MakePicture(dialog.get()).release();
    ASSERT_TRUE(Load(*child, DisposalGif(3)));
    child->ShowPicture();
    ASSERT_TRUE(WaitForPixel(*child, 22, 4, kGreen));
    dialog.reset();
    QCoreApplication::processEvents();
}

TEST_F(Picture, TakesThePlaceOfTheDialogsPlaceholder) {
    QDialog dialog;
    auto* before = new QLabel(&dialog);
    before->setProperty("ctrlId", 1036);
    auto* placeholder = new QLabel(&dialog);
    placeholder->setProperty("ctrlId", 1037);
    placeholder->setGeometry(14, 40, 120, 20);
    auto* after = new QLabel(&dialog);
    after->setProperty("ctrlId", 1038);

    CPictureEx* picture = MakePicture().release();
    EXPECT_FALSE(picture->SubclassDlgItem(1099, &dialog));
    EXPECT_FALSE(picture->SubclassDlgItem(1037, nullptr));
    ASSERT_TRUE(picture->SubclassDlgItem(1037, &dialog));
    EXPECT_EQ(picture->parentWidget(), &dialog);
    EXPECT_EQ(picture->property("ctrlId").toInt(), 1037);
    EXPECT_EQ(picture->geometry(), QRect(14, 40, 120, 20));
    EXPECT_FALSE(picture->isHidden());

    // The placeholder is gone, and the picture stands where it stood among its siblings.
    std::vector<int> ids;
    for (QObject* child : dialog.children()) {
        ids.push_back(child->property("ctrlId").toInt());
    }
    EXPECT_EQ(ids, (std::vector<int>{1036, 1037, 1038}));

    // Loading sizes it to the picture and keeps its place.
    ASSERT_TRUE(Load(*picture, DisposalGif(1)));
    EXPECT_EQ(picture->geometry(), QRect(14, 40, 30, 10));
}

// The program's own resources.
class ProgramPictures : public picturetest::PictureTest {
protected:
    void SetUp() override {
        PictureTest::SetUp();
        if (win::FindResource(nullptr, win::MAKEINTRESOURCE(176), "GIF") == nullptr) {
            GTEST_SKIP() << "the program's GIF resources are not compiled in";
        }
    }
};

TEST_F(ProgramPictures, LevelAnimationHasSixteenFramesAcrossTheBar) {
    ASSERT_TRUE(m_picture->LoadFromResource(win::WORD{176}, "GIF"));
    EXPECT_TRUE(m_picture->IsAnimated());
    EXPECT_EQ(m_picture->size(), QSize(200, 27));
    const auto& frames = m_picture->Frames();
    ASSERT_EQ(frames.size(), 16u);
    const std::vector<unsigned> lefts = {8,  19,  31,  44,  56,  68,  81,
                                         93, 106, 118, 130, 143, 155, 168};
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i].m_delay, 312u);
        EXPECT_EQ(frames[i].m_disposal, i == 15 ? 2u : 1u);
        if (i == 0 || i == 15) {
            EXPECT_EQ(frames[i].m_left, 0u);
            EXPECT_EQ(frames[i].m_top, 0u);
            EXPECT_EQ(frames[i].m_width, 200u);
            EXPECT_EQ(frames[i].m_height, 27u);
        } else {
            EXPECT_EQ(frames[i].m_left, lefts[i - 1]);
            EXPECT_EQ(frames[i].m_top, 5u);
            EXPECT_GE(frames[i].m_width, 9u);
            EXPECT_LE(frames[i].m_width, 11u);
            EXPECT_EQ(frames[i].m_height, 17u);
        }
    }
    m_picture->ShowPicture();
    EXPECT_TRUE(m_picture->IsPlaying());
}

TEST_F(ProgramPictures, FirstLevelFrameCarriesTheApplicationExtensionBeforeItsImage) {
    win::HRSRC resource = win::FindResource(nullptr, win::MAKEINTRESOURCE(176), "GIF");
    const auto* bytes =
        static_cast<const std::uint8_t*>(win::LockResource(win::LoadResource(nullptr, resource)));
    ASSERT_NE(bytes, nullptr);
    CGifBlockWalker walker(bytes, win::SizeofResource(nullptr, resource));
    EXPECT_EQ(walker.ColorTableSize(), 192u);
    walker.RewindBlocks();
    const std::optional<GifFrame> first = walker.ExtractFrame();
    ASSERT_TRUE(first.has_value());

    // Walk the stand-alone GIF: the same header and table, then exactly these blocks.
    const Bytes& gif = first->gif;
    ASSERT_GT(gif.size(), 13u + 192u);
    EXPECT_TRUE(std::equal(gif.begin(), gif.begin() + 13 + 192, bytes));
    CGifBlockWalker frame(gif.data(), static_cast<std::uint32_t>(gif.size()));
    std::vector<GifBlockKind> kinds{frame.CurrentBlockKind()};
    while (frame.SkipBlock()) {
        kinds.push_back(frame.CurrentBlockKind());
    }
    EXPECT_EQ(kinds, (std::vector<GifBlockKind>{
                         GifBlockKind::GraphicControlExtension, GifBlockKind::ApplicationExtension,
                         GifBlockKind::ImageDescriptor, GifBlockKind::Trailer,
                         GifBlockKind::Unrecognised}));
}

TEST_F(ProgramPictures, AnimationsDifferInTheirDelay) {
    const std::vector<std::pair<win::WORD, unsigned>> delays = {{128, 187}, {176, 312}, {178, 62},
                                                                {179, 31},  {180, 12},  {181, 6}};
    for (const auto& [id, delay] : delays) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(m_picture->LoadFromResource(id, "GIF"));
        EXPECT_EQ(m_picture->PictureSize(), QSize(200, 27));
        ASSERT_EQ(m_picture->Frames().size(), 16u);
        for (const CPictureFrame& frame : m_picture->Frames()) {
            EXPECT_EQ(frame.m_delay, delay);
        }
    }
}

TEST_F(ProgramPictures, OffPictureIsDrawnOnceWithoutAWorker) {
    ASSERT_TRUE(m_picture->LoadFromResource(win::WORD{176}, "GIF"));
    m_picture->ShowPicture();
    ASSERT_TRUE(m_picture->LoadFromResource(win::WORD{182}, "GIF"));
    EXPECT_FALSE(m_picture->IsPlaying());
    EXPECT_FALSE(m_picture->IsAnimated());
    EXPECT_EQ(m_picture->size(), QSize(200, 27));
    const QImage before = m_picture->Canvas();
    m_picture->ShowPicture();
    EXPECT_FALSE(m_picture->IsPlaying());
    EXPECT_NE(m_picture->Canvas(), before);
}

}  // namespace
