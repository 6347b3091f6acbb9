#include "platform/findfile.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/paths.h"
#include "platform/unicode.h"
#include "platform/winpath.h"

namespace win {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Matches names against the last component of a search pattern, without regard to case.
class NamePattern {
public:
    explicit NamePattern(std::string_view pattern) : m_pattern(Fold(pattern)) {
        // "name.*" also matches "name": the platform treats the dot of an empty extension
        // as present. That is what makes "*.*" match every name.
        if (m_pattern.size() >= 2 && m_pattern.ends_with(u".*")) {
            m_withoutExtension = m_pattern.substr(0, m_pattern.size() - 2);
        }
    }

    bool Matches(std::string_view name) const {
        const std::u16string folded = Fold(name);
        return Glob(m_pattern, folded) || (m_withoutExtension && Glob(*m_withoutExtension, folded));
    }

private:
    static std::u16string Fold(std::string_view s) { return text::FoldCase(text::ToUtf16(s)); }

    static bool Glob(std::u16string_view pattern, std::u16string_view name) {
        std::size_t p = 0;
        std::size_t n = 0;
        std::size_t starAt = std::u16string_view::npos;
        std::size_t resumeAt = 0;
        while (n < name.size()) {
            if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
                ++p;
                ++n;
            } else if (p < pattern.size() && pattern[p] == u'*') {
                starAt = p++;
                resumeAt = n;
            } else if (starAt != std::u16string_view::npos) {
                p = starAt + 1;
                n = ++resumeAt;
            } else {
                return false;
            }
        }
        while (p < pattern.size() && pattern[p] == u'*') {
            ++p;
        }
        return p == pattern.size();
    }

    std::u16string m_pattern;
    std::optional<std::u16string> m_withoutExtension;
};

struct FoundEntry {
    std::string name;
    DWORD attributes = 0;
    std::uint64_t size = 0;
};

FoundEntry Describe(const std::string& folder, const std::string& name) {
    const std::string path = winpath::JoinPath(folder, name);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) {
        st = {};
    }
    FoundEntry entry;
    entry.name = name;
    if (S_ISDIR(st.st_mode)) {
        entry.attributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        entry.size = static_cast<std::uint64_t>(st.st_size);
    }
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        entry.attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (entry.attributes == 0) {
        entry.attributes = FILE_ATTRIBUTE_NORMAL;
    }
    return entry;
}

// The matches of one search, handed out one at a time.
class FindSearch {
public:
    explicit FindSearch(std::vector<FoundEntry> entries) : m_entries(std::move(entries)) {}

    bool Next(WIN32_FIND_DATA& data) {
        if (m_next >= m_entries.size()) {
            return false;
        }
        const FoundEntry& entry = m_entries[m_next++];
        data.dwFileAttributes = entry.attributes;
        data.nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(entry.size & 0xFFFFFFFFu);
        const std::size_t n = std::min<std::size_t>(entry.name.size(), MAX_PATH - 1);
        std::memcpy(data.cFileName, entry.name.data(), n);
        data.cFileName[n] = '\0';
        return true;
    }

private:
    std::vector<FoundEntry> m_entries;
    std::size_t m_next = 0;
};

// The open searches. A handle is the address of its search; only handles in the table are
// accepted, so a stale or foreign handle is refused rather than followed.
class SearchTable {
public:
    HANDLE Add(std::unique_ptr<FindSearch> search) {
        const std::lock_guard lock(m_mutex);
        HANDLE handle = search.get();
        m_searches.emplace(handle, std::move(search));
        return handle;
    }

    // Runs action on the search while holding the table, so a concurrent FindClose cannot
    // free it in between. False when the handle is not an open search.
    template <typename Action>
    bool With(HANDLE handle, Action&& action) {
        const std::lock_guard lock(m_mutex);
        const auto it = m_searches.find(handle);
        if (it == m_searches.end()) {
            return false;
        }
        action(*it->second);
        return true;
    }

    bool Remove(HANDLE handle) {
        const std::lock_guard lock(m_mutex);
        return m_searches.erase(handle) == 1;
    }

private:
    std::mutex m_mutex;
    std::unordered_map<HANDLE, std::unique_ptr<FindSearch>> m_searches;
};

SearchTable& Searches() {
    static SearchTable table;
    return table;
}

DWORD ErrorFor(winpath::Status status) {
    switch (status) {
        case winpath::Status::FolderMissing:
            return ERROR_PATH_NOT_FOUND;
        case winpath::Status::InvalidName:
            return ERROR_INVALID_NAME;
        case winpath::Status::Found:
        case winpath::Status::FileMissing:
            break;
    }
    return ERROR_FILE_NOT_FOUND;
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

std::vector<std::string> MatchingNames(const std::string& folder, const NamePattern& pattern) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != ".." && pattern.Matches(name)) {
            names.emplace_back(name);
        }
    }
    return names;
}

}  // namespace

HANDLE FindFirstFile(LPCSTR pattern, WIN32_FIND_DATA* data) {
    if (pattern == nullptr || data == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const winpath::ParsedPath parsed = winpath::Parse(pattern, paths::WinePrefix());
    if (parsed.status != winpath::Status::Found) {
        return Fail(ErrorFor(parsed.status));
    }
    if (parsed.trailingSeparator || parsed.components.empty()) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    const std::size_t folders = parsed.components.size() - 1;
    for (std::size_t i = 0; i < folders; ++i) {
        if (winpath::HasWildcard(parsed.components[i])) {
            return Fail(ERROR_INVALID_NAME);
        }
    }
    const winpath::Lookup folder = winpath::ResolveFolders(parsed, folders);
    if (folder.status != winpath::Status::Found) {
        return Fail(ErrorFor(folder.status));
    }

    const std::string& last = parsed.components.back();
    std::vector<std::string> names;
    if (winpath::HasWildcard(last)) {
        names = MatchingNames(folder.path, NamePattern(last));
    } else if (auto entry = winpath::FindEntry(folder.path, last, parsed.exactCase)) {
        names.push_back(std::move(*entry));
    }
    if (names.empty()) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int order = text::CompareNoCase(text::ToUtf16(a), text::ToUtf16(b));
        return order != 0 ? order < 0 : a < b;
    });

    std::vector<FoundEntry> entries;
    entries.reserve(names.size());
    for (const auto& name : names) {
        entries.push_back(Describe(folder.path, name));
    }
    auto search = std::make_unique<FindSearch>(std::move(entries));
    search->Next(*data);
    SetLastError(ERROR_SUCCESS);
    return Searches().Add(std::move(search));
}

BOOL FindNextFile(HANDLE search, WIN32_FIND_DATA* data) {
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool found = false;
    if (!Searches().With(search, [&](FindSearch& s) { found = s.Next(*data); })) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!found) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL FindClose(HANDLE search) {
    if (!Searches().Remove(search)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace win
