#include "platform/widgets/bitmapresource.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>

#include "widgets/test_resources.h"

namespace {

class BitmapResources : public testing::Test {
protected:
    static void SetUpTestSuite() { InitTestResources(); }
};

TEST_F(BitmapResources, BmpFileIsReadWithItsPixels) {
    const QImage image = win::LoadBitmapResource(910);
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(image.size(), QSize(5, 3));
    // The file stores its rows bottom up; each pixel is red 200, green 100 per row from the
    // bottom, blue 50 per column.
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            EXPECT_EQ(image.pixelColor(x, y), QColor(200, (2 - y) * 100, x * 50));
        }
    }
}

TEST_F(BitmapResources, BareBitmapWithColourTableIsRead) {
    // Stored as the platform stores bitmap resources: header, two colours, 8-bit pixels.
    const QImage image = win::LoadBitmapResource(911);
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(image.size(), QSize(4, 2));
    const QColor red(255, 0, 0);
    const QColor blue(0, 0, 255);
    const QColor expected[2][4] = {{blue, blue, red, red}, {red, blue, red, blue}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            EXPECT_EQ(image.pixelColor(x, y), expected[y][x]);
        }
    }
}

TEST_F(BitmapResources, MissingOrDamagedBitmapsGiveNullImages) {
    EXPECT_TRUE(win::LoadBitmapResource(999).isNull());  // no such resource
    EXPECT_TRUE(win::LoadBitmapResource(912).isNull());  // a header cut short
    EXPECT_TRUE(win::LoadBitmapResource(0).isNull());

    QFile file(QStringLiteral(":/res/#2/#911"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bare = file.readAll();
    EXPECT_FALSE(win::DecodeBitmap(bare).isNull());
    // A colour table that would run past the end of the bytes.
    QByteArray hugeTable = bare;
    hugeTable[32] = 0x00;
    hugeTable[33] = 0x01;  // 256 colours
    EXPECT_TRUE(win::DecodeBitmap(hugeTable).isNull());
    EXPECT_TRUE(win::DecodeBitmap({}).isNull());
}

}  // namespace
