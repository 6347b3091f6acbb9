// Detached launches and ShellExecute, checked with real child processes: the helper
// argv_recorder writes down how it was started, and stands in for wine and xdg-open.
#include "platform/shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <list>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "argv_record.h"
#include "platform/cmdline.h"
#include "platform/paths.h"
#include "platform/spawn.h"

namespace {

namespace fs = std::filesystem;
using fwtest::Record;
using fwtest::WaitForRecord;
using testing::ElementsAre;
using testing::ElementsAreArray;

const std::string kRecorder = FW_HELPER_DIR "/argv_recorder";

// Sets an environment variable (or removes it, given nothing) for the object's lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        Set(value);
    }
    ~ScopedEnv() { Set(m_old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const std::optional<std::string>& value) const {
        if (value) {
            ::setenv(m_name, value->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

// The processes whose parent is this one, with their states.
std::vector<char> ChildStates() {
    std::vector<char> states;
    const std::string self = std::to_string(::getpid());
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream in(entry.path() / "stat");
        std::string stat;
        if (!std::getline(in, stat)) {
            continue;
        }
        // "pid (name) state ppid ...": the name may hold anything, so look past its last ')'.
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream rest(stat.substr(close + 1));
        char state = 0;
        std::string ppid;
        rest >> state >> ppid;
        if (ppid == self) {
            states.push_back(state);
        }
    }
    return states;
}

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/fw-shell-XXXXXX";
        if (::mkdtemp(pattern) != nullptr) {
            m_path = fs::canonical(pattern);
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

// --- Detached launch ----------------------------------------------------------------------

class Spawn : public ::testing::Test {
protected:
    fs::path RecordFile(const std::string& name) const { return m_temp.Path() / name; }

    std::vector<std::pair<std::string, std::string>> RecordTo(const fs::path& file) const {
        return {{"FW_ARGV_RECORD", file.string()}};
    }

    TempFolder m_temp;
};

TEST_F(Spawn, ProgramStartsDetachedWithOnlyItsStandardDescriptors) {
    // A descriptor this process leaves inheritable must not reach the program, and
    // neither must this process's standard input.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    const int savedStdin = ::dup(STDIN_FILENO);
    const fs::path input = RecordFile("input");
    std::ofstream(input) << "typed";
    const int inputFd = ::open(input.c_str(), O_RDONLY);
    ASSERT_EQ(::dup2(inputFd, STDIN_FILENO), STDIN_FILENO);
    const fs::path file = RecordFile("record");
    int error = -1;
    const bool started = win::process::SpawnDetached(
        {kRecorder, "one", "two words"}, m_temp.Path().string(), RecordTo(file), &error);
    ::dup2(savedStdin, STDIN_FILENO);
    ::close(savedStdin);
    ::close(inputFd);
    ::close(leaked);
    ASSERT_TRUE(started);
    EXPECT_EQ(error, 0);

    const auto record = WaitForRecord(file);
    ASSERT_TRUE(record);
    EXPECT_THAT(record->argv, ElementsAre(kRecorder, "one", "two words"));
    EXPECT_EQ(record->cwd, m_temp.Path().string());
    EXPECT_EQ(record->stdinTarget, "/dev/null");
    EXPECT_EQ(record->fds, "0,1,2");
    EXPECT_NE(record->sid, std::to_string(::getsid(0)));
}

TEST_F(Spawn, ExtraEnvironmentReplacesInheritedValues) {
    const ScopedEnv prefix("WINEPREFIX", std::string("/inherited"));
    const ScopedEnv path("PATH", std::string("/nonexistent"));
    const fs::path file = RecordFile("record");
    // The program's PATH, not this process's, is where a bare name is looked up.
    ASSERT_TRUE(win::process::SpawnDetached(
        {"argv_recorder"}, "",
        {{"FW_ARGV_RECORD", file.string()}, {"PATH", FW_HELPER_DIR}, {"WINEPREFIX", "/x y"}},
        nullptr));
    const auto record = WaitForRecord(file);
    ASSERT_TRUE(record);
    EXPECT_THAT(record->argv, ElementsAre("argv_recorder"));
    EXPECT_EQ(record->winePrefix, "/x y");
}

TEST_F(Spawn, FailuresToStartAreReported) {
    const fs::path plain = m_temp.Path() / "plain.txt";
    std::ofstream(plain) << "not a program";
    // Executable but no #! line: the system cannot run it, and no shell is tried instead.
    const fs::path script = m_temp.Path() / "script";
    std::ofstream(script) << "touch " << (m_temp.Path() / "ran").string() << "\n";
    fs::permissions(script, fs::perms::owner_all);

    const struct {
        std::vector<std::string> argv;
        std::string workingDir;
        int error;
    } cases[] = {
        {{"/nonexistent/program"}, "", ENOENT},
        {{"fw-no-such-program-anywhere"}, "", ENOENT},
        {{plain.string()}, "", EACCES},
        {{script.string()}, "", ENOEXEC},
        {{kRecorder}, (m_temp.Path() / "missing").string(), ENOENT},
        {{}, "", EINVAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argv.empty() ? "(empty)" : c.argv[0]);
        int error = 0;
        EXPECT_FALSE(win::process::SpawnDetached(c.argv, c.workingDir,
                                                 RecordTo(RecordFile("never")), &error));
        EXPECT_EQ(error, c.error);
    }
    EXPECT_FALSE(fs::exists(m_temp.Path() / "ran"));
    EXPECT_FALSE(fs::exists(RecordFile("never")));
    EXPECT_THAT(ChildStates(), testing::IsEmpty());
}

TEST_F(Spawn, ManyThreadsLaunchAtOnceAndLeaveNoChildren) {
    constexpr int kThreads = 4;
    constexpr int kEach = 6;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                const std::string name = std::to_string(t) + "-" + std::to_string(i);
                if (!win::process::SpawnDetached({kRecorder, name}, "", RecordTo(RecordFile(name)),
                                                 nullptr)) {
                    ++failures[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_THAT(failures, testing::Each(0));
    EXPECT_THAT(ChildStates(), testing::IsEmpty());
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kEach; ++i) {
            const std::string name = std::to_string(t) + "-" + std::to_string(i);
            const auto record = WaitForRecord(RecordFile(name));
            ASSERT_TRUE(record) << name;
            EXPECT_THAT(record->argv, ElementsAre(kRecorder, name));
            EXPECT_EQ(record->fds, "0,1,2");
        }
    }
}

// --- ShellExecute ---------------------------------------------------------------------------

// A home with a Wine prefix (drive_c/Program Files/Fleet Tool/Tool.EXE, dosdevices/c:),
// WINEPREFIX unset so that the prefix is found through HOME, and a PATH holding only the
// stand-ins for wine and xdg-open.
class ShellExecuteTest : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path& root = m_temp.Path();
        ASSERT_FALSE(root.empty());
        m_prefix = root / "home" / ".wine";
        m_tool = m_prefix / "drive_c" / "Program Files" / "Fleet Tool";
        fs::create_directories(m_tool / "Data");
        std::ofstream(m_tool / "Tool.EXE") << "MZ";
        fs::create_directories(m_prefix / "dosdevices");
        fs::create_directory_symlink("../drive_c", m_prefix / "dosdevices" / "c:");
        m_bin = root / "bin";
        fs::create_directories(m_bin);
        fs::create_symlink(kRecorder, m_bin / "wine");
        fs::create_symlink(kRecorder, m_bin / "xdg-open");

        m_env.emplace_back("HOME", (root / "home").string());
        m_env.emplace_back("XDG_CONFIG_HOME", (root / "home" / ".config").string());
        m_env.emplace_back("WINEPREFIX", std::nullopt);
        m_env.emplace_back("PATH", m_bin.string());
        m_env.emplace_back("FW_ARGV_RECORD", std::nullopt);
    }

    void TearDown() override {
        std::error_code ignored;
        for (const auto& link : m_besideExecutable) {
            fs::remove(link, ignored);
        }
        // The launches leave nothing behind to be reaped.
        EXPECT_THAT(ChildStates(), testing::Not(testing::Contains('Z')));
    }

    // Runs ShellExecute with the recorder told to write to a fresh file; returns the code.
    win::INT_PTR Launch(const char* verb, const std::string& file, const char* parameters,
                        const char* directory = nullptr) {
        m_record = m_temp.Path() / ("record-" + std::to_string(++m_launches));
        const ScopedEnv record("FW_ARGV_RECORD", m_record.string());
        return reinterpret_cast<win::INT_PTR>(win::ShellExecute(
            nullptr, verb, file.c_str(), parameters, directory, win::SW_SHOWNORMAL));
    }

    std::optional<Record> LastRecord() const { return WaitForRecord(m_record); }

    // Checks that the last failed launch started nothing: a launch that works is made
    // after it and waited for, and by then the failed one's record would be there too.
    void ExpectNothingStarted() {
        const fs::path failed = m_record;
        ASSERT_GT(Launch(nullptr, "https://example.com/after", nullptr), 32);
        ASSERT_TRUE(LastRecord());
        EXPECT_FALSE(fs::exists(failed));
    }

    fs::path BesideExecutable(const std::string& name) {
        const fs::path link = fs::path(win::paths::ExecutableFolder()) / name;
        fs::create_symlink(kRecorder, link);
        m_besideExecutable.push_back(link);
        return link;
    }

    TempFolder m_temp;
    std::list<ScopedEnv> m_env;
    fs::path m_prefix;
    fs::path m_tool;
    fs::path m_bin;
    fs::path m_record;
    int m_launches = 0;
    std::vector<fs::path> m_besideExecutable;
};

TEST_F(ShellExecuteTest, UrlsGoToXdgOpenWithoutTheParameters) {
    for (const char* url : {"https://example.com/a b?x=1&y=$z;`id`", "mailto:someone@example.com",
                            "ftp://files.example.com/pub/", "HTTP://EXAMPLE.COM/"}) {
        SCOPED_TRACE(url);
        ASSERT_EQ(Launch("open", url, "--ignored"), win::SE_LAUNCHED);
        const auto record = LastRecord();
        ASSERT_TRUE(record);
        EXPECT_THAT(record->argv, ElementsAre("xdg-open", url));
    }
}

TEST_F(ShellExecuteTest, WindowsProgramRunsUnderWineInItsPrefix) {
    ASSERT_EQ(
        Launch(nullptr, "c:\\PROGRAM FILES\\fleet tool\\tool.exe", R"(-a "b c" d\"e "" C:\x\)"),
        win::SE_LAUNCHED);
    const auto record = LastRecord();
    ASSERT_TRUE(record);
    EXPECT_THAT(record->argv, ElementsAre("wine", (m_tool / "Tool.EXE").string(), "-a", "b c",
                                          "d\"e", "", "C:\\x\\"));
    EXPECT_EQ(record->winePrefix, m_prefix.string());
}

TEST_F(ShellExecuteTest, MissingProgramStartsNothing) {
    EXPECT_EQ(Launch("open", "C:\\Program Files\\Fleet Tool\\Missing.exe", ""), win::SE_ERR_FNF);
    EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(win::SE_ERR_FNF));
    ExpectNothingStarted();
    EXPECT_EQ(Launch("open", "C:\\No Such Folder\\Tool.exe", ""), win::SE_ERR_FNF);
    ExpectNothingStarted();
    EXPECT_EQ(Launch("open", "fw-no-such-program-anywhere", ""), win::SE_ERR_FNF);
    ExpectNothingStarted();
    EXPECT_EQ(Launch("open", (m_temp.Path() / "missing").string(), ""), win::SE_ERR_FNF);
    ExpectNothingStarted();
}

TEST_F(ShellExecuteTest, WithoutWineWindowsProgramsHaveNoAssociation) {
    fs::remove(m_bin / "wine");
    EXPECT_EQ(Launch("open", "C:\\Program Files\\Fleet Tool\\Tool.exe", ""), win::SE_ERR_NOASSOC);
    ExpectNothingStarted();
}

TEST_F(ShellExecuteTest, OnlyTheOpenVerbIsKnown) {
    for (const char* verb : {"edit", "print", "runas", "explore"}) {
        SCOPED_TRACE(verb);
        EXPECT_EQ(Launch(verb, "https://example.com/", ""), win::SE_ERR_NOASSOC);
        ExpectNothingStarted();
    }
    for (const char* verb : {"", "open", "Open", "OPEN"}) {
        SCOPED_TRACE(verb);
        EXPECT_EQ(Launch(verb, "https://example.com/", ""), win::SE_LAUNCHED);
        EXPECT_TRUE(LastRecord());
    }
}

TEST_F(ShellExecuteTest, BareNameIsLookedUpBesideTheExecutableThenOnPath) {
    const std::string name = "fw-shell-bare-" + std::to_string(::getpid());
    fs::create_symlink(kRecorder, m_bin / name);
    const fs::path beside = BesideExecutable(name);

    // Beside the executable first, found without regard to letter case.
    std::string upper = name;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    ASSERT_EQ(Launch("open", upper, "x"), win::SE_LAUNCHED);
    auto record = LastRecord();
    ASSERT_TRUE(record);
    EXPECT_THAT(record->argv, ElementsAre(beside.string(), "x"));

    fs::remove(beside);
    ASSERT_EQ(Launch("open", name, "y"), win::SE_LAUNCHED);
    record = LastRecord();
    ASSERT_TRUE(record);
    EXPECT_THAT(record->argv, ElementsAre((m_bin / name).string(), "y"));

    // On PATH the name is exact, as for any Linux program.
    EXPECT_EQ(Launch("open", upper, ""), win::SE_ERR_FNF);
}

TEST_F(ShellExecuteTest, BareWindowsProgramBesideTheExecutableRunsUnderWine) {
    const std::string name = "fw-shell-tool-" + std::to_string(::getpid()) + ".Exe";
    const fs::path beside = BesideExecutable(name);
    ASSERT_EQ(Launch("open", name, "/quiet"), win::SE_LAUNCHED);
    const auto record = LastRecord();
    ASSERT_TRUE(record);
    EXPECT_THAT(record->argv, ElementsAre("wine", beside.string(), "/quiet"));
    EXPECT_EQ(record->winePrefix, m_prefix.string());
}

TEST_F(ShellExecuteTest, HostileNamesAndParametersArriveUnchanged) {
    const fs::path folder = m_temp.Path() / "odd dir $HOME";
    fs::create_directories(folder);
    const fs::path program = folder / "re$c;`o`r'd\"e\\r\nx";
    fs::create_symlink(kRecorder, program);
    const std::vector<std::string> hostile = {
        "a b",
        "$HOME",
        "; rm -rf /",
        "`id`",
        "$(id)",
        "line1\nline2",
        "quote\"inside",
        "back\\slash\\",
        "",
        "tab\there",
        "'single'",
        "*",
        "~",
        "&&",
        "|",
        ">out",
    };
    ASSERT_EQ(Launch("open", program.string(), win::cmdline::JoinCommandLine(hostile).c_str()),
              win::SE_LAUNCHED);
    const auto record = LastRecord();
    ASSERT_TRUE(record);
    std::vector<std::string> expected = {program.string()};
    expected.insert(expected.end(), hostile.begin(), hostile.end());
    EXPECT_THAT(record->argv, ElementsAreArray(expected));
    EXPECT_FALSE(fs::exists(m_temp.Path() / "out"));
}

TEST_F(ShellExecuteTest, FoldersAndDocumentsAreOpenedWithXdgOpen) {
    const fs::path document = m_temp.Path() / "notes.txt";
    std::ofstream(document) << "text";
    std::ofstream(m_tool / "Readme.txt") << "text";
    const struct {
        std::string file;
        fs::path expected;
    } cases[] = {
        {document.string(), document},
        {m_temp.Path().string(), m_temp.Path()},
        {"C:\\program files\\FLEET TOOL\\data", m_tool / "Data"},
        {"C:\\Program Files\\Fleet Tool\\README.TXT", m_tool / "Readme.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(Launch("open", c.file, "--ignored"), win::SE_LAUNCHED);
        const auto record = LastRecord();
        ASSERT_TRUE(record);
        EXPECT_THAT(record->argv, ElementsAre("xdg-open", c.expected.string()));
    }
    fs::remove(m_bin / "xdg-open");
    EXPECT_EQ(Launch("open", document.string(), ""), win::SE_ERR_NOASSOC);
}

TEST_F(ShellExecuteTest, WorkingDirectoryIsMappedAndMustExist) {
    ASSERT_EQ(Launch("open", kRecorder, "", "c:\\PROGRAM FILES\\fleet tool\\"), win::SE_LAUNCHED);
    auto record = LastRecord();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->cwd, m_tool.string());

    ASSERT_EQ(Launch("open", "C:\\Program Files\\Fleet Tool\\Tool.exe", "", m_temp.Path().c_str()),
              win::SE_LAUNCHED);
    record = LastRecord();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->cwd, m_temp.Path().string());

    // A relative program is looked for in the working directory.
    ASSERT_EQ(Launch("open", "fleet tool\\TOOL.EXE", "", "C:\\Program Files"), win::SE_LAUNCHED);
    record = LastRecord();
    ASSERT_TRUE(record);
    EXPECT_THAT(record->argv, ElementsAre("wine", (m_tool / "Tool.EXE").string()));

    EXPECT_EQ(Launch("open", kRecorder, "", "C:\\No Such Folder"), win::SE_ERR_PNF);
    ExpectNothingStarted();
    EXPECT_EQ(Launch("open", kRecorder, "", "C:\\Program Files\\Fleet Tool\\Tool.EXE"),
              win::SE_ERR_PNF);
    ExpectNothingStarted();
}

}  // namespace
