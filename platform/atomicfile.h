// Whole-file reads and crash-safe replacement of files that several processes may share.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace win::fs {

// The whole content of a file, or nothing when it cannot be read (missing, a directory, no
// permission).
std::optional<std::string> ReadWholeFile(const std::string& path);

// An exclusive advisory lock on "<path>.lock" held for the object's lifetime. Writers of one
// file take it around read-modify-write so that two processes never lose each other's changes.
// The lock file is never removed, so every process locks the same inode.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Replaces the file at path with content: a temporary file in the same folder is written,
// flushed to disk and renamed over the target, then the folder is flushed. A reader sees the
// old file or the new one, never a partial one. Creates missing parent folders (mode 0700).
// Keeps the mode of an existing target. Returns false, leaving the target as it was, on failure.
bool ReplaceFile(const std::string& path, const std::string& content);

// Removes temporaries that an interrupted ReplaceFile of path left behind. Call it while
// holding the path's FileLock, when no other writer can be between write and rename.
void RemoveStaleTemporaries(const std::string& path);

// Creates a folder and its parents, as mkdir -p does. True when the folder exists afterwards.
bool MakeFolders(const std::string& path, unsigned mode = 0700);

// Test hook: called by ReplaceFile after the temporary is complete and before the rename.
void SetBeforeRenameHookForTesting(std::function<void()> hook);

}  // namespace win::fs
