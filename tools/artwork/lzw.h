// The variable-length LZW compression of GIF image data.
#pragma once

#include <cstdint>
#include <vector>

namespace artwork {

// Compresses colour indices (each below 2^minimumCodeSize, minimumCodeSize 2 to 8) into the
// GIF code stream: a clear code first, codes packed from the least significant bit, widths
// growing from minimumCodeSize + 1 up to 12 bits, a clear code whenever the table is full, and
// the end-of-information code last. The result is not yet cut into sub-blocks.
std::vector<std::uint8_t> LzwCompress(const std::vector<std::uint8_t>& indices,
                                      int minimumCodeSize);

}  // namespace artwork
