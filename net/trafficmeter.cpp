#include "net/trafficmeter.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "net/interfacetable.h"

namespace {

// A percentage with one decimal and a point as the separator, whatever the process's locale.
std::string PercentLabel(double value) {
    char digits[32];
    const auto converted =
        std::to_chars(std::begin(digits), std::end(digits), value, std::chars_format::fixed, 1);
    std::string label(digits, converted.ptr);
    label += '%';
    return label;
}

struct Level {
    int below;
    int level;
    win::WORD picture;
};

// The picture for each level, by the stepped value; the last row takes everything else.
constexpr Level kLevels[] = {
    {10, 1, 176}, {50, 2, 128}, {100, 3, 178}, {250, 4, 179}, {500, 5, 180}, {0, 6, 181},
};

}  // namespace

void CTrafficMeter::Attach(CInterfaceTable& interfaces, IHistogramSink& histogram,
                           ILevelPicture& picture, IConsoleServices& console) {
    m_interfaces = &interfaces;
    m_histogram = &histogram;
    m_picture = &picture;
    m_console = &console;
}

void CTrafficMeter::ResetBaseline(const win::MIB_IFROW& row) {
    m_lastOutOctets = row.dwOutOctets;
    m_lastInOctets = row.dwInOctets;
    m_divisor = std::max<win::DWORD>(row.dwSpeed >> 13, 1);
}

int CTrafficMeter::StepUtilisation(int rate) {
    for (const int step : {10, 50, 100, 250, 500}) {
        if (rate < step) {
            return step;
        }
    }
    return 1000;
}

int CTrafficMeter::Rate(win::DWORD counter, win::DWORD last) const {
    // The count wraps modulo 2^32; the quotient is read as a signed number and made positive
    // by negating it modulo 2^32 (the most negative value stays as it is).
    const win::DWORD quotient = static_cast<win::DWORD>(counter - last) / m_divisor;
    const win::DWORD magnitude = static_cast<int>(quotient) < 0 ? 0u - quotient : quotient;
    const int rate = static_cast<int>(magnitude);
    return rate == 0 ? 1 : rate;
}

void CTrafficMeter::OnMeterTick() {
    if (m_interfaces == nullptr) {
        return;
    }
    m_interfaces->RefreshTable();
    const auto row = m_interfaces->SelectedRow();
    if (!row) {
        return;
    }
    if (m_divisor == 0) {
        ResetBaseline(*row);
        return;
    }

    m_rateIn = Rate(row->dwInOctets, m_lastInOctets);
    m_lastInOctets = row->dwInOctets;
    m_rateOut = Rate(row->dwOutOctets, m_lastOutOctets);
    m_lastOutOctets = row->dwOutOctets;

    if (m_ringIndex == kRingSize) {
        m_ringIndex = 0;
    }
    const int value = std::max(StepUtilisation(m_rateIn), StepUtilisation(m_rateOut));
    m_ring[static_cast<std::size_t>(m_ringIndex)] = value;

    if (value >= m_peak) {
        m_hold = kRingSize;
        m_peak = value;
        Publish();
    } else if (m_hold < 1) {
        SearchRing();
        Publish();
    } else {
        --m_hold;
    }
    ++m_ringIndex;

    m_histogram->AddSample(static_cast<win::UINT>(m_rateIn), static_cast<win::UINT>(m_rateOut));
}

void CTrafficMeter::SearchRing() {
    int best = 1;
    int bestSlot = 0;
    for (int slot = 0; slot < kRingSize; ++slot) {
        if (m_ring[static_cast<std::size_t>(slot)] >= best) {
            best = m_ring[static_cast<std::size_t>(slot)];
            bestSlot = slot;
        }
    }
    m_peak = m_ring[static_cast<std::size_t>(bestSlot)];
    m_hold = m_ringIndex < bestSlot ? bestSlot - m_ringIndex : kRingSize - m_ringIndex + bestSlot;
}

void CTrafficMeter::Publish() {
    m_histogram->SetRange(1, m_peak);
    m_topLabel = PercentLabel(m_peak / 10.0);
    ShowLevelPicture(m_peak);
    m_middleLabel = PercentLabel(m_peak / 20.0);
    m_bottomLabel = "0%";
    m_console->UpdateData(false);
}

void CTrafficMeter::ShowLevelPicture(int value) {
    const Level* chosen = std::begin(kLevels);
    while (chosen + 1 != std::end(kLevels) && value >= chosen->below) {
        ++chosen;
    }
    if (chosen->level == m_level) {
        return;
    }
    if (m_picture != nullptr) {
        m_picture->LoadFromResource(chosen->picture, "GIF");
        m_picture->ShowPicture();
    }
    m_level = chosen->level;
}
