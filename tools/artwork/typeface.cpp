#include "tools/artwork/typeface.h"

#include <QList>

#include <stdexcept>
#include <string>

namespace artwork {

const char* const Typeface::kSansFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const Typeface::kSansBoldFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

Typeface::Typeface(const QString& file, double pixelSize)
    : font_(file, pixelSize, QFont::PreferNoHinting) {}

Typeface Typeface::Require(const char* file, double pixelSize) {
    Typeface font(QString::fromLatin1(file), pixelSize);
    if (!font.IsValid()) {
        throw std::runtime_error(std::string("cannot load the font ") + file);
    }
    return font;
}

QPainterPath Typeface::Outline(const QString& text, QPointF origin, double tracking) const {
    const QList<quint32> glyphs = font_.glyphIndexesForString(text);
    const QList<QPointF> advances = font_.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
    QPainterPath outline;
    QPointF pen = origin;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        outline.addPath(font_.pathForGlyph(glyphs[i]).translated(pen));
        pen += advances[i] + QPointF(tracking, 0);
    }
    return outline;
}

double Typeface::Advance(const QString& text, double tracking) const {
    const QList<quint32> glyphs = font_.glyphIndexesForString(text);
    const QList<QPointF> advances = font_.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
    double width = 0;
    for (const QPointF& advance : advances) {
        width += advance.x() + tracking;
    }
    return glyphs.isEmpty() ? 0 : width - tracking;
}

}  // namespace artwork
