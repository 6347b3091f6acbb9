// Many loads, shows and stops in a row on one control, with the GUI thread painting while the
// worker draws: the test that the thread sanitizer build runs to find races between them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>

#include <memory>
#include <vector>

#include "controls/gifbuilder.h"
#include "controls/picturetesting.h"

namespace {

using giftest::Bytes;
using giftest::GifBuilder;

// Frames with the shortest delays, each disposal method once.
Bytes BusyGif() {
    GifBuilder builder(40, 12);
    for (unsigned i = 0; i < 8; ++i) {
        builder.Control(5, i, i % 2 == 0 ? giftest::kYellow : -1)
            .Fill(i * 5, i % 3, 6, 9, static_cast<std::uint8_t>(i % 3));
    }
    return builder.Trailer().bytes();
}

Bytes StillGif() {
    return GifBuilder(16, 8).Fill(0, 0, 16, 8, giftest::kGreen).Trailer().bytes();
}

class PictureStress : public picturetest::PictureTest {};

TEST_F(PictureStress, LoadShowAndStopManyTimesOnOneControl) {
    const Bytes busy = BusyGif();
    const Bytes still = StillGif();
    m_picture->show();
    int played = 0;
    for (int cycle = 0; cycle < 200; ++cycle) {
        const bool animated = cycle % 5 != 4;
        ASSERT_TRUE(Load(animated ? busy : still)) << cycle;
        m_picture->ShowPicture();
        ASSERT_EQ(m_picture->IsPlaying(), animated) << cycle;
        // Paint on the GUI thread while the worker draws its first frames.
        for (int i = 0; i < 3; ++i) {
            const QImage shown = m_picture->grab().toImage();
            ASSERT_EQ(shown.size(), m_picture->PictureSize()) << cycle;
            QCoreApplication::processEvents();
        }
        switch (cycle % 4) {
            case 0:
                m_picture->StopAnimation();
                break;
            case 1:
                m_picture->StopAnimation();
                m_picture->ShowPicture();  // go on from where it stopped
                break;
            case 2:
                break;  // the next load stops it
            case 3:
                m_picture->ReleasePicture();
                break;
        }
        played += animated ? 1 : 0;
    }
    m_picture->StopAnimation();
    EXPECT_FALSE(m_picture->IsPlaying());
    EXPECT_EQ(played, 160);
}

TEST_F(PictureStress, ControlsDestroyedWhilePlaying) {
    const Bytes busy = BusyGif();
    for (int cycle = 0; cycle < 50; ++cycle) {
        std::unique_ptr<CPictureEx> picture = MakePicture();
        picture->show();
        ASSERT_TRUE(Load(*picture, busy));
        picture->ShowPicture();
        picture->update();
        QCoreApplication::processEvents();
        picture.reset();
        QCoreApplication::processEvents();
    }
}

}  // namespace
