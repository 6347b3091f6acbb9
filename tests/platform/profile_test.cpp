#include "platform/profile.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/atomicfile.h"

namespace {

using ::testing::UnorderedElementsAre;

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/fw-profile-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_file = m_dir + "/settings.ini";
    }
    void TearDown() override {
        win::fs::SetBeforeRenameHookForTesting(nullptr);
        std::filesystem::remove_all(m_dir);
    }

    void Put(const std::string& bytes) { Put(m_file, bytes); }
    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string Content() const { return win::fs::ReadWholeFile(m_file).value_or("<missing>"); }

    std::string Read(const char* section, const char* key, const char* def = "<default>") const {
        char buffer[256];
        const win::DWORD n =
            win::GetPrivateProfileString(section, key, def, buffer, sizeof buffer, m_file.c_str());
        EXPECT_EQ(n, std::strlen(buffer));
        return buffer;
    }
    int ReadInt(const char* section, const char* key, int def = -99) const {
        return static_cast<int>(win::GetPrivateProfileInt(section, key, def, m_file.c_str()));
    }
    bool Write(const char* section, const char* key, const char* value) const {
        return win::WritePrivateProfileString(section, key, value, m_file.c_str()) == win::TRUE;
    }
    ino_t Inode() const {
        struct stat st {};
        EXPECT_EQ(::stat(m_file.c_str(), &st), 0);
        return st.st_ino;
    }
    std::set<std::string> FolderEntries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    std::string m_dir;
    std::string m_file;
};

// ---- Reading ------------------------------------------------------------------------------

TEST_F(ProfileTest, AbsentFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(Read("main", "key"), "<default>");
    EXPECT_EQ(ReadInt("main", "key", 17), 17);

    Put("[main]\nother=1\nempty=\n[second]\nkey=2\n");
    EXPECT_EQ(Read("main", "key"), "<default>");
    EXPECT_EQ(Read("missing", "key"), "<default>");
    EXPECT_EQ(ReadInt("main", "key", 17), 17);
    EXPECT_EQ(ReadInt("missing", "other", 17), 17);
    // A present but empty value reads as empty text, and as the default for an integer.
    EXPECT_EQ(Read("main", "empty"), "");
    EXPECT_EQ(ReadInt("main", "empty", 17), 17);
    // The default loses its trailing blanks only; a null default is empty.
    EXPECT_EQ(Read("main", "key", "  pad \t "), "  pad");
    EXPECT_EQ(Read("main", "key", nullptr), "");
    // A file name that is a folder reads like a missing file.
    EXPECT_EQ(win::GetPrivateProfileInt("main", "other", 5, m_dir.c_str()), 5u);
}

TEST_F(ProfileTest, ListingSectionsOrKeysIsNotOfferedAndGivesAnEmptyBuffer) {
    Put("[main]\nkey=1\n");
    char buffer[16] = "junk";
    EXPECT_EQ(win::GetPrivateProfileString(nullptr, "key", "d", buffer, 16, m_file.c_str()), 0u);
    EXPECT_STREQ(buffer, "");
    std::strcpy(buffer, "junk");
    EXPECT_EQ(win::GetPrivateProfileString("main", nullptr, "d", buffer, 16, m_file.c_str()), 0u);
    EXPECT_STREQ(buffer, "");
}

TEST_F(ProfileTest, IntegerParsing) {
    struct Case {
        const char* stored;
        int expected;
    };
    const std::vector<Case> cases = {
        {"-1", -1},
        {"  42abc", 42},
        {"+7", 7},
        {"abc", 0},
        {"", -99},  // empty: the default
        {"4294967295", -1},
        {"4294967296", 0},
        {"4294967297", 1},
        {"-2147483648", INT_MIN},
        {"2147483648", INT_MIN},
        {"12 34", 12},
        {"0x1F", 0},
        {"-", 0},
        {"+-3", 0},
        {"007", 7},
        {"'5'", 5},
        {"\"  -8\"", -8},  // white space inside the quotes is skipped by the parser
        {"99999999999999999999", 1661992959},  // modulo 2^32, no overflow check
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        Put(std::string("[n]\nv=") + c.stored + "\n");
        EXPECT_EQ(ReadInt("n", "v"), c.expected);
    }
}

TEST_F(ProfileTest, StringReadTrimsUnquotesAndTruncates) {
    struct Case {
        const char* stored;
        win::DWORD size;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"abc", 1, ""},
        {"abc", 2, "a"},
        {"abc", 3, "ab"},
        {"abc", 4, "abc"},  // exact fit
        {"abc", 100, "abc"},
        {"   spaced  out \t", 100, "spaced  out"},
        {"\"quoted text\"", 100, "quoted text"},
        {"'single'", 100, "single"},
        {"  \" keeps inner \"  ", 100, " keeps inner "},
        {"\"mismatched'", 100, "\"mismatched'"},
        {"\"", 100, "\""},
        {"\"\"", 100, ""},
        {"\"a\" and \"b\"", 100, "a\" and \"b"},
        {"\"quoted\"", 4, "quo"},
        {"a ; not a comment", 100, "a ; not a comment"},
        {"x=y=z", 100, "x=y=z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " / " + std::to_string(c.size));
        Put(std::string("[s]\nk=") + c.stored + "\n");
        std::vector<char> buffer(c.size + 1, '#');
        const win::DWORD n =
            win::GetPrivateProfileString("s", "k", "def", buffer.data(), c.size, m_file.c_str());
        EXPECT_STREQ(buffer.data(), c.expected);
        EXPECT_EQ(n, std::strlen(c.expected));
        EXPECT_EQ(buffer[c.size], '#') << "wrote past the buffer";
    }
    // A default is cut the same way; size 0 writes nothing at all.
    char small[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(win::GetPrivateProfileString("s", "none", "default", small, 3, m_file.c_str()), 2u);
    EXPECT_STREQ(small, "de");
    small[0] = '#';
    EXPECT_EQ(win::GetPrivateProfileString("s", "k", "default", small, 0, m_file.c_str()), 0u);
    EXPECT_EQ(small[0], '#');
}

TEST_F(ProfileTest, NamesMatchWithoutCaseAndSurroundingBlanksFirstOneWins) {
    Put("  [ Main Section ]  trailing\n  Key Name  =  value 1\nkey name=value 2\n"
        "[MAIN SECTION]\nother=3\n");
    EXPECT_EQ(Read("main section", "KEY NAME"), "value 1");
    EXPECT_EQ(Read("  MAIN section ", " key name "), "value 1");
    // Only the first of two sections with one name is looked at.
    EXPECT_EQ(Read("Main Section", "other"), "<default>");
    // Letters outside ASCII are compared as they are.
    Put("[\xC3\x84rger]\nk=1\n");
    EXPECT_EQ(Read("\xC3\x84rger", "K"), "1");
    EXPECT_EQ(Read("\xC3\xA4rger", "k"), "<default>");
}

TEST_F(ProfileTest, OddBytesAreReadSafely) {
    using namespace std::string_literals;
    std::string bytes = "\xEF\xBB\xBF[bom]\nk=after bom\n"s;
    bytes += "[nul]\nk=a\0b\nz\0ero=1\n\0\0\n"s;
    bytes += "[unclosed\nk=still in nul\n";
    bytes += "no equals sign here\n";
    bytes += "[long]\nk=" + std::string(1 << 20, 'x') + "\n";
    bytes += "[crlf]\r\nk=v\r\n";
    bytes += "[last]\nk=no newline at the end";
    Put(bytes);
    EXPECT_EQ(Read("bom", "k"), "after bom");
    EXPECT_EQ(Read("nul", "k"), "a");  // the C string ends at the NUL
    EXPECT_EQ(Read("unclosed", "k"), "<default>");
    EXPECT_EQ(Read("crlf", "k"), "v");
    EXPECT_EQ(Read("last", "k"), "no newline at the end");
    EXPECT_EQ(Read("nul", "z"), "<default>");
    EXPECT_EQ(Read("nul", "no equals sign here"), "<default>");
    std::vector<char> big((1 << 20) + 10);
    EXPECT_EQ(win::GetPrivateProfileString("long", "k", "", big.data(),
                                           static_cast<win::DWORD>(big.size()), m_file.c_str()),
              1u << 20);
    // Key lines in front of the first header belong to no section.
    Put("k=1\n[s]\n");
    EXPECT_EQ(Read("", "k"), "<default>");
    EXPECT_EQ(Read("s", "k"), "<default>");
}

// ---- Writing ------------------------------------------------------------------------------

TEST_F(ProfileTest, WriteCreatesTheFileAndItsFolders) {
    m_file = m_dir + "/new/folder/app.ini";
    ASSERT_TRUE(Write("main", "key", "value"));
    EXPECT_EQ(Content(), "[main]\nkey=value\n");
    EXPECT_EQ(Read("main", "key"), "value");
}

TEST_F(ProfileTest, ReplacesInPlaceKeepingEveryOtherLine) {
    const std::string before =
        "\xEF\xBB\xBF; leading comment\n"
        "# hash comment\n"
        "\n"
        "[Main]\n"
        "  Width = 640 \n"
        "odd line without equals\n"
        "Height=480\n"
        "\n"
        "[Unknown]\n"
        "Width=keep me\n"
        "\tstrange   spacing   =  x  \n";
    Put(before);
    ASSERT_TRUE(Write("main", "WIDTH", "800"));
    std::string expected = before;
    expected.replace(expected.find("  Width = 640 "), 14, "Width=800");
    EXPECT_EQ(Content(), expected);
    EXPECT_EQ(Read("unknown", "width"), "keep me");
}

TEST_F(ProfileTest, NewKeyGoesAfterTheLastKeyOfItsSection) {
    struct Case {
        const char* name;
        const char* before;
        const char* after;
    };
    const std::vector<Case> cases = {
        {"before trailing blanks and the next section", "[a]\nx=1\n\n\n[b]\ny=2\n",
         "[a]\nx=1\nnew=v\n\n\n[b]\ny=2\n"},
        {"after the last key, not after later comments", "[a]\nx=1\nodd\n; about b\n[b]\n",
         "[a]\nx=1\nnew=v\nodd\n; about b\n[b]\n"},
        {"right after the header of a section with no keys", "[a]\n; c\n\n[b]\n",
         "[a]\nnew=v\n; c\n\n[b]\n"},
        {"at the end of a file without a final newline", "[a]\nx=1", "[a]\nx=1\nnew=v\n"},
        {"into the first of two sections", "[a]\nx=1\n[A]\nz=3\n", "[a]\nx=1\nnew=v\n[A]\nz=3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put(c.before);
        ASSERT_TRUE(Write("a", "new", "v"));
        EXPECT_EQ(Content(), c.after);
    }
}

TEST_F(ProfileTest, NewSectionIsAppendedAfterOneBlankLine) {
    struct Case {
        const char* name;
        const char* before;
        const char* after;
    };
    const std::vector<Case> cases = {
        {"empty file", "", "[new]\nk=v\n"},
        {"only a byte order mark", "\xEF\xBB\xBF", "\xEF\xBB\xBF[new]\nk=v\n"},
        {"ends with a key line", "[a]\nx=1\n", "[a]\nx=1\n\n[new]\nk=v\n"},
        {"ends with a blank line already", "[a]\nx=1\n\n", "[a]\nx=1\n\n[new]\nk=v\n"},
        {"ends with a line of blanks", "[a]\nx=1\n  \t", "[a]\nx=1\n  \t\n[new]\nk=v\n"},
        {"no newline at the end", "; only a comment", "; only a comment\n\n[new]\nk=v\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put(c.before);
        ASSERT_TRUE(Write("  new ", " k ", "v"));
        EXPECT_EQ(Content(), c.after);
    }
}

TEST_F(ProfileTest, DeletesKeysAndSections) {
    Put("; top\n[a]\nx=1\nY=2\ny=dup\n; a comment\n\n[b]\nz=3\n[A]\nw=4\n[c]\nq=5");
    ASSERT_TRUE(Write("A", "y", nullptr));
    EXPECT_EQ(Content(), "; top\n[a]\nx=1\n; a comment\n\n[b]\nz=3\n[A]\nw=4\n[c]\nq=5");
    EXPECT_EQ(Read("a", "y"), "<default>");

    // Every section of the name goes, with all its lines up to the next header.
    ASSERT_TRUE(Write("a", nullptr, "ignored"));
    EXPECT_EQ(Content(), "; top\n[b]\nz=3\n[c]\nq=5");
    EXPECT_EQ(Read("a", "w"), "<default>");

    // Deleting the last key, which has no final newline, leaves a well-formed file.
    ASSERT_TRUE(Write("c", "q", nullptr));
    EXPECT_EQ(Content(), "; top\n[b]\nz=3\n[c]\n");
    ASSERT_TRUE(Write("c", "q2", "6"));
    EXPECT_EQ(Content(), "; top\n[b]\nz=3\n[c]\nq2=6\n");
}

TEST_F(ProfileTest, WriteThatChangesNothingLeavesTheFileAlone) {
    Put("[a]\nkey = \"same\"  \n");
    const ino_t inode = Inode();
    EXPECT_TRUE(Write("a", "KEY", "same"));
    EXPECT_TRUE(Write("a", "missing", nullptr));
    EXPECT_TRUE(Write("missing", nullptr, nullptr));
    EXPECT_EQ(Inode(), inode);
    EXPECT_EQ(Content(), "[a]\nkey = \"same\"  \n");
    // Deleting from a file that does not exist does not create it.
    m_file = m_dir + "/absent.ini";
    EXPECT_TRUE(Write("a", "k", nullptr));
    EXPECT_FALSE(std::filesystem::exists(m_file));
}

TEST_F(ProfileTest, CrLfFileStaysCrLf) {
    Put("[a]\r\nx=1\r\n\r\n[b]\r\ny=2");
    ASSERT_TRUE(Write("a", "x", "10"));
    ASSERT_TRUE(Write("a", "new", "n"));
    ASSERT_TRUE(Write("b", "z", "3"));
    ASSERT_TRUE(Write("c", "k", "v"));
    EXPECT_EQ(Content(), "[a]\r\nx=10\r\nnew=n\r\n\r\n[b]\r\ny=2\r\nz=3\r\n\r\n[c]\r\nk=v\r\n");
}

TEST_F(ProfileTest, ValuesReadBackAsWritten) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"plain", "plain"},
        {"with = sign", "with = sign"},
        {"  padded  ", "padded"},
        {"\"quoted\"", "quoted"},
        {"; semicolon", "; semicolon"},
        {"[not a header]", "[not a header]"},
        {"\xE2\x82\xAC 5", "\xE2\x82\xAC 5"},
    };
    for (const auto& [written, read] : cases) {
        SCOPED_TRACE(written);
        ASSERT_TRUE(Write("s", "k", written.c_str()));
        EXPECT_EQ(Read("s", "k"), read);
    }
}

// ---- Failures and atomicity ----------------------------------------------------------------

TEST_F(ProfileTest, RejectedWritesLeaveTheFileAsItWas) {
    const std::string before = "[a]\nx=1\n";
    Put(before);
    struct Case {
        const char* section;
        const char* key;
        const char* value;
        const char* file;
        win::DWORD error;
    };
    const std::string folderAsFile = m_dir + "/folder";
    ASSERT_TRUE(std::filesystem::create_directory(folderAsFile));
    const std::string underRegularFile = m_file + "/child.ini";
    const std::vector<Case> cases = {
        {nullptr, "x", "2", m_file.c_str(), win::ERROR_INVALID_PARAMETER},
        {"a", "x", "2", nullptr, win::ERROR_INVALID_PARAMETER},
        {"a", "x", "2", "", win::ERROR_INVALID_PARAMETER},
        {"a", "x", "line\nbreak", m_file.c_str(), win::ERROR_INVALID_PARAMETER},
        {"a", "x", "carriage\rreturn", m_file.c_str(), win::ERROR_INVALID_PARAMETER},
        {"a]b", "x", "2", m_file.c_str(), win::ERROR_INVALID_PARAMETER},
        {"a", "x=y", "2", m_file.c_str(), win::ERROR_INVALID_PARAMETER},
        {"a", " ;x", "2", m_file.c_str(), win::ERROR_INVALID_PARAMETER},
        {"a", "[x", "2", m_file.c_str(), win::ERROR_INVALID_PARAMETER},
        {"a", "x", "2", folderAsFile.c_str(), win::ERROR_ACCESS_DENIED},
        {"a", "x", "2", underRegularFile.c_str(), win::ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section ? c.section : "(null)") + " " + (c.key ? c.key : "") +
                     " " + (c.file ? c.file : "(null)"));
        win::SetLastError(0);
        EXPECT_EQ(win::WritePrivateProfileString(c.section, c.key, c.value, c.file), win::FALSE);
        EXPECT_EQ(win::GetLastError(), c.error);
        EXPECT_EQ(Content(), before);
    }
    // Names and values are checked before anything is touched on disk.
    EXPECT_THAT(FolderEntries(), UnorderedElementsAre("settings.ini", "folder", "folder.lock"));
}

TEST_F(ProfileTest, FailedLockLeavesTheOldFileIntact) {
    Put("[a]\nx=1\n");
    ASSERT_TRUE(std::filesystem::create_directory(m_file + ".lock"));
    EXPECT_FALSE(Write("a", "x", "2"));
    EXPECT_EQ(Content(), "[a]\nx=1\n");
    EXPECT_THAT(FolderEntries(), UnorderedElementsAre("settings.ini", "settings.ini.lock"));
}

TEST_F(ProfileTest, ReplacementIsAtomicAndLeavesNoTemporaries) {
    Put("[a]\nx=1\n");
    std::optional<std::string> seenDuringWrite;
    std::size_t entriesDuringWrite = 0;
    win::fs::SetBeforeRenameHookForTesting([&] {
        seenDuringWrite = win::fs::ReadWholeFile(m_file);
        entriesDuringWrite = FolderEntries().size();
    });
    ASSERT_TRUE(Write("a", "x", "2"));
    // Until the rename a reader sees the old file whole; the new text was in a temporary.
    EXPECT_EQ(seenDuringWrite, "[a]\nx=1\n");
    EXPECT_EQ(entriesDuringWrite, 3u);
    EXPECT_EQ(Content(), "[a]\nx=2\n");
    EXPECT_THAT(FolderEntries(), UnorderedElementsAre("settings.ini", "settings.ini.lock"));

    // A temporary that an interrupted writer left behind is cleared by the next write.
    Put(m_file + ".tmpAbC123", "stale");
    ASSERT_TRUE(Write("a", "y", "3"));
    EXPECT_THAT(FolderEntries(), UnorderedElementsAre("settings.ini", "settings.ini.lock"));
}

TEST_F(ProfileTest, ConcurrentWritersFromTwoProcessesLoseNothing) {
    constexpr int kKeysEach = 40;
    Put("[shared]\nseed=0\n");
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < kKeysEach; ++i) {
                const std::string key = "p" + std::to_string(child) + "_" + std::to_string(i);
                const std::string section = i % 3 == 0 ? "own" + std::to_string(child) : "shared";
                ok = win::WritePrivateProfileString(section.c_str(), key.c_str(),
                                                    std::to_string(i).c_str(),
                                                    m_file.c_str()) == win::TRUE &&
                     ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int child = 0; child < 2; ++child) {
        for (int i = 0; i < kKeysEach; ++i) {
            const std::string key = "p" + std::to_string(child) + "_" + std::to_string(i);
            const std::string section = i % 3 == 0 ? "own" + std::to_string(child) : "shared";
            EXPECT_EQ(ReadInt(section.c_str(), key.c_str()), i) << section << "/" << key;
        }
    }
    EXPECT_EQ(ReadInt("shared", "seed"), 0);
    EXPECT_THAT(FolderEntries(), UnorderedElementsAre("settings.ini", "settings.ini.lock"));
}

}  // namespace
