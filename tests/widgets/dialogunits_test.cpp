#include "platform/widgets/dialogunits.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>

#include <cmath>

#include "widgets/offscreen_app.h"

namespace {

TEST(DialogUnits, ConvertEachValueWithMulDivRounding) {
    struct Case {
        QRect dialogUnits;
        QSize baseUnits;
        QRect pixels;  // worked out by hand: x, width * base width / 4; y, height * base height / 8
    };
    const Case cases[] = {
        // 24, 100.75, 213, 47.125
        {{16, 62, 142, 29}, {6, 13}, {24, 101, 213, 47}},
        // the console's client area: 421.5, 399.75
        {{0, 0, 281, 246}, {6, 13}, {0, 0, 422, 400}},
        // halves go up: 1.5, 6.5, 4.5, 19.5
        {{1, 4, 3, 12}, {6, 13}, {2, 7, 5, 20}},
        // and away from zero below it: -4.5, -6.5
        {{-3, -4, 0, 0}, {6, 13}, {-5, -7, 0, 0}},
        // 2.5, 5, 7.5, 15
        {{2, 4, 6, 12}, {5, 10}, {3, 5, 8, 15}},
        // 1.75, 1.875, 3.5, 3.75
        {{1, 1, 2, 2}, {7, 15}, {2, 2, 4, 4}},
        // the width is converted on its own: 1.5 -> 2, where the right edge 3 less the left
        // edge 2 would give 1
        {{1, 0, 1, 0}, {6, 13}, {2, 0, 2, 0}},
        {{0, 0, 0, 0}, {6, 13}, {0, 0, 0, 0}},
        {{10, 10, 10, 10}, {8, 16}, {20, 20, 20, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "base " << c.baseUnits.width() << "x" << c.baseUnits.height());
        const QRect pixels = win::DialogUnitsToPixels(c.dialogUnits, c.baseUnits);
        EXPECT_EQ(pixels.x(), c.pixels.x());
        EXPECT_EQ(pixels.y(), c.pixels.y());
        EXPECT_EQ(pixels.width(), c.pixels.width());
        EXPECT_EQ(pixels.height(), c.pixels.height());
    }
}

TEST(DialogUnits, BaseUnitsOfAFixedPitchFontAreItsCellSize) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!QFontInfo(font).fixedPitch()) {
        GTEST_SKIP() << "no fixed-pitch font installed";
    }
    for (int pixels : {9, 11, 13, 16, 20, 27}) {
        SCOPED_TRACE(pixels);
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        const QSize base = win::BaseUnits(font);
        // Every letter has the same advance, so the average is that advance.
        EXPECT_EQ(base.width(), metrics.horizontalAdvance(QLatin1Char('x')));
        // The height is the whole cell, ascent and descent, without the leading.
        EXPECT_EQ(base.height(), metrics.ascent() + metrics.descent());
    }
}

TEST(DialogUnits, BaseWidthIsTheAverageLetterRoundedToTheNearestPixel) {
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    QFont font = QApplication::font();
    int roundedUp = 0;
    for (int pixels = 8; pixels <= 40; ++pixels) {
        SCOPED_TRACE(pixels);
        font.setPixelSize(pixels);
        const double average = QFontMetrics(font).horizontalAdvance(letters) / 52.0;
        const int nearest = static_cast<int>(std::floor(average + 0.5));
        EXPECT_EQ(win::BaseUnits(font).width(), nearest) << "average " << average;
        roundedUp += nearest > static_cast<int>(average) ? 1 : 0;
    }
    // Some of the sizes have averages that round up, so truncating would have been caught.
    EXPECT_GT(roundedUp, 0);
}

TEST(DialogUnits, BaseUnitsGrowWithTheFont) {
    QFont font = QApplication::font();
    font.setPointSize(8);
    const QSize small = win::BaseUnits(font);
    font.setPointSize(16);
    const QSize large = win::BaseUnits(font);
    EXPECT_GT(small.width(), 0);
    EXPECT_GT(small.height(), 0);
    EXPECT_GT(large.width(), small.width());
    EXPECT_GT(large.height(), small.height());
    // Four more pixels after every letter make the average four pixels wider.
    font.setPointSize(8);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    EXPECT_EQ(win::BaseUnits(font).width(), small.width() + 4);
    EXPECT_EQ(win::BaseUnits(font).height(), small.height());
}

TEST(DialogUnits, ShellDialogFontIsTheApplicationFontAtTheTemplateSize) {
    win::DialogTemplate dialog;
    dialog.hasFont = true;
    dialog.pointSize = 8;
    for (const char* name : {"MS Shell Dlg", "ms shell dlg", "MS Shell Dlg 2"}) {
        SCOPED_TRACE(name);
        dialog.fontName = QString::fromLatin1(name);
        const QFont font = win::DialogFont(dialog);
        EXPECT_EQ(font.family(), QApplication::font().family());
        EXPECT_EQ(font.pointSize(), 8);
        EXPECT_FALSE(font.italic());
        EXPECT_EQ(font.weight(), QApplication::font().weight());
    }

    dialog.fontName = QStringLiteral("DejaVu Serif");
    dialog.pointSize = 11;
    dialog.weight = 700;
    dialog.italic = true;
    const QFont named = win::DialogFont(dialog);
    EXPECT_EQ(named.families().value(0), QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(named.pointSize(), 11);
    EXPECT_EQ(named.weight(), QFont::Bold);
    EXPECT_TRUE(named.italic());

    // Without a font in the template, the application's.
    EXPECT_EQ(win::DialogFont(win::DialogTemplate{}), QApplication::font());
}

}  // namespace
