#include "platform/profile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/atomicfile.h"
#include "platform/inidocument.h"

namespace win {

namespace {

using ini::EditResult;
using ini::IniDocument;

std::optional<std::string> ReadValue(LPCSTR section, LPCSTR key, LPCSTR fileName) {
    if (section == nullptr || key == nullptr || fileName == nullptr) {
        return std::nullopt;
    }
    const std::optional<std::string> content = fs::ReadWholeFile(fileName);
    if (!content) {
        return std::nullopt;
    }
    std::optional<std::string> value = IniDocument::Parse(*content).Value(section, key);
    if (value) {
        // The caller gets a C string: it ends at the first NUL.
        value->resize(std::strlen(value->c_str()));
    }
    return value;
}

UINT ParseProfileInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    UINT result = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        result = result * 10u + static_cast<UINT>(text[i] - '0');
    }
    return negative ? 0u - result : result;
}

// The file's current document; an empty one when the file does not exist yet. Nothing when
// something is there that cannot be read, so that it is never overwritten blindly.
std::optional<IniDocument> LoadForEdit(const std::string& path) {
    if (const std::optional<std::string> content = fs::ReadWholeFile(path)) {
        return IniDocument::Parse(*content);
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
        return IniDocument();
    }
    SetLastError(static_cast<DWORD>(ERROR_ACCESS_DENIED));
    return std::nullopt;
}

}  // namespace

UINT GetPrivateProfileInt(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) {
    const std::optional<std::string> value = ReadValue(section, key, fileName);
    if (!value || value->empty()) {
        return static_cast<UINT>(defaultValue);
    }
    return ParseProfileInt(*value);
}

DWORD GetPrivateProfileString(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                              DWORD size, LPCSTR fileName) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    std::string text;
    if (section != nullptr && key != nullptr) {
        if (std::optional<std::string> value = ReadValue(section, key, fileName)) {
            text = std::move(*value);
        } else if (defaultValue != nullptr) {
            text = defaultValue;
            text.erase(text.find_last_not_of(" \t\r\n\v\f") + 1);
        }
    }
    const std::size_t count = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<DWORD>(count);
}

BOOL WritePrivateProfileString(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
    if (section == nullptr || fileName == nullptr || *fileName == '\0') {
        SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        return FALSE;
    }
    if (key != nullptr && value != nullptr && !IniDocument::IsStorable(section, key, value)) {
        SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        return FALSE;
    }
    const std::string path = fileName;
    const fs::FileLock lock(path);
    if (!lock.Held()) {
        SetLastError(static_cast<DWORD>(ERROR_ACCESS_DENIED));
        return FALSE;
    }
    fs::RemoveStaleTemporaries(path);
    std::optional<IniDocument> doc = LoadForEdit(path);
    if (!doc) {
        return FALSE;
    }
    EditResult result;
    if (key == nullptr) {
        result = doc->RemoveSection(section);
    } else if (value == nullptr) {
        result = doc->RemoveKey(section, key);
    } else {
        result = doc->SetValue(section, key, value);
    }
    if (result == EditResult::kRejected) {
        SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        return FALSE;
    }
    if (result == EditResult::kUnchanged) {
        return TRUE;
    }
    if (!fs::ReplaceFile(path, doc->Serialise())) {
        SetLastError(static_cast<DWORD>(ERROR_WRITE_FAULT));
        return FALSE;
    }
    return TRUE;
}

}  // namespace win
