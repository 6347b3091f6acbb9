#include "platform/unicode.h"

namespace win::text {

std::string ToUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Length and value of the well-formed sequence at s[i], or 0 when there is none. Surrogates
// encoded on their own (as ToUtf8 writes a lone one) are accepted.
std::size_t DecodeOne(std::string_view s, std::size_t i, char32_t& c) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    const std::size_t left = s.size() - i;
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    if (b0 >= 0xC2 && b0 <= 0xDF && left >= 2 && IsContinuation(at(1))) {
        c = ((b0 & 0x1Fu) << 6) | (at(1) & 0x3Fu);
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF && left >= 3 && IsContinuation(at(1)) && IsContinuation(at(2))) {
        c = ((b0 & 0x0Fu) << 12) | ((at(1) & 0x3Fu) << 6) | (at(2) & 0x3Fu);
        return c >= 0x800 ? 3 : 0;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4 && left >= 4 && IsContinuation(at(1)) && IsContinuation(at(2)) &&
        IsContinuation(at(3))) {
        c = ((b0 & 0x07u) << 18) | ((at(1) & 0x3Fu) << 12) | ((at(2) & 0x3Fu) << 6) |
            (at(3) & 0x3Fu);
        return (c >= 0x10000 && c <= 0x10FFFF) ? 4 : 0;
    }
    return 0;
}

}  // namespace

std::u16string ToUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        char32_t c = b0;
        std::size_t n = b0 < 0x80 ? 1 : DecodeOne(bytes, i, c);
        if (n == 0) {
            c = b0;
            n = 1;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += n;
    }
    return out;
}

char16_t FoldCase(char16_t u) {
    if (u >= u'A' && u <= u'Z') {
        return static_cast<char16_t>(u + 0x20);
    }
    if (u < 0x80) {
        return u;
    }
    if ((u >= 0xC0 && u <= 0xDE && u != 0xD7) || (u >= 0x391 && u <= 0x3A9 && u != 0x3A2) ||
        (u >= 0x410 && u <= 0x42F)) {
        return static_cast<char16_t>(u + 0x20);
    }
    if (u == 0x178) {
        return 0xFF;
    }
    if (u >= 0x400 && u <= 0x40F) {
        return static_cast<char16_t>(u + 0x50);
    }
    return u;
}

std::u16string FoldCase(std::u16string_view units) {
    std::u16string out(units);
    for (auto& u : out) {
        u = FoldCase(u);
    }
    return out;
}

std::string FoldCaseUtf8(std::string_view bytes) {
    return ToUtf8(FoldCase(ToUtf16(bytes)));
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = FoldCase(a[i]);
        const char16_t y = FoldCase(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

bool EqualNoCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x + 0x20);
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y + 0x20);
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace win::text
