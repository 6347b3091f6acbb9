// The text of an INI file as a list of lines that can be queried and edited without disturbing
// anything the edit does not touch: comments, unknown lines, blank lines, a byte order mark and
// the line-ending style all come back byte for byte when the document is written out.
//
// How lines are read (after white space at both ends is set aside):
//   ""                  blank line
//   ";..." or "#..."    comment
//   "[name]..."         section header; the name is what lies between '[' and the first ']',
//                       trimmed; anything after the ']' is ignored. A '[' without ']' is an
//                       odd line, not a header.
//   "name=value"        key line; the name is the text before the first '=', trimmed
//   anything else       odd line, kept and otherwise ignored
// Key lines before the first header belong to no section and are never found.
// Names are compared without regard to ASCII letter case. When a section or a key appears
// twice, the first one counts. There are no comments at the end of a key line: "a=b ; c" has
// the value "b ; c".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win::ini {

// What an edit did to the document.
enum class EditResult {
    kUnchanged,  // a reader would see no difference; the document was left as it was
    kChanged,
    kRejected,  // the names or the value cannot be stored so that they read back the same
};

class IniDocument {
public:
    // Splits bytes into lines. Any bytes are accepted, NULs included.
    static IniDocument Parse(std::string_view bytes);

    // The document's bytes. For a document that was not edited, exactly the parsed bytes.
    std::string Serialise() const;

    // The value of key in section as a reader gets it: white space trimmed at both ends, then
    // one pair of matching quotes (' or ") around the whole value removed. Nothing when the
    // section or the key is absent.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;

    // Gives key in section the value. An existing key line is rewritten in place as
    // "<name as spelled in the file>=<value>", keeping its line ending; a new key goes right
    // after the last key line of the section (after the header when it has none); a new
    // section goes at the end, after a blank line unless the document is empty or already
    // ends with a blank line. New lines use the document's line ending.
    EditResult SetValue(std::string_view section, std::string_view key, std::string_view value);

    // Removes every line of key in the first section of that name.
    EditResult RemoveKey(std::string_view section, std::string_view key);

    // Removes every section of that name: its header and all lines up to the next header.
    EditResult RemoveSection(std::string_view section);

    // What a reader would get for a stored value text (see Value).
    static std::string ReadForm(std::string_view stored);

    // Whether SetValue can store these so that they read back the same: no line break
    // anywhere, no ']' in the section name, no '=' in the key name and no '[', ';' or '#'
    // at its start.
    static bool IsStorable(std::string_view section, std::string_view key, std::string_view value);

private:
    enum class Kind { kBlank, kComment, kSection, kKey, kOther };
    enum class Ending { kNone, kLf, kCrLf };

    struct Line {
        std::string text;  // without the line ending
        Ending ending = Ending::kNone;
        Kind kind = Kind::kOther;
        std::string name;         // section or key name, trimmed, as spelled
        std::size_t valueAt = 0;  // for a key line: where the text after '=' starts
    };

    static Line MakeLine(std::string text, Ending ending);

    // Index of the first header of section, or lines.size().
    std::size_t FindSection(std::string_view section) const;
    // Index one past the last line of the section whose header is at header.
    std::size_t SectionEnd(std::size_t header) const;
    std::size_t FindKey(std::size_t header, std::string_view key) const;
    Ending NewLineEnding() const;
    void EndLastLine();
    void Insert(std::size_t at, std::string text);

    std::string m_bom;  // a UTF-8 byte order mark in front of the first line, if any
    std::vector<Line> m_lines;
};

}  // namespace win::ini
