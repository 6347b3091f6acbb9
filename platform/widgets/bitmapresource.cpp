#include "platform/widgets/bitmapresource.h"

#include <QByteArray>
#include <QtEndian>

#include "platform/qt/resources.h"

namespace win {

namespace {

constexpr qsizetype kFileHeaderSize = 14;
constexpr DWORD kCoreHeaderSize = 12;  // the old header: 16-bit sizes, three-byte colours
constexpr DWORD kInfoHeaderSize = 40;
constexpr DWORD kBitFields = 3;       // compression: three colour masks follow the header
constexpr DWORD kAlphaBitFields = 6;  // compression: four colour masks follow the header

DWORD Dword(QByteArrayView bytes, qsizetype at) {
    return qFromLittleEndian<quint32>(bytes.data() + at);
}

WORD Word(QByteArrayView bytes, qsizetype at) {
    return qFromLittleEndian<quint16>(bytes.data() + at);
}

// Where the pixels of a bare bitmap begin, counted from the start of its header; 0 when the
// bytes do not begin with a bitmap header.
qsizetype PixelOffset(QByteArrayView dib) {
    if (dib.size() < static_cast<qsizetype>(kCoreHeaderSize)) {
        return 0;
    }
    const DWORD headerSize = Dword(dib, 0);
    if (headerSize == kCoreHeaderSize) {
        const WORD bitCount = Word(dib, 10);
        const qsizetype colours = bitCount <= 8 ? qsizetype{1} << bitCount : 0;
        return kCoreHeaderSize + colours * 3;
    }
    const bool known = headerSize == kInfoHeaderSize || headerSize == 52 || headerSize == 56 ||
                       headerSize == 64 || headerSize == 108 || headerSize == 124;
    if (!known || dib.size() < static_cast<qsizetype>(headerSize)) {
        return 0;
    }
    const WORD bitCount = Word(dib, 14);
    const DWORD compression = Dword(dib, 16);
    const DWORD coloursUsed = Dword(dib, 32);
    if (bitCount > 32 || coloursUsed > 65536) {
        return 0;
    }
    qsizetype masks = 0;
    if (headerSize == kInfoHeaderSize && compression == kBitFields) {
        masks = 12;
    } else if (headerSize == kInfoHeaderSize && compression == kAlphaBitFields) {
        masks = 16;
    }
    qsizetype colours = coloursUsed;
    if (colours == 0 && bitCount <= 8) {
        colours = qsizetype{1} << bitCount;
    }
    return headerSize + masks + colours * 4;
}

}  // namespace

QImage DecodeBitmap(QByteArrayView bytes) {
    // A bare bitmap is read as the .bmp file that has the same bytes behind a file header;
    // anything else is an image file that says what it is.
    const qsizetype pixels = PixelOffset(bytes);
    if (pixels == 0 || pixels > bytes.size()) {
        return QImage::fromData(bytes);
    }
    QByteArray file(kFileHeaderSize, '\0');
    file[0] = 'B';
    file[1] = 'M';
    qToLittleEndian<quint32>(static_cast<quint32>(kFileHeaderSize + bytes.size()), file.data() + 2);
    qToLittleEndian<quint32>(static_cast<quint32>(kFileHeaderSize + pixels), file.data() + 10);
    file.append(bytes.data(), bytes.size());
    return QImage::fromData(file, "BMP");
}

QImage LoadBitmapResource(WORD id) {
    const HRSRC resource = FindResource(nullptr, MAKEINTRESOURCE(id), RT_BITMAP);
    if (resource == nullptr) {
        return {};
    }
    const void* bytes = LockResource(LoadResource(nullptr, resource));
    if (bytes == nullptr) {
        return {};
    }
    return DecodeBitmap(QByteArrayView(static_cast<const char*>(bytes),
                                       static_cast<qsizetype>(SizeofResource(nullptr, resource))));
}

}  // namespace win
