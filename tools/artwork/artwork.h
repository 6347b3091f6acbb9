// Every file of the program's artwork, as it goes into res/art/.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

namespace artwork {

struct ArtFile {
    QString name;  // file name in res/art/
    QByteArray bytes;
};

// Draws and encodes all of it: bitmaps 174 and 175 (8-bit indexed BMP), icon 128 (.ico of
// 48, 32 and 16 pixels) and the GIF pictures 128, 176, 178, 179, 180, 181 and 182. Throws
// std::runtime_error when a font it needs is missing.
std::vector<ArtFile> MakeArtwork();

// Writes the files into the folder; false with a message when one cannot be written.
bool WriteArtwork(const std::vector<ArtFile>& files, const QString& folder, QString* error);

// A sheet for looking at the written artwork: every picture as Qt reads it back from the
// folder, twice the size, on a neutral ground.
QImage ContactSheet(const QString& folder);

}  // namespace artwork
