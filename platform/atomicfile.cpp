#include "platform/atomicfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

namespace win::fs {

namespace {

std::mutex g_hookMutex;
std::function<void()> g_beforeRename;

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

FileLock::FileLock(const std::string& path) {
    MakeFolders(ParentOf(path));
    const std::string lockPath = path + ".lock";
    m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        return;
    }
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
    }
}

FileLock::~FileLock() {
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }
}

bool MakeFolders(const std::string& path, unsigned mode) {
    if (path.empty()) {
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    const std::string parent = ParentOf(path);
    if (parent != path && !MakeFolders(parent, mode)) {
        return false;
    }
    if (::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0) {
        return true;
    }
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReplaceFile(const std::string& path, const std::string& content) {
    const std::string folder = ParentOf(path);
    if (!MakeFolders(folder)) {
        return false;
    }
    std::string tmpl = path + ".tmpXXXXXX";
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    mode_t mode = 0600;
    if (::stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    }
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) {
        std::function<void()> hook;
        {
            std::lock_guard<std::mutex> lock(g_hookMutex);
            hook = g_beforeRename;
        }
        if (hook) {
            hook();
        }
        ok = ::rename(tmpl.c_str(), path.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(tmpl.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

void RemoveStaleTemporaries(const std::string& path) {
    const std::string folder = ParentOf(path);
    const std::string prefix = BaseOf(path) + ".tmp";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
            ::unlink((folder + "/" + name).c_str());
        }
    }
    ::closedir(dir);
}

void SetBeforeRenameHookForTesting(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_beforeRename = std::move(hook);
}

}  // namespace win::fs
