// Finding the Linux file that a Windows path names. Drive letters are the Wine prefix's
// drives; each component is matched against the real folder entries without regard to
// letter case, as Wine does, so "C:\PROGRAM FILES\x.EXE" finds "Program Files/x.exe".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win::winpath {

// The longest path the program's services accept, in characters (MAX_PATH less the
// terminating null). Longer paths count as missing.
inline constexpr std::size_t kMaxPathChars = 259;

enum class Status {
    Found,
    FileMissing,    // the last component does not exist (or the path cannot exist)
    FolderMissing,  // a folder on the way, or the drive, does not exist
    InvalidName,    // a wildcard in a Windows path
};

// A path taken apart: the Linux folder it starts from and the components that follow it.
// "." components are dropped and ".." ones taken off lexically, so a drive path never
// climbs above its drive.
struct ParsedPath {
    Status status = Status::Found;  // anything else: the path cannot be looked up
    std::string start;
    std::vector<std::string> components;
    bool exactCase = false;  // a Linux path ("/...") is used with its letter case as given
    bool trailingSeparator = false;
};

// Takes apart a Windows drive path ("C:\...", "c:/..."), a Linux absolute path ("/...")
// or a relative path (relative to base, or to the current folder when base is empty;
// matched like a Windows path). UNC paths ("\\server\share"), "\\?\" paths, paths
// relative to the current drive ("\x", "C:x") and paths longer than kMaxPathChars are
// not supported.
ParsedPath Parse(std::string_view path, const std::string& prefix, const std::string& base = {});

// True for "X:" followed by a separator or nothing, X an ASCII letter.
bool IsDrivePath(std::string_view path);

// True when a name holds * or ?.
bool HasWildcard(std::string_view name);

// The Linux folder (canonical) that drive letter stands for in the prefix:
// prefix/dosdevices/x:, else prefix/drive_c for C: and / for Z:. Empty when there is none.
std::string DriveFolder(char letter, const std::string& prefix);

// The name of the entry of folder that name stands for: name itself when it exists, else
// (unless exactCase) the entry equal to it without regard to letter case; when several
// are, the first in byte order. Nothing when there is none.
std::optional<std::string> FindEntry(const std::string& folder, std::string_view name,
                                     bool exactCase);

// folder + "/" + name, without doubling the slash of "/".
std::string JoinPath(const std::string& folder, std::string_view name);

struct Lookup {
    Status status = Status::FileMissing;
    std::string path;  // when Found: the Linux path, every component in its real case
};

// Walks the first count components of parsed, each of which must be a folder.
Lookup ResolveFolders(const ParsedPath& parsed, std::size_t count);

// The Linux file or folder that path names. A trailing separator requires a folder.
Lookup Resolve(std::string_view path, const std::string& prefix, const std::string& base = {});
// The same in the user's Wine prefix (win::paths::WinePrefix()).
Lookup Resolve(std::string_view path);

}  // namespace win::winpath
