// The traffic meter: once a tick it turns the chosen interface's byte counters into a receive
// and a send rate relative to the interface's nominal speed, feeds them to the histogram, and
// keeps a stepped scale over the last 110 ticks, shown as three labels and a level picture.
#pragma once

#include <array>
#include <string>

#include "net/consoleparts.h"
#include "platform/iphlpapi.h"
#include "platform/wintypes.h"

class CInterfaceTable;

class CTrafficMeter {
public:
    static constexpr int kRingSize = 110;

    // The interface table to read, the histogram to feed, the picture to change and the
    // console whose controls show the labels. All must outlive this record; until they are
    // attached a tick does nothing.
    void Attach(CInterfaceTable& interfaces, IHistogramSink& histogram, ILevelPicture& picture,
                IConsoleServices& console);

    // Takes the row's counters as the last reading and its speed as the divisor.
    void ResetBaseline(const win::MIB_IFROW& row);

    // One tick of the meter timer. Skipped while the interface table offers no row for the
    // chosen line; the first row after no baseline was ever taken only becomes the baseline.
    void OnMeterTick();

    // The step of the scale that a rate falls in: 10, 50, 100, 250, 500 or 1000.
    static int StepUtilisation(int rate);

    // Chooses the picture level for a stepped value and shows its picture when the level
    // changes.
    void ShowLevelPicture(int value);

    // The scale labels, bound to the console's statics 1025, 1027 and 1026.
    std::string m_topLabel;
    std::string m_middleLabel;
    std::string m_bottomLabel;

    win::DWORD m_lastInOctets = 0;
    win::DWORD m_lastOutOctets = 0;
    // Nominal speed in bits per second shifted right by 13: about 1024 rate units are the
    // full speed. Never 0 once a baseline was taken.
    win::DWORD m_divisor = 0;
    int m_rateIn = 1;
    int m_rateOut = 1;
    // Stepped values of the last ticks; 0 in slots never written, which the search skips.
    std::array<int, kRingSize> m_ring{};
    // The slot the next tick writes; reads 110 after slot 109 was written.
    int m_ringIndex = 0;
    // The scale: the highest stepped value held.
    int m_peak = 10;
    // Ticks left before the ring is searched for a new scale.
    int m_hold = 0;
    // The picture level chosen last, 1 to 6.
    int m_level = 1;

private:
    // Bytes counted since the last reading over the divisor, as a rate of at least 1.
    int Rate(win::DWORD counter, win::DWORD last) const;
    // The highest value of the ring, the latest slot among equals, and the ticks until that
    // slot is written again.
    void SearchRing();
    void Publish();

    CInterfaceTable* m_interfaces = nullptr;
    IHistogramSink* m_histogram = nullptr;
    ILevelPicture* m_picture = nullptr;
    IConsoleServices* m_console = nullptr;
};
