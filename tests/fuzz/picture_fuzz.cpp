// The animated picture's loader on arbitrary bytes: the GIF block walk, the cutting of frames
// and Qt's image reader, then showing and stopping what loaded. Nothing may crash, read outside
// the input or leak.
#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

#include "controls/pictureex.h"

namespace {

QApplication* g_app = nullptr;
CPictureEx* g_picture = nullptr;

void DropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The image reader reports what it rejects; thousands of inputs would flood the log.
    qInstallMessageHandler(DropMessage);
    // Qt may keep pointers into its arguments, and must not take the fuzzer's own.
    static int argc = 1;
    static char name[] = "picture_fuzz";
    static char* argv[] = {name, nullptr};
    // Both live until the process ends.
    g_app = new QApplication(argc, argv);
    g_picture = new CPictureEx;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu) {
        return 0;
    }
    if (g_picture->LoadFromMemory(data, static_cast<win::DWORD>(size))) {
        g_picture->ShowPicture();
        g_picture->StopAnimation();
        const QImage canvas = g_picture->Canvas();
        if (canvas.size() != g_picture->PictureSize()) {
            abort();
        }
    }
    g_picture->ReleasePicture();
    return 0;
}
