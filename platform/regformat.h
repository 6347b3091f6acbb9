// A registry hive in memory, and its text form: the format in which Wine keeps its registry
// files ("WINE REGISTRY Version 2"). One reader serves our own hives and a Wine prefix's.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

namespace win::reg {

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

bool IsStringType(DWORD type);

// A value as the registry holds it: strings as UTF-16LE bytes.
struct Value {
    std::u16string name;  // empty: the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::u16string path;  // components joined by single backslashes, as first spelled
    std::string stamp;    // the modification time in seconds after the key line, as written
    std::string time;     // the "#time=" FILETIME in hex, as written; empty when absent
    std::optional<std::u16string> className;
    bool link = false;
    std::vector<Value> values;  // in the registry's order: by lower-case name

    const Value* FindValue(std::u16string_view name) const;
};

// Orders key paths component by component, without regard to case: a key sorts before its
// subkeys, and subkeys by their lower-case names.
struct PathLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const;
};

class Hive {
public:
    // A new, empty hive whose file says its keys are relative to root (for example
    // "REGISTRY\\User\\S-1-5-21-0-0-0-1000").
    static Hive Empty(std::string_view root);

    // Gives a hive read from a file without a valid first line the header of a new one.
    void EnsureHeader(std::string_view root);

    const Key* Find(std::u16string_view path) const;
    // A key exists when it is listed or when one of its subkeys is.
    bool Exists(std::u16string_view path) const;
    // The key at path, listed now if it was not. now is the time of the change as a FILETIME.
    Key& Touch(std::u16string_view path, std::uint64_t now);
    // Sets a value; false when the value already held exactly that type and data.
    bool SetValue(std::u16string_view path, const Value& value, std::uint64_t now);
    bool DeleteValue(std::u16string_view path, std::u16string_view name, std::uint64_t now);

    const std::map<std::u16string, Key, PathLess>& Keys() const { return m_keys; }
    const std::string& Header() const { return m_header; }

    // Reading: true when something in the text could not be read and was left out.
    bool Damaged() const { return m_damaged; }

    static Hive Parse(std::string_view text);
    std::string Serialize() const;

private:
    std::string m_header;  // every line before the first key, as read
    std::map<std::u16string, Key, PathLess> m_keys;
    bool m_damaged = false;
};

// The FILETIME of a moment given as Unix seconds and nanoseconds.
std::uint64_t FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds);

}  // namespace win::reg
