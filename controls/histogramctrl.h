// The scrolling two-line graph of received and sent traffic over a grid.
//
// The owner queues values at any time; the control's own timer turns the values queued since
// its last tick into one averaged point per series, keeps the last 110 points of each series and
// redraws the whole history, at the current range, into an off-screen surface that painting
// copies to the screen. The picture after a tick is that of a full rebuild: a fresh grid, then
// for every point (the oldest twice) its segment at right - 14 followed by a 3-pixel scroll, and
// the newest point once more at the right end. Only the columns that differ from the previous
// picture are redrawn.
#pragma once

#include <QBasicTimer>
#include <QImage>
#include <QRect>
#include <QRgb>
#include <QWidget>
#include <deque>
#include <memory>
#include <vector>

#include "controls/histogrampicture.h"
#include "platform/wintypes.h"

class CHistogramCtrl : public QWidget {
    Q_OBJECT

public:
    CHistogramCtrl();
    ~CHistogramCtrl() override;

    // Makes this a visible child of parent at rect (parent's client coordinates), reached by
    // the Tab key, with the control identifier id kept as the dynamic property "ctrlId". The window
    // has a 2-pixel sunken client edge; the surface is the client area inside it. Starts the timer
    // at 500 ms. Returns false when the control already exists or its client area is empty.
    bool Create(const QRect& rect, QWidget* parent, int id);

    // The range from lower to upper is drawn over the full height, from the next tick on.
    // A range of no values (upper = lower - 1) gives no point a height: each keeps the line at
    // the height before it, as a value of 0 does, so a history drawn at it shows no line.
    void SetRange(int lower, int upper);
    // Restarts the timer with period ms (0 stops it); returns the previous period.
    win::UINT SetSpeed(win::UINT ms);
    // Queues one value of each series (receive first) for the next tick.
    void AddSample(win::UINT in, win::UINT out);

    // One tick: averages the queued values into a point per series and redraws.
    void DrawStep();
    // Redraws the whole history at the current range.
    void Rebuild();

    // For tests: what the surface shows, the number of points per series, the timer's state.
    const QImage& Surface() const;
    int HistoryCount() const { return m_historyCount; }
    bool IsTimerRunning() const { return m_timer.isActive(); }

    static constexpr int kClientEdge = 2;
    static constexpr int kHistoryLimit = 110;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void OnPaint();
    void OnTimer();

    bool InitDrawing();
    int NextGridLine();
    HistogramPicture LayOutHistory();
    int PointY(win::UINT v, int y) const;
    void PlotIn(win::UINT v, HistogramSegment& segment);
    void PlotOut(win::UINT v, HistogramSegment& segment);
    win::UINT AverageIn();
    win::UINT AverageOut();
    void Show(HistogramPicture next, int shift);
    HistogramPalette Palette() const;

    win::UINT m_speed = 0;
    int m_yIn = 0;
    int m_prevYIn = 0;
    int m_yOut = 0;
    int m_prevYOut = 0;
    int m_offset = 0;
    std::unique_ptr<QImage> m_pMemDC;  // the off-screen surface, from Create on
    win::UINT m_range = 100;
    QRect m_rect;  // the client area at creation; left and top are 0
    QRgb m_penIn = qRgb(0, 255, 0);
    QRgb m_penOut = qRgb(255, 0, 0);
    int m_gridOffset = 13;
    QRgb m_bgColor = qRgb(0, 0, 0);
    QRgb m_gridColor = qRgb(0, 130, 66);
    std::vector<win::UINT> m_pendingIn;
    std::vector<win::UINT> m_pendingOut;
    std::deque<win::UINT> m_historyIn;
    std::deque<win::UINT> m_historyOut;
    int m_historyCount = 0;

    QBasicTimer m_timer;
    HistogramPicture m_picture;  // what m_pMemDC shows
};
