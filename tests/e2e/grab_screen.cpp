// Saves what the X display shows (the whole screen, or one window given by its id) as a PNG.
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QPixmap>
#include <QScreen>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: grab_screen OUT.png [WINDOW-ID]\n");
        return 2;
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const WId window = argc == 3 ? static_cast<WId>(std::strtoull(argv[2], nullptr, 0)) : 0;
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window);
    return shot.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
