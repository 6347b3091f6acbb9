#include "platform/inidocument.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using win::ini::EditResult;
using win::ini::IniDocument;

TEST(IniDocument, UneditedDocumentSerialisesToItsExactBytes) {
    const std::vector<std::string> inputs = {
        ""s,
        "\xEF\xBB\xBF"s,
        "\xEF\xBB\xBF\xEF\xBB\xBF[a]\n"s,
        "\n\n\n"s,
        "\r\n\r\n"s,
        "\r"s,
        "a=b\r"s,
        "a=b\r\r\n"s,
        "[a]\nx=1"s,
        "[a]\r\nx=1\ny=2\r\n"s,
        "\0\0\n[\0]\nk\0=\0\n"s,
        "[unclosed\n]x[\n=\n=="s,
        "  ; c\n\t# d\n[ s ] tail\n  k  =  v  \n"s,
    };
    for (const std::string& input : inputs) {
        SCOPED_TRACE(testing::PrintToString(input));
        EXPECT_EQ(IniDocument::Parse(input).Serialise(), input);
    }
}

TEST(IniDocument, EditResultsTellWhetherReadersSeeADifference) {
    IniDocument doc = IniDocument::Parse("[a]\nk= 'v' \n");
    EXPECT_EQ(doc.SetValue("A", "K", "v"), EditResult::kUnchanged);
    EXPECT_EQ(doc.SetValue("a", "k", "\"v\""), EditResult::kUnchanged);
    EXPECT_EQ(doc.Serialise(), "[a]\nk= 'v' \n");
    EXPECT_EQ(doc.SetValue("a", "k", "w"), EditResult::kChanged);
    EXPECT_EQ(doc.SetValue("a", "k", "a\nb"), EditResult::kRejected);
    EXPECT_EQ(doc.RemoveKey("a", "missing"), EditResult::kUnchanged);
    EXPECT_EQ(doc.RemoveKey("missing", "k"), EditResult::kUnchanged);
    EXPECT_EQ(doc.RemoveSection("missing"), EditResult::kUnchanged);
    EXPECT_EQ(doc.Serialise(), "[a]\nk=w\n");
    EXPECT_EQ(doc.RemoveKey("a", "k"), EditResult::kChanged);
    EXPECT_TRUE(doc.HasSection("a"));  // an emptied section stays
    EXPECT_EQ(doc.RemoveSection(" A "), EditResult::kChanged);
    EXPECT_FALSE(doc.HasSection("a"));
    EXPECT_EQ(doc.Serialise(), "");
}

TEST(IniDocument, NewLinesTakeTheFirstLineEndingOfAMixedFile) {
    IniDocument doc = IniDocument::Parse("; c\r\n[a]\nx=1\n");
    ASSERT_EQ(doc.SetValue("a", "y", "2"), EditResult::kChanged);
    ASSERT_EQ(doc.SetValue("b", "z", "3"), EditResult::kChanged);
    EXPECT_EQ(doc.Serialise(), "; c\r\n[a]\nx=1\ny=2\r\n\r\n[b]\r\nz=3\r\n");
}

TEST(IniDocument, RefusesWhatWouldNotReadBack) {
    struct Case {
        const char* section;
        const char* key;
        const char* value;
        bool storable;
    };
    const std::vector<Case> cases = {
        {"s", "k", "v", true},    {"", "", "", true},      {"a[b", "k[", "[v]", true},
        {"s", "k", "=;#", true},  {"s]", "k", "v", false}, {"s\n", "k", "v", false},
        {"s", "k\r", "v", false}, {"s", "k=", "v", false}, {"s", "  ;k", "v", false},
        {"s", "#k", "v", false},  {"s", "[k", "v", false}, {"s", "k", "v\r", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "|" + c.key + "|" + c.value);
        EXPECT_EQ(IniDocument::IsStorable(c.section, c.key, c.value), c.storable);
        IniDocument doc;
        const EditResult result = doc.SetValue(c.section, c.key, c.value);
        if (c.storable) {
            ASSERT_EQ(result, EditResult::kChanged);
            EXPECT_EQ(IniDocument::Parse(doc.Serialise()).Value(c.section, c.key),
                      IniDocument::ReadForm(c.value));
        } else {
            EXPECT_EQ(result, EditResult::kRejected);
            EXPECT_EQ(doc.Serialise(), "");
        }
    }
}

}  // namespace
