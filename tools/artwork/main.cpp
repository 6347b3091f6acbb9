// fw_artwork: draws the program's artwork and writes it into a folder.
//
//   fw_artwork <folder> [--contact-sheet <file.png>]
//
// Runs with Qt's offscreen platform whatever the environment says, so it needs no display.
#include <QGuiApplication>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <exception>

#include "tools/artwork/artwork.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = QGuiApplication::arguments().mid(1);
    QString folder;
    QString sheet;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QStringLiteral("--contact-sheet") && i + 1 < arguments.size()) {
            sheet = arguments[++i];
        } else if (folder.isEmpty() && !arguments[i].startsWith(QLatin1Char('-'))) {
            folder = arguments[i];
        } else {
            folder.clear();
            break;
        }
    }
    if (folder.isEmpty()) {
        std::fprintf(stderr, "usage: fw_artwork <folder> [--contact-sheet <file.png>]\n");
        return 2;
    }

    try {
        QString error;
        if (!artwork::WriteArtwork(artwork::MakeArtwork(), folder, &error)) {
            std::fprintf(stderr, "fw_artwork: %s\n", qPrintable(error));
            return 1;
        }
        if (!sheet.isEmpty() && !artwork::ContactSheet(folder).save(sheet, "PNG")) {
            std::fprintf(stderr, "fw_artwork: cannot write %s\n", qPrintable(sheet));
            return 1;
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "fw_artwork: %s\n", failure.what());
        return 1;
    }
    return 0;
}
