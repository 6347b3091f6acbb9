// Prints the client size, in pixels on the current display, that a dialog template gets:
// what the program's window must measure.
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QDialog>

#include "platform/widgets/dialogbuilder.h"
#include "res/init_resources.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_size TEMPLATE-NUMBER\n");
        return 2;
    }
    const long id = std::strtol(argv[1], nullptr, 10);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    InitFleetwingResources();
    QDialog dialog;
    if (!win::BuildDialog(&dialog, static_cast<win::WORD>(id))) {
        std::fprintf(stderr, "no dialog template %ld\n", id);
        return 1;
    }
    std::printf("%dx%d\n", dialog.width(), dialog.height());
    return 0;
}
