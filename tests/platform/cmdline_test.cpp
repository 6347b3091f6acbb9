#include "platform/cmdline.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using win::cmdline::JoinCommandLine;
using win::cmdline::SplitCommandLine;
using Args = std::vector<std::string>;

TEST(SplitCommandLine, DocumentedExamples) {
    // The runtime's documented table (after the program name), then the rules one by one.
    const struct {
        const char* line;
        Args expected;
    } cases[] = {
        {R"("a b c" d e)", {"a b c", "d", "e"}},
        {R"("ab\"c" "\\" d)", {"ab\"c", "\\", "d"}},
        {R"(a\\\b d"e f"g h)", {R"(a\\\b)", "de fg", "h"}},
        {R"(a\\\"b c d)", {R"(a\"b)", "c", "d"}},
        {R"(a\\\\"b c" d e)", {R"(a\\b c)", "d", "e"}},
        {R"(a"b"" c d)", {"ab\" c d"}},
        {"", {}},
        {" \t ", {}},
        {"one\t two  three ", {"one", "two", "three"}},
        {"a\nb\rc\vd", {"a\nb\rc\vd"}},
        {R"("")", {""}},
        {R"(a "" b)", {"a", "", "b"}},
        {R"("unterminated  quote)", {"unterminated  quote"}},
        {R"(C:\Program Files\x)", {R"(C:\Program)", R"(Files\x)"}},
        {R"("C:\Program Files\\" next)", {R"(C:\Program Files\)", "next"}},
        {R"(trailing\\)", {R"(trailing\\)"}},
        {R"(\"quoted\")", {"\"quoted\""}},
        {R"("say ""hi"" now")", {"say \"hi\" now"}},
        {R"(""")", {"\""}},
        {R"(""""x)", {"\"x"}},
        {R"(pre"mid dle"post)", {"premid dlepost"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(SplitCommandLine(c.line), c.expected);
    }
}

TEST(JoinCommandLine, QuotesOnlyWhatNeedsIt) {
    const struct {
        Args args;
        const char* expected;
    } cases[] = {
        {{}, ""},
        {{"plain", R"(C:\dir\file.txt)", "$HOME;`x`"}, R"(plain C:\dir\file.txt $HOME;`x`)"},
        {{""}, R"("")"},
        {{"two words", "tab\there"}, "\"two words\" \"tab\there\""},
        {{R"(say "hi")"}, R"("say \"hi\"")"},
        {{R"(C:\Program Files\)"}, R"("C:\Program Files\\")"},
        {{R"(a\"b)"}, R"("a\\\"b")"},
        {{R"(back\\slash)"}, R"(back\\slash)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(JoinCommandLine(c.args), c.expected);
        EXPECT_EQ(SplitCommandLine(JoinCommandLine(c.args)), c.args);
    }
}

// Arguments drawn from the characters that matter to the rules, so that runs of
// backslashes before quotes, quotes next to quotes and blanks at the ends come up often.
TEST(JoinCommandLine, SplitUndoesJoinForGeneratedArguments) {
    const std::string alphabet = "\\\\\\\"\"  \tab\n\xc3\xa9*$";
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> count(0, 5);
    std::uniform_int_distribution<std::size_t> length(0, 9);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int round = 0; round < 20000; ++round) {
        Args args(count(random));
        for (auto& arg : args) {
            for (std::size_t n = length(random); n > 0; --n) {
                arg += alphabet[pick(random)];
            }
        }
        const std::string line = JoinCommandLine(args);
        ASSERT_EQ(SplitCommandLine(line), args) << "line: [" << line << "]";
    }
}

}  // namespace
