#include "platform/regformat.h"

#include <algorithm>
#include <cstdio>

#include "platform/unicode.h"

namespace win::reg {

namespace {

constexpr std::string_view kSignature = "WINE REGISTRY Version 2";

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads escaped text from line[pos] up to the unescaped terminator, which is consumed. Returns
// nothing when the terminator is missing. Raw bytes of 0x80 and above are read as UTF-8, so a
// hand-edited file with plain accented letters reads as meant.
std::optional<std::u16string> ReadEscaped(std::string_view line, std::size_t& pos,
                                          char terminator) {
    std::u16string out;
    std::string run;
    auto flush = [&] {
        out += text::ToUtf16(run);
        run.clear();
    };
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == terminator) {
            flush();
            return out;
        }
        if (c != '\\') {
            run += c;
            continue;
        }
        flush();
        if (pos >= line.size()) {
            return std::nullopt;
        }
        const char e = line[pos++];
        switch (e) {
            case 'a':
                out += u'\a';
                break;
            case 'b':
                out += u'\b';
                break;
            case 't':
                out += u'\t';
                break;
            case 'n':
                out += u'\n';
                break;
            case 'v':
                out += u'\v';
                break;
            case 'f':
                out += u'\f';
                break;
            case 'r':
                out += u'\r';
                break;
            case 'e':
                out += char16_t{0x1B};
                break;
            case 'x': {
                unsigned v = 0;
                int digits = 0;
                while (digits < 4 && pos < line.size() && HexValue(line[pos]) >= 0) {
                    v = v * 16 + static_cast<unsigned>(HexValue(line[pos++]));
                    ++digits;
                }
                out += digits == 0 ? u'x' : static_cast<char16_t>(v);
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unsigned v = static_cast<unsigned>(e - '0');
                    for (int digits = 1;
                         digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7';
                         ++digits) {
                        v = v * 8 + static_cast<unsigned>(line[pos++] - '0');
                    }
                    out += static_cast<char16_t>(v);
                } else {
                    run += e;
                }
                break;
        }
    }
    return std::nullopt;
}

enum class Quoting { Value, KeyPath };

void WriteEscaped(std::string& out, std::u16string_view units, Quoting quoting) {
    char buffer[8];
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        const char16_t next = i + 1 < units.size() ? units[i + 1] : char16_t{0};
        switch (c) {
            case u'\\':
                out += "\\\\";
                continue;
            case u'\a':
                out += "\\a";
                continue;
            case u'\b':
                out += "\\b";
                continue;
            case u'\t':
                out += "\\t";
                continue;
            case u'\n':
                out += "\\n";
                continue;
            case u'\v':
                out += "\\v";
                continue;
            case u'\f':
                out += "\\f";
                continue;
            case u'\r':
                out += "\\r";
                continue;
            case char16_t{0x1B}:
                out += "\\e";
                continue;
            default:
                break;
        }
        if (c == u'"' && quoting == Quoting::Value) {
            out += "\\\"";
        } else if ((c == u'[' || c == u']') && quoting == Quoting::KeyPath) {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            const bool octalNext = next >= u'0' && next <= u'7';
            std::snprintf(buffer, sizeof buffer, octalNext ? "\\%03o" : "\\%o",
                          static_cast<unsigned>(c));
            out += buffer;
        } else if (c > 0x7F) {
            std::snprintf(buffer, sizeof buffer, IsHexDigit(next) ? "\\x%04x" : "\\x%x",
                          static_cast<unsigned>(c));
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
}

std::vector<BYTE> UnitsToBytes(std::u16string_view units, bool terminate) {
    std::vector<BYTE> bytes;
    bytes.reserve((units.size() + 1) * 2);
    for (const char16_t u : units) {
        bytes.push_back(static_cast<BYTE>(u & 0xFF));
        bytes.push_back(static_cast<BYTE>(u >> 8));
    }
    if (terminate) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

// The separator sorts before every other character, so that a key's subkeys follow it
// directly and siblings sort by their names alone.
unsigned SortWeight(char16_t c) {
    return c == u'\\' ? 0u : static_cast<unsigned>(c) + 1u;
}

bool ParseHexNumber(std::string_view s, DWORD& value) {
    if (s.empty() || s.size() > 8) {
        return false;
    }
    value = 0;
    for (const char c : s) {
        const int v = HexValue(c);
        if (v < 0) {
            return false;
        }
        value = value * 16 + static_cast<DWORD>(v);
    }
    return true;
}

bool ParseHexBytes(std::string_view s, std::vector<BYTE>& bytes) {
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) {
            ++i;
        }
    };
    skipBlanks();
    if (i == s.size()) {
        return true;
    }
    for (;;) {
        int digits = 0;
        unsigned v = 0;
        while (digits < 2 && i < s.size() && HexValue(s[i]) >= 0) {
            v = v * 16 + static_cast<unsigned>(HexValue(s[i++]));
            ++digits;
        }
        if (digits == 0) {
            return false;
        }
        bytes.push_back(static_cast<BYTE>(v));
        skipBlanks();
        if (i == s.size()) {
            return true;
        }
        if (s[i] != ',') {
            return false;
        }
        ++i;
        skipBlanks();
        if (i == s.size()) {
            return true;  // a trailing comma, as a hand-joined line may leave
        }
    }
}

// Parses the part of a value line after "=".
bool ParseData(std::string_view s, Value& value) {
    std::size_t pos = 0;
    auto quoted = [&](DWORD type) {
        ++pos;
        auto units = ReadEscaped(s, pos, '"');
        if (!units || pos != s.size()) {
            return false;
        }
        value.type = type;
        value.data = UnitsToBytes(*units, true);
        return true;
    };
    if (s.starts_with('"')) {
        return quoted(REG_SZ);
    }
    auto typed = [&](std::string_view prefix, DWORD& type) {
        if (!s.starts_with(prefix)) {
            return false;
        }
        const auto close = s.find("):", prefix.size());
        if (close == std::string_view::npos ||
            !ParseHexNumber(s.substr(prefix.size(), close - prefix.size()), type)) {
            return false;
        }
        pos = close + 2;
        return true;
    };
    DWORD type = 0;
    if (typed("str(", type)) {
        return pos < s.size() && s[pos] == '"' && quoted(type);
    }
    if (s.starts_with("dword:")) {
        DWORD v = 0;
        if (s.size() != 6 + 8 || !ParseHexNumber(s.substr(6), v)) {
            return false;
        }
        value.type = REG_DWORD;
        value.data = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                      static_cast<BYTE>(v >> 24)};
        return true;
    }
    if (s.starts_with("hex:")) {
        type = REG_BINARY;
        pos = 4;
    } else if (!typed("hex(", type)) {
        return false;
    }
    value.type = type;
    value.data.clear();
    return ParseHexBytes(s.substr(pos), value.data);
}

std::string_view NextLine(std::string_view text, std::size_t& pos) {
    const auto end = text.find('\n', pos);
    std::string_view line =
        text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    return line;
}

std::string StampNow(std::uint64_t now, std::string& time) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%llx", static_cast<unsigned long long>(now));
    time = buffer;
    const std::uint64_t seconds = now / 10000000ULL;
    const long long unixSeconds =
        seconds >= 11644473600ULL ? static_cast<long long>(seconds - 11644473600ULL) : 0;
    std::snprintf(buffer, sizeof buffer, "%lld", unixSeconds);
    return buffer;
}

}  // namespace

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

bool PathLess::operator()(const std::u16string& a, const std::u16string& b) const {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned x = SortWeight(a[i]);
        const unsigned y = SortWeight(b[i]);
        if (x != y) {
            return x < y;
        }
    }
    return a.size() < b.size();
}

const Value* Key::FindValue(std::u16string_view name) const {
    const auto it = std::lower_bound(
        values.begin(), values.end(), name,
        [](const Value& v, std::u16string_view n) { return text::CompareNoCase(v.name, n) < 0; });
    if (it != values.end() && text::EqualNoCase(it->name, name)) {
        return &*it;
    }
    return nullptr;
}

std::uint64_t FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
    return static_cast<std::uint64_t>(seconds + 11644473600LL) * 10000000ULL +
           static_cast<std::uint64_t>(nanoseconds / 100);
}

Hive Hive::Empty(std::string_view root) {
    Hive hive;
    hive.m_header = std::string(kSignature) + "\n;; All keys relative to " + std::string(root) +
                    "\n\n#arch=win64\n\n";
    return hive;
}

void Hive::EnsureHeader(std::string_view root) {
    if (m_header.empty()) {
        m_header = Empty(root).m_header;
    }
}

const Key* Hive::Find(std::u16string_view path) const {
    const auto it = m_keys.find(text::FoldCase(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

bool Hive::Exists(std::u16string_view path) const {
    const std::u16string folded = text::FoldCase(path);
    const auto it = m_keys.lower_bound(folded);
    if (it == m_keys.end()) {
        return false;
    }
    const std::u16string& found = it->first;
    return found == folded || (found.size() > folded.size() && found.starts_with(folded) &&
                               found[folded.size()] == u'\\');
}

Key& Hive::Touch(std::u16string_view path, std::uint64_t now) {
    auto [it, inserted] = m_keys.try_emplace(text::FoldCase(path));
    Key& key = it->second;
    if (inserted) {
        key.path = std::u16string(path);
    }
    key.stamp = StampNow(now, key.time);
    return key;
}

bool Hive::SetValue(std::u16string_view path, const Value& value, std::uint64_t now) {
    if (const Key* existing = Find(path)) {
        const Value* old = existing->FindValue(value.name);
        if (old != nullptr && old->type == value.type && old->data == value.data) {
            return false;
        }
    }
    Key& key = Touch(path, now);
    const auto it = std::lower_bound(
        key.values.begin(), key.values.end(), value.name,
        [](const Value& v, std::u16string_view n) { return text::CompareNoCase(v.name, n) < 0; });
    if (it != key.values.end() && text::EqualNoCase(it->name, value.name)) {
        it->type = value.type;
        it->data = value.data;
    } else {
        key.values.insert(it, value);
    }
    return true;
}

bool Hive::DeleteValue(std::u16string_view path, std::u16string_view name, std::uint64_t now) {
    const auto it = m_keys.find(text::FoldCase(path));
    if (it == m_keys.end()) {
        return false;
    }
    auto& values = it->second.values;
    const auto v = std::find_if(values.begin(), values.end(), [&](const Value& candidate) {
        return text::EqualNoCase(candidate.name, name);
    });
    if (v == values.end()) {
        return false;
    }
    values.erase(v);
    it->second.stamp = StampNow(now, it->second.time);
    return true;
}

Hive Hive::Parse(std::string_view text) {
    Hive hive;
    std::size_t pos = 0;
    if (NextLine(text, pos) != kSignature) {
        hive.m_damaged = true;
        return hive;
    }
    hive.m_header = std::string(kSignature) + "\n";

    Key* current = nullptr;
    bool inHeader = true;
    while (pos < text.size()) {
        std::string_view line = NextLine(text, pos);
        if (line.starts_with('[')) {
            inHeader = false;
            current = nullptr;
            std::size_t at = 1;
            auto path = ReadEscaped(line, at, ']');
            std::string_view rest = path ? line.substr(at) : std::string_view{};
            if (!rest.empty() && rest.front() == ' ') {
                rest.remove_prefix(1);
            }
            const bool stampOk =
                std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (!path || path->empty() || !stampOk) {
                hive.m_damaged = true;
                continue;
            }
            auto [it, inserted] = hive.m_keys.try_emplace(text::FoldCase(*path));
            current = &it->second;
            if (inserted) {
                current->path = *path;
            }
            current->stamp = std::string(rest);
            continue;
        }
        if (line.empty() || line.starts_with(';')) {
            if (inHeader) {
                hive.m_header.append(line).append("\n");
            }
            continue;
        }
        if (line.starts_with('#')) {
            if (inHeader) {
                hive.m_header.append(line).append("\n");
            } else if (current == nullptr) {
                continue;
            } else if (line.starts_with("#time=")) {
                const std::string_view hex = line.substr(6);
                const bool ok =
                    !hex.empty() && hex.size() <= 16 &&
                    std::all_of(hex.begin(), hex.end(), [](char c) { return HexValue(c) >= 0; });
                if (ok) {
                    current->time = std::string(hex);
                } else {
                    hive.m_damaged = true;
                }
            } else if (line.starts_with("#class=\"")) {
                std::size_t at = 8;
                auto cls = ReadEscaped(line, at, '"');
                if (cls && at == line.size()) {
                    current->className = *cls;
                } else {
                    hive.m_damaged = true;
                }
            } else if (line == "#link") {
                current->link = true;
            }
            continue;
        }
        if (line.front() != '@' && line.front() != '"') {
            hive.m_damaged = true;
            continue;
        }
        // A value; hex data may go on over several lines, each but the last ending in "\".
        std::string joined(line);
        while (joined.ends_with('\\') && pos < text.size()) {
            joined.pop_back();
            std::string_view more = NextLine(text, pos);
            while (!more.empty() && (more.front() == ' ' || more.front() == '\t')) {
                more.remove_prefix(1);
            }
            joined.append(more);
        }
        if (joined.ends_with('\\')) {
            joined.pop_back();  // the file ends inside the value
            hive.m_damaged = true;
        }
        Value value;
        std::size_t at = 1;
        if (joined.front() == '"') {
            auto name = ReadEscaped(joined, at, '"');
            if (!name) {
                hive.m_damaged = true;
                continue;
            }
            value.name = *name;
        }
        if (at >= joined.size() || joined[at] != '=' ||
            !ParseData(std::string_view(joined).substr(at + 1), value) || current == nullptr) {
            hive.m_damaged = true;
            continue;
        }
        auto& values = current->values;
        const auto it = std::lower_bound(values.begin(), values.end(), value.name,
                                         [](const Value& v, std::u16string_view n) {
                                             return text::CompareNoCase(v.name, n) < 0;
                                         });
        if (it != values.end() && text::EqualNoCase(it->name, value.name)) {
            *it = std::move(value);
        } else {
            values.insert(it, std::move(value));
        }
    }
    return hive;
}

std::string Hive::Serialize() const {
    std::string out = m_header.empty() ? std::string(kSignature) + "\n\n" : m_header;
    char buffer[32];
    bool first = true;
    for (auto it = m_keys.begin(); it != m_keys.end(); ++it) {
        const Key& key = it->second;
        const auto next = std::next(it);
        const bool hasSubkey = next != m_keys.end() && next->first.size() > it->first.size() &&
                               next->first.starts_with(it->first) &&
                               next->first[it->first.size()] == u'\\';
        if (key.values.empty() && !key.className && !key.link && hasSubkey) {
            continue;
        }
        // Keys are separated by one blank line; the header ends with one.
        if (!first) {
            out += '\n';
        }
        first = false;
        out += '[';
        WriteEscaped(out, key.path, Quoting::KeyPath);
        out += ']';
        if (!key.stamp.empty()) {
            out += ' ';
            out += key.stamp;
        }
        out += '\n';
        if (!key.time.empty()) {
            out += "#time=" + key.time + "\n";
        }
        if (key.className) {
            out += "#class=\"";
            WriteEscaped(out, *key.className, Quoting::Value);
            out += "\"\n";
        }
        if (key.link) {
            out += "#link\n";
        }
        for (const Value& value : key.values) {
            const std::size_t lineStart = out.size();
            if (value.name.empty()) {
                out += '@';
            } else {
                out += '"';
                WriteEscaped(out, value.name, Quoting::Value);
                out += '"';
            }
            out += '=';
            const auto& d = value.data;
            const bool wellFormedString = IsStringType(value.type) && !d.empty() &&
                                          d.size() % 2 == 0 && d[d.size() - 1] == 0 &&
                                          d[d.size() - 2] == 0;
            if (wellFormedString) {
                if (value.type != REG_SZ) {
                    std::snprintf(buffer, sizeof buffer, "str(%x):", value.type);
                    out += buffer;
                }
                std::u16string units;
                units.reserve(d.size() / 2);
                for (std::size_t i = 0; i + 2 < d.size(); i += 2) {
                    units += static_cast<char16_t>(d[i] | (d[i + 1] << 8));
                }
                out += '"';
                WriteEscaped(out, units, Quoting::Value);
                out += "\"\n";
                continue;
            }
            if (value.type == REG_DWORD && d.size() == 4) {
                const DWORD v = static_cast<DWORD>(d[0]) | (static_cast<DWORD>(d[1]) << 8) |
                                (static_cast<DWORD>(d[2]) << 16) | (static_cast<DWORD>(d[3]) << 24);
                std::snprintf(buffer, sizeof buffer, "dword:%08x\n", v);
                out += buffer;
                continue;
            }
            if (value.type == REG_BINARY) {
                out += "hex:";
            } else {
                std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
                out += buffer;
            }
            std::size_t column = out.size() - lineStart;
            for (std::size_t i = 0; i < d.size(); ++i) {
                std::snprintf(buffer, sizeof buffer, "%02x", d[i]);
                out += buffer;
                column += 3;
                if (i + 1 == d.size()) {
                    break;
                }
                out += ',';
                if (column > 76) {
                    out += "\\\n  ";
                    column = 2;
                }
            }
            out += '\n';
        }
    }
    return out;
}

}  // namespace win::reg
