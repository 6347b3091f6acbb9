// Text as outlines, from a font file read directly (not through the machine's font
// configuration) and without hinting, so that the same file gives the same shapes everywhere.
#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QRawFont>
#include <QString>

namespace artwork {

class Typeface {
public:
    // The DejaVu fonts that every Debian machine with Qt has.
    static const char* const kSansFile;
    static const char* const kSansBoldFile;

    // Loads the font file at a pixel size; IsValid tells whether that worked.
    Typeface(const QString& file, double pixelSize);

    bool IsValid() const { return font_.isValid(); }
    // A font that the artwork cannot do without: throws std::runtime_error when it is missing.
    static Typeface Require(const char* file, double pixelSize);

    // The outline of the text with its baseline starting at origin; tracking is extra space
    // after each character, in pixels.
    QPainterPath Outline(const QString& text, QPointF origin, double tracking = 0) const;
    // The distance the text advances, with the same tracking.
    double Advance(const QString& text, double tracking = 0) const;
    // Height of a capital letter above the baseline.
    double CapHeight() const { return font_.capHeight(); }

private:
    QRawFont font_;
};

}  // namespace artwork
