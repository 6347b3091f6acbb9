#include "platform/qt/resources.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QResource>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/module.h"

// The test's resources (tests/data/resources/test_resources.qrc) are compiled into this program;
// registering them explicitly is what the program does for its own, and does no harm twice.
static void InitTestResources() {
    Q_INIT_RESOURCE(test_resources);
}

namespace {

using win::DWORD;
using win::HRSRC;
using win::LPCSTR;

DWORD Code(win::LONG code) {
    return static_cast<DWORD>(code);
}

std::string FileBytes(const std::string& name) {
    std::ifstream in(std::string(FW_TEST_DATA) + "/resources/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The bytes of a found resource, through LoadResource and LockResource.
std::string ResourceBytes(HRSRC resource) {
    const DWORD size = win::SizeofResource(nullptr, resource);
    const void* bytes = win::LockResource(win::LoadResource(nullptr, resource));
    EXPECT_NE(bytes, nullptr);
    return bytes != nullptr ? std::string(static_cast<const char*>(bytes), size) : std::string();
}

class Resources : public testing::Test {
protected:
    static void SetUpTestSuite() { InitTestResources(); }
};

struct Found {
    LPCSTR name;
    LPCSTR type;
    const char* path;  // where it is compiled in
    const char* file;  // the file it was compiled from
};

std::vector<Found> FoundCases() {
    return {
        {win::MAKEINTRESOURCE(176), "GIF", ":/res/GIF/#176", "pixel.gif"},
        {"#176", "gif", ":/res/GIF/#176", "pixel.gif"},
        {"#00176", "Gif", ":/res/GIF/#176", "pixel.gif"},
        {win::MAKEINTRESOURCE(102), win::RT_DIALOG, ":/res/#5/#102", "dialog102.bin"},
        {"#102", "#5", ":/res/#5/#102", "dialog102.bin"},
        {"DEFAULT", "SKINMAGIC", ":/res/SKINMAGIC/DEFAULT", "skin.qss"},
        {"default", "SkinMagic", ":/res/SKINMAGIC/DEFAULT", "skin.qss"},
        {"Empty", win::RT_RCDATA, ":/res/#10/EMPTY", "empty.bin"},
    };
}

TEST_F(Resources, FoundByNumberOrTextInAnyCase) {
    for (const Found& c : FoundCases()) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(win::ResourcePath(c.name, c.type), QString::fromLatin1(c.path));
        const HRSRC resource = win::FindResource(nullptr, c.name, c.type);
        ASSERT_NE(resource, nullptr) << win::GetLastError();
        const std::string expected = FileBytes(c.file);
        EXPECT_EQ(win::SizeofResource(nullptr, resource), expected.size());
        EXPECT_EQ(ResourceBytes(resource), expected);
        // Qt-side code reads the same bytes through the path.
        QFile file(win::ResourcePath(c.name, c.type));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll().toStdString(), expected);
    }
}

TEST_F(Resources, ProgramModuleHandleFindsTheSame) {
    const HRSRC byNull = win::FindResource(nullptr, "DEFAULT", "SKINMAGIC");
    const HRSRC byHandle = win::FindResource(win::GetModuleHandle(nullptr), "DEFAULT", "SKINMAGIC");
    ASSERT_NE(byNull, nullptr);
    EXPECT_EQ(byHandle, byNull);
}

TEST_F(Resources, EachResourceIsLoadedOnce) {
    // The skin is stored compressed, so its bytes are a decompressed copy that must be made once
    // and then handed out again.
    ASSERT_NE(QResource(QStringLiteral(":/res/SKINMAGIC/DEFAULT")).compressionAlgorithm(),
              QResource::NoCompression);
    for (const Found& c : FoundCases()) {
        SCOPED_TRACE(c.path);
        const HRSRC first = win::FindResource(nullptr, c.name, c.type);
        const HRSRC second = win::FindResource(nullptr, c.name, c.type);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(second, first);
        const void* bytes = win::LockResource(win::LoadResource(nullptr, first));
        EXPECT_EQ(win::LockResource(win::LoadResource(nullptr, second)), bytes);
    }
    // Different spellings of one resource are one resource.
    EXPECT_EQ(win::FindResource(nullptr, "#176", "GIF"),
              win::FindResource(nullptr, win::MAKEINTRESOURCE(176), "gif"));
}

TEST_F(Resources, ConcurrentLoadsShareOneCopy) {
    constexpr int kThreads = 4;
    std::vector<const void*> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&seen, t] {
            const HRSRC resource = win::FindResource(nullptr, "DEFAULT", "SKINMAGIC");
            seen[std::size_t(t)] = win::LockResource(win::LoadResource(nullptr, resource));
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_NE(seen[0], nullptr);
    EXPECT_EQ(std::set<const void*>(seen.begin(), seen.end()).size(), 1u);
}

TEST_F(Resources, MissingTypeAndMissingNameAreTold) {
    struct Missing {
        LPCSTR name;
        LPCSTR type;
        win::LONG error;
    };
    const Missing cases[] = {
        {win::MAKEINTRESOURCE(176), "PNG", win::ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"#102", win::RT_MENU, win::ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"#176", "", win::ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"#176", nullptr, win::ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"#176", "GIF/#176", win::ERROR_RESOURCE_TYPE_NOT_FOUND},
        {win::MAKEINTRESOURCE(177), "GIF", win::ERROR_RESOURCE_NAME_NOT_FOUND},
        {"DEFAULT", win::RT_DIALOG, win::ERROR_RESOURCE_NAME_NOT_FOUND},
        {"#65712", "GIF", win::ERROR_RESOURCE_NAME_NOT_FOUND},  // 176 + 65536 is no number
        {"176", "GIF", win::ERROR_RESOURCE_NAME_NOT_FOUND},     // a text, not the number
        {"../GIF/#176", "SKINMAGIC", win::ERROR_RESOURCE_NAME_NOT_FOUND},
        {nullptr, "GIF", win::ERROR_RESOURCE_NAME_NOT_FOUND},
        {"", "GIF", win::ERROR_RESOURCE_NAME_NOT_FOUND},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        win::SetLastError(0);
        EXPECT_EQ(win::FindResource(nullptr, cases[i].name, cases[i].type), nullptr);
        EXPECT_EQ(win::GetLastError(), Code(cases[i].error));
    }
}

TEST_F(Resources, OtherModulesHaveNoResources) {
    win::RegisterModule("NoResources.dll", {});
    const win::HMODULE module = win::LoadLibrary("NoResources");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(win::FindResource(module, "DEFAULT", "SKINMAGIC"), nullptr);
    EXPECT_EQ(win::GetLastError(), Code(win::ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
}

TEST_F(Resources, HandlesNotFromFindResourceAreRejected) {
    int notAResource = 0;
    const HRSRC bogus = reinterpret_cast<HRSRC>(&notAResource);
    win::SetLastError(0);
    EXPECT_EQ(win::LoadResource(nullptr, bogus), nullptr);
    EXPECT_EQ(win::GetLastError(), Code(win::ERROR_INVALID_HANDLE));
    win::SetLastError(0);
    EXPECT_EQ(win::SizeofResource(nullptr, nullptr), 0u);
    EXPECT_EQ(win::GetLastError(), Code(win::ERROR_INVALID_HANDLE));
    EXPECT_EQ(win::LockResource(nullptr), nullptr);
    EXPECT_EQ(win::LockResource(&notAResource), nullptr);
}

TEST(IntResource, NumbersTravelInThePointer) {
    for (const win::WORD id : {win::WORD(1), win::WORD(5), win::WORD(176), win::WORD(0xFFFF)}) {
        SCOPED_TRACE(id);
        const LPCSTR name = win::MAKEINTRESOURCE(id);
        EXPECT_TRUE(win::IS_INTRESOURCE(name));
        EXPECT_EQ(reinterpret_cast<win::UINT_PTR>(name), id);
    }
    EXPECT_FALSE(win::IS_INTRESOURCE("DEFAULT"));
    EXPECT_EQ(win::ResourcePath(win::MAKEINTRESOURCE(128), win::RT_GROUP_ICON),
              QStringLiteral(":/res/#14/#128"));
    EXPECT_TRUE(win::ResourcePath(win::MAKEINTRESOURCE(0), "GIF").isEmpty());
}

}  // namespace
