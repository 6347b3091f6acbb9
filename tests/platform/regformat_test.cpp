#include "platform/regformat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/atomicfile.h"
#include "platform/unicode.h"

namespace {

using win::reg::Hive;
using win::reg::Value;

std::string ReadFixture(const std::string& name) {
    const std::string path = std::string(FW_TEST_DATA) + "/wine/" + name;
    if (!name.ends_with(".gz")) {
        return win::fs::ReadWholeFile(path).value_or("");
    }
    std::string out;
    FILE* pipe = ::popen(("gzip -dc '" + path + "'").c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, n);
    }
    ::pclose(pipe);
    return out;
}

std::string Utf8Of(const Value& v) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < v.data.size(); i += 2) {
        units += static_cast<char16_t>(v.data[i] | (v.data[i + 1] << 8));
    }
    return win::text::ToUtf8(units);
}

Value Sz(std::u16string name, std::u16string_view text, win::DWORD type = win::reg::REG_SZ) {
    Value v{std::move(name), type, {}};
    for (const char16_t u : text) {
        v.data.push_back(static_cast<win::BYTE>(u & 0xFF));
        v.data.push_back(static_cast<win::BYTE>(u >> 8));
    }
    v.data.push_back(0);
    v.data.push_back(0);
    return v;
}

// Hives that Wine wrote read back to exactly the same text: every escape, data form, the key
// order and the line wrapping of long binary values are understood and reproduced.
TEST(RegistryFormat, WineWrittenHivesRoundTripByteForByte) {
    for (const char* name : {"user.reg", "system.reg.gz"}) {
        SCOPED_TRACE(name);
        const std::string text = ReadFixture(name);
        ASSERT_GT(text.size(), 1000u);
        const Hive hive = Hive::Parse(text);
        EXPECT_FALSE(hive.Damaged());
        // Compared as a whole, but reported briefly: the texts are large.
        const std::string again = hive.Serialize();
        EXPECT_TRUE(again == text)
            << "first difference at byte "
            << std::mismatch(again.begin(), again.end(), text.begin(), text.end()).first -
                   again.begin();
    }
}

TEST(RegistryFormat, ReadsEveryDataFormOfAWineHive) {
    const Hive hive = Hive::Parse(ReadFixture("user.reg"));
    const auto* key = hive.Find(u"SOFTWARE\\FLEETWING");
    ASSERT_NE(key, nullptr);
    struct Case {
        std::u16string name;
        win::DWORD type;
        std::string utf8;
    };
    const Case strings[] = {
        {u"APP_NAME", win::reg::REG_SZ, " BitComet"},
        {u"app_path", win::reg::REG_SZ, "C:\\Program Files\\BitComet\\BitComet.exe"},
        {u"Umlaut", win::reg::REG_SZ,
         "Gr\xc3\xbc\xc3\x9f"
         "e"},
        {u"Emoji", win::reg::REG_SZ, "smile \xf0\x9f\x98\x80 end"},
        {u"Controls", win::reg::REG_SZ,
         "tab\there\x01\x01"
         "7x\x1b\x7f\"quoted\" back\\slash"},
        {u"Expand", win::reg::REG_EXPAND_SZ, "%ProgramFiles%\\Shareaza"},
        {u"Empty", win::reg::REG_SZ, ""},
        {u"", win::reg::REG_SZ, "default value"},
        {u"na\"me \\ with [brackets]", win::reg::REG_SZ, "odd name"},
    };
    for (const auto& c : strings) {
        SCOPED_TRACE(win::text::ToUtf8(c.name));
        const Value* v = key->FindValue(c.name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, c.type);
        EXPECT_EQ(Utf8Of(*v), c.utf8 + std::string(1, '\0'));
    }
    const Value* multi = key->FindValue(u"Multi");
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(Utf8Of(*multi), std::string("one\0two\0three\0\0", 15));
    EXPECT_EQ(key->FindValue(u"CheckPeriodNum")->data, (std::vector<win::BYTE>{12, 0, 0, 0}));
    EXPECT_EQ(key->FindValue(u"AccelerateN")->data,
              (std::vector<win::BYTE>{0xfb, 0xff, 0xff, 0xff}));
    EXPECT_EQ(key->FindValue(u"Quad")->type, 11u);
    EXPECT_EQ(key->FindValue(u"Binary")->data.size(), 100u);
    EXPECT_EQ(key->FindValue(u"Binary")->data[99], 99);
    const auto* odd = hive.Find(u"Software\\Fleetwing\\Odd");
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->FindValue(u"ShortDword")->type, win::reg::REG_DWORD);
    EXPECT_EQ(odd->FindValue(u"ShortDword")->data, (std::vector<win::BYTE>{1, 2}));
    EXPECT_TRUE(hive.Exists(u"software\\fleetwing\\sub key [x]"));
    EXPECT_TRUE(hive.Exists(u"Software\\Fleetwing\\Order"));  // only its subkeys are listed
    EXPECT_FALSE(hive.Exists(u"Software\\Fleet"));
}

// What we write must be what Wine writes for the same content.
TEST(RegistryFormat, WritesValuesAsWineDoes) {
    Hive hive = Hive::Empty("REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000");
    const std::uint64_t now = win::reg::FileTimeFromUnix(1796989880, 123456700);
    const std::u16string k = u"Software\\Fleetwing";
    hive.SetValue(k, Sz(u"Umlaut", u"Gr\u00fc\u00dfe"), now);
    hive.SetValue(k, Sz(u"Controls", u"a\u0001\u00017\u001b\u007f\"q\" \\"), now);
    hive.SetValue(k, Value{u"CheckPeriodNum", win::reg::REG_DWORD, {12, 0, 0, 0}}, now);
    hive.SetValue(k, Value{u"Short", win::reg::REG_DWORD, {1, 2}}, now);
    hive.SetValue(k, Value{u"Odd", win::reg::REG_SZ, {0x41, 0, 0x42}}, now);
    hive.SetValue(k, Sz(u"Multi", std::u16string(u"a\0b\0", 4), win::reg::REG_MULTI_SZ), now);
    hive.SetValue(k, Sz(u"", u"def"), now);
    hive.SetValue(u"Software\\Fleetwing\\Sub [x]", Sz(u"v", u"1"), now);
    const std::string expected =
        "WINE REGISTRY Version 2\n"
        ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
        "\n"
        "#arch=win64\n"
        "\n"
        "[Software\\\\Fleetwing] 1796989880\n"
        "#time=1dd8965eff10287\n"
        "@=\"def\"\n"
        "\"CheckPeriodNum\"=dword:0000000c\n"
        "\"Controls\"=\"a\\1\\0017\\e\x7f\\\"q\\\" \\\\\"\n"
        "\"Multi\"=str(7):\"a\\0b\\0\"\n"
        "\"Odd\"=hex(1):41,00,42\n"
        "\"Short\"=hex(4):01,02\n"
        "\"Umlaut\"=\"Gr\\xfc\\x00dfe\"\n"
        "\n"
        "[Software\\\\Fleetwing\\\\Sub \\[x\\]] 1796989880\n"
        "#time=1dd8965eff10287\n"
        "\"v\"=\"1\"\n";
    EXPECT_EQ(hive.Serialize(), expected);
    EXPECT_EQ(Hive::Parse(expected).Serialize(), expected);
}

TEST(RegistryFormat, SettingTheSameValueAgainChangesNothing) {
    Hive hive = Hive::Empty("X");
    EXPECT_TRUE(hive.SetValue(u"A", Sz(u"v", u"1"), 1));
    EXPECT_FALSE(hive.SetValue(u"a", Sz(u"V", u"1"), 2));
    EXPECT_TRUE(hive.SetValue(u"A", Sz(u"v", u"2"), 3));
    EXPECT_TRUE(hive.DeleteValue(u"A", u"V", 4));
    EXPECT_FALSE(hive.DeleteValue(u"A", u"V", 5));
    EXPECT_TRUE(hive.Exists(u"A"));
}

// Damage: what can be read is kept, what cannot is left out and reported.
TEST(RegistryFormat, DamagedTextKeepsWhatCanBeRead) {
    struct Case {
        const char* what;
        std::string text;
        bool damaged;
        int values;  // values readable in key "K"
    } cases[] = {
        {"clean", "WINE REGISTRY Version 2\n\n[K] 1\n\"a\"=\"1\"\n\"b\"=dword:00000002\n\n", false,
         2},
        {"wrong signature", "WINE REGISTRY Version 3\n\n[K] 1\n\"a\"=\"1\"\n", true, -1},
        {"empty file", "", true, -1},
        {"unterminated string", "WINE REGISTRY Version 2\n[K]\n\"a\"=\"1\n\"b\"=\"2\"\n", true, 1},
        {"short dword", "WINE REGISTRY Version 2\n[K]\n\"a\"=dword:12\n\"b\"=\"2\"\n", true, 1},
        {"bad hex", "WINE REGISTRY Version 2\n[K]\n\"a\"=hex:zz\n\"b\"=\"2\"\n", true, 1},
        {"garbage line", "WINE REGISTRY Version 2\n[K]\nxyz\n\"b\"=\"2\"\n", true, 1},
        {"unclosed key", "WINE REGISTRY Version 2\n[K\n\"b\"=\"2\"\n", true, -1},
        {"value before any key", "WINE REGISTRY Version 2\n\"b\"=\"2\"\n[K]\n", true, 0},
        {"truncated hex continuation", "WINE REGISTRY Version 2\n[K]\n\"a\"=hex:01,\\", true, 1},
        {"CRLF line ends", "WINE REGISTRY Version 2\r\n[K]\r\n\"a\"=\"1\"\r\n", false, 1},
        {"NUL bytes", std::string("WINE REGISTRY Version 2\n[K]\n\"a\0\"=\"1\"\n\0\n", 38), true,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Hive hive = Hive::Parse(c.text);
        EXPECT_EQ(hive.Damaged(), c.damaged);
        const auto* key = hive.Find(u"K");
        EXPECT_EQ(key == nullptr ? -1 : static_cast<int>(key->values.size()), c.values);
        // Whatever was read writes out as a clean hive that reads back the same.
        const std::string again = hive.Serialize();
        const Hive reread = Hive::Parse(again);
        EXPECT_FALSE(reread.Damaged());
        EXPECT_EQ(reread.Serialize(), again);
    }
}

}  // namespace
