// The picture control of the console: shows one picture from the program's resources. A GIF
// with several frames is taken apart into frames when it is loaded and played by a worker
// thread of its own, which draws the frames in turn into an off-screen canvas; any other
// picture (a one-frame GIF, or another image format) is drawn once. Qt's image reader decodes
// each frame, handed to it as a stand-alone GIF; the control does the block walk, the canvas,
// the timing and the disposal methods.
//
// Threads: every public function is for the GUI thread. The worker only draws into the canvas
// under m_canvasMutex and posts repaints to the GUI thread; the GUI thread copies the canvas
// under the same lock when it paints. Frames, sizes and colours change only while no worker
// runs: every load, release and the destructor first stop and join the worker.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "controls/stopevent.h"
#include "platform/wintypes.h"

class CGifBlockWalker;

// One frame of an animated picture.
struct CPictureFrame {
    // The part of the frame that lies on the canvas, with its transparency, and where it goes;
    // null when no part of the frame lies on the canvas.
    QImage m_image;
    QPoint m_imageAt;
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    std::uint32_t m_left = 0;
    std::uint32_t m_top = 0;
    std::uint32_t m_delay = 0;  // hundredths of a second; all bits set without a control extension
    std::uint32_t m_disposal = 0;
};

class CPictureEx : public QWidget {
    Q_OBJECT

public:
    explicit CPictureEx(QWidget* parent = nullptr);
    ~CPictureEx() override;

    CPictureEx(const CPictureEx&) = delete;
    CPictureEx& operator=(const CPictureEx&) = delete;

    // Takes the place of the dialog's control with that identifier (the placeholder that the
    // dialog template made): its parent, geometry, place in the stacking order, visibility and
    // identifier. The placeholder is deleted. False, with nothing changed, when the dialog has
    // no such control.
    bool SubclassDlgItem(int id, QWidget* dialog);

    // Loads the program's resource of that name (or MAKEINTRESOURCE number) and type. False
    // when it cannot be found or loaded; a resource that is not found leaves the control as it
    // was, one that does not load leaves it empty.
    bool LoadFromResource(win::LPCSTR name, win::LPCSTR type);
    bool LoadFromResource(win::WORD id, win::LPCSTR type);
    // Loads a picture from bytes that the caller keeps; they are not needed after the call.
    // Stops and frees the previous picture first. False, with the control empty, when the data
    // is no picture, a GIF without any frame that loads, or too large for a canvas.
    bool LoadFromMemory(const void* picture, win::DWORD size);

    // Draws a still picture into the canvas, or starts the worker for an animated one. Does
    // nothing without a picture or while a worker already plays this one.
    void ShowPicture();
    // Ends the worker, if any; the canvas keeps its last drawing.
    void StopAnimation();
    // Stops the animation and frees every picture, frame and the canvas.
    void ReleasePicture();

    // True for a GIF of which more than one frame was loaded.
    bool IsAnimated() const;
    // True while a worker plays the picture.
    bool IsPlaying() const { return m_thread.joinable(); }
    // The picture's size in pixels, also the control's size after a load.
    QSize PictureSize() const { return m_size; }
    const std::vector<CPictureFrame>& Frames() const { return m_frames; }
    // The colour that clears frame areas and the canvas.
    QColor Background() const { return m_background; }
    // A copy of the canvas; null when there is none.
    QImage Canvas() const;

    // How long the worker keeps a frame with that delay (hundredths of a second) before it goes
    // on: the delay itself from 5 on, 100 ms below that, computed as the platform does in
    // 32 bits (so a frame without a control extension stays for about 49 days).
    static std::uint32_t FrameWaitMilliseconds(std::uint32_t delay);

    // The largest canvas the control makes, in pixels.
    static constexpr std::int64_t kMaxCanvasPixels = 4 * 1024 * 1024;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool LoadGifFrames(CGifBlockWalker& walker);
    bool CreateCanvas(int width, int height);
    void AnimationLoop();
    // Draws a frame's picture into the canvas, saving what lies under it first when its
    // disposal method asks for that. Called with the canvas locked.
    void DrawFrame(const CPictureFrame& frame);
    void ApplyDisposal(const CPictureFrame& frame);
    void PostRepaint();

    QSize m_size;
    QColor m_background;
    std::uint32_t m_currentFrame = 0;  // the worker's while it runs
    bool m_isGif = false;
    std::atomic<bool> m_stopRequested{false};
    bool m_ready = false;

    // The canvas, and the part of it saved under a frame with disposal method 3 (null when
    // none is saved) with the place it came from; drawn by the worker and copied by the GUI
    // thread, always under this lock.
    mutable std::mutex m_canvasMutex;
    QImage m_canvasBitmap;
    QImage m_savedBitmap;
    QPoint m_savedAt;

    std::thread m_thread;
    CStopEvent m_stopEvent;
    QImage m_wholePicture;
    std::vector<CPictureFrame> m_frames;
};
