// What the picture control's tests share: the application object, a control with known
// system colours, and waiting for the worker to reach a drawing.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QPalette>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "controls/gifbuilder.h"
#include "controls/pictureex.h"
#include "qtapp.h"
#include "res/init_resources.h"

#if defined(__SANITIZE_THREAD__)
#define FW_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define FW_THREAD_SANITIZER 1
#endif
#endif

#if defined(FW_THREAD_SANITIZER)
// The thread sanitizer's start-up options for a test program of the picture control: the
// suppressions of races that lie wholly inside Qt, which is not instrumented. Defined here,
// so each program includes this header from one source file only.
extern "C" const char* __tsan_default_options() {
    return "suppressions=" FW_TEST_DATA "/../controls/tsan.supp";
}
#endif

namespace picturetest {

// The system colours the control takes from its palette, chosen apart from the test palette.
inline const QColor kButtonFace(200, 0, 200);
inline const QColor kMenu(0, 128, 128);

inline const QColor kRed(255, 0, 0);
inline const QColor kBlue(0, 0, 255);
inline const QColor kGreen(0, 255, 0);
inline const QColor kYellow(255, 255, 0);

class PictureTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        TestApplication();
        InitFleetwingResources();
    }

    void SetUp() override { m_picture = MakePicture(); }

    static std::unique_ptr<CPictureEx> MakePicture(QWidget* parent = nullptr) {
        auto picture = std::make_unique<CPictureEx>(parent);
        QPalette palette = picture->palette();
        palette.setColor(QPalette::Button, kButtonFace);
        palette.setColor(QPalette::Window, kMenu);
        picture->setPalette(palette);
        return picture;
    }

    static bool Load(CPictureEx& picture, const giftest::Bytes& bytes) {
        return picture.LoadFromMemory(bytes.data(), static_cast<win::DWORD>(bytes.size()));
    }
    bool Load(const giftest::Bytes& bytes) { return Load(*m_picture, bytes); }

    static QColor Pixel(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

    // Lets the worker run and the GUI thread handle its repaints until the canvas satisfies
    // the condition; false when it never does within a generous time.
    static bool WaitForCanvas(const CPictureEx& picture,
                              const std::function<bool(const QImage&)>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents();
            const QImage canvas = picture.Canvas();
            if (!canvas.isNull() && condition(canvas)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }
    static bool WaitForPixel(const CPictureEx& picture, int x, int y, const QColor& colour) {
        return WaitForCanvas(picture,
                             [&](const QImage& canvas) { return Pixel(canvas, x, y) == colour; });
    }

    std::unique_ptr<CPictureEx> m_picture;
};

}  // namespace picturetest
