// Windows paths mapped through a Wine prefix built for each test, and the directory search
// on top of them.
#include "platform/winpath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/findfile.h"

namespace {

namespace fs = std::filesystem;
using win::winpath::Resolve;
using win::winpath::Status;

void WriteFile(const fs::path& path, const std::string& content = "x") {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// Sets an environment variable for the lifetime of the object, then puts back the old value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// A Wine prefix in a fresh temporary folder:
//   drive_c/Program Files/Fleet Tool/{Tool.EXE, readme.TXT, Data/}
//   drive_c/Case/{Same.txt, same.txt}
//   drive_c/Gr\u00fc\u00dfe/\u041f\u0440\u0438\u0432\u0435\u0442.txt
//   dosdevices/c: -> ../drive_c, dosdevices/d: -> <temp>/other
class WinePrefixTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/fw-winpath-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = fs::canonical(pattern);
        m_prefix = m_root / "prefix";
        m_driveC = m_prefix / "drive_c";
        m_tool = m_driveC / "Program Files" / "Fleet Tool";
        WriteFile(m_tool / "Tool.EXE", "MZ-tool");
        WriteFile(m_tool / "readme.TXT", "read me");
        fs::create_directories(m_tool / "Data");
        WriteFile(m_driveC / "Case" / "Same.txt");
        WriteFile(m_driveC / "Case" / "same.txt");
        WriteFile(m_driveC / "Gr\u00fc\u00dfe" / "\u041f\u0440\u0438\u0432\u0435\u0442.txt");
        WriteFile(m_root / "other" / "Setup.ini");
        fs::create_directories(m_prefix / "dosdevices");
        fs::create_directory_symlink("../drive_c", m_prefix / "dosdevices" / "c:");
        fs::create_directory_symlink(m_root / "other", m_prefix / "dosdevices" / "d:");
        m_env.emplace("WINEPREFIX", m_prefix.string());
    }

    void TearDown() override {
        m_env.reset();
        std::error_code ignored;
        fs::permissions(m_root, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(m_root, ignored);
    }

    // The Windows name of a file under the temporary folder, reached through Z:.
    std::string OnDriveZ(const fs::path& path) const {
        std::string out = "Z:" + path.string();
        for (char& c : out) {
            if (c == '/') {
                c = '\\';
            }
        }
        return out;
    }

    fs::path m_root;
    fs::path m_prefix;
    fs::path m_driveC;
    fs::path m_tool;
    std::optional<ScopedEnv> m_env;
};

using WinPath = WinePrefixTest;

TEST_F(WinPath, ComponentsMatchWithoutRegardToCase) {
    const struct {
        const char* path;
        fs::path expected;
    } cases[] = {
        {"C:\\Program Files\\Fleet Tool\\Tool.EXE", m_tool / "Tool.EXE"},
        {"c:\\PROGRAM FILES\\fleet tool\\tool.exe", m_tool / "Tool.EXE"},
        {"C:/program files/Fleet Tool/TOOL.exe", m_tool / "Tool.EXE"},
        {"C:\\Program Files\\\\Fleet Tool\\.\\Data", m_tool / "Data"},
        {"C:\\Program Files\\Fleet Tool\\Data\\", m_tool / "Data"},
        {"C:\\Program Files\\..\\..\\Program Files\\Fleet Tool", m_tool},
        {"C:\\", m_driveC},
        {"d:\\SETUP.INI", m_root / "other" / "Setup.ini"},
        {"C:\\GR\u00dc\u00dfE\\\u043f\u0440\u0438\u0432\u0435\u0442.TXT",
         m_driveC / "Gr\u00fc\u00dfe" / "\u041f\u0440\u0438\u0432\u0435\u0442.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto lookup = Resolve(c.path);
        ASSERT_EQ(lookup.status, Status::Found);
        EXPECT_EQ(lookup.path, c.expected.string());
    }
}

TEST_F(WinPath, ExactNameIsPreferredOverOtherCases) {
    EXPECT_EQ(Resolve("C:\\Case\\same.txt").path, (m_driveC / "Case" / "same.txt").string());
    EXPECT_EQ(Resolve("C:\\Case\\Same.txt").path, (m_driveC / "Case" / "Same.txt").string());
    // Neither matches exactly: the first in byte order is taken, every time.
    EXPECT_EQ(Resolve("C:\\Case\\SAME.TXT").path, (m_driveC / "Case" / "Same.txt").string());
}

TEST_F(WinPath, MissingPathsAndUnsupportedForms) {
    const struct {
        const char* path;
        Status expected;
    } cases[] = {
        {"C:\\Program Files\\Fleet Tool\\nothing.exe", Status::FileMissing},
        {"C:\\Program Files\\Fleet Tool\\Tool.EXE\\", Status::FileMissing},
        {"C:\\Program Files\\Nowhere\\Tool.EXE", Status::FolderMissing},
        {"C:\\Program Files\\Fleet Tool\\Tool.EXE\\x", Status::FolderMissing},
        {"Q:\\Tool.EXE", Status::FolderMissing},
        {"C:Tool.EXE", Status::FolderMissing},
        {"\\Program Files", Status::FolderMissing},
        {"\\\\server\\share\\Tool.EXE", Status::FolderMissing},
        {"\\\\?\\C:\\Program Files\\Fleet Tool\\Tool.EXE", Status::FolderMissing},
        {"C:\\Program Files\\Fleet Tool\\*.EXE", Status::InvalidName},
        {"", Status::FileMissing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Resolve(c.path).status, c.expected);
    }
}

TEST_F(WinPath, LinuxPathsKeepTheirCase) {
    const std::string exact = (m_tool / "Tool.EXE").string();
    EXPECT_EQ(Resolve(exact).path, exact);
    EXPECT_EQ(Resolve((m_tool / "tool.exe").string()).status, Status::FileMissing);
    EXPECT_EQ(Resolve((m_driveC / "program files" / "Fleet Tool").string()).status,
              Status::FolderMissing);
    // On Linux a backslash is part of a name.
    WriteFile(m_root / "a\\b");
    EXPECT_EQ(Resolve((m_root / "a\\b").string()).path, (m_root / "a\\b").string());
}

TEST_F(WinPath, DriveZIsTheRootAndRelativePathsStartFromBase) {
    EXPECT_EQ(Resolve(OnDriveZ(m_tool / "TOOL.EXE")).path, (m_tool / "Tool.EXE").string());
    EXPECT_EQ(
        Resolve("fleet tool\\data", m_prefix.string(), (m_driveC / "Program Files").string()).path,
        (m_tool / "Data").string());
    EXPECT_EQ(Resolve("..\\Case", m_prefix.string(), m_tool.parent_path().string()).path,
              (m_driveC / "Case").string());
}

TEST_F(WinPath, PrefixWithoutDosDevicesFallsBackToDriveC) {
    fs::remove_all(m_prefix / "dosdevices");
    EXPECT_EQ(Resolve("C:\\Program Files\\Fleet Tool\\Tool.exe").path,
              (m_tool / "Tool.EXE").string());
    EXPECT_EQ(Resolve("D:\\Setup.ini").status, Status::FolderMissing);
}

// Paths of exactly n characters that name existing files: "C:\" + a 200-character folder
// + "\" + a file name making up the rest.
std::string PathOfLength(std::size_t n, const fs::path& driveC) {
    const std::string folder(200, 'd');
    const std::string file = std::string(n - 3 - 200 - 1 - 4, 'f') + ".txt";
    WriteFile(driveC / folder / file);
    return "C:\\" + folder + "\\" + file;
}

TEST_F(WinPath, PathsLongerThan259CharactersAreMissing) {
    const std::string longest = PathOfLength(259, m_driveC);
    const std::string tooLong = PathOfLength(260, m_driveC);
    ASSERT_EQ(longest.size(), 259u);
    ASSERT_EQ(tooLong.size(), 260u);
    EXPECT_EQ(Resolve(longest).status, Status::Found);
    EXPECT_EQ(Resolve(tooLong).status, Status::FileMissing);

    win::WIN32_FIND_DATA data{};
    const win::HANDLE found = win::FindFirstFile(longest.c_str(), &data);
    ASSERT_NE(found, win::INVALID_HANDLE_VALUE);
    win::FindClose(found);
    EXPECT_EQ(win::FindFirstFile(tooLong.c_str(), &data), win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(win::ERROR_FILE_NOT_FOUND));
}

// --- Directory search -------------------------------------------------------------------

using FindFile = WinePrefixTest;

// Every name a search reports, in order, each with its attributes; closes the search.
std::vector<std::pair<std::string, win::DWORD>> SearchAll(const std::string& pattern) {
    std::vector<std::pair<std::string, win::DWORD>> names;
    win::WIN32_FIND_DATA data{};
    const win::HANDLE search = win::FindFirstFile(pattern.c_str(), &data);
    if (search == win::INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.emplace_back(data.cFileName, data.dwFileAttributes);
    } while (win::FindNextFile(search, &data));
    EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(win::ERROR_NO_MORE_FILES));
    EXPECT_TRUE(win::FindClose(search));
    return names;
}

std::vector<std::string> NamesOf(const std::vector<std::pair<std::string, win::DWORD>>& found) {
    std::vector<std::string> names;
    for (const auto& entry : found) {
        names.push_back(entry.first);
    }
    return names;
}

TEST_F(FindFile, FindsFilesAndFoldersByTheirRealName) {
    win::WIN32_FIND_DATA data{};
    win::HANDLE search = win::FindFirstFile("c:\\program files\\fleet tool\\TOOL.exe", &data);
    ASSERT_NE(search, win::INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "Tool.EXE");
    EXPECT_EQ(data.dwFileAttributes, win::FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(data.nFileSizeLow, 7u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_FALSE(win::FindNextFile(search, &data));
    EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(win::ERROR_NO_MORE_FILES));
    EXPECT_TRUE(win::FindClose(search));

    search = win::FindFirstFile("C:\\PROGRAM FILES\\FLEET TOOL", &data);
    ASSERT_NE(search, win::INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "Fleet Tool");
    EXPECT_EQ(data.dwFileAttributes, win::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(win::FindClose(search));

    // A Linux path is searched as it is.
    EXPECT_THAT(NamesOf(SearchAll((m_tool / "readme.TXT").string())),
                testing::ElementsAre("readme.TXT"));
    EXPECT_THAT(SearchAll((m_tool / "README.TXT").string()), testing::IsEmpty());
}

TEST_F(FindFile, WildcardsInTheLastComponent) {
    const std::string folder = "C:\\Program Files\\Fleet Tool\\";
    const struct {
        const char* pattern;
        std::vector<std::string> expected;
    } cases[] = {
        {"*", {"Data", "readme.TXT", "Tool.EXE"}},
        {"*.*", {"Data", "readme.TXT", "Tool.EXE"}},
        {"*.exe", {"Tool.EXE"}},
        {"t??l.*", {"Tool.EXE"}},
        {"T?OL.EX?", {"Tool.EXE"}},
        {"data.*", {"Data"}},
        {"*e*", {"readme.TXT", "Tool.EXE"}},
        {"*A", {"Data"}},
        {"?", {}},
        {"*.dll", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(NamesOf(SearchAll(folder + c.pattern)), c.expected);
    }
    EXPECT_THAT(SearchAll(folder + "*"), testing::Contains(std::pair<std::string, win::DWORD>(
                                             "Data", win::FILE_ATTRIBUTE_DIRECTORY)));
}

TEST_F(FindFile, FailuresSetTheLastError) {
    const struct {
        const char* pattern;
        win::LONG error;
    } cases[] = {
        {"C:\\Program Files\\Fleet Tool\\nothing.exe", win::ERROR_FILE_NOT_FOUND},
        {"C:\\Program Files\\Fleet Tool\\*.dll", win::ERROR_FILE_NOT_FOUND},
        {"C:\\Program Files\\Fleet Tool\\", win::ERROR_FILE_NOT_FOUND},
        {"C:\\Program Files\\Fleet Tool\\Data\\", win::ERROR_FILE_NOT_FOUND},
        {"C:\\", win::ERROR_FILE_NOT_FOUND},
        {"C:\\Program Files\\Nowhere\\Tool.EXE", win::ERROR_PATH_NOT_FOUND},
        {"C:\\Program Files\\Fleet Tool\\Tool.EXE\\*", win::ERROR_PATH_NOT_FOUND},
        {"Q:\\*", win::ERROR_PATH_NOT_FOUND},
        {"C:\\Program*\\Fleet Tool\\Tool.EXE", win::ERROR_INVALID_NAME},
        {"C:\\Program Files\\Fleet T?ol\\*", win::ERROR_INVALID_NAME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        win::SetLastError(0);
        win::WIN32_FIND_DATA data{};
        EXPECT_EQ(win::FindFirstFile(c.pattern, &data), win::INVALID_HANDLE_VALUE);
        EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(c.error));
    }
}

TEST_F(FindFile, ReadOnlyFilesAndSizesAbove4GiB) {
    const fs::path big = m_driveC / "big.bin";
    {
        const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0444);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, (off_t{5} << 30) + 3), 0);
        ::close(fd);
    }
    win::WIN32_FIND_DATA data{};
    const win::HANDLE search = win::FindFirstFile("C:\\BIG.BIN", &data);
    ASSERT_NE(search, win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, win::FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(data.nFileSizeHigh, 1u);
    EXPECT_EQ(data.nFileSizeLow, (1u << 30) + 3);
    EXPECT_TRUE(win::FindClose(search));
}

TEST_F(FindFile, HandlesAreOwnedUntilClosed) {
    win::WIN32_FIND_DATA first{};
    win::WIN32_FIND_DATA second{};
    const win::HANDLE a = win::FindFirstFile("C:\\Program Files\\Fleet Tool\\*", &first);
    const win::HANDLE b = win::FindFirstFile("C:\\Case\\*", &second);
    ASSERT_NE(a, win::INVALID_HANDLE_VALUE);
    ASSERT_NE(b, win::INVALID_HANDLE_VALUE);
    // Two searches go on independently.
    EXPECT_TRUE(win::FindNextFile(a, &first));
    EXPECT_STREQ(first.cFileName, "readme.TXT");
    EXPECT_TRUE(win::FindNextFile(b, &second));
    EXPECT_STREQ(second.cFileName, "same.txt");
    EXPECT_TRUE(win::FindClose(a));

    // A closed handle, or one that was never a search, is refused.
    EXPECT_FALSE(win::FindNextFile(a, &first));
    EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(win::ERROR_INVALID_HANDLE));
    EXPECT_FALSE(win::FindClose(a));
    EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(win::ERROR_INVALID_HANDLE));
    EXPECT_FALSE(win::FindClose(win::INVALID_HANDLE_VALUE));
    int notASearch = 0;
    EXPECT_FALSE(win::FindClose(&notASearch));
    EXPECT_TRUE(win::FindClose(b));
}

}  // namespace
