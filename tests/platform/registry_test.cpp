#include "platform/registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/atomicfile.h"
#include "platform/autostart.h"
#include "platform/regformat.h"

namespace {

namespace fsys = std::filesystem;
using namespace win;

constexpr const char* kProductKey = "SOFTWARE\\Fleetwing";
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Each test gets its own home, configuration folder and Wine prefix.
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/fw-registry-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        ::setenv("HOME", m_dir.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
        ::setenv("WINEPREFIX", (m_dir + "/wine").c_str(), 1);
    }
    void TearDown() override { fsys::remove_all(m_dir); }

    std::string UserHive() const { return m_dir + "/config/fleetwing/user.reg"; }

    void InstallWineHives() {
        fsys::create_directories(m_dir + "/wine");
        fsys::copy_file(std::string(FW_TEST_DATA) + "/wine/user.reg", m_dir + "/wine/user.reg");
        const std::string unzip = "gzip -dc '" + std::string(FW_TEST_DATA) +
                                  "/wine/system.reg.gz' > '" + m_dir + "/wine/system.reg'";
        ASSERT_EQ(std::system(unzip.c_str()), 0);
    }

    static HKEY Open(HKEY root, const char* path, REGSAM access = KEY_READ) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyEx(root, path, 0, access, &key), ERROR_SUCCESS) << path;
        return key;
    }
    static HKEY Create(HKEY root, const char* path) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyEx(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                 nullptr, &key, nullptr),
                  ERROR_SUCCESS)
            << path;
        return key;
    }
    static void SetString(HKEY key, const char* name, const std::string& text) {
        ASSERT_EQ(RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>(text.size() + 1)),
                  ERROR_SUCCESS);
    }
    static void SetDword(HKEY key, const char* name, DWORD value) {
        ASSERT_EQ(RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
                  ERROR_SUCCESS);
    }
    // The text of a value, read with a generous buffer; nothing when the read fails.
    static std::optional<std::string> ReadString(HKEY root, const char* path, const char* name) {
        HKEY key = nullptr;
        if (RegOpenKeyEx(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        std::vector<char> buffer(4096);
        DWORD size = static_cast<DWORD>(buffer.size());
        const LONG rc = RegQueryValueEx(key, name, nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(buffer.data()), &size);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return std::string(buffer.data());
    }

    std::string m_dir;
};

// The results measured on the platform for reads into small buffers.
TEST_F(Registry, QueryResultsMatchThePlatform) {
    HKEY key = Create(HKEY_CURRENT_USER, kProductKey);
    SetString(key, "Network", "1");
    SetString(key, "Nine", "12345678");  // 9 bytes with the terminator

    std::array<BYTE, 8> buffer;
    buffer.fill(0xEE);
    DWORD type = 0;
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueEx(key, "Network", nullptr, &type, buffer.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 2u);
    EXPECT_THAT(buffer, ::testing::ElementsAre(0x31, 0x00, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE));

    for (DWORD capacity : {4u, 8u}) {
        buffer.fill(0xEE);
        size = capacity;
        EXPECT_EQ(RegQueryValueEx(key, "Nine", nullptr, nullptr, buffer.data(), &size),
                  ERROR_MORE_DATA);
        EXPECT_EQ(size, 9u);
        EXPECT_THAT(buffer, ::testing::Each(0xEE));
    }
    size = 0;
    EXPECT_EQ(RegQueryValueEx(key, "Nine", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(RegQueryValueEx(key, "Nine", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueEx(key, "Absent", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, ValuesPersistCaseInsensitivelyInWinesFormat) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kProductKey, 0, KEY_QUERY_VALUE, &key),
              ERROR_FILE_NOT_FOUND);
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kProductKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    SetString(key, "APP_NAME", " BitComet");
    SetDword(key, "CheckPeriodNum", static_cast<DWORD>(-5));
    SetString(key, "", "default");
    SetString(key, "Umlaut",
              "Gr\xc3\xbc\xc3\x9f"
              "e");
    RegCloseKey(key);

    HKEY again = nullptr;
    ASSERT_EQ(
        RegCreateKeyEx(HKEY_CURRENT_USER, "software\\FLEETWING", 0, nullptr,
                       REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &again, &disposition),
        ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(again);

    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, "Software\\fleetwing", "app_name"), " BitComet");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, nullptr), "default");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, "UMLAUT"),
              "Gr\xc3\xbc\xc3\x9f"
              "e");

    const std::string file = win::fs::ReadWholeFile(UserHive()).value_or("");
    EXPECT_THAT(file, ::testing::StartsWith("WINE REGISTRY Version 2\n;; All keys relative to "
                                            "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"));
    EXPECT_THAT(file, ::testing::HasSubstr("[SOFTWARE\\\\Fleetwing] "));
    EXPECT_THAT(file, ::testing::HasSubstr("\n@=\"default\"\n\"APP_NAME\"=\" BitComet\"\n"
                                           "\"CheckPeriodNum\"=dword:fffffffb\n"
                                           "\"Umlaut\"=\"Gr\\xfc\\x00dfe\"\n"));
    const auto hive = win::reg::Hive::Parse(file);
    EXPECT_FALSE(hive.Damaged());
    EXPECT_EQ(hive.Serialize(), file);
}

TEST_F(Registry, HandlesAndAccessRights) {
    HKEY key = Create(HKEY_CURRENT_USER, kProductKey);
    SetDword(key, "Network", 3);
    RegCloseKey(key);

    HKEY readOnly = Open(HKEY_CURRENT_USER, kProductKey, KEY_QUERY_VALUE);
    const DWORD value = 1;
    EXPECT_EQ(
        RegSetValueEx(readOnly, "Network", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
        ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValue(readOnly, "Network"), ERROR_ACCESS_DENIED);
    HKEY writeOnly = Open(HKEY_CURRENT_USER, kProductKey, KEY_SET_VALUE);
    DWORD size = 4;
    DWORD data = 0;
    EXPECT_EQ(RegQueryValueEx(writeOnly, "Network", nullptr, nullptr,
                              reinterpret_cast<BYTE*>(&data), &size),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValue(writeOnly, "network"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(writeOnly, "network"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(readOnly);
    RegCloseKey(writeOnly);

    EXPECT_EQ(RegCloseKey(readOnly), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueEx(readOnly, "x", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    HKEY sub = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &sub), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\\\Fleetwing", 0, KEY_READ, &sub),
              ERROR_BAD_PATHNAME);
    // A key opened relative to another.
    HKEY software = Open(HKEY_CURRENT_USER, "Software");
    HKEY product = Open(software, "Fleetwing\\");
    EXPECT_NE(product, nullptr);
    RegCloseKey(product);
    RegCloseKey(software);
}

// Keys our hive does not hold are read from the Wine prefix, a 32-bit program's view of the
// machine's software first; the prefix's files are never written.
TEST_F(Registry, WinePrefixIsReadButNeverWritten) {
    InstallWineHives();
    const auto userBefore = win::fs::ReadWholeFile(m_dir + "/wine/user.reg");
    const auto systemBefore = win::fs::ReadWholeFile(m_dir + "/wine/system.reg");

    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, "Software\\BitComet", ""),
              "C:\\Program Files\\BitComet");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE,
                         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ares",
                         "UninstallString"),
              "\"C:\\Apps\\Ares\\uninstall.exe\"");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, "Software\\LimeWire", "InstallDir"),
              "C:\\Program Files\\LimeWire");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\DC++", "Install_Dir"),
              "C:\\Program Files\\DC++");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morpheus", "Install_Dir"), std::nullopt);

    // Writing into a key that only the prefix holds copies its values into our hive.
    HKEY azureus = Open(HKEY_CURRENT_USER, "Software\\Azureus", KEY_ALL_ACCESS);
    SetString(azureus, "extra", "ours");
    RegCloseKey(azureus);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, "Software\\Azureus", "exec"),
              "C:\\Program Files\\Vuze\\Azureus.exe");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, "Software\\Azureus", "extra"), "ours");

    EXPECT_EQ(win::fs::ReadWholeFile(m_dir + "/wine/user.reg"), userBefore);
    EXPECT_EQ(win::fs::ReadWholeFile(m_dir + "/wine/system.reg"), systemBefore);
}

TEST_F(Registry, ProcessesWritingAtOnceLoseNothing) {
    constexpr int kProcesses = 4;
    constexpr int kValues = 40;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            HKEY key = nullptr;
            RegCreateKeyEx(HKEY_CURRENT_USER, kProductKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &key, nullptr);
            int failures = 0;
            for (int v = 0; v < kValues; ++v) {
                const std::string name = "p" + std::to_string(p) + "v" + std::to_string(v);
                const DWORD data = static_cast<DWORD>(p * 1000 + v);
                failures += RegSetValueEx(key, name.c_str(), 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&data), 4) != 0;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    HKEY key = Open(HKEY_CURRENT_USER, kProductKey);
    int missing = 0;
    for (int p = 0; p < kProcesses; ++p) {
        for (int v = 0; v < kValues; ++v) {
            const std::string name = "p" + std::to_string(p) + "v" + std::to_string(v);
            DWORD data = 0;
            DWORD size = 4;
            missing += RegQueryValueEx(key, name.c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
                       data != static_cast<DWORD>(p * 1000 + v);
        }
    }
    EXPECT_EQ(missing, 0);
    RegCloseKey(key);
}

// A process killed while it writes leaves the old file or the new one, never a torn one.
TEST_F(Registry, KilledWriterLeavesACompleteFile) {
    HKEY key = Create(HKEY_CURRENT_USER, kProductKey);
    SetString(key, "APP_PATH", "old");
    RegCloseKey(key);
    const auto before = win::fs::ReadWholeFile(UserHive());

    // Killed after the new content is written and before it replaces the file.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        win::fs::SetBeforeRenameHookForTesting([] { ::raise(SIGKILL); });
        HKEY k = nullptr;
        RegOpenKeyEx(HKEY_CURRENT_USER, kProductKey, 0, KEY_ALL_ACCESS, &k);
        const std::string text(100000, 'x');
        RegSetValueEx(k, "APP_PATH", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                      static_cast<DWORD>(text.size() + 1));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(win::fs::ReadWholeFile(UserHive()), before);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, "APP_PATH"), "old");

    // Killed at arbitrary moments of a stream of writes.
    for (int round = 0; round < 20; ++round) {
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            HKEY k = nullptr;
            RegOpenKeyEx(HKEY_CURRENT_USER, kProductKey, 0, KEY_ALL_ACCESS, &k);
            for (int i = 0;; ++i) {
                const std::string text =
                    std::string(static_cast<std::size_t>(i % 5000), 'y') + std::to_string(i);
                RegSetValueEx(k, "APP_PATH", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
            }
        }
        ::usleep(static_cast<useconds_t>(2000 + round * 1500));
        ::kill(writer, SIGKILL);
        ::waitpid(writer, &status, 0);
        const auto text = win::fs::ReadWholeFile(UserHive());
        ASSERT_TRUE(text.has_value());
        EXPECT_FALSE(win::reg::Hive::Parse(*text).Damaged()) << "round " << round;
        EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kProductKey, "APP_PATH").has_value());
    }

    // The next write clears what the killed writers left behind.
    key = Open(HKEY_CURRENT_USER, kProductKey, KEY_ALL_ACCESS);
    SetString(key, "APP_PATH", "new");
    RegCloseKey(key);
    for (const auto& entry : fsys::directory_iterator(m_dir + "/config/fleetwing")) {
        EXPECT_THAT(entry.path().filename().string(), ::testing::Not(::testing::HasSubstr(".tmp")));
    }
}

TEST_F(Registry, DamagedFileGivesDefaultsAndIsKeptAside) {
    const std::string damaged =
        "WINE REGISTRY Version 2\n\n[SOFTWARE\\\\Fleetwing] 1\n"
        "\"APP_NAME\"=\" BitComet\"\n"
        "\"Network\"=dword:zz\n"
        "\x01\x02\xff garbage\n"
        "\"APP_PATH\"=\"C:\\\\unterminated\n";
    win::fs::MakeFolders(m_dir + "/config/fleetwing");
    ASSERT_TRUE(win::fs::ReplaceFile(UserHive(), damaged));

    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, "APP_NAME"), " BitComet");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, "APP_PATH"), std::nullopt);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, "Network"), std::nullopt);

    HKEY key = Open(HKEY_CURRENT_USER, kProductKey, KEY_ALL_ACCESS);
    SetDword(key, "Network", 2);
    RegCloseKey(key);
    EXPECT_EQ(win::fs::ReadWholeFile(UserHive() + ".corrupt"), damaged);
    const auto rewritten = win::reg::Hive::Parse(win::fs::ReadWholeFile(UserHive()).value_or(""));
    EXPECT_FALSE(rewritten.Damaged());
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, "APP_NAME"), " BitComet");

    // A file that is not a hive at all: nothing read, kept aside under the next free name.
    ASSERT_TRUE(win::fs::ReplaceFile(UserHive(), std::string("\0\0\0PK\x03\x04", 7)));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kProductKey, "APP_NAME"), std::nullopt);
    key = Create(HKEY_CURRENT_USER, kProductKey);
    SetDword(key, "Network", 3);
    RegCloseKey(key);
    EXPECT_EQ(win::fs::ReadWholeFile(UserHive() + ".corrupt.2"),
              std::string("\0\0\0PK\x03\x04", 7));
}

TEST_F(Registry, RunKeyIsTheAutostartFolder) {
    const std::string entry = m_dir + "/config/autostart/Fleetwing.desktop";
    HKEY run = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kRunKey, 0, KEY_ALL_ACCESS, &run), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueEx(run, "Fleetwing", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    const std::string line = "\"/opt/fleet wing/$HOME/`x`/100%/fleetwing\" -tray";
    SetString(run, "Fleetwing", line);

    const std::string desktop = win::fs::ReadWholeFile(entry).value_or("");
    EXPECT_THAT(desktop, ::testing::StartsWith("[Desktop Entry]\n"));
    EXPECT_THAT(desktop, ::testing::HasSubstr("\nType=Application\n"));
    EXPECT_THAT(desktop, ::testing::HasSubstr("\nName=Fleetwing\n"));
    EXPECT_THAT(desktop, ::testing::HasSubstr(
                             "\nExec=\"/opt/fleet wing/\\\\$HOME/\\\\`x\\\\`/100%%/fleetwing\" "
                             "-tray\n"));
    if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
        EXPECT_EQ(std::system(("desktop-file-validate '" + entry + "'").c_str()), 0);
    }
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRunKey, "fleetwing"), line);
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueEx(run, "Fleetwing", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);

    // Another copy of the program overwrites the entry with its own path.
    SetString(run, "Fleetwing", "\"/usr/bin/fleetwing\" -tray");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRunKey, "Fleetwing"), "\"/usr/bin/fleetwing\" -tray");

    EXPECT_EQ(RegDeleteValue(run, "Fleetwing"), ERROR_SUCCESS);
    EXPECT_FALSE(fsys::exists(entry));
    EXPECT_EQ(RegDeleteValue(run, "Fleetwing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetValueEx(run, "a/b", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(run);

    // An entry hidden by the user counts as absent.
    win::fs::MakeFolders(m_dir + "/config/autostart");
    ASSERT_TRUE(win::fs::ReplaceFile(m_dir + "/config/autostart/Other.desktop",
                                     "[Desktop Entry]\nType=Application\nName=Other\n"
                                     "Exec=other\nHidden=true\n"));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRunKey, "Other"), std::nullopt);

    HKEY below = nullptr;
    EXPECT_EQ(
        RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\x", 0,
                     KEY_READ, &below),
        ERROR_FILE_NOT_FOUND);
    HKEY parent = Open(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion");
    HKEY viaParent = Open(parent, "Run", KEY_QUERY_VALUE);
    EXPECT_NE(viaParent, nullptr);
    RegCloseKey(viaParent);
    RegCloseKey(parent);
}

// Command lines survive the trip through a desktop entry's Exec quoting.
TEST(Autostart, ExecQuotingRoundTrips) {
    const char* lines[] = {
        "\"/usr/bin/fleetwing\" -tray",
        "\"/a b/c\" \"with space\" plain",
        "\"/x\" \"quote\\\"inside\" \"dollar$ back\\slash `tick`\"",
        "\"/x\" 50% %%",
        "\"/x\" \"\"",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        EXPECT_EQ(win::autostart::CommandLineFromExec(win::autostart::ExecFromCommandLine(line)),
                  line);
    }
    EXPECT_EQ(win::autostart::CommandLineFromExec("app %U --flag"), "\"app\" --flag");
}

}  // namespace
