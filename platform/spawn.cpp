#include "platform/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

extern char** environ;

namespace win::process {

namespace {

constexpr const char* kDefaultPath = "/bin:/usr/bin";

bool IsRunnable(const std::string& path, bool requireExecutable) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    return !requireExecutable || ::access(path.c_str(), X_OK) == 0;
}

std::string SearchPath(std::string_view pathList, std::string_view name, bool requireExecutable) {
    if (name.empty() || name.find('/') != std::string_view::npos) {
        return {};
    }
    std::size_t pos = 0;
    while (pos <= pathList.size()) {
        std::size_t end = pathList.find(':', pos);
        if (end == std::string_view::npos) {
            end = pathList.size();
        }
        const std::string_view folder = pathList.substr(pos, end - pos);
        // An empty entry would mean the current folder; we do not run programs from there.
        if (!folder.empty()) {
            std::string candidate(folder);
            if (candidate.back() != '/') {
                candidate += '/';
            }
            candidate += name;
            if (IsRunnable(candidate, requireExecutable)) {
                return candidate;
            }
        }
        pos = end + 1;
    }
    return {};
}

// Everything the child needs, laid out before the fork so that the child only makes
// system calls.
class LaunchPlan {
public:
    // False with error set when the plan cannot be made.
    bool Prepare(const std::vector<std::string>& argv, const std::string& workingDir,
                 const std::vector<std::pair<std::string, std::string>>& extraEnv, int& error) {
        if (argv.empty() || argv[0].empty()) {
            error = EINVAL;
            return false;
        }
        for (const auto& [name, value] : extraEnv) {
            if (name.empty() || name.find('=') != std::string::npos) {
                error = EINVAL;
                return false;
            }
            m_env.push_back(name + "=" + value);
        }
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
            const std::string_view text = *entry;
            const std::string_view name = text.substr(0, text.find('='));
            bool replaced = false;
            for (const auto& extra : extraEnv) {
                replaced = replaced || extra.first == name;
            }
            if (!replaced) {
                m_env.emplace_back(text);
            }
        }

        if (argv[0].find('/') != std::string::npos) {
            m_program = argv[0];
        } else {
            m_program = SearchPath(PathOf(), argv[0], true);
            if (m_program.empty()) {
                error = ENOENT;
                return false;
            }
        }
        m_args = argv;
        m_workingDir = workingDir;

        for (auto& arg : m_args) {
            m_argPointers.push_back(arg.data());
        }
        m_argPointers.push_back(nullptr);
        for (auto& entry : m_env) {
            m_envPointers.push_back(entry.data());
        }
        m_envPointers.push_back(nullptr);

        const long openMax = ::sysconf(_SC_OPEN_MAX);
        m_maxDescriptor = openMax > 0 && openMax < INT_MAX ? static_cast<int>(openMax) : 65536;
        return true;
    }

    const char* Program() const { return m_program.c_str(); }
    char* const* Args() const { return m_argPointers.data(); }
    char* const* Env() const { return m_envPointers.data(); }
    const char* WorkingDir() const { return m_workingDir.empty() ? nullptr : m_workingDir.c_str(); }
    int MaxDescriptor() const { return m_maxDescriptor; }

private:
    std::string_view PathOf() const {
        for (const auto& entry : m_env) {
            if (std::string_view(entry).starts_with("PATH=")) {
                return std::string_view(entry).substr(5);
            }
        }
        return kDefaultPath;
    }

    std::string m_program;
    std::vector<std::string> m_args;
    std::vector<std::string> m_env;
    std::string m_workingDir;
    std::vector<char*> m_argPointers;
    std::vector<char*> m_envPointers;
    int m_maxDescriptor = 0;
};

// What runs between fork and exec: system calls only, no allocation, no locks.
class Child {
public:
    Child(const LaunchPlan& plan, int reportFd, int nullFd)
        : m_plan(plan), m_reportFd(reportFd), m_nullFd(nullFd) {}

    // The intermediate child: a new session, then the program's process, then gone, so
    // that the program is adopted by init and the caller reaps only this one at once.
    [[noreturn]] void Run() {
        ::setsid();
        const pid_t pid = ::fork();
        if (pid < 0) {
            Fail(errno);
        }
        if (pid > 0) {
            ::_exit(0);
        }
        Exec();
    }

private:
    [[noreturn]] void Exec() {
        // Keep the report pipe and /dev/null out of the standard descriptors' way.
        if (m_reportFd <= STDERR_FILENO) {
            m_reportFd = ::fcntl(m_reportFd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        }
        if (m_nullFd == STDIN_FILENO) {
            ::fcntl(STDIN_FILENO, F_SETFD, 0);
        } else if (::dup2(m_nullFd, STDIN_FILENO) < 0) {
            Fail(errno);
        }
        if (m_plan.WorkingDir() != nullptr && ::chdir(m_plan.WorkingDir()) != 0) {
            Fail(errno);
        }
        CloseDescriptors();
        ResetSignals();
        ::execve(m_plan.Program(), m_plan.Args(), m_plan.Env());
        Fail(errno);
    }

    // Closes every descriptor above the standard ones except the report pipe, which
    // closes itself when exec succeeds.
    void CloseDescriptors() const {
        bool done = true;
        if (m_reportFd <= STDERR_FILENO) {
            done = ::close_range(3, ~0U, 0) == 0;
        } else {
            const auto keep = static_cast<unsigned>(m_reportFd);
            if (keep > 3 && ::close_range(3, keep - 1, 0) != 0) {
                done = false;
            }
            if (::close_range(keep + 1, ~0U, 0) != 0) {
                done = false;
            }
        }
        if (!done) {
            for (int fd = 3; fd < m_plan.MaxDescriptor(); ++fd) {
                if (fd != m_reportFd) {
                    ::close(fd);
                }
            }
        }
    }

    // The caller blocked every signal around the fork; the program starts with default
    // handling and nothing blocked, whatever the caller had set up.
    static void ResetSignals() {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        ::sigemptyset(&action.sa_mask);
        for (int sig = 1; sig < NSIG; ++sig) {
            if (sig != SIGKILL && sig != SIGSTOP) {
                ::sigaction(sig, &action, nullptr);
            }
        }
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
    }

    [[noreturn]] void Fail(int error) const {
        const char* bytes = reinterpret_cast<const char*>(&error);
        std::size_t left = sizeof error;
        while (left > 0) {
            const ssize_t n = ::write(m_reportFd, bytes, left);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            bytes += n;
            left -= static_cast<std::size_t>(n);
        }
        ::_exit(127);
    }

    const LaunchPlan& m_plan;
    int m_reportFd;
    int m_nullFd;
};

// Reads the child's report: nothing before end of file means exec succeeded.
int ReadReport(int fd) {
    int error = 0;
    char* bytes = reinterpret_cast<char*>(&error);
    std::size_t got = 0;
    while (got < sizeof error) {
        const ssize_t n = ::read(fd, bytes + got, sizeof error - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (got == 0) {
        return 0;
    }
    return got == sizeof error && error != 0 ? error : EIO;
}

void ReapIntermediate(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

bool Launch(const std::vector<std::string>& argv, const std::string& workingDir,
            const std::vector<std::pair<std::string, std::string>>& extraEnv, int& error) {
    LaunchPlan plan;
    if (!plan.Prepare(argv, workingDir, extraEnv, error)) {
        return false;
    }
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = errno;
        return false;
    }
    const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nullFd < 0) {
        error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }

    sigset_t all;
    sigset_t previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(report[0]);
        Child(plan, report[1], nullFd).Run();
    }
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(report[1]);
    ::close(nullFd);
    if (pid < 0) {
        ::close(report[0]);
        error = forkError;
        return false;
    }
    ReapIntermediate(pid);
    error = ReadReport(report[0]);
    ::close(report[0]);
    return error == 0;
}

}  // namespace

bool SpawnDetached(const std::vector<std::string>& argv, const std::string& workingDir,
                   const std::vector<std::pair<std::string, std::string>>& extraEnv,
                   int* errorOut) {
    int error = 0;
    const bool started = Launch(argv, workingDir, extraEnv, error);
    if (errorOut != nullptr) {
        *errorOut = started ? 0 : error;
    }
    return started;
}

std::string FindOnPath(std::string_view name, bool requireExecutable) {
    const char* path = std::getenv("PATH");
    return SearchPath(path != nullptr ? path : kDefaultPath, name, requireExecutable);
}

}  // namespace win::process
