// The colours that the program's artwork shares: a dark slate ground with a teal-to-blue
// accent, as in the console's skin.
#pragma once

#include <cstdint>

#include "tools/artwork/canvas.h"

namespace artwork::look {

inline constexpr std::uint32_t kOutside = 0x0B0F14;  // around rounded panels
inline constexpr std::uint32_t kGroundTop = 0x18202B;
inline constexpr std::uint32_t kGroundBottom = 0x0E131A;
inline constexpr std::uint32_t kEdge = 0x2A3646;  // panel borders
inline constexpr std::uint32_t kSlot = 0x1A222D;  // an unlit meter segment
inline constexpr std::uint32_t kSlotEdge = 0x242F3C;
inline constexpr std::uint32_t kText = 0xEEF3F8;
inline constexpr std::uint32_t kMutedText = 0x7F90A5;
inline constexpr std::uint32_t kAccentTeal = 0x19D9A5;
inline constexpr std::uint32_t kAccentCyan = 0x27B9F5;
inline constexpr std::uint32_t kAccentBlue = 0x4F7DFF;
inline constexpr std::uint32_t kIdleGrey = 0x4A5563;

// The accent colour at t from 0 (teal) through cyan to 1 (blue).
inline Colour Accent(double t) {
    if (t < 0.5) {
        return Mix(Rgb(kAccentTeal), Rgb(kAccentCyan), t * 2);
    }
    return Mix(Rgb(kAccentCyan), Rgb(kAccentBlue), (t - 0.5) * 2);
}

}  // namespace artwork::look
