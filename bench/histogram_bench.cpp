// One tick of the histogram with a full history: the control's incremental drawing against the
// step-by-step rebuild it reproduces. Before timing, both run side by side and must show the
// same pixels after every tick.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <array>
#include <cstdio>

#include "controls/histogramctrl.h"
#include "tests/controls/histogram_reference.h"

namespace {

// The console's placeholder at the usual dialog font, and its client area inside the edge.
const QRect kWindow(0, 0, 343, 72);
constexpr int kClientWidth = 343 - 4;
constexpr int kClientHeight = 72 - 4;

// Traffic-like rates: mostly inside the range 1..10, some idle seconds, some bursts above it.
constexpr std::array<win::UINT, 16> kRates = {3, 5, 0, 7, 9, 2, 14, 6, 1, 0, 8, 4, 10, 5, 22, 3};

template <typename Histogram>
void Feed(Histogram& histogram, std::size_t tick) {
    histogram.AddSample(kRates[tick % kRates.size()], kRates[(tick * 7 + 3) % kRates.size()]);
}

template <typename Histogram>
void FillHistory(Histogram& histogram) {
    histogram.SetRange(1, 10);
    for (std::size_t tick = 0; tick < 115; ++tick) {
        Feed(histogram, tick);
        histogram.DrawStep();
    }
}

bool SamePicturesOverManyTicks() {
    QWidget parent;  // never shown, so nothing is painted
    CHistogramCtrl ctrl;
    if (!ctrl.Create(kWindow, &parent, 1000)) {
        return false;
    }
    ctrl.SetSpeed(0);
    ReferenceHistogram reference(kClientWidth, kClientHeight);
    ctrl.SetRange(1, 10);
    reference.SetRange(1, 10);
    for (std::size_t tick = 0; tick < 300; ++tick) {
        Feed(ctrl, tick);
        Feed(reference, tick);
        ctrl.DrawStep();
        reference.DrawStep();
        if (ctrl.Surface() != reference.Surface()) {
            std::fprintf(stderr, "the pictures differ after tick %zu\n", tick + 1);
            return false;
        }
    }
    return true;
}

void BM_TickIncremental(benchmark::State& state) {
    QWidget parent;
    CHistogramCtrl ctrl;
    ctrl.Create(kWindow, &parent, 1000);
    ctrl.SetSpeed(0);
    FillHistory(ctrl);
    std::size_t tick = 0;
    for (auto _ : state) {
        Feed(ctrl, tick++);
        ctrl.DrawStep();
        benchmark::DoNotOptimize(ctrl.Surface().constBits());
    }
    state.counters["history"] = ctrl.HistoryCount();
}
BENCHMARK(BM_TickIncremental);

void BM_TickReferenceRebuild(benchmark::State& state) {
    ReferenceHistogram reference(kClientWidth, kClientHeight);
    FillHistory(reference);
    std::size_t tick = 0;
    for (auto _ : state) {
        Feed(reference, tick++);
        reference.DrawStep();
        benchmark::DoNotOptimize(reference.Surface().constBits());
    }
    state.counters["history"] = reference.HistoryCount();
}
BENCHMARK(BM_TickReferenceRebuild);

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    if (!SamePicturesOverManyTicks()) {
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
