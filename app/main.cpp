#include <QApplication>

#include "app/fleetwingapp.h"
#include "platform/qt/sessionsignals.h"
#include "res/init_resources.h"

CFleetwingApp theApp;

int main(int argc, char** argv) {
    // The program reads no command line: Qt gets none of the arguments either.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    InitFleetwingResources();
    win::SessionSignals sessionSignals([](int) { theApp.EndSession(); });
    return theApp.Run();
}
