#include "controls/pictureex.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QRect>
#include <QVariant>

#include <chrono>
#include <system_error>

#include "controls/gifblocks.h"
#include "platform/qt/resources.h"

namespace {

// The dynamic property that carries a dialog control's identifier.
constexpr char kControlIdProperty[] = "ctrlId";

// What the image reader may allocate for one picture: a frame decodes to the size of the
// whole logical screen, which is never larger than a canvas.
constexpr int kReaderLimitMegabytes =
    static_cast<int>(CPictureEx::kMaxCanvasPixels * 4 / (1024 * 1024)) + 1;

bool CanvasSizeAllowed(int width, int height) {
    return width > 0 && height > 0 &&
           static_cast<std::int64_t>(width) * height <= CPictureEx::kMaxCanvasPixels;
}

// Decodes a complete image file with Qt's image reader; null when the reader rejects it or
// the picture is too large for a canvas. The format is found from the content unless given.
QImage ReadImage(const void* data, qsizetype size, const char* format = nullptr) {
    const QByteArray bytes = QByteArray::fromRawData(static_cast<const char*>(data), size);
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return {};
    }
    QImageReader reader(&buffer, format != nullptr ? QByteArray(format) : QByteArray());
    reader.setAllocationLimit(kReaderLimitMegabytes);
    const QSize announced = reader.size();
    if (announced.isValid() && !CanvasSizeAllowed(announced.width(), announced.height())) {
        return {};
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The platform's system colours, taken from the control's palette: the button face clears
// frames, the menu colour fills a new canvas.
QColor ButtonFaceColor(const QWidget& widget) {
    return widget.palette().color(QPalette::Button);
}

QColor MenuColor(const QWidget& widget) {
    return widget.palette().color(QPalette::Window);
}

QRect FrameRect(const CPictureFrame& frame) {
    return QRect(static_cast<int>(frame.m_left), static_cast<int>(frame.m_top),
                 static_cast<int>(frame.m_width), static_cast<int>(frame.m_height));
}

}  // namespace

CPictureEx::CPictureEx(QWidget* parent) : QWidget(parent), m_background(Qt::white) {
    // A static control: no focus, and mouse clicks go to what lies under it.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

CPictureEx::~CPictureEx() {
    ReleasePicture();
}

bool CPictureEx::SubclassDlgItem(int id, QWidget* dialog) {
    if (dialog == nullptr) {
        return false;
    }
    // The topmost child with the identifier: children are kept in stacking order, top last.
    QWidget* placeholder = nullptr;
    const QObjectList& children = dialog->children();
    for (auto it = children.crbegin(); it != children.crend() && placeholder == nullptr; ++it) {
        auto* child = qobject_cast<QWidget*>(*it);
        if (child == nullptr || child == this) {
            continue;
        }
        const QVariant childId = child->property(kControlIdProperty);
        if (childId.isValid() && childId.toInt() == id) {
            placeholder = child;
        }
    }
    if (placeholder == nullptr) {
        return false;
    }
    const bool visible = !placeholder->isHidden();
    setParent(dialog);
    setGeometry(placeholder->geometry());
    setEnabled(!placeholder->testAttribute(Qt::WA_Disabled));
    setProperty(kControlIdProperty, id);
    stackUnder(placeholder);
    delete placeholder;
    setVisible(visible);
    return true;
}

bool CPictureEx::LoadFromResource(win::LPCSTR name, win::LPCSTR type) {
    win::HRSRC resource = win::FindResource(nullptr, name, type);
    if (resource == nullptr) {
        return false;
    }
    win::HGLOBAL loaded = win::LoadResource(nullptr, resource);
    if (loaded == nullptr) {
        return false;
    }
    const win::DWORD size = win::SizeofResource(nullptr, resource);
    const void* bytes = win::LockResource(loaded);
    if (bytes == nullptr) {
        return false;
    }
    // Loaded resources stay in memory for the life of the process, so the bytes are read in
    // place.
    return LoadFromMemory(bytes, size);
}

bool CPictureEx::LoadFromResource(win::WORD id, win::LPCSTR type) {
    return LoadFromResource(win::MAKEINTRESOURCE(id), type);
}

bool CPictureEx::LoadFromMemory(const void* picture, win::DWORD size) {
    ReleasePicture();
    if (picture == nullptr) {
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(picture);
    if (CGifBlockWalker::HasGifSignature(bytes, size)) {
        m_isGif = true;
        CGifBlockWalker walker(bytes, size);
        m_size = QSize(walker.ScreenWidth(), walker.ScreenHeight());
        // No canvas can be made for this screen; its frames need not be decoded.
        if (!CanvasSizeAllowed(m_size.width(), m_size.height())) {
            ReleasePicture();
            return false;
        }
        std::uint32_t frames = 0;
        walker.RewindBlocks();
        while (walker.SkipGraphicBlock()) {
            ++frames;
        }
        bool loaded = false;
        if (frames == 1) {
            m_wholePicture = ReadImage(bytes, size);
            loaded = !m_wholePicture.isNull();
        } else if (frames > 1) {
            loaded = LoadGifFrames(walker);
        }
        if (!loaded) {
            ReleasePicture();
            return false;
        }
    } else {
        m_wholePicture = ReadImage(bytes, size);
        if (m_wholePicture.isNull()) {
            ReleasePicture();
            return false;
        }
        m_size = m_wholePicture.size();
    }
    if (!CreateCanvas(m_size.width(), m_size.height())) {
        ReleasePicture();
        return false;
    }
    return true;
}

bool CPictureEx::LoadGifFrames(CGifBlockWalker& walker) {
    walker.RewindBlocks();
    while (std::optional<GifFrame> cut = walker.ExtractFrame()) {
        QImage image = ReadImage(cut->gif.data(), static_cast<qsizetype>(cut->gif.size()), "gif");
        if (image.isNull()) {
            continue;  // left out; the other frames play
        }
        CPictureFrame frame;
        frame.m_left = cut->values.left;
        frame.m_top = cut->values.top;
        frame.m_width = cut->values.width;
        frame.m_height = cut->values.height;
        frame.m_delay = cut->values.delay;
        frame.m_disposal = cut->values.disposal;
        // The reader gives the frame drawn on the logical screen; the frame keeps the part of
        // its own rectangle that lies on the canvas, so that drawing it leaves the rest alone.
        const QRect visible =
            FrameRect(frame).intersected(QRect(QPoint(0, 0), m_size)).intersected(image.rect());
        if (!visible.isEmpty()) {
            frame.m_image = image.copy(visible);
            frame.m_imageAt = visible.topLeft();
        }
        m_frames.push_back(std::move(frame));
    }
    return !m_frames.empty();
}

bool CPictureEx::CreateCanvas(int width, int height) {
    if (!CanvasSizeAllowed(width, height)) {
        return false;
    }
    resize(width, height);
    QImage canvas(width, height, QImage::Format_RGB32);
    if (canvas.isNull()) {
        return false;
    }
    m_background = ButtonFaceColor(*this);
    canvas.fill(MenuColor(*this));
    {
        std::lock_guard<std::mutex> lock(m_canvasMutex);
        m_canvasBitmap = std::move(canvas);
    }
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    m_ready = true;
    return true;
}

bool CPictureEx::IsAnimated() const {
    return m_isGif && m_frames.size() > 1;
}

void CPictureEx::ShowPicture() {
    if (!m_ready) {
        return;
    }
    if (IsAnimated()) {
        // One worker per control: a second show while it plays changes nothing.
        if (m_thread.joinable()) {
            return;
        }
        try {
            m_thread = std::thread(&CPictureEx::AnimationLoop, this);
        } catch (const std::system_error&) {
            // Without a worker the canvas keeps the menu colour.
        }
        return;
    }
    if (!m_wholePicture.isNull()) {
        {
            std::lock_guard<std::mutex> lock(m_canvasMutex);
            QPainter painter(&m_canvasBitmap);
            painter.drawImage(QRect(QPoint(0, 0), m_size), m_wholePicture);
        }
        update();
    }
}

void CPictureEx::StopAnimation() {
    m_stopRequested = true;
    m_stopEvent.Set();
    // The worker's only wait is cut short by the event and it tests the request after every
    // drawing step, so the join ends promptly; it never outlives what it draws with.
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_stopEvent.Reset();
    m_stopRequested = false;
}

void CPictureEx::ReleasePicture() {
    StopAnimation();
    const bool hadCanvas = m_ready;
    m_wholePicture = QImage();
    m_frames.clear();
    {
        std::lock_guard<std::mutex> lock(m_canvasMutex);
        m_canvasBitmap = QImage();
        m_savedBitmap = QImage();
    }
    m_ready = false;
    m_isGif = false;
    m_background = QColor(Qt::white);
    m_currentFrame = 0;
    m_size = QSize();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    if (hadCanvas) {
        update();
    }
}

QImage CPictureEx::Canvas() const {
    std::lock_guard<std::mutex> lock(m_canvasMutex);
    return m_canvasBitmap.copy();
}

std::uint32_t CPictureEx::FrameWaitMilliseconds(std::uint32_t delay) {
    return delay >= 5 ? delay * 10u : 100u;
}

void CPictureEx::paintEvent(QPaintEvent* /*event*/) {
    if (!m_ready) {
        return;
    }
    QPainter painter(this);
    std::lock_guard<std::mutex> lock(m_canvasMutex);
    painter.drawImage(QPoint(0, 0), m_canvasBitmap, QRect(QPoint(0, 0), m_size));
}

void CPictureEx::PostRepaint() {
    // Runs on the worker: the repaint is queued to the GUI thread. The destructor joins the
    // worker before the widget goes, and pending calls die with the widget.
    QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
}

void CPictureEx::DrawFrame(const CPictureFrame& frame) {
    if (frame.m_disposal == 3) {
        const QRect area = FrameRect(frame).intersected(m_canvasBitmap.rect());
        m_savedBitmap = m_canvasBitmap.copy(area);
        m_savedAt = area.topLeft();
    }
    if (!frame.m_image.isNull()) {
        QPainter painter(&m_canvasBitmap);
        painter.drawImage(frame.m_imageAt, frame.m_image);
    }
}

void CPictureEx::ApplyDisposal(const CPictureFrame& frame) {
    std::lock_guard<std::mutex> lock(m_canvasMutex);
    if (frame.m_disposal == 2) {
        QPainter painter(&m_canvasBitmap);
        painter.fillRect(FrameRect(frame), m_background);
    } else if (frame.m_disposal == 3 && !m_savedBitmap.isNull()) {
        QPainter painter(&m_canvasBitmap);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(m_savedAt, m_savedBitmap);
        painter.end();
        m_savedBitmap = QImage();
    }
}

void CPictureEx::AnimationLoop() {
    ApplyDisposal(m_frames[m_currentFrame]);
    while (!m_stopRequested) {
        // Every frame kept has its picture: frames that did not load were left out.
        const CPictureFrame& frame = m_frames[m_currentFrame];
        {
            std::lock_guard<std::mutex> lock(m_canvasMutex);
            DrawFrame(frame);
        }
        PostRepaint();
        if (m_stopRequested) {
            return;
        }
        m_stopEvent.Wait(std::chrono::milliseconds(FrameWaitMilliseconds(frame.m_delay)));
        if (m_stopRequested) {
            return;
        }
        ApplyDisposal(frame);
        if (++m_currentFrame >= m_frames.size()) {
            m_currentFrame = 0;
            std::lock_guard<std::mutex> lock(m_canvasMutex);
            m_canvasBitmap.fill(m_background);
        }
    }
}
