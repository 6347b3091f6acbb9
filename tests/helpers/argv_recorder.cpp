// Test helper: writes down how it was started, then exits. Tests start it as the program
// itself and, under the names "wine" and "xdg-open", in place of those two.
//
// The record goes to the file named by FW_ARGV_RECORD, written whole under a temporary
// name and renamed, so a reader never sees half of it. Each line is
// "<key> <length>:<bytes>\n", the bytes taken as they are (they may hold newlines):
//   arg         once per argument, argv[0] first
//   cwd         the current folder
//   wineprefix  WINEPREFIX, only when it is set
//   stdin       what descriptor 0 refers to
//   fds         the open descriptors, ascending, separated by commas
//   sid         the session id
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Field(std::string& out, const char* key, const std::string& value) {
    out += key;
    out += ' ';
    out += std::to_string(value.size());
    out += ':';
    out += value;
    out += '\n';
}

std::string OpenDescriptors() {
    std::vector<int> fds;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) {
        return "?";
    }
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && std::stoi(name) != own) {
            fds.push_back(std::stoi(name));
        }
    }
    ::closedir(dir);
    std::sort(fds.begin(), fds.end());
    std::string out;
    for (const int fd : fds) {
        out += (out.empty() ? "" : ",") + std::to_string(fd);
    }
    return out;
}

std::string LinkTarget(const char* path) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path, buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace

int main(int argc, char** argv) {
    const char* target = std::getenv("FW_ARGV_RECORD");
    if (target == nullptr || *target == '\0') {
        return 2;
    }
    // Taken first, before this program opens anything of its own.
    const std::string fds = OpenDescriptors();

    std::string record;
    for (int i = 0; i < argc; ++i) {
        Field(record, "arg", argv[i]);
    }
    char cwd[PATH_MAX];
    Field(record, "cwd", ::getcwd(cwd, sizeof cwd) != nullptr ? cwd : "");
    if (const char* prefix = std::getenv("WINEPREFIX")) {
        Field(record, "wineprefix", prefix);
    }
    Field(record, "stdin", LinkTarget("/proc/self/fd/0"));
    Field(record, "fds", fds);
    Field(record, "sid", std::to_string(::getsid(0)));

    const std::string partial = std::string(target) + ".part";
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) {
        return 3;
    }
    const bool written = std::fwrite(record.data(), 1, record.size(), file) == record.size();
    if (std::fclose(file) != 0 || !written || std::rename(partial.c_str(), target) != 0) {
        return 4;
    }
    return 0;
}
