// A registry hive kept in a file that several processes share: reads see a complete file,
// writes are read-modify-write under a lock and replace the file atomically, and a damaged
// file is kept aside instead of being overwritten.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/regformat.h"
#include "platform/wintypes.h"

namespace win::reg {

class HiveFile {
public:
    // root: what the file's header says its keys are relative to.
    HiveFile(std::string path, std::string root);

    // The hive as the file holds it now (an empty one when there is no file). Parsed once per
    // version of the file.
    std::shared_ptr<const Hive> Load() const;

    // Applies change to the current content under the file's lock and writes the result,
    // unless change returns false. A damaged file is first renamed to "<path>.corrupt" (or
    // "<path>.corrupt.N" when that is taken) and what could be read of it is written anew.
    // Returns ERROR_SUCCESS, or ERROR_ACCESS_DENIED when the file cannot be read or written.
    LONG Update(const std::function<bool(Hive&)>& change);

    const std::string& Path() const { return m_path; }

private:
    enum class State { Missing, Read, Unreadable };
    struct Snapshot {
        State state = State::Missing;
        std::shared_ptr<const Hive> hive;
    };
    Snapshot Current() const;

    std::string m_path;
    std::string m_root;
    mutable std::mutex m_mutex;
    mutable struct {
        bool valid = false;
        unsigned long long device = 0, inode = 0, size = 0;
        long long mtimeSeconds = 0, mtimeNanos = 0;
        std::shared_ptr<const Hive> hive;
    } m_cache;
};

// The current time as a FILETIME.
std::uint64_t Now();

}  // namespace win::reg
