// Bitmap resources (RT_BITMAP) of the program as images.
#pragma once

#include <QByteArrayView>
#include <QImage>

#include "platform/wintypes.h"

namespace win {

// The bitmap resource of that number. Its bytes are either an image file Qt reads (a .bmp file
// with its file header, a PNG, ...) or a bare device-independent bitmap as the platform stores
// bitmap resources: the bitmap header, the colour table and the pixels, without a file header.
// A null image when there is no such resource or it is not an image.
QImage LoadBitmapResource(WORD id);

// The same for bytes in memory.
QImage DecodeBitmap(QByteArrayView bytes);

}  // namespace win
