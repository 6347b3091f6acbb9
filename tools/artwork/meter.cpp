#include "tools/artwork/meter.h"

#include <array>

#include "tools/artwork/canvas.h"
#include "tools/artwork/look.h"
#include "tools/artwork/quantizer.h"
#include "tools/artwork/shapes.h"

namespace artwork {

namespace {

constexpr std::array<int, kMeterSegments> kSegmentLefts = {8,  19,  31,  44,  56,  68,  81,
                                                           93, 106, 118, 130, 143, 155, 168};
constexpr int kSegmentTop = 5;
constexpr int kSegmentHeight = 17;
constexpr int kGap = 2;
constexpr int kLastSegmentWidth = 10;

enum class State { kIdle, kEmpty, kLit, kPeak };

void DrawPanel(Canvas& canvas, State state) {
    const QRectF whole(0, 0, kMeterWidth, kMeterHeight);
    canvas.FillAll(Paint::Solid(Rgb(look::kOutside)));
    const QPainterPath panel = RoundedRect(whole, 4);
    canvas.Fill(panel,
                Paint::Linear(QPointF(0, 0), QPointF(0, kMeterHeight),
                              {{0.0, Rgb(look::kGroundTop)}, {1.0, Rgb(look::kGroundBottom)}}));
    const Mask outer(panel, kMeterWidth, kMeterHeight);
    const Mask inner(RoundedRect(whole.adjusted(1, 1, -1, -1), 3), kMeterWidth, kMeterHeight);
    const Colour edge =
        state == State::kPeak ? Mix(Rgb(look::kEdge), look::Accent(0.5), 0.45) : Rgb(look::kEdge);
    canvas.Fill(outer - inner, Paint::Solid(edge));
}

void DrawSegment(Canvas& canvas, int index, State state) {
    const QRectF box(MeterSegment(index));
    const QPainterPath shape = RoundedRect(box, 2);
    const Mask outer(shape, kMeterWidth, kMeterHeight);
    const Mask inner(RoundedRect(box.adjusted(1, 1, -1, -1), 1), kMeterWidth, kMeterHeight);
    if (state == State::kIdle || state == State::kEmpty) {
        const Colour tint = state == State::kIdle ? Rgb(0x1B1F26) : Rgb(look::kSlot);
        canvas.Fill(outer, Paint::Linear(box.topLeft(), box.bottomLeft(),
                                         {{0.0, Mix(tint, Rgb(0), 0.35)}, {1.0, tint}}));
        const Colour rim = state == State::kIdle ? Rgb(0x23282F) : Rgb(look::kSlotEdge);
        canvas.Fill(outer - inner, Paint::Solid(rim));
        return;
    }
    // Flat colours with a light top row and a shaded bottom row: gradients would only band
    // in a 64-colour table.
    const Colour base = look::Accent(index / double(kMeterSegments - 1));
    const Colour body = state == State::kPeak ? Mix(base, Rgb(0xFFFFFF), 0.22) : base;
    canvas.Fill(outer, Paint::Solid(body));
    const QRectF topRow(box.left() + 1, box.top() + 1, box.width() - 2, 1);
    canvas.Fill(Rectangle(topRow), Paint::Solid(Rgb(0xFFFFFF)), state == State::kPeak ? 0.6 : 0.4);
    const QRectF bottomRow(box.left() + 1, box.bottom() - 2, box.width() - 2, 1);
    canvas.Fill(Rectangle(bottomRow), Paint::Solid(Rgb(0x000000)), 0.18);
}

// The two chevrons at the right end, or a power symbol on the idle picture.
void DrawEndMark(Canvas& canvas, State state) {
    if (state == State::kIdle) {
        const QPointF centre(189.5, 14);
        const Mask ring(Ring(centre, 6.5, 4.7), kMeterWidth, kMeterHeight);
        const Mask gap(Polygon({{186.5, 4}, {192.5, 4}, {189.5, 13}}), kMeterWidth, kMeterHeight);
        canvas.Fill(ring - gap, Paint::Solid(Rgb(look::kIdleGrey)));
        canvas.Fill(RoundedRect(QRectF(188.6, 5.5, 1.8, 8), 0.9),
                    Paint::Solid(Rgb(look::kIdleGrey)));
        return;
    }
    for (int i = 0; i < 2; ++i) {
        const double x = 181.5 + 7 * i;
        const QPainterPath chevron = Polygon(
            {{x, 7.5}, {x + 3.5, 7.5}, {x + 9, 13.5}, {x + 3.5, 19.5}, {x, 19.5}, {x + 5.5, 13.5}});
        Colour colour = Mix(Rgb(look::kEdge), look::Accent(0.5), 0.35);
        if (state == State::kPeak) {
            colour = Mix(look::Accent(0.6 + 0.3 * i), Rgb(0xFFFFFF), 0.25);
        }
        canvas.Fill(chevron, Paint::Solid(colour));
    }
}

QImage MeterPicture(State state) {
    Canvas canvas(kMeterWidth, kMeterHeight);
    DrawPanel(canvas, state);
    for (int i = 0; i < kMeterSegments; ++i) {
        DrawSegment(canvas, i, state);
    }
    DrawEndMark(canvas, state);
    return canvas.ToImage();
}

GifFrame WholeFrame(const Palette& palette, const QImage& picture, GifControl control) {
    const QRect area(0, 0, kMeterWidth, kMeterHeight);
    return {area, palette.Indices(picture, area), control};
}

}  // namespace

QRect MeterSegment(int index) {
    const int left = kSegmentLefts[static_cast<std::size_t>(index)];
    const int width = index + 1 < kMeterSegments
                          ? kSegmentLefts[static_cast<std::size_t>(index) + 1] - left - kGap
                          : kLastSegmentWidth;
    return {left, kSegmentTop, width, kSegmentHeight};
}

GifPicture MeterSweep(std::uint16_t delay) {
    const QImage empty = MeterPicture(State::kEmpty);
    const QImage lit = MeterPicture(State::kLit);
    const QImage peak = MeterPicture(State::kPeak);
    const Palette palette = Palette::MedianCut({empty, lit, peak}, kMeterColours);

    GifPicture picture;
    picture.width = kMeterWidth;
    picture.height = kMeterHeight;
    picture.palette = palette.Colours();
    picture.loop = true;
    picture.frames.push_back(WholeFrame(palette, empty, {delay, 1}));
    for (int i = 0; i < kMeterSegments; ++i) {
        const QRect area = MeterSegment(i);
        picture.frames.push_back({area, palette.Indices(lit, area), GifControl{delay, 1}});
    }
    picture.frames.push_back(WholeFrame(palette, peak, {delay, 2}));
    return picture;
}

GifPicture MeterIdle() {
    const QImage idle = MeterPicture(State::kIdle);
    const Palette palette = Palette::MedianCut({idle}, kMeterColours);
    GifPicture picture;
    picture.width = kMeterWidth;
    picture.height = kMeterHeight;
    picture.palette = palette.Colours();
    const QRect area(0, 0, kMeterWidth, kMeterHeight);
    picture.frames.push_back({area, palette.Indices(idle, area), std::nullopt});
    return picture;
}

}  // namespace artwork
