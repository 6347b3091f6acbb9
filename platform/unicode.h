// Conversions between the program's 8-bit texts (UTF-8, the process's character set) and the
// 16-bit code units in which the registry keeps names and strings.
#pragma once

#include <string>
#include <string_view>

namespace win::text {

// UTF-16 to UTF-8. A lone surrogate is kept as its own three-byte sequence so that nothing is
// lost on the way back.
std::string ToUtf8(std::u16string_view units);

// UTF-8 to UTF-16. A byte that does not start a well-formed sequence stands for the character
// of the same number (U+0080 to U+00FF), so arbitrary bytes always convert.
std::u16string ToUtf16(std::string_view bytes);

// Case folding used for key, value, section and file names: the platform compares them
// without regard to letter case, and sorts them by their lower-case forms. Folds ASCII,
// Latin-1, Greek and Cyrillic letters to lower case.
char16_t FoldCase(char16_t unit);
std::u16string FoldCase(std::u16string_view units);
std::string FoldCaseUtf8(std::string_view bytes);

// Case-insensitive three-way comparison in the order used for sorting keys and values.
int CompareNoCase(std::u16string_view a, std::u16string_view b);
bool EqualNoCase(std::u16string_view a, std::u16string_view b);
bool EqualNoCaseAscii(std::string_view a, std::string_view b);

}  // namespace win::text
