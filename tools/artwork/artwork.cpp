#include "tools/artwork/artwork.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <array>
#include <utility>

#include "tools/artwork/badge.h"
#include "tools/artwork/banner.h"
#include "tools/artwork/gif_writer.h"
#include "tools/artwork/ico_writer.h"
#include "tools/artwork/meter.h"
#include "tools/artwork/quantizer.h"
#include "tools/artwork/typeface.h"
#include "tools/artwork/wingmark.h"

namespace artwork {

namespace {

struct Level {
    int resource;
    std::uint16_t delay;  // hundredths of a second per frame
};

// The sweeps, from the quietest line to the busiest.
constexpr std::array<Level, 6> kLevels = {
    {{176, 312}, {128, 187}, {178, 62}, {179, 31}, {180, 12}, {181, 6}}};
constexpr int kIdleResource = 182;
constexpr std::array<int, 3> kIconSizes = {48, 32, 16};

// About 72 dots per inch, so that nothing of the machine's screen gets into the file.
constexpr int kDotsPerMeter = 2835;

QByteArray Bytes(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

// A 256-colour bitmap. Qt writes an 8-bit BMP for an indexed image with more than 16 colours
// in its table, and the table here always has 256.
QByteArray IndexedBmp(const QImage& picture) {
    QImage indexed = Palette::MedianCut({picture}, 256).Indexed(picture);
    indexed.setDotsPerMeterX(kDotsPerMeter);
    indexed.setDotsPerMeterY(kDotsPerMeter);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    indexed.save(&buffer, "BMP");
    return bytes;
}

QString GifName(int resource) {
    return QStringLiteral("gif%1.gif").arg(resource);
}

}  // namespace

std::vector<ArtFile> MakeArtwork() {
    std::vector<ArtFile> files;
    files.push_back({QStringLiteral("bitmap174.bmp"), IndexedBmp(Banner())});
    files.push_back({QStringLiteral("bitmap175.bmp"), IndexedBmp(Badge())});

    std::vector<QImage> icons;
    for (const int size : kIconSizes) {
        icons.push_back(AppIcon(size));
    }
    files.push_back({QStringLiteral("icon128.ico"), Bytes(EncodeIco(icons))});

    for (const Level& level : kLevels) {
        files.push_back({GifName(level.resource), Bytes(EncodeGif(MeterSweep(level.delay)))});
    }
    files.push_back({GifName(kIdleResource), Bytes(EncodeGif(MeterIdle()))});
    return files;
}

bool WriteArtwork(const std::vector<ArtFile>& files, const QString& folder, QString* error) {
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot make the folder %1").arg(folder);
        return false;
    }
    for (const ArtFile& file : files) {
        QFile out(QDir(folder).filePath(file.name));
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            out.write(file.bytes) != file.bytes.size() || !out.flush()) {
            *error = QStringLiteral("cannot write %1: %2").arg(out.fileName(), out.errorString());
            return false;
        }
    }
    return true;
}

QImage ContactSheet(const QString& folder) {
    const int scale = 2;
    const int margin = 16;
    QImage sheet(900, 960, QImage::Format_RGB32);
    sheet.fill(QColor(0x3C, 0x40, 0x46));
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const Typeface label = Typeface::Require(Typeface::kSansFile, 12);
    int y = margin;

    const auto caption = [&](const QString& text) {
        painter.fillPath(label.Outline(text, QPointF(margin, y + 12)), QColor(0xE0, 0xE4, 0xE8));
        y += 20;
    };
    const auto place = [&](const QImage& image, int x, int times) {
        painter.drawImage(QRect(x, y, image.width() * times, image.height() * times), image);
    };

    for (const QString& name : {QStringLiteral("bitmap174.bmp"), QStringLiteral("bitmap175.bmp")}) {
        const QImage image(QDir(folder).filePath(name));
        caption(name);
        place(image, margin, scale);
        y += image.height() * scale + margin;
    }

    caption(QStringLiteral("icon128.ico"));
    QImageReader icons(QDir(folder).filePath(QStringLiteral("icon128.ico")));
    int x = margin;
    int tallest = 0;
    for (int i = 0; i < icons.imageCount(); ++i) {
        icons.jumpToImage(i);
        const QImage icon = icons.read();
        place(icon, x, 1);
        const int zoom = std::max(2, 96 / std::max(1, icon.width()));
        place(icon, x + icon.width() + 8, zoom);
        x += icon.width() * (zoom + 1) + 32;
        tallest = std::max(tallest, icon.height() * zoom);
    }
    y += tallest + margin;

    for (const int resource : {176, 182}) {
        QImageReader reader(QDir(folder).filePath(GifName(resource)));
        caption(GifName(resource) + (reader.supportsAnimation() && reader.imageCount() > 1
                                         ? QStringLiteral(" (frames 1, 2, 8, 15, 16)")
                                         : QStringLiteral(" (still)")));
        const QList<int> shown = {0, 1, 7, 14, 15};
        int column = 0;
        for (int frame = 0; reader.canRead(); ++frame) {
            const QImage image = reader.read();
            if (!shown.contains(frame)) {
                continue;
            }
            const int left = margin + (column % 2) * (image.width() * scale + margin);
            place(image, left, scale);
            if (column % 2 == 1) {
                y += image.height() * scale + 8;
            }
            ++column;
        }
        if (column % 2 == 1) {
            y += kMeterHeight * scale + 8;
        }
        y += margin;
    }
    painter.end();
    return sheet.copy(0, 0, sheet.width(), std::min(sheet.height(), y));
}

}  // namespace artwork
