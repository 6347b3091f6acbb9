#include "controls/histogramctrl.h"

#include <qdrawutil.h>
#include <QPaintEvent>
#include <QPainter>
#include <QTimerEvent>
#include <algorithm>
#include <climits>
#include <cstddef>
#include <utility>

namespace {

// The newest segment runs from right - 14 to right - 11.
constexpr int kNewestFromRight = 14;

}  // namespace

CHistogramCtrl::CHistogramCtrl() = default;

CHistogramCtrl::~CHistogramCtrl() = default;

bool CHistogramCtrl::Create(const QRect& rect, QWidget* parent, int id) {
    if (m_pMemDC) {
        return false;
    }
    setParent(parent);
    setGeometry(rect);
    setProperty("ctrlId", id);
    // The window has no background brush: painting covers the whole window.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::TabFocus);
    show();

    const int width = std::max(rect.width() - 2 * kClientEdge, 0);
    const int height = std::max(rect.height() - 2 * kClientEdge, 0);
    m_rect = QRect(0, 0, width, height);
    if (!InitDrawing()) {
        return false;
    }
    SetSpeed(500);
    return true;
}

bool CHistogramCtrl::InitDrawing() {
    if (m_pMemDC) {
        return false;
    }
    auto surface = std::make_unique<QImage>(m_rect.size(), QImage::Format_RGB32);
    if (surface->isNull()) {
        return false;
    }
    m_pMemDC = std::move(surface);

    // Background and the full grid: vertical lines at x = 13k - 1, horizontal ones at y = 13k - 1.
    const int right = m_rect.width();
    m_picture = HistogramPicture{};
    m_picture.gridColumns.assign(static_cast<std::size_t>(right), 0);
    for (int x = kHistogramGridStep - 1; x < right; x += kHistogramGridStep) {
        m_picture.gridColumns[static_cast<std::size_t>(x)] = 1;
    }
    PaintHistogramColumns(*m_pMemDC, m_picture, 0, right, Palette());

    m_yIn = m_prevYIn = m_yOut = m_prevYOut = m_rect.height() + 1;
    update();
    return true;
}

void CHistogramCtrl::SetRange(int lower, int upper) {
    m_range = static_cast<win::UINT>(upper) - static_cast<win::UINT>(lower) + 1u;
    m_offset = static_cast<int>(static_cast<win::UINT>(lower) - 1u);
}

win::UINT CHistogramCtrl::SetSpeed(win::UINT ms) {
    const win::UINT previous = m_speed;
    m_speed = ms;
    m_timer.stop();
    if (ms != 0) {
        m_timer.start(static_cast<int>(std::min<win::UINT>(ms, INT_MAX)), this);
    }
    return previous;
}

void CHistogramCtrl::AddSample(win::UINT in, win::UINT out) {
    m_pendingIn.push_back(in - static_cast<win::UINT>(m_offset));
    m_pendingOut.push_back(out - static_cast<win::UINT>(m_offset));
}

const QImage& CHistogramCtrl::Surface() const {
    static const QImage none;
    return m_pMemDC ? *m_pMemDC : none;
}

void CHistogramCtrl::DrawStep() {
    if (!m_pMemDC) {
        return;
    }
    // The tick's own scroll is overdrawn by the rebuild; what stays of it is the grid's phase.
    NextGridLine();
    const win::UINT avgIn = AverageIn();
    const win::UINT avgOut = AverageOut();
    HistogramPicture next = LayOutHistory();
    HistogramSegment newest;
    newest.x = m_rect.width() - kNewestFromRight;
    PlotIn(avgIn, newest);
    PlotOut(avgOut, newest);
    next.segments.push_back(newest);
    // The previous picture, moved one scroll to the left, lines up with the new one.
    Show(std::move(next), kHistogramScroll);
    update();
}

void CHistogramCtrl::Rebuild() {
    if (!m_pMemDC) {
        return;
    }
    Show(LayOutHistory(), 0);
    update();
}

// The picture that the rebuild draws: a fresh grid; the oldest point, then every point of the
// history, each followed by one scroll. Instead of drawing and scrolling, each line is placed
// where the scrolls after it leave it.
HistogramPicture CHistogramCtrl::LayOutHistory() {
    const int right = m_rect.width();
    const int bottom = m_rect.height();
    m_yIn = m_prevYIn = m_yOut = m_prevYOut = bottom + 1;

    const int count = static_cast<int>(m_historyIn.size());
    const int scrolls = count + 1;
    HistogramPicture picture;
    picture.gridColumns.assign(static_cast<std::size_t>(right), 0);
    for (int x = kHistogramGridStep - 1 - kHistogramScroll * scrolls; x < right;
         x += kHistogramGridStep) {
        if (x >= 0 && x + kHistogramScroll * scrolls < right) {
            picture.gridColumns[static_cast<std::size_t>(x)] = 1;
        }
    }
    for (int k = 1; k <= scrolls; ++k) {
        const int x = NextGridLine() - kHistogramScroll * (scrolls - k);
        if (x >= 0 && x < right) {
            picture.gridColumns[static_cast<std::size_t>(x)] = 1;
        }
    }

    picture.segments.reserve(static_cast<std::size_t>(scrolls) + 1);
    const auto plot = [&](win::UINT in, win::UINT out, int scrollsAfter) {
        HistogramSegment segment;
        segment.x = right - kNewestFromRight - kHistogramScroll * scrollsAfter;
        PlotIn(in, segment);
        PlotOut(out, segment);
        picture.segments.push_back(segment);
    };
    if (count > 0) {
        plot(m_historyIn.front(), m_historyOut.front(), scrolls);
    }
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<std::size_t>(i);
        plot(m_historyIn[index], m_historyOut[index], scrolls - 1 - i);
    }
    return picture;
}

// Moves the grid's phase by one scroll; returns where that scroll draws its vertical grid line.
int CHistogramCtrl::NextGridLine() {
    m_gridOffset -= kHistogramScroll;
    if (m_gridOffset < 0) {
        m_gridOffset += kHistogramGridStep;
    }
    const int right = m_rect.width();
    return right - (right - m_gridOffset) % kHistogramGridStep - 1;
}

// The height of value v: bottom - v * bottom / range in unsigned 32-bit arithmetic, so values
// above the range land above the top. 0 (and every value in an empty range) keeps the height y.
int CHistogramCtrl::PointY(win::UINT v, int y) const {
    if (v == 0 || m_range == 0) {
        return y;
    }
    const auto bottom = static_cast<win::UINT>(m_rect.height());
    return static_cast<int>(bottom - v * bottom / m_range);
}

void CHistogramCtrl::PlotIn(win::UINT v, HistogramSegment& segment) {
    m_yIn = PointY(v, m_yIn);
    if (m_prevYIn == m_rect.height() + 1) {
        m_prevYIn = m_yIn;  // the first point has no rising edge
    }
    segment.prevYIn = m_prevYIn;
    segment.yIn = m_yIn;
    m_prevYIn = m_yIn;
}

void CHistogramCtrl::PlotOut(win::UINT v, HistogramSegment& segment) {
    m_yOut = PointY(v, m_yOut);
    if (m_prevYOut == m_rect.height() + 1) {
        m_prevYOut = m_yOut;
    }
    segment.prevYOut = m_prevYOut;
    segment.yOut = m_yOut;
    m_prevYOut = m_yOut;
}

namespace {

// Empties the queue into its truncated mean, 0 when nothing was queued.
win::UINT TakeMean(std::vector<win::UINT>& pending) {
    win::UINT sum = 0;
    for (const win::UINT v : pending) {
        sum += v;
    }
    const auto count = static_cast<win::UINT>(pending.size());
    pending.clear();
    return count == 0 ? 0 : sum / count;
}

}  // namespace

win::UINT CHistogramCtrl::AverageIn() {
    const win::UINT average = TakeMean(m_pendingIn);
    if (m_historyCount >= kHistoryLimit) {
        m_historyIn.pop_front();
    }
    m_historyIn.push_back(average);
    return average;
}

win::UINT CHistogramCtrl::AverageOut() {
    const win::UINT average = TakeMean(m_pendingOut);
    if (m_historyCount >= kHistoryLimit) {
        m_historyOut.pop_front();
    } else {
        ++m_historyCount;
    }
    m_historyOut.push_back(average);
    return average;
}

void CHistogramCtrl::Show(HistogramPicture next, int shift) {
    ShowHistogramPicture(*m_pMemDC, m_picture, next, shift, Palette());
    m_picture = std::move(next);
}

HistogramPalette CHistogramCtrl::Palette() const {
    return HistogramPalette{m_bgColor, m_gridColor, m_penIn, m_penOut};
}

void CHistogramCtrl::paintEvent(QPaintEvent*) {
    OnPaint();
}

void CHistogramCtrl::timerEvent(QTimerEvent*) {
    OnTimer();
}

void CHistogramCtrl::OnPaint() {
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), palette(), true);  // the sunken client edge
    if (m_pMemDC) {
        painter.drawImage(QPoint(kClientEdge, kClientEdge), *m_pMemDC, m_rect);
    }
}

void CHistogramCtrl::OnTimer() {
    DrawStep();
}
