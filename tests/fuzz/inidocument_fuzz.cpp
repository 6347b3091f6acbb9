// Feeds arbitrary bytes to the INI reader, queries it, applies one edit and checks that the
// document stays consistent: an unedited document writes back its exact input, an edit does
// what it says, and the edited text reads back as the edited document.
//
// Input layout: one operation byte, then three short texts (section, key, value) each ended
// by a byte 0x01, then the file's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/inidocument.h"

namespace {

using win::ini::EditResult;
using win::ini::IniDocument;

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

std::string_view TakeField(std::string_view& input) {
    const auto end = input.find('\x01');
    const std::string_view field = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    return field;
}

// Everything a reader could observe for the names under test.
struct Observed {
    std::optional<std::string> value;
    std::optional<std::string> other;
    bool hasSection;
    bool hasOtherSection;

    bool operator==(const Observed&) const = default;
};

Observed Observe(const IniDocument& doc, std::string_view section, std::string_view key) {
    return {doc.Value(section, key), doc.Value("main", "key"), doc.HasSection(section),
            doc.HasSection("main")};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.empty()) {
        return 0;
    }
    const unsigned op = static_cast<unsigned char>(input.front()) % 3;
    input.remove_prefix(1);
    const std::string_view section = TakeField(input);
    const std::string_view key = TakeField(input);
    const std::string_view value = TakeField(input);

    IniDocument doc = IniDocument::Parse(input);
    Check(doc.Serialise() == input);
    const Observed before = Observe(doc, section, key);
    if (before.value) {
        Check(before.hasSection);
    }

    EditResult result = EditResult::kUnchanged;
    if (op == 0) {
        result = doc.SetValue(section, key, value);
        Check((result == EditResult::kRejected) != IniDocument::IsStorable(section, key, value));
        if (result != EditResult::kRejected) {
            Check(doc.Value(section, key) == IniDocument::ReadForm(value));
            Check((result == EditResult::kUnchanged) ==
                  (before.value == IniDocument::ReadForm(value)));
            Check(doc.SetValue(section, key, value) == EditResult::kUnchanged);
        }
    } else if (op == 1) {
        result = doc.RemoveKey(section, key);
        Check(!doc.Value(section, key));
        Check((result == EditResult::kChanged) == before.value.has_value());
        Check(doc.HasSection(section) == before.hasSection);
    } else {
        result = doc.RemoveSection(section);
        Check(!doc.HasSection(section));
        Check((result == EditResult::kChanged) == before.hasSection);
    }

    const std::string edited = doc.Serialise();
    if (result != EditResult::kChanged) {
        Check(edited == input);
        return 0;
    }
    // The written text reads back as the edited document, and writes back unchanged.
    const IniDocument reread = IniDocument::Parse(edited);
    Check(reread.Serialise() == edited);
    Check(Observe(reread, section, key) == Observe(doc, section, key));
    return 0;
}
