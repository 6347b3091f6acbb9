// Off-screen drawing with results that do not depend on the machine: Qt only turns a shape
// into pixel coverage (its rasteriser is plain integer code); colours, gradients and
// compositing are computed here with nothing but + - * / and square roots.
#pragma once

#include <QImage>
#include <QPainterPath>
#include <QPointF>

#include <cstdint>
#include <vector>

namespace artwork {

// A colour with straight (not premultiplied) alpha, each channel 0 to 1.
struct Colour {
    double r = 0;
    double g = 0;
    double b = 0;
    double a = 1;
};

// 0xRRGGBB, opaque unless an alpha is given.
Colour Rgb(std::uint32_t hex, double alpha = 1.0);
Colour Mix(const Colour& from, const Colour& to, double t);
Colour WithAlpha(const Colour& colour, double alpha);

struct Stop {
    double at;  // 0 to 1 along the gradient
    Colour colour;
};

// How a shape is coloured at a point: one colour, a linear gradient between two points or a
// radial gradient around a centre (elliptical when the two radii differ). Positions before
// the first stop take its colour, after the last stop the last one's.
class Paint {
public:
    static Paint Solid(const Colour& colour);
    static Paint Linear(QPointF from, QPointF to, std::vector<Stop> stops);
    static Paint Radial(QPointF centre, double radiusX, double radiusY, std::vector<Stop> stops);

    Colour At(double x, double y) const;

private:
    enum class Kind { kSolid, kLinear, kRadial };

    Colour AlongStops(double t) const;

    Kind kind_ = Kind::kSolid;
    QPointF from_;
    QPointF to_;
    double radiusX_ = 1;
    double radiusY_ = 1;
    std::vector<Stop> stops_;
};

// How much of every pixel of a width × height area a shape covers, 0 to 255.
class Mask {
public:
    Mask(const QPainterPath& shape, int width, int height);

    // The coverage of both masks, pixel by pixel.
    Mask operator&(const Mask& other) const;
    // The part of this mask that the other does not cover.
    Mask operator-(const Mask& other) const;

    int Width() const { return width_; }
    int Height() const { return height_; }
    std::uint8_t At(int x, int y) const { return coverage_[y * width_ + x]; }

private:
    Mask(int width, int height) : width_(width), height_(height), coverage_(width * height) {}

    int width_;
    int height_;
    std::vector<std::uint8_t> coverage_;
};

// A picture being drawn: premultiplied colours, transparent at the start.
class Canvas {
public:
    Canvas(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }

    // Paints over the shape, its pixels weighted by coverage and opacity.
    void Fill(const Mask& mask, const Paint& paint, double opacity = 1.0);
    void Fill(const QPainterPath& shape, const Paint& paint, double opacity = 1.0);
    // Paints over the whole canvas.
    void FillAll(const Paint& paint, double opacity = 1.0);

    // The picture in 8 bits a channel (QImage::Format_ARGB32, straight alpha), rounded.
    QImage ToImage() const;

private:
    struct Pixel {
        double r = 0;
        double g = 0;
        double b = 0;
        double a = 0;
    };

    void Blend(int x, int y, const Colour& colour, double weight);

    int width_;
    int height_;
    std::vector<Pixel> pixels_;
};

}  // namespace artwork
