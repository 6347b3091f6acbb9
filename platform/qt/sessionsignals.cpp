#include "platform/qt/sessionsignals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace win {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[3];

// Only async-signal-safe work here: one byte into the socket.
void OnSignal(int signo) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

SessionSignals::SessionSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SessionSignals::Drain);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(kSignals[i], &action, &g_previous[i]);
    }
}

SessionSignals::~SessionSignals() {
    if (g_pipe[0] < 0) {
        return;
    }
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    }
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void SessionSignals::Drain() {
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = ::read(g_pipe[0], bytes, sizeof bytes);
        if (n <= 0) {
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (m_onSignal) {
                m_onSignal(bytes[i]);
            }
        }
    }
}

}  // namespace win
