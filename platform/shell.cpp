#include "platform/shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/cmdline.h"
#include "platform/paths.h"
#include "platform/spawn.h"
#include "platform/unicode.h"
#include "platform/winpath.h"

namespace win {

namespace {

HINSTANCE Result(INT code) {
    if (code <= 32) {
        SetLastError(static_cast<DWORD>(code));
    }
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(code));
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "http:", "mailto:", "ftp:"...: a letter, then letters, digits, '+', '-' or '.', at least
// two in all (one letter is a drive), then ':'.
bool IsUrl(std::string_view file) {
    const std::size_t colon = file.find(':');
    if (colon == std::string_view::npos || colon < 2 || !IsAsciiLetter(file[0])) {
        return false;
    }
    for (std::size_t i = 1; i < colon; ++i) {
        const char c = file[i];
        if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

bool IsWindowsProgramName(std::string_view name) {
    if (name.size() < 4) {
        return false;
    }
    const std::string_view extension = name.substr(name.size() - 4);
    return text::EqualNoCaseAscii(extension, ".exe") || text::EqualNoCaseAscii(extension, ".com") ||
           text::EqualNoCaseAscii(extension, ".bat");
}

bool IsBareName(std::string_view file) {
    return file.find_first_of("/\\") == std::string::npos;
}

// What ShellExecute starts, once the file has been found.
struct Target {
    enum class Kind { Url, Wine, Direct, Open };
    Kind kind = Kind::Open;
    std::string path;  // the URL, or the Linux path of what was found
};

// Finds the file ShellExecute was given. Returns 0, or the error code.
class TargetFinder {
public:
    TargetFinder(std::string prefix, std::string base)
        : m_prefix(std::move(prefix)), m_base(std::move(base)) {}

    INT Find(std::string_view file, Target& target) const {
        if (IsUrl(file)) {
            target = {Target::Kind::Url, std::string(file)};
            return 0;
        }
        std::string found = IsBareName(file) ? FindBareName(file) : FindPath(file);
        struct stat st {};
        // A dangling link is found by name but there is nothing to run or open.
        if (found.empty() || ::stat(found.c_str(), &st) != 0) {
            return SE_ERR_FNF;
        }
        target = {Classify(file, found, st), std::move(found)};
        return 0;
    }

private:
    static std::string FindBareName(std::string_view name) {
        const std::string folder = paths::ExecutableFolder();
        if (const auto entry = winpath::FindEntry(folder, name, false)) {
            return winpath::JoinPath(folder, *entry);
        }
        // A Windows program need not carry the execute permission.
        return process::FindOnPath(name, !IsWindowsProgramName(name));
    }

    std::string FindPath(std::string_view file) const {
        winpath::Lookup lookup = winpath::Resolve(file, m_prefix, m_base);
        return lookup.status == winpath::Status::Found ? std::move(lookup.path) : std::string();
    }

    static Target::Kind Classify(std::string_view file, const std::string& found,
                                 const struct stat& st) {
        if (S_ISDIR(st.st_mode)) {
            return Target::Kind::Open;
        }
        if (IsWindowsProgramName(found)) {
            return Target::Kind::Wine;
        }
        // A file of the Windows side that is not a program is a document.
        if (winpath::IsDrivePath(file)) {
            return Target::Kind::Open;
        }
        return S_ISREG(st.st_mode) && ::access(found.c_str(), X_OK) == 0 ? Target::Kind::Direct
                                                                         : Target::Kind::Open;
    }

    std::string m_prefix;
    std::string m_base;
};

INT CodeForErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case ETXTBSY:
            return SE_ERR_ACCESSDENIED;
        case ENOMEM:
        case EAGAIN:
        case E2BIG:
            return SE_ERR_OOM;
        case ENOEXEC:
            return ERROR_BAD_FORMAT;
        default:
            return SE_ERR_FNF;
    }
}

// The command that runs target, and the environment it needs. Returns 0 or the error code.
INT BuildCommand(const Target& target, std::string_view parameters, const std::string& prefix,
                 std::vector<std::string>& argv,
                 std::vector<std::pair<std::string, std::string>>& env) {
    switch (target.kind) {
        case Target::Kind::Url:
        case Target::Kind::Open:
            if (process::FindOnPath("xdg-open").empty()) {
                return SE_ERR_NOASSOC;
            }
            argv = {"xdg-open", target.path};
            return 0;
        case Target::Kind::Wine:
            if (process::FindOnPath("wine").empty()) {
                return SE_ERR_NOASSOC;
            }
            argv = {"wine", target.path};
            env.emplace_back("WINEPREFIX", prefix);
            break;
        case Target::Kind::Direct:
            argv = {target.path};
            break;
    }
    for (auto& arg : cmdline::SplitCommandLine(parameters)) {
        argv.push_back(std::move(arg));
    }
    return 0;
}

INT Execute(LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory) {
    if (verb != nullptr && *verb != '\0' && !text::EqualNoCaseAscii(verb, "open")) {
        return SE_ERR_NOASSOC;
    }
    if (file == nullptr || *file == '\0') {
        return SE_ERR_FNF;
    }
    const std::string prefix = paths::WinePrefix();

    std::string workingDir;
    if (directory != nullptr && *directory != '\0') {
        winpath::Lookup lookup = winpath::Resolve(directory, prefix);
        struct stat st {};
        if (lookup.status != winpath::Status::Found || ::stat(lookup.path.c_str(), &st) != 0 ||
            !S_ISDIR(st.st_mode)) {
            return SE_ERR_PNF;
        }
        workingDir = std::move(lookup.path);
    }

    Target target;
    if (const INT error = TargetFinder(prefix, workingDir).Find(file, target); error != 0) {
        return error;
    }
    std::vector<std::string> argv;
    std::vector<std::pair<std::string, std::string>> env;
    if (const INT error =
            BuildCommand(target, parameters != nullptr ? parameters : "", prefix, argv, env);
        error != 0) {
        return error;
    }
    int spawnError = 0;
    if (!process::SpawnDetached(argv, workingDir, env, &spawnError)) {
        return CodeForErrno(spawnError);
    }
    return SE_LAUNCHED;
}

}  // namespace

HINSTANCE ShellExecute(HWND /*owner*/, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                       LPCSTR directory, INT /*showCommand*/) {
    return Result(Execute(verb, file, parameters, directory));
}

}  // namespace win
