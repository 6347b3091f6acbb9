#include "platform/unicode.h"

#include <gtest/gtest.h>

namespace {

using win::text::CompareNoCase;
using win::text::EqualNoCase;
using win::text::ToUtf16;
using win::text::ToUtf8;

TEST(Unicode, RoundTripsEveryPlane) {
    const std::u16string units = u"A\u00fc\u00df\u20ac\U0001F600z";
    EXPECT_EQ(ToUtf8(units), "A\xc3\xbc\xc3\x9f\xe2\x82\xac\xf0\x9f\x98\x80z");
    EXPECT_EQ(ToUtf16(ToUtf8(units)), units);
}

TEST(Unicode, LoneSurrogateSurvivesTheRoundTrip) {
    const std::u16string units{u'a', char16_t(0xD800), u'b', char16_t(0xDC01)};
    EXPECT_EQ(ToUtf16(ToUtf8(units)), units);
}

TEST(Unicode, MalformedBytesBecomeLatin1Characters) {
    // A stray continuation byte, a truncated sequence and an overlong form.
    EXPECT_EQ(ToUtf16("\x80x\xe2\x82"), (std::u16string{0x80, u'x', 0xE2, 0x82}));
    EXPECT_EQ(ToUtf16("\xc0\xaf"), (std::u16string{0xC0, 0xAF}));
}

TEST(Unicode, CaseInsensitiveComparison) {
    EXPECT_TRUE(EqualNoCase(u"Software\\Fleetwing", u"SOFTWARE\\fleetwing"));
    EXPECT_TRUE(EqualNoCase(u"Gr\u00fc\u00dfe", u"GR\u00dc\u00dfE"));
    EXPECT_FALSE(EqualNoCase(u"abc", u"abd"));
    EXPECT_LT(CompareNoCase(u"a", u"B"), 0);
    // Sorted by the lower-case forms: an underscore comes before letters.
    EXPECT_LT(CompareNoCase(u"_x", u"a"), 0);
    EXPECT_LT(CompareNoCase(u"[", u"a"), 0);
    EXPECT_LT(CompareNoCase(u"ab", u"ABC"), 0);
    EXPECT_EQ(CompareNoCase(u"Run", u"RUN"), 0);
}

}  // namespace
