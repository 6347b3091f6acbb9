// The artwork in res/art: the committed files are exactly what tools/artwork draws, they have
// the structure that the program's picture control and windows rely on, and Qt reads them.
// The GIF checks walk the blocks and decode the image data with code of their own, so a fault
// in the generator's encoder cannot hide behind the same fault in the checker.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QProcessEnvironment>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/qt/resources.h"
#include "res/init_resources.h"

namespace {

namespace fs = std::filesystem;

const fs::path kArtFolder = FW_ART_DIR;

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

unsigned U8(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes.at(at));
}
unsigned U16(const std::string& bytes, std::size_t at) {
    return U8(bytes, at) | U8(bytes, at + 1) << 8;
}
std::uint32_t U32(const std::string& bytes, std::size_t at) {
    return U16(bytes, at) | static_cast<std::uint32_t>(U16(bytes, at + 2)) << 16;
}

// A fresh folder under /tmp, removed with the object.
class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/fw-artwork-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        path_ = made != nullptr ? made : "";
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// --- A GIF block walker of the test's own. ---

enum class Block { kControl, kApplication, kComment, kPlainText, kImage, kTrailer };

struct Control {
    unsigned disposal;
    unsigned delay;
    std::size_t delayAt;  // offset of the delay field in the file
};

struct Image {
    unsigned left, top, width, height;
    bool localTable;
    unsigned minimumCodeSize;
    std::vector<std::uint8_t> data;  // the sub-blocks joined
};

struct GifFile {
    std::string version;
    unsigned width = 0;
    unsigned height = 0;
    std::size_t globalTableBytes = 0;
    std::vector<std::uint32_t> palette;  // 0xRRGGBB
    std::vector<Block> blocks;
    std::vector<Control> controls;
    std::vector<std::string> applications;  // identifier + authentication code
    std::vector<Image> images;
    std::size_t end = 0;  // offset just past the trailer
};

class GifWalker {
public:
    explicit GifWalker(const std::string& bytes) : bytes_(bytes) {}

    // The file's blocks; throws std::out_of_range at truncated data and std::runtime_error at
    // a block it does not know.
    GifFile Walk() {
        GifFile gif;
        gif.version = bytes_.substr(0, 6);
        gif.width = U16(bytes_, 6);
        gif.height = U16(bytes_, 8);
        const unsigned packed = U8(bytes_, 10);
        at_ = 13;
        if (packed & 0x80) {
            gif.globalTableBytes = std::size_t{3} << ((packed & 7) + 1);
            for (std::size_t i = 0; i < gif.globalTableBytes; i += 3) {
                gif.palette.push_back(U8(bytes_, at_ + i) << 16 | U8(bytes_, at_ + i + 1) << 8 |
                                      U8(bytes_, at_ + i + 2));
            }
            at_ += gif.globalTableBytes;
        }
        for (;;) {
            const unsigned introducer = U8(bytes_, at_);
            if (introducer == 0x3B) {
                gif.blocks.push_back(Block::kTrailer);
                gif.end = at_ + 1;
                return gif;
            }
            if (introducer == 0x2C) {
                gif.blocks.push_back(Block::kImage);
                gif.images.push_back(ReadImage());
                continue;
            }
            if (introducer != 0x21) {
                throw std::runtime_error("unknown block");
            }
            const unsigned label = U8(bytes_, at_ + 1);
            at_ += 2;
            if (label == 0xF9) {
                if (U8(bytes_, at_) != 4 || U8(bytes_, at_ + 5) != 0) {
                    throw std::runtime_error("malformed graphic control extension");
                }
                gif.blocks.push_back(Block::kControl);
                gif.controls.push_back(
                    {(U8(bytes_, at_ + 1) >> 2) & 7, U16(bytes_, at_ + 2), at_ + 2});
                at_ += 6;
            } else if (label == 0xFF) {
                if (U8(bytes_, at_) != 11) {
                    throw std::runtime_error("malformed application extension");
                }
                gif.blocks.push_back(Block::kApplication);
                std::string application = bytes_.substr(at_ + 1, 11);
                at_ += 12;
                for (const std::uint8_t byte : SubBlocks()) {
                    application.push_back(static_cast<char>(byte));
                }
                gif.applications.push_back(application);
            } else if (label == 0xFE) {
                gif.blocks.push_back(Block::kComment);
                SubBlocks();
            } else if (label == 0x01) {
                gif.blocks.push_back(Block::kPlainText);
                at_ += 13;
                SubBlocks();
            } else {
                throw std::runtime_error("unknown extension");
            }
        }
    }

private:
    Image ReadImage() {
        Image image{U16(bytes_, at_ + 1),
                    U16(bytes_, at_ + 3),
                    U16(bytes_, at_ + 5),
                    U16(bytes_, at_ + 7),
                    (U8(bytes_, at_ + 9) & 0x80) != 0,
                    0,
                    {}};
        at_ += 10;
        if (image.localTable) {
            at_ += std::size_t{3} << ((U8(bytes_, at_ - 1) & 7) + 1);
        }
        image.minimumCodeSize = U8(bytes_, at_++);
        image.data = SubBlocks();
        return image;
    }

    std::vector<std::uint8_t> SubBlocks() {
        std::vector<std::uint8_t> data;
        for (unsigned size = U8(bytes_, at_++); size != 0; size = U8(bytes_, at_++)) {
            for (unsigned i = 0; i < size; ++i) {
                data.push_back(static_cast<std::uint8_t>(U8(bytes_, at_++)));
            }
        }
        return data;
    }

    const std::string& bytes_;
    std::size_t at_ = 0;
};

// GIF's LZW decoding, written from the format's description. Empty when the code stream is
// broken: a code that names no entry, or no end-of-information code before the data runs out.
std::optional<std::vector<std::uint8_t>> LzwDecode(const std::vector<std::uint8_t>& data,
                                                   unsigned minimumCodeSize) {
    const unsigned clearCode = 1u << minimumCodeSize;
    const unsigned endCode = clearCode + 1;
    std::size_t bit = 0;
    const auto read = [&](unsigned width) -> std::optional<unsigned> {
        if (bit + width > data.size() * 8) {
            return std::nullopt;
        }
        unsigned code = 0;
        for (unsigned i = 0; i < width; ++i, ++bit) {
            code |= ((data[bit / 8] >> (bit % 8)) & 1u) << i;
        }
        return code;
    };

    std::vector<std::vector<std::uint8_t>> table;
    const auto reset = [&] {
        table.clear();
        for (unsigned i = 0; i < clearCode + 2; ++i) {
            table.push_back({static_cast<std::uint8_t>(i)});
        }
    };
    reset();
    unsigned width = minimumCodeSize + 1;
    constexpr std::size_t kNone = ~std::size_t{0};
    std::size_t previous = kNone;  // the code before, none after a clear code
    std::vector<std::uint8_t> out;
    for (;;) {
        const std::optional<unsigned> code = read(width);
        if (!code) {
            return std::nullopt;
        }
        if (*code == clearCode) {
            reset();
            width = minimumCodeSize + 1;
            previous = kNone;
            continue;
        }
        if (*code == endCode) {
            return out;
        }
        std::vector<std::uint8_t> entry;
        if (previous == kNone) {
            if (*code >= clearCode) {
                return std::nullopt;
            }
            entry = table[*code];
        } else {
            if (*code < table.size()) {
                entry = table[*code];
            } else if (*code == table.size()) {
                entry = table[previous];
                entry.push_back(table[previous].front());
            } else {
                return std::nullopt;
            }
            if (table.size() < 4096) {
                std::vector<std::uint8_t> added = table[previous];
                added.push_back(entry.front());
                table.push_back(added);
            }
            if (table.size() == (std::size_t{1} << width) && width < 12) {
                ++width;
            }
        }
        out.insert(out.end(), entry.begin(), entry.end());
        previous = *code;
    }
}

// --- The files expected. ---

struct Animation {
    int resource;
    unsigned delay;  // hundredths of a second, every frame
};

void PrintTo(const Animation& animation, std::ostream* out) {
    *out << "GIF " << animation.resource << ", delay " << animation.delay;
}

constexpr std::array<Animation, 6> kAnimations = {
    {{128, 187}, {176, 312}, {178, 62}, {179, 31}, {180, 12}, {181, 6}}};
constexpr int kIdleResource = 182;
constexpr unsigned kWidth = 200;
constexpr unsigned kHeight = 27;
// Left edges of frames 2 to 15 (0-based frames 1 to 14).
constexpr std::array<unsigned, 14> kSegmentLefts = {8,  19,  31,  44,  56,  68,  81,
                                                    93, 106, 118, 130, 143, 155, 168};

fs::path GifPath(int resource) {
    return kArtFolder / ("gif" + std::to_string(resource) + ".gif");
}

std::vector<std::string> ExpectedFiles() {
    std::vector<std::string> names = {"bitmap174.bmp", "bitmap175.bmp", "icon128.ico"};
    for (const Animation& animation : kAnimations) {
        names.push_back("gif" + std::to_string(animation.resource) + ".gif");
    }
    names.push_back("gif" + std::to_string(kIdleResource) + ".gif");
    return names;
}

// --- The committed files are the generator's output. ---

TEST(ArtworkFiles, AreWhatTheGeneratorDraws) {
    TempFolder temp;
    const fs::path out = temp.Path() / "art";
    for (const char* folder : {"home", "config", "runtime"}) {
        fs::create_directory(temp.Path() / folder);
    }
    fs::permissions(temp.Path() / "runtime", fs::perms::owner_all);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("HOME", QString::fromStdString(temp.Path() / "home"));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(temp.Path() / "config"));
    environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(temp.Path() / "runtime"));

    QProcess generator;
    generator.setProcessEnvironment(environment);
    generator.start(QStringLiteral(FW_ARTWORK_TOOL), {QString::fromStdString(out)});
    ASSERT_TRUE(generator.waitForFinished(120000));
    ASSERT_EQ(generator.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();

    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(out)) {
        written.insert(entry.path().filename().string());
    }
    std::set<std::string> committed;
    for (const auto& entry : fs::directory_iterator(kArtFolder)) {
        committed.insert(entry.path().filename().string());
    }
    const std::vector<std::string> expected = ExpectedFiles();
    EXPECT_EQ(written, std::set<std::string>(expected.begin(), expected.end()));
    EXPECT_EQ(committed, written) << "run tools/make-artwork.sh";
    for (const std::string& name : written) {
        EXPECT_TRUE(ReadBytes(out / name) == ReadBytes(kArtFolder / name))
            << name << " differs from the generator's output; run tools/make-artwork.sh";
    }
}

TEST(ArtworkFiles, GeneratorRefusesAMissingFolderArgument) {
    QProcess generator;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    generator.setProcessEnvironment(environment);
    generator.start(QStringLiteral(FW_ARTWORK_TOOL), {});
    ASSERT_TRUE(generator.waitForFinished(60000));
    EXPECT_EQ(generator.exitCode(), 2);
}

// --- The GIF pictures. ---

// Checks a frame of Qt's decoding against the test's own: the frame's area shows the palette
// colours of the decoded indices, the rest is left as the previous frame showed it.
void ExpectQtFrameMatches(const QImage& shown, const QImage& before, const Image& frame,
                          const std::vector<std::uint8_t>& indices,
                          const std::vector<std::uint32_t>& palette) {
    int wrong = 0;
    for (unsigned y = 0; y < kHeight; ++y) {
        for (unsigned x = 0; x < kWidth; ++x) {
            const bool inside = x >= frame.left && x < frame.left + frame.width && y >= frame.top &&
                                y < frame.top + frame.height;
            const QRgb expected =
                inside ? 0xFF000000u |
                             palette[indices[(y - frame.top) * frame.width + (x - frame.left)]]
                       : before.pixel(int(x), int(y));
            wrong += shown.pixel(int(x), int(y)) != expected;
        }
    }
    EXPECT_EQ(wrong, 0);
}

class AnimationFile : public testing::TestWithParam<Animation> {};

TEST_P(AnimationFile, HasTheBlocksThePictureControlWalks) {
    const Animation animation = GetParam();
    const std::string bytes = ReadBytes(GifPath(animation.resource));
    const GifFile gif = GifWalker(bytes).Walk();

    EXPECT_EQ(gif.version, "GIF89a");
    EXPECT_EQ(gif.width, kWidth);
    EXPECT_EQ(gif.height, kHeight);
    EXPECT_EQ(gif.globalTableBytes, 192u);
    EXPECT_EQ(gif.end, bytes.size()) << "nothing may follow the trailer";

    // Control extension, application extension, image; then 15 times control and image.
    std::vector<Block> blocks = {Block::kControl, Block::kApplication, Block::kImage};
    for (int i = 1; i < 16; ++i) {
        blocks.push_back(Block::kControl);
        blocks.push_back(Block::kImage);
    }
    blocks.push_back(Block::kTrailer);
    EXPECT_EQ(gif.blocks, blocks);
    ASSERT_EQ(gif.applications.size(), 1u);
    // Loop sub-block: id 1, loop count 0 (forever).
    EXPECT_EQ(gif.applications[0], std::string("NETSCAPE2.0\x01\x00\x00", 14));

    ASSERT_EQ(gif.images.size(), 16u);
    ASSERT_EQ(gif.controls.size(), 16u);
    for (std::size_t i = 0; i < 16; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i + 1));
        const Image& image = gif.images[i];
        EXPECT_EQ(gif.controls[i].delay, animation.delay);
        EXPECT_EQ(gif.controls[i].disposal, i < 15 ? 1u : 2u);
        EXPECT_FALSE(image.localTable);
        if (i == 0 || i == 15) {
            EXPECT_EQ(image.left, 0u);
            EXPECT_EQ(image.top, 0u);
            EXPECT_EQ(image.width, kWidth);
            EXPECT_EQ(image.height, kHeight);
        } else {
            EXPECT_EQ(image.left, kSegmentLefts[i - 1]);
            EXPECT_EQ(image.top, 5u);
            EXPECT_GE(image.width, 9u);
            EXPECT_LE(image.width, 11u);
            EXPECT_EQ(image.height, 17u);
            if (i < 14) {
                EXPECT_LE(image.left + image.width, kSegmentLefts[i]) << "frames overlap";
            }
        }
        const auto indices = LzwDecode(image.data, image.minimumCodeSize);
        ASSERT_TRUE(indices.has_value()) << "broken LZW code stream";
        EXPECT_EQ(indices->size(), std::size_t{image.width} * image.height);
        for (const std::uint8_t index : *indices) {
            ASSERT_LT(index, gif.palette.size());
        }
    }
}

TEST_P(AnimationFile, QtPlaysEveryFrameAsEncoded) {
    const Animation animation = GetParam();
    const std::string bytes = ReadBytes(GifPath(animation.resource));
    const GifFile gif = GifWalker(bytes).Walk();
    ASSERT_EQ(gif.images.size(), 16u);

    QImageReader reader(QString::fromStdString(GifPath(animation.resource)));
    EXPECT_EQ(reader.format(), "gif");
    EXPECT_TRUE(reader.supportsAnimation());
    QImage before;
    for (std::size_t i = 0; i < 16; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i + 1));
        ASSERT_TRUE(reader.canRead()) << reader.errorString().toStdString();
        const QImage shown = reader.read();
        ASSERT_FALSE(shown.isNull()) << reader.errorString().toStdString();
        EXPECT_EQ(shown.size(), QSize(kWidth, kHeight));
        EXPECT_EQ(reader.nextImageDelay(), int(animation.delay * 10));
        const Image& image = gif.images[i];
        const auto indices = LzwDecode(image.data, image.minimumCodeSize);
        ASSERT_TRUE(indices.has_value());
        ExpectQtFrameMatches(shown, before, image, *indices, gif.palette);
        before = shown;
    }
    EXPECT_FALSE(reader.canRead()) << "more than 16 frames";
}

INSTANTIATE_TEST_SUITE_P(Levels, AnimationFile, testing::ValuesIn(kAnimations),
                         [](const testing::TestParamInfo<Animation>& tested) {
                             return "Gif" + std::to_string(tested.param.resource);
                         });

TEST(AnimationFiles, DifferOnlyInTheirDelays) {
    const std::string reference = ReadBytes(GifPath(kAnimations[0].resource));
    const GifFile gif = GifWalker(reference).Walk();
    std::vector<std::size_t> delayOffsets;
    for (const Control& control : gif.controls) {
        delayOffsets.push_back(control.delayAt);
    }
    ASSERT_EQ(delayOffsets.size(), 16u);
    for (const Animation& animation : kAnimations) {
        SCOPED_TRACE(animation.resource);
        std::string bytes = ReadBytes(GifPath(animation.resource));
        ASSERT_EQ(bytes.size(), reference.size());
        for (const std::size_t at : delayOffsets) {
            EXPECT_EQ(U16(bytes, at), animation.delay);
            bytes[at] = reference[at];
            bytes[at + 1] = reference[at + 1];
        }
        EXPECT_TRUE(bytes == reference);
    }
}

TEST(IdlePicture, IsOneStillImage) {
    const fs::path path = GifPath(kIdleResource);
    const std::string bytes = ReadBytes(path);
    const GifFile gif = GifWalker(bytes).Walk();
    EXPECT_EQ(gif.version, "GIF89a");
    EXPECT_EQ(gif.width, kWidth);
    EXPECT_EQ(gif.height, kHeight);
    EXPECT_EQ(gif.globalTableBytes, 192u);
    EXPECT_EQ(gif.blocks, (std::vector<Block>{Block::kImage, Block::kTrailer}));
    EXPECT_EQ(gif.end, bytes.size());
    ASSERT_EQ(gif.images.size(), 1u);
    const Image& image = gif.images[0];
    EXPECT_EQ(image.width, kWidth);
    EXPECT_EQ(image.height, kHeight);
    const auto indices = LzwDecode(image.data, image.minimumCodeSize);
    ASSERT_TRUE(indices.has_value());

    QImageReader reader(QString::fromStdString(path));
    const QImage shown = reader.read();
    ASSERT_FALSE(shown.isNull()) << reader.errorString().toStdString();
    ExpectQtFrameMatches(shown, QImage(), image, *indices, gif.palette);
    EXPECT_FALSE(reader.canRead());
}

// --- The bitmaps and the icon. ---

TEST(Bitmaps, Are256ColourBmpFilesOfTheirSizes) {
    struct Bitmap {
        const char* file;
        int width;
        int height;
    };
    for (const Bitmap& bitmap :
         {Bitmap{"bitmap174.bmp", 379, 58}, Bitmap{"bitmap175.bmp", 136, 45}}) {
        SCOPED_TRACE(bitmap.file);
        const std::string bytes = ReadBytes(kArtFolder / bitmap.file);
        ASSERT_GT(bytes.size(), 54u);
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        EXPECT_EQ(U32(bytes, 2), bytes.size());
        EXPECT_EQ(U32(bytes, 14), 40u);  // BITMAPINFOHEADER
        EXPECT_EQ(U32(bytes, 18), std::uint32_t(bitmap.width));
        EXPECT_EQ(U32(bytes, 22), std::uint32_t(bitmap.height));  // positive: bottom-up
        EXPECT_EQ(U16(bytes, 26), 1u);                            // planes
        EXPECT_EQ(U16(bytes, 28), 8u);                            // bits per pixel
        EXPECT_EQ(U32(bytes, 30), 0u);                            // not compressed
        const std::uint32_t colours = U32(bytes, 46);
        EXPECT_TRUE(colours == 256 || colours == 0) << colours;
        EXPECT_EQ(U32(bytes, 10), 14u + 40u + 256u * 4u);  // pixels after the colour table
        const std::size_t stride = (std::size_t(bitmap.width) + 3) / 4 * 4;
        EXPECT_EQ(bytes.size(), 14u + 40u + 1024u + stride * std::size_t(bitmap.height));

        const QImage image(QString::fromStdString(kArtFolder / bitmap.file));
        EXPECT_EQ(image.size(), QSize(bitmap.width, bitmap.height));
        EXPECT_EQ(image.format(), QImage::Format_Indexed8);
        EXPECT_EQ(image.colorCount(), 256);
    }
}

TEST(Icon, HoldsThe48And32And16PixelImages) {
    const fs::path path = kArtFolder / "icon128.ico";
    const std::string bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 6u + 3 * 16u);
    EXPECT_EQ(U16(bytes, 0), 0u);
    EXPECT_EQ(U16(bytes, 2), 1u);  // an icon
    ASSERT_EQ(U16(bytes, 4), 3u);
    const std::array<unsigned, 3> sizes = {48, 32, 16};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        SCOPED_TRACE(sizes[i]);
        const std::size_t entry = 6 + 16 * i;
        EXPECT_EQ(U8(bytes, entry), sizes[i]);
        EXPECT_EQ(U8(bytes, entry + 1), sizes[i]);
        EXPECT_EQ(U16(bytes, entry + 6), 32u);
        const std::uint32_t length = U32(bytes, entry + 8);
        const std::uint32_t offset = U32(bytes, entry + 12);
        ASSERT_LE(std::size_t{offset} + length, bytes.size());
        // The image: its header says the same size, twice the height for the mask.
        EXPECT_EQ(U32(bytes, offset), 40u);
        EXPECT_EQ(U32(bytes, offset + 4), sizes[i]);
        EXPECT_EQ(U32(bytes, offset + 8), sizes[i] * 2);
        const std::size_t maskStride = (sizes[i] + 31) / 32 * 4;
        EXPECT_EQ(length, 40 + sizes[i] * sizes[i] * 4 + maskStride * sizes[i]);
    }

    QImageReader reader(QString::fromStdString(path));
    EXPECT_EQ(reader.format(), "ico");
    ASSERT_EQ(reader.imageCount(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(sizes[std::size_t(i)]);
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage image = reader.read();
        const int size = int(sizes[std::size_t(i)]);
        ASSERT_EQ(image.size(), QSize(size, size)) << reader.errorString().toStdString();
        // A rounded tile: the corner is see-through, the middle solid.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255);
    }
}

// --- The program finds them among its resources. ---

TEST(ArtworkResources, AreFoundByNumberAndType) {
    InitFleetwingResources();
    struct Resource {
        win::WORD id;
        win::LPCSTR type;
        std::string file;
    };
    std::vector<Resource> resources = {{174, win::RT_BITMAP, "bitmap174.bmp"},
                                       {175, win::RT_BITMAP, "bitmap175.bmp"},
                                       {128, win::RT_GROUP_ICON, "icon128.ico"}};
    for (const Animation& animation : kAnimations) {
        resources.push_back({win::WORD(animation.resource), "GIF",
                             "gif" + std::to_string(animation.resource) + ".gif"});
    }
    resources.push_back({win::WORD(kIdleResource), "GIF", "gif182.gif"});
    for (const Resource& resource : resources) {
        SCOPED_TRACE(resource.file);
        const win::HRSRC found =
            win::FindResource(nullptr, win::MAKEINTRESOURCE(resource.id), resource.type);
        ASSERT_NE(found, nullptr) << win::GetLastError();
        const win::DWORD size = win::SizeofResource(nullptr, found);
        const void* data = win::LockResource(win::LoadResource(nullptr, found));
        ASSERT_NE(data, nullptr);
        EXPECT_TRUE(std::string(static_cast<const char*>(data), size) ==
                    ReadBytes(kArtFolder / resource.file));
    }
}

}  // namespace
