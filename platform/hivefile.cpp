#include "platform/hivefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/atomicfile.h"

namespace win::reg {

namespace {

std::shared_ptr<const Hive> EmptyHive() {
    static const auto empty = std::make_shared<const Hive>();
    return empty;
}

bool ReadFd(int fd, std::string& content) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return true;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::uint64_t Now() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return FileTimeFromUnix(ts.tv_sec, ts.tv_nsec);
}

HiveFile::HiveFile(std::string path, std::string root)
    : m_path(std::move(path)), m_root(std::move(root)) {}

HiveFile::Snapshot HiveFile::Current() const {
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {errno == ENOENT || errno == ENOTDIR ? State::Missing : State::Unreadable,
                EmptyHive()};
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {State::Unreadable, EmptyHive()};
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    auto& c = m_cache;
    if (c.valid && c.device == st.st_dev && c.inode == st.st_ino &&
        c.size == static_cast<unsigned long long>(st.st_size) &&
        c.mtimeSeconds == st.st_mtim.tv_sec && c.mtimeNanos == st.st_mtim.tv_nsec) {
        ::close(fd);
        return {State::Read, c.hive};
    }
    std::string content;
    const bool ok = ReadFd(fd, content);
    ::close(fd);
    if (!ok) {
        return {State::Unreadable, EmptyHive()};
    }
    auto hive = std::make_shared<const Hive>(Hive::Parse(content));
    c.valid = true;
    c.device = st.st_dev;
    c.inode = st.st_ino;
    c.size = static_cast<unsigned long long>(st.st_size);
    c.mtimeSeconds = st.st_mtim.tv_sec;
    c.mtimeNanos = st.st_mtim.tv_nsec;
    c.hive = hive;
    return {State::Read, hive};
}

std::shared_ptr<const Hive> HiveFile::Load() const {
    return Current().hive;
}

LONG HiveFile::Update(const std::function<bool(Hive&)>& change) {
    fs::FileLock lock(m_path);
    if (!lock.Held()) {
        return ERROR_ACCESS_DENIED;
    }
    fs::RemoveStaleTemporaries(m_path);
    const Snapshot now = Current();
    if (now.state == State::Unreadable) {
        return ERROR_ACCESS_DENIED;
    }
    Hive hive = *now.hive;
    bool movedAside = false;
    std::string aside;
    if (now.state == State::Read && hive.Damaged()) {
        aside = m_path + ".corrupt";
        for (int n = 2; Exists(aside) && n < 1000; ++n) {
            aside = m_path + ".corrupt." + std::to_string(n);
        }
        if (::rename(m_path.c_str(), aside.c_str()) != 0) {
            return ERROR_ACCESS_DENIED;
        }
        movedAside = true;
    }
    hive.EnsureHeader(m_root);
    const bool changed = change(hive);
    if (!changed && !movedAside) {
        return ERROR_SUCCESS;
    }
    if (!fs::ReplaceFile(m_path, hive.Serialize())) {
        if (movedAside) {
            ::rename(aside.c_str(), m_path.c_str());
        }
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

}  // namespace win::reg
