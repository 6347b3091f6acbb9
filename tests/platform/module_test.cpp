#include "platform/module.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using win::DWORD;
using win::FARPROC;
using win::HMODULE;
using win::LPCSTR;

DWORD Code(win::LONG code) {
    return static_cast<DWORD>(code);
}

// Entry points of the module the tests register.
int Add(int a, int b) {
    return a + b;
}
int Answer() {
    return 42;
}
int OtherAnswer() {
    return 7;
}
int Registered() {
    return 1;
}

// Registered during static initialisation, before the table has ever been used.
const win::ModuleRegistration staticRegistration{"StaticInit.dll",
                                                 {{"Registered", win::ToEntryPoint(&Registered)}}};

constexpr LPCSTR kModule = "FwTest.dll";

class Module : public testing::Test {
protected:
    void SetUp() override {
        win::RegisterModule(
            kModule, {{"Add", win::ToEntryPoint(&Add)}, {"Answer", win::ToEntryPoint(&Answer)}});
    }
    void TearDown() override { win::UnregisterModule(kModule); }
};

TEST(ModuleFileName, IsTheRunningExecutable) {
    const std::string expected = std::filesystem::canonical("/proc/self/exe").string();
    std::vector<char> buffer(4096, 'x');
    const DWORD n = win::GetModuleFileName(nullptr, buffer.data(), DWORD(buffer.size()));
    ASSERT_EQ(n, expected.size());
    EXPECT_EQ(std::string(buffer.data(), n), expected);
    EXPECT_EQ(buffer[n], '\0');

    // The program's own handle names the same file.
    std::vector<char> again(4096, 'x');
    EXPECT_EQ(
        win::GetModuleFileName(win::GetModuleHandle(nullptr), again.data(), DWORD(again.size())),
        n);
    EXPECT_STREQ(again.data(), buffer.data());
}

TEST(ModuleFileName, CutsThePathToTheBuffer) {
    const std::string path = std::filesystem::canonical("/proc/self/exe").string();
    const DWORD length = DWORD(path.size());
    struct Case {
        DWORD size;
        DWORD result;
        bool truncated;
    };
    const Case cases[] = {
        {1, 1, true},                 // room for the zero only
        {5, 5, true},                 // four characters and the zero
        {length, length, true},       // one short: the last character gives way to the zero
        {length + 1, length, false},  // exactly enough
        {length + 10, length, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        // A guard zone after the buffer shows any write beyond its size.
        std::vector<char> buffer(c.size + 8, 'x');
        win::SetLastError(0);
        EXPECT_EQ(win::GetModuleFileName(nullptr, buffer.data(), c.size), c.result);
        const std::size_t copied = c.truncated ? c.size - 1 : path.size();
        EXPECT_EQ(std::string(buffer.data(), copied), path.substr(0, copied));
        EXPECT_EQ(buffer[copied], '\0');
        EXPECT_EQ(std::string(buffer.data() + c.size, 8), std::string(8, 'x'));
        EXPECT_EQ(win::GetLastError(), c.truncated ? Code(win::ERROR_INSUFFICIENT_BUFFER) : 0u);
    }
}

TEST(ModuleFileName, SizeZeroCopiesNothing) {
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(win::GetModuleFileName(nullptr, buffer, 0), 0u);
    EXPECT_EQ(std::string(buffer, 4), "xxxx");
}

TEST(ModuleFileName, UnknownModuleIsAnError) {
    int notAModule = 0;
    char buffer[64];
    EXPECT_EQ(win::GetModuleFileName(reinterpret_cast<HMODULE>(&notAModule), buffer, 64), 0u);
    EXPECT_EQ(win::GetLastError(), Code(win::ERROR_MOD_NOT_FOUND));
}

TEST_F(Module, LoadLibraryMatchesTheNameAsThePlatformDoes) {
    const HMODULE module = win::LoadLibrary(kModule);
    ASSERT_NE(module, nullptr);
    for (LPCSTR name : {"fwtest.dll", "FWTEST.DLL", "FwTest", "fwtest",
                        "C:\\Windows\\System32\\fwtest.dll", "/usr/lib/FWTEST.dll", "C:fwtest"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(win::LoadLibrary(name), module);
        EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
    }
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
}

TEST_F(Module, UnknownModuleIsNotFound) {
    // "fwtest." asks for a file without any extension, which is another module.
    for (LPCSTR name : {"NoSuch.dll", "fwtest.", "fwtest.exe", "fwtest.dll\\", "", "fw"}) {
        SCOPED_TRACE(name);
        win::SetLastError(0);
        EXPECT_EQ(win::LoadLibrary(name), nullptr);
        EXPECT_EQ(win::GetLastError(), Code(win::ERROR_MOD_NOT_FOUND));
    }
    EXPECT_EQ(win::LoadLibrary(nullptr), nullptr);
    EXPECT_EQ(win::GetLastError(), Code(win::ERROR_INVALID_PARAMETER));
}

TEST_F(Module, GetProcAddressGivesTheRegisteredFunction) {
    const HMODULE module = win::LoadLibrary(kModule);
    ASSERT_NE(module, nullptr);
    const auto add = win::FromEntryPoint<int(int, int)>(win::GetProcAddress(module, "Add"));
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add(2, 3), 5);
    const auto answer = win::FromEntryPoint<int()>(win::GetProcAddress(module, "Answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
}

TEST_F(Module, MissingEntryPointsAndBadHandles) {
    const HMODULE module = win::LoadLibrary(kModule);
    ASSERT_NE(module, nullptr);
    int notAModule = 0;
    struct Case {
        HMODULE module;
        LPCSTR name;
        win::LONG error;
    };
    const Case cases[] = {
        {module, "add", win::ERROR_PROC_NOT_FOUND},  // entry-point names are case-sensitive
        {module, "Ad", win::ERROR_PROC_NOT_FOUND},
        {module, "", win::ERROR_PROC_NOT_FOUND},
        {module, reinterpret_cast<LPCSTR>(1), win::ERROR_PROC_NOT_FOUND},  // an ordinal
        {module, nullptr, win::ERROR_PROC_NOT_FOUND},
        {nullptr, "Add", win::ERROR_PROC_NOT_FOUND},  // the program exports nothing
        {win::GetModuleHandle(nullptr), "Add", win::ERROR_PROC_NOT_FOUND},
        {reinterpret_cast<HMODULE>(&notAModule), "Add", win::ERROR_INVALID_HANDLE},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        win::SetLastError(0);
        EXPECT_EQ(win::GetProcAddress(c.module, c.name), nullptr);
        EXPECT_EQ(win::GetLastError(), Code(c.error));
    }
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
}

TEST_F(Module, RemovedEntryPointIsMissingWhileOthersWork) {
    const HMODULE module = win::LoadLibrary(kModule);
    ASSERT_NE(module, nullptr);
    ASSERT_TRUE(win::RemoveEntryPoint("FWTEST", "Add"));
    EXPECT_FALSE(win::RemoveEntryPoint(kModule, "Add"));
    EXPECT_FALSE(win::RemoveEntryPoint("NoSuch.dll", "Answer"));

    win::SetLastError(0);
    EXPECT_EQ(win::GetProcAddress(module, "Add"), nullptr);
    EXPECT_EQ(win::GetLastError(), Code(win::ERROR_PROC_NOT_FOUND));
    const auto answer = win::FromEntryPoint<int()>(win::GetProcAddress(module, "Answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    // Loading again finds the module as it now is.
    EXPECT_EQ(win::LoadLibrary(kModule), module);
    EXPECT_EQ(win::GetProcAddress(module, "Add"), nullptr);
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
}

TEST_F(Module, RegisteringAgainReplacesTheEntryPointsUnderTheSameHandle) {
    const HMODULE module = win::LoadLibrary(kModule);
    ASSERT_NE(module, nullptr);
    win::RegisterModule("fwtest", {{"Answer", win::ToEntryPoint(&OtherAnswer)}});
    EXPECT_EQ(win::LoadLibrary(kModule), module);
    EXPECT_EQ(win::GetProcAddress(module, "Add"), nullptr);
    const auto answer = win::FromEntryPoint<int()>(win::GetProcAddress(module, "Answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 7);
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
}

TEST_F(Module, UnregisteredModuleIsGoneButItsHandleStaysValid) {
    const HMODULE module = win::LoadLibrary(kModule);
    ASSERT_NE(module, nullptr);
    win::UnregisterModule("FWTEST.DLL");
    EXPECT_EQ(win::LoadLibrary(kModule), nullptr);
    EXPECT_EQ(win::GetLastError(), Code(win::ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(win::GetProcAddress(module, "Answer"), nullptr);
    EXPECT_EQ(win::GetLastError(), Code(win::ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);

    SetUp();
    EXPECT_EQ(win::LoadLibrary(kModule), module);
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
}

TEST_F(Module, ReferencesDecideWhetherTheModuleIsLoaded) {
    win::SetLastError(0);
    EXPECT_EQ(win::GetModuleHandle(kModule), nullptr);
    EXPECT_EQ(win::GetLastError(), Code(win::ERROR_MOD_NOT_FOUND));

    const HMODULE module = win::LoadLibrary(kModule);
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(win::LoadLibrary("fwtest"), module);
    EXPECT_EQ(win::GetModuleHandle("FWTEST"), module);
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
    EXPECT_EQ(win::GetModuleHandle(kModule), module);
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
    EXPECT_EQ(win::GetModuleHandle(kModule), nullptr);

    // One free too many.
    win::SetLastError(0);
    EXPECT_EQ(win::FreeLibrary(module), win::FALSE);
    EXPECT_EQ(win::GetLastError(), Code(win::ERROR_INVALID_HANDLE));
    // The handle still names the module.
    EXPECT_NE(win::GetProcAddress(module, "Answer"), nullptr);
    EXPECT_EQ(win::LoadLibrary(kModule), module);
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
}

TEST(ProgramModule, IsFixedAndAlwaysLoaded) {
    const HMODULE program = win::GetModuleHandle(nullptr);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(win::GetModuleHandle(nullptr), program);
    EXPECT_EQ(win::FreeLibrary(program), win::TRUE);
    EXPECT_EQ(win::GetModuleHandle(nullptr), program);
    EXPECT_EQ(win::FreeLibrary(nullptr), win::FALSE);
    EXPECT_EQ(win::GetLastError(), Code(win::ERROR_INVALID_HANDLE));
}

TEST(ModuleRegistration, WorksDuringStaticInitialisation) {
    const HMODULE module = win::LoadLibrary("staticinit");
    ASSERT_NE(module, nullptr);
    const auto registered = win::FromEntryPoint<int()>(win::GetProcAddress(module, "Registered"));
    ASSERT_NE(registered, nullptr);
    EXPECT_EQ(registered(), 1);
    // A built-in module is part of the executable.
    char path[4096];
    char own[4096];
    EXPECT_GT(win::GetModuleFileName(module, path, sizeof path), 0u);
    EXPECT_GT(win::GetModuleFileName(nullptr, own, sizeof own), 0u);
    EXPECT_STREQ(path, own);
    EXPECT_EQ(win::FreeLibrary(module), win::TRUE);
}

TEST_F(Module, ConcurrentUseKeepsTheReferenceCount) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                const HMODULE module = win::LoadLibrary(kModule);
                if (module == nullptr || win::GetProcAddress(module, "Answer") == nullptr ||
                    win::FreeLibrary(module) != win::TRUE) {
                    ++failures;
                }
            }
        });
    }
    // Registrations of the same module meanwhile keep its handle and its references.
    threads.emplace_back([] {
        for (int i = 0; i < kRounds; ++i) {
            win::RegisterModule(kModule, {{"Add", win::ToEntryPoint(&Add)},
                                          {"Answer", win::ToEntryPoint(&Answer)}});
        }
    });
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(win::GetModuleHandle(kModule), nullptr);
}

}  // namespace
