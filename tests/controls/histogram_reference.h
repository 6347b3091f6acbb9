// The histogram drawn the long way, step by step as its drawing is defined: every tick makes a
// new surface and replays the whole history on it, scrolling the whole surface once per point.
// The control must show exactly these pixels after every tick; the tests and the benchmark hold
// it against this.
#pragma once

#include <QImage>
#include <QRgb>
#include <deque>
#include <vector>

#include "controls/rasterops.h"
#include "platform/wintypes.h"

class ReferenceHistogram {
public:
    // A histogram whose client area is width x height, as Create leaves it.
    ReferenceHistogram(int width, int height) : m_right(width), m_bottom(height) { NewSurface(); }

    void SetRange(int lower, int upper) {
        m_range = static_cast<win::UINT>(upper) - static_cast<win::UINT>(lower) + 1u;
        m_offset = static_cast<int>(static_cast<win::UINT>(lower) - 1u);
    }

    void AddSample(win::UINT in, win::UINT out) {
        m_pendingIn.push_back(in - static_cast<win::UINT>(m_offset));
        m_pendingOut.push_back(out - static_cast<win::UINT>(m_offset));
    }

    void DrawStep() {
        ScrollStep();
        const win::UINT avgIn = AverageIn();
        const win::UINT avgOut = AverageOut();
        Rebuild();
        PlotIn(avgIn);
        PlotOut(avgOut);
    }

    void Rebuild() {
        NewSurface();
        if (!m_historyIn.empty()) {
            PlotIn(m_historyIn.front());
            PlotOut(m_historyOut.front());
        }
        ScrollStep();
        for (std::size_t i = 0; i < m_historyIn.size(); ++i) {
            PlotIn(m_historyIn[i]);
            PlotOut(m_historyOut[i]);
            ScrollStep();
        }
    }

    const QImage& Surface() const { return m_surface; }
    int HistoryCount() const { return m_historyCount; }

private:
    // A fresh surface: background, the full grid, no point on either line.
    void NewSurface() {
        m_surface = QImage(m_right, m_bottom, QImage::Format_RGB32);
        raster::FillRect(m_surface, 0, 0, m_right, m_bottom, m_bgColor);
        for (int x = -1; x < m_right; x += 13) {
            raster::DrawLine(m_surface, x, 0, x, m_bottom, m_gridColor);
        }
        for (int y = -1; y < m_bottom; y += 13) {
            raster::DrawLine(m_surface, 0, y, m_right, y, m_gridColor);
        }
        m_yIn = m_prevYIn = m_yOut = m_prevYOut = m_bottom + 1;
    }

    void ScrollStep() {
        raster::ScrollLeft(m_surface, 3, m_bgColor);
        m_gridOffset -= 3;
        if (m_gridOffset < 0) {
            m_gridOffset += 13;
        }
        const int r = (m_right - m_gridOffset) % 13;
        raster::DrawLine(m_surface, m_right - r - 1, 0, m_right - r - 1, m_bottom, m_gridColor);
        for (int y = -1; y < m_bottom; y += 13) {
            raster::DrawLine(m_surface, m_right - 6, y, m_right, y, m_gridColor);
        }
    }

    void Plot(win::UINT v, int& y, int& prevY, QRgb pen) {
        if (v != 0 && m_range != 0) {
            const auto bottom = static_cast<win::UINT>(m_bottom);
            y = static_cast<int>(bottom - (v * bottom) / m_range);
        }
        if (prevY == m_bottom + 1) {
            prevY = y;
        }
        raster::DrawLine(m_surface, m_right - 14, prevY, m_right - 11, y, pen);
        prevY = y;
    }
    void PlotIn(win::UINT v) { Plot(v, m_yIn, m_prevYIn, m_penIn); }
    void PlotOut(win::UINT v) { Plot(v, m_yOut, m_prevYOut, m_penOut); }

    static win::UINT TakeMean(std::vector<win::UINT>& pending) {
        win::UINT sum = 0;
        win::UINT count = 0;
        for (const win::UINT v : pending) {
            sum += v;
            ++count;
        }
        pending.clear();
        return count == 0 ? 0 : sum / count;
    }
    win::UINT AverageIn() {
        const win::UINT average = TakeMean(m_pendingIn);
        if (m_historyCount >= 110) {
            m_historyIn.pop_front();
        }
        m_historyIn.push_back(average);
        return average;
    }
    win::UINT AverageOut() {
        const win::UINT average = TakeMean(m_pendingOut);
        if (m_historyCount >= 110) {
            m_historyOut.pop_front();
        } else {
            ++m_historyCount;
        }
        m_historyOut.push_back(average);
        return average;
    }

    const int m_right;
    const int m_bottom;
    QImage m_surface;
    win::UINT m_range = 100;
    int m_offset = 0;
    int m_gridOffset = 13;
    int m_yIn = 0;
    int m_prevYIn = 0;
    int m_yOut = 0;
    int m_prevYOut = 0;
    const QRgb m_bgColor = qRgb(0, 0, 0);
    const QRgb m_gridColor = qRgb(0, 130, 66);
    const QRgb m_penIn = qRgb(0, 255, 0);
    const QRgb m_penOut = qRgb(255, 0, 0);
    std::vector<win::UINT> m_pendingIn;
    std::vector<win::UINT> m_pendingOut;
    std::deque<win::UINT> m_historyIn;
    std::deque<win::UINT> m_historyOut;
    int m_historyCount = 0;
};
