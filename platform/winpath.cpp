#include "platform/winpath.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/paths.h"
#include "platform/unicode.h"

namespace win::winpath {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string Canonical(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

std::string CurrentFolder() {
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    return cwd ? std::string(cwd.get()) : std::string();
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string ParentOf(const std::string& folder) {
    const std::size_t slash = folder.find_last_of('/', folder.size() > 1 ? folder.size() - 2 : 0);
    return slash == std::string::npos || slash == 0 ? std::string("/") : folder.substr(0, slash);
}

// Splits rest into components at any of the separators, dropping empty and "." ones and
// taking ".." off the components before it. A ".." with nothing before it climbs out of
// the start folder when the path may climb (a relative path), else is dropped as at a
// root.
void AddComponents(std::string_view rest, std::string_view separators, bool mayClimb,
                   ParsedPath& out) {
    std::size_t pos = 0;
    while (pos <= rest.size()) {
        std::size_t end = rest.find_first_of(separators, pos);
        if (end == std::string_view::npos) {
            end = rest.size();
        }
        const std::string_view part = rest.substr(pos, end - pos);
        if (part == "..") {
            if (!out.components.empty()) {
                out.components.pop_back();
            } else if (mayClimb) {
                out.start = ParentOf(out.start);
            }
        } else if (!part.empty() && part != ".") {
            out.components.emplace_back(part);
        }
        pos = end + 1;
    }
    out.trailingSeparator = !rest.empty() && separators.find(rest.back()) != std::string_view::npos;
}

ParsedPath Failed(Status status) {
    ParsedPath out;
    out.status = status;
    return out;
}

}  // namespace

bool IsDrivePath(std::string_view path) {
    return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':' &&
           (path.size() == 2 || path[2] == '\\' || path[2] == '/');
}

bool HasWildcard(std::string_view name) {
    return name.find_first_of("*?") != std::string_view::npos;
}

std::string DriveFolder(char letter, const std::string& prefix) {
    const char drive = Lower(letter);
    const std::string device = prefix + "/dosdevices/" + drive + ":";
    if (IsFolder(device)) {
        return Canonical(device);
    }
    if (drive == 'c' && IsFolder(prefix + "/drive_c")) {
        return Canonical(prefix + "/drive_c");
    }
    if (drive == 'z') {
        return "/";
    }
    return {};
}

std::string JoinPath(const std::string& folder, std::string_view name) {
    std::string out = folder;
    if (out.empty() || out.back() != '/') {
        out += '/';
    }
    out += name;
    return out;
}

ParsedPath Parse(std::string_view path, const std::string& prefix, const std::string& base) {
    if (path.empty() || text::ToUtf16(path).size() > kMaxPathChars) {
        return Failed(Status::FileMissing);
    }
    ParsedPath out;
    if (path.front() == '/') {
        out.start = "/";
        out.exactCase = true;
        AddComponents(path.substr(1), "/", false, out);
        return out;
    }
    if (path.front() == '\\') {
        // "\\server\share", "\\?\C:\x" and "\x" (the current drive's root) are not ours.
        return Failed(Status::FolderMissing);
    }
    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') {
        if (!IsDrivePath(path)) {
            return Failed(Status::FolderMissing);
        }
        out.start = DriveFolder(path[0], prefix);
        if (out.start.empty()) {
            return Failed(Status::FolderMissing);
        }
        AddComponents(path.substr(2), "\\/", false, out);
        return out;
    }
    out.start = base.empty() ? CurrentFolder() : base;
    if (out.start.empty()) {
        return Failed(Status::FolderMissing);
    }
    AddComponents(path, "\\/", true, out);
    return out;
}

std::optional<std::string> FindEntry(const std::string& folder, std::string_view name,
                                     bool exactCase) {
    if (name.empty()) {
        return std::nullopt;
    }
    if (Exists(JoinPath(folder, name))) {
        return std::string(name);
    }
    if (exactCase) {
        return std::nullopt;
    }
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) {
        return std::nullopt;
    }
    const std::string wanted = text::FoldCaseUtf8(name);
    std::optional<std::string> best;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view candidate = entry->d_name;
        if (candidate == "." || candidate == "..") {
            continue;
        }
        if (text::FoldCaseUtf8(candidate) == wanted && (!best || candidate < *best)) {
            best = std::string(candidate);
        }
    }
    return best;
}

Lookup ResolveFolders(const ParsedPath& parsed, std::size_t count) {
    Lookup out;
    std::string folder = parsed.start;
    for (std::size_t i = 0; i < count && i < parsed.components.size(); ++i) {
        const auto entry = FindEntry(folder, parsed.components[i], parsed.exactCase);
        if (!entry) {
            out.status = Status::FolderMissing;
            return out;
        }
        folder = JoinPath(folder, *entry);
        if (!IsFolder(folder)) {
            out.status = Status::FolderMissing;
            return out;
        }
    }
    out.status = Status::Found;
    out.path = std::move(folder);
    return out;
}

Lookup Resolve(std::string_view path, const std::string& prefix, const std::string& base) {
    const ParsedPath parsed = Parse(path, prefix, base);
    Lookup out;
    if (parsed.status != Status::Found) {
        out.status = parsed.status;
        return out;
    }
    if (!parsed.exactCase) {
        for (const auto& component : parsed.components) {
            if (HasWildcard(component)) {
                out.status = Status::InvalidName;
                return out;
            }
        }
    }
    if (parsed.components.empty()) {
        return ResolveFolders(parsed, 0);
    }
    const std::size_t folders = parsed.components.size() - 1;
    out = ResolveFolders(parsed, folders);
    if (out.status != Status::Found) {
        return out;
    }
    const auto entry = FindEntry(out.path, parsed.components.back(), parsed.exactCase);
    if (!entry) {
        return Lookup{Status::FileMissing, {}};
    }
    std::string full = JoinPath(out.path, *entry);
    if (parsed.trailingSeparator && !IsFolder(full)) {
        return Lookup{Status::FileMissing, {}};
    }
    return Lookup{Status::Found, std::move(full)};
}

Lookup Resolve(std::string_view path) {
    return Resolve(path, paths::WinePrefix());
}

}  // namespace win::winpath
