#include "tools/artwork/canvas.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

namespace artwork {

namespace {

double Clamp01(double value) {
    return std::clamp(value, 0.0, 1.0);
}

int ToByte(double value) {
    return static_cast<int>(Clamp01(value) * 255.0 + 0.5);
}

}  // namespace

Colour Rgb(std::uint32_t hex, double alpha) {
    return {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0, alpha};
}

Colour Mix(const Colour& from, const Colour& to, double t) {
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
            from.b + (to.b - from.b) * t, from.a + (to.a - from.a) * t};
}

Colour WithAlpha(const Colour& colour, double alpha) {
    return {colour.r, colour.g, colour.b, alpha};
}

Paint Paint::Solid(const Colour& colour) {
    Paint paint;
    paint.stops_ = {{0.0, colour}};
    return paint;
}

Paint Paint::Linear(QPointF from, QPointF to, std::vector<Stop> stops) {
    Paint paint;
    paint.kind_ = Kind::kLinear;
    paint.from_ = from;
    paint.to_ = to;
    paint.stops_ = std::move(stops);
    return paint;
}

Paint Paint::Radial(QPointF centre, double radiusX, double radiusY, std::vector<Stop> stops) {
    Paint paint;
    paint.kind_ = Kind::kRadial;
    paint.from_ = centre;
    paint.radiusX_ = radiusX;
    paint.radiusY_ = radiusY;
    paint.stops_ = std::move(stops);
    return paint;
}

Colour Paint::At(double x, double y) const {
    switch (kind_) {
        case Kind::kSolid:
            return stops_.front().colour;
        case Kind::kLinear: {
            const double dx = to_.x() - from_.x();
            const double dy = to_.y() - from_.y();
            const double length2 = dx * dx + dy * dy;
            const double t =
                length2 > 0 ? ((x - from_.x()) * dx + (y - from_.y()) * dy) / length2 : 0.0;
            return AlongStops(t);
        }
        case Kind::kRadial: {
            const double dx = (x - from_.x()) / radiusX_;
            const double dy = (y - from_.y()) / radiusY_;
            return AlongStops(std::sqrt(dx * dx + dy * dy));
        }
    }
    return stops_.front().colour;
}

Colour Paint::AlongStops(double t) const {
    if (t <= stops_.front().at) {
        return stops_.front().colour;
    }
    for (std::size_t i = 1; i < stops_.size(); ++i) {
        if (t <= stops_[i].at) {
            const Stop& a = stops_[i - 1];
            const Stop& b = stops_[i];
            const double span = b.at - a.at;
            return Mix(a.colour, b.colour, span > 0 ? (t - a.at) / span : 1.0);
        }
    }
    return stops_.back().colour;
}

Mask::Mask(const QPainterPath& shape, int width, int height) : Mask(width, height) {
    // Opaque white over transparent black: every channel of a pixel is then its coverage.
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(0);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawPath(shape);
    }
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            coverage_[y * width + x] = static_cast<std::uint8_t>(qAlpha(line[x]));
        }
    }
}

Mask Mask::operator&(const Mask& other) const {
    Mask result(width_, height_);
    for (std::size_t i = 0; i < coverage_.size(); ++i) {
        result.coverage_[i] =
            static_cast<std::uint8_t>((coverage_[i] * other.coverage_[i] + 127) / 255);
    }
    return result;
}

Mask Mask::operator-(const Mask& other) const {
    Mask result(width_, height_);
    for (std::size_t i = 0; i < coverage_.size(); ++i) {
        result.coverage_[i] =
            static_cast<std::uint8_t>((coverage_[i] * (255 - other.coverage_[i]) + 127) / 255);
    }
    return result;
}

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height)) {}

void Canvas::Fill(const Mask& mask, const Paint& paint, double opacity) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const int coverage = mask.At(x, y);
            if (coverage != 0) {
                Blend(x, y, paint.At(x + 0.5, y + 0.5), coverage / 255.0 * opacity);
            }
        }
    }
}

void Canvas::Fill(const QPainterPath& shape, const Paint& paint, double opacity) {
    Fill(Mask(shape, width_, height_), paint, opacity);
}

void Canvas::FillAll(const Paint& paint, double opacity) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            Blend(x, y, paint.At(x + 0.5, y + 0.5), opacity);
        }
    }
}

void Canvas::Blend(int x, int y, const Colour& colour, double weight) {
    Pixel& pixel = pixels_[static_cast<std::size_t>(y * width_ + x)];
    const double alpha = Clamp01(colour.a * weight);
    const double keep = 1.0 - alpha;
    pixel.r = colour.r * alpha + pixel.r * keep;
    pixel.g = colour.g * alpha + pixel.g * keep;
    pixel.b = colour.b * alpha + pixel.b * keep;
    pixel.a = alpha + pixel.a * keep;
}

QImage Canvas::ToImage() const {
    QImage image(width_, height_, QImage::Format_ARGB32);
    for (int y = 0; y < height_; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width_; ++x) {
            const Pixel& pixel = pixels_[static_cast<std::size_t>(y * width_ + x)];
            if (pixel.a <= 0) {
                line[x] = qRgba(0, 0, 0, 0);
                continue;
            }
            line[x] = qRgba(ToByte(pixel.r / pixel.a), ToByte(pixel.g / pixel.a),
                            ToByte(pixel.b / pixel.a), ToByte(pixel.a));
        }
    }
    return image;
}

}  // namespace artwork
