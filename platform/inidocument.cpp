#include "platform/inidocument.h"

#include <algorithm>
#include <utility>

#include "platform/unicode.h"

namespace win::ini {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
}

}  // namespace

IniDocument IniDocument::Parse(std::string_view bytes) {
    IniDocument doc;
    if (bytes.substr(0, kBom.size()) == kBom) {
        doc.m_bom = kBom;
        bytes.remove_prefix(kBom.size());
    }
    while (!bytes.empty()) {
        const auto newline = bytes.find('\n');
        if (newline == std::string_view::npos) {
            doc.m_lines.push_back(MakeLine(std::string(bytes), Ending::kNone));
            break;
        }
        std::string_view text = bytes.substr(0, newline);
        Ending ending = Ending::kLf;
        if (!text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
            ending = Ending::kCrLf;
        }
        doc.m_lines.push_back(MakeLine(std::string(text), ending));
        bytes.remove_prefix(newline + 1);
    }
    return doc;
}

IniDocument::Line IniDocument::MakeLine(std::string text, Ending ending) {
    Line line;
    line.ending = ending;
    const std::string_view content = Trim(text);
    if (content.empty()) {
        line.kind = Kind::kBlank;
    } else if (content.front() == ';' || content.front() == '#') {
        line.kind = Kind::kComment;
    } else if (content.front() == '[') {
        const auto close = content.find(']');
        if (close != std::string_view::npos) {
            line.kind = Kind::kSection;
            line.name = Trim(content.substr(1, close - 1));
        }
    } else if (const auto equals = text.find('='); equals != std::string::npos) {
        line.kind = Kind::kKey;
        line.name = Trim(std::string_view(text).substr(0, equals));
        line.valueAt = equals + 1;
    }
    line.text = std::move(text);
    return line;
}

std::string IniDocument::Serialise() const {
    std::size_t size = m_bom.size();
    for (const Line& line : m_lines) {
        size += line.text.size() + 2;
    }
    std::string out;
    out.reserve(size);
    out += m_bom;
    for (const Line& line : m_lines) {
        out += line.text;
        if (line.ending == Ending::kLf) {
            out += '\n';
        } else if (line.ending == Ending::kCrLf) {
            out += "\r\n";
        }
    }
    return out;
}

std::string IniDocument::ReadForm(std::string_view stored) {
    std::string_view value = Trim(stored);
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == '"' || value.front() == '\'')) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

std::size_t IniDocument::FindSection(std::string_view section) const {
    const std::string_view wanted = Trim(section);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::kSection && text::EqualNoCaseAscii(m_lines[i].name, wanted)) {
            return i;
        }
    }
    return m_lines.size();
}

std::size_t IniDocument::SectionEnd(std::size_t header) const {
    std::size_t end = header + 1;
    while (end < m_lines.size() && m_lines[end].kind != Kind::kSection) {
        ++end;
    }
    return end;
}

std::size_t IniDocument::FindKey(std::size_t header, std::string_view key) const {
    const std::string_view wanted = Trim(key);
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (m_lines[i].kind == Kind::kKey && text::EqualNoCaseAscii(m_lines[i].name, wanted)) {
            return i;
        }
    }
    return m_lines.size();
}

std::optional<std::string> IniDocument::Value(std::string_view section,
                                              std::string_view key) const {
    const std::size_t header = FindSection(section);
    if (header == m_lines.size()) {
        return std::nullopt;
    }
    const std::size_t at = FindKey(header, key);
    if (at == m_lines.size()) {
        return std::nullopt;
    }
    const Line& line = m_lines[at];
    return ReadForm(std::string_view(line.text).substr(line.valueAt));
}

bool IniDocument::HasSection(std::string_view section) const {
    return FindSection(section) != m_lines.size();
}

bool IniDocument::IsStorable(std::string_view section, std::string_view key,
                             std::string_view value) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) {
        return false;
    }
    const std::string_view name = Trim(key);
    if (section.find(']') != std::string_view::npos || name.find('=') != std::string_view::npos) {
        return false;
    }
    return name.empty() || (name.front() != '[' && name.front() != ';' && name.front() != '#');
}

IniDocument::Ending IniDocument::NewLineEnding() const {
    for (const Line& line : m_lines) {
        if (line.ending != Ending::kNone) {
            return line.ending;
        }
    }
    return Ending::kLf;
}

void IniDocument::EndLastLine() {
    if (!m_lines.empty() && m_lines.back().ending == Ending::kNone) {
        m_lines.back().ending = NewLineEnding();
    }
}

void IniDocument::Insert(std::size_t at, std::string text) {
    const Ending ending = NewLineEnding();
    if (at == m_lines.size()) {
        EndLastLine();
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at),
                   MakeLine(std::move(text), ending));
}

EditResult IniDocument::SetValue(std::string_view section, std::string_view key,
                                 std::string_view value) {
    if (!IsStorable(section, key, value)) {
        return EditResult::kRejected;
    }
    const std::string keyName(Trim(key));
    const std::size_t header = FindSection(section);
    if (header == m_lines.size()) {
        if (!m_lines.empty() && m_lines.back().kind != Kind::kBlank) {
            Insert(m_lines.size(), std::string());
        }
        Insert(m_lines.size(), "[" + std::string(Trim(section)) + "]");
        Insert(m_lines.size(), keyName + "=" + std::string(value));
        return EditResult::kChanged;
    }
    const std::size_t at = FindKey(header, key);
    if (at != m_lines.size()) {
        Line& line = m_lines[at];
        if (ReadForm(std::string_view(line.text).substr(line.valueAt)) == ReadForm(value)) {
            return EditResult::kUnchanged;
        }
        line = MakeLine(line.name + "=" + std::string(value), line.ending);
        return EditResult::kChanged;
    }
    std::size_t after = header;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (m_lines[i].kind == Kind::kKey) {
            after = i;
        }
    }
    Insert(after + 1, keyName + "=" + std::string(value));
    return EditResult::kChanged;
}

EditResult IniDocument::RemoveKey(std::string_view section, std::string_view key) {
    const std::size_t header = FindSection(section);
    if (header == m_lines.size()) {
        return EditResult::kUnchanged;
    }
    const std::string_view wanted = Trim(key);
    const auto first = m_lines.begin() + static_cast<std::ptrdiff_t>(header + 1);
    const auto last = m_lines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(header));
    const auto kept = std::remove_if(first, last, [wanted](const Line& line) {
        return line.kind == Kind::kKey && text::EqualNoCaseAscii(line.name, wanted);
    });
    if (kept == last) {
        return EditResult::kUnchanged;
    }
    m_lines.erase(kept, last);
    return EditResult::kChanged;
}

EditResult IniDocument::RemoveSection(std::string_view section) {
    const std::string_view wanted = Trim(section);
    std::vector<Line> kept;
    bool inRemoved = false;
    for (Line& line : m_lines) {
        if (line.kind == Kind::kSection) {
            inRemoved = text::EqualNoCaseAscii(line.name, wanted);
        }
        if (!inRemoved) {
            kept.push_back(std::move(line));
        }
    }
    const bool changed = kept.size() != m_lines.size();
    m_lines = std::move(kept);
    return changed ? EditResult::kChanged : EditResult::kUnchanged;
}

}  // namespace win::ini
