#include "tools/artwork/lzw.h"

#include <algorithm>
#include <utility>

namespace artwork {

namespace {

constexpr int kMaxCodeSize = 12;
constexpr int kTableSize = 1 << kMaxCodeSize;

class BitPacker {
public:
    void Put(int code, int width) {
        buffer_ |= static_cast<std::uint32_t>(code) << filled_;
        filled_ += width;
        while (filled_ >= 8) {
            bytes_.push_back(static_cast<std::uint8_t>(buffer_ & 0xFF));
            buffer_ >>= 8;
            filled_ -= 8;
        }
    }

    std::vector<std::uint8_t> Finish() {
        if (filled_ > 0) {
            bytes_.push_back(static_cast<std::uint8_t>(buffer_ & 0xFF));
        }
        buffer_ = 0;
        filled_ = 0;
        return std::move(bytes_);
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t buffer_ = 0;
    int filled_ = 0;
};

// The string table: code of (prefix code, next index), or 0 where there is none yet (0 is
// never a valid extension code, since extensions start above the end-of-information code).
class StringTable {
public:
    explicit StringTable(int alphabet) : alphabet_(alphabet), codes_(kTableSize * alphabet) {}

    int Find(int prefix, int index) const { return codes_[Slot(prefix, index)]; }
    void Add(int prefix, int index, int code) {
        codes_[Slot(prefix, index)] = static_cast<std::uint16_t>(code);
    }
    void Clear() { std::fill(codes_.begin(), codes_.end(), std::uint16_t{0}); }

private:
    std::size_t Slot(int prefix, int index) const {
        return static_cast<std::size_t>(prefix) * static_cast<std::size_t>(alphabet_) +
               static_cast<std::size_t>(index);
    }

    int alphabet_;
    std::vector<std::uint16_t> codes_;
};

}  // namespace

std::vector<std::uint8_t> LzwCompress(const std::vector<std::uint8_t>& indices,
                                      int minimumCodeSize) {
    const int alphabet = 1 << minimumCodeSize;
    const int clearCode = alphabet;
    const int endCode = alphabet + 1;

    BitPacker out;
    StringTable table(alphabet);
    int codeSize = minimumCodeSize + 1;
    int nextCode = endCode + 1;
    out.Put(clearCode, codeSize);
    if (indices.empty()) {
        out.Put(endCode, codeSize);
        return out.Finish();
    }

    int prefix = indices.front();
    for (std::size_t i = 1; i < indices.size(); ++i) {
        const int index = indices[i];
        if (const int code = table.Find(prefix, index); code != 0) {
            prefix = code;
            continue;
        }
        out.Put(prefix, codeSize);
        if (nextCode < kTableSize) {
            table.Add(prefix, index, nextCode);
            ++nextCode;
            // The decoder adds each entry one code later than we do, so it widens its codes
            // once the table holds one more entry than the current width can name.
            if (nextCode > (1 << codeSize) && codeSize < kMaxCodeSize) {
                ++codeSize;
            }
        } else {
            out.Put(clearCode, codeSize);
            table.Clear();
            codeSize = minimumCodeSize + 1;
            nextCode = endCode + 1;
        }
        prefix = index;
    }
    out.Put(prefix, codeSize);
    // The decoder makes its entry for that last code too, and may widen before the end code.
    if (nextCode == (1 << codeSize) && codeSize < kMaxCodeSize) {
        ++codeSize;
    }
    out.Put(endCode, codeSize);
    return out.Finish();
}

}  // namespace artwork
