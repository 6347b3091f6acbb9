#include "accel/packetobserver.h"

#include <system_error>
#include <utility>

// One run: the socket that one StartObserver prepared and the workers that read it. The socket
// is closed exactly once: by the last worker to leave, or by the end of a run that no worker
// reads.
struct CPacketObserver::Run {
    explicit Run(win::SOCKET s) : socket(s), closed(s == win::INVALID_SOCKET) {}

    const win::SOCKET socket;
    // Set once the run is over; the workers look at it before every read.
    std::atomic<bool> ended{false};
    // Guarded by the observer's mutex.
    int readers = 0;
    bool closed;  // closed, being closed, or never opened
};

std::string ChooseObserverAddress(const std::vector<std::string>& addresses) {
    for (const std::string& address : addresses) {
        if (address != "127.0.0.1" && address != "0.0.0.0") {
            return address;
        }
    }
    return addresses.empty() ? std::string() : addresses.front();
}

CPacketObserver::CPacketObserver(const std::atomic<bool>& accelerating, AddressSource addresses)
    : m_accelerating(accelerating), m_addresses(std::move(addresses)) {}

CPacketObserver::~CPacketObserver() {
    Shutdown();
}

void CPacketObserver::StartObserver() {
    const win::SOCKET s = win::WSASocket(win::AF_INET, win::SOCK_RAW, win::IPPROTO_IP, nullptr, 0,
                                         win::WSA_FLAG_OVERLAPPED);
    m_socket = s;
    auto run = std::make_shared<Run>(s);
    win::SOCKET unread;
    {
        std::lock_guard lock(m_mutex);
        unread = EndRun(m_current);
        m_current = run;
    }
    CloseUnread(unread);
    if (s == win::INVALID_SOCKET) {
        return;
    }

    const std::string address = ChooseObserverAddress(m_addresses());
    win::sockaddr_in local{};
    local.sin_family = win::AF_INET;
    local.sin_port = 0;
    local.sin_addr.s_addr = win::inet_addr(address.c_str());
    if (win::bind(s, reinterpret_cast<const win::sockaddr*>(&local), sizeof local) ==
            win::SOCKET_ERROR &&
        win::WSAGetLastError() != win::WSAEINPROGRESS) {
        {
            std::lock_guard lock(m_mutex);
            run->closed = true;
        }
        win::closesocket(s);
        return;
    }

    win::DWORD on = win::RCVALL_ON;
    win::DWORD out = 0;
    win::DWORD returned = 0;
    win::WSAIoctl(s, win::SIO_RCVALL, &on, sizeof on, &out, sizeof out, &returned, nullptr,
                  nullptr);
}

std::shared_ptr<CPacketObserver::Run> CPacketObserver::Join(bool& joined) {
    std::lock_guard lock(m_mutex);
    ++m_counts.running;
    joined = m_current && !m_current->closed && !m_current->ended.load();
    if (joined) {
        ++m_current->readers;
    }
    return m_current;
}

win::UINT CPacketObserver::Drain(Run& run) {
    char buffer[kBufferSize];
    win::sockaddr_in from{};
    int fromLength = sizeof from;
    while (m_accelerating.load() && !run.ended.load()) {
        if (win::recvfrom(run.socket, buffer, sizeof buffer, 0,
                          reinterpret_cast<win::sockaddr*>(&from),
                          &fromLength) == win::SOCKET_ERROR) {
            const int error = win::WSAGetLastError();
            // A packet longer than the buffer was still read; a woken read just means "look at
            // the flag and the run again".
            if (error == win::WSAEMSGSIZE || error == win::WSAEINTR) {
                continue;
            }
            return kReadFailed;
        }
    }
    return kFlagCleared;
}

void CPacketObserver::Leave(Run& run) {
    bool closeIt = false;
    {
        std::lock_guard lock(m_mutex);
        if (--run.readers == 0 && !run.closed) {
            run.closed = true;
            closeIt = true;
        }
    }
    // Outside the lock: closing a packet socket waits for the kernel to let go of it.
    if (closeIt) {
        win::closesocket(run.socket);
    }
}

win::UINT CPacketObserver::ObserverThread() {
    bool joined = false;
    const std::shared_ptr<Run> run = Join(joined);
    win::UINT code = kReadFailed;
    if (joined) {
        code = Drain(*run);
        Leave(*run);
    }
    Finished(nullptr, code);
    return code;
}

void CPacketObserver::BeginObserverThread() {
    ReapFinished();
    bool joined = false;
    const std::shared_ptr<Run> run = Join(joined);
    {
        std::lock_guard lock(m_mutex);
        Worker& worker = m_workers.emplace_back();
        try {
            worker.thread = std::thread([this, run, joined, &worker] {
                win::UINT code = kReadFailed;
                if (joined) {
                    code = Drain(*run);
                    Leave(*run);
                }
                Finished(&worker, code);
            });
            return;
        } catch (const std::system_error&) {
            // No thread: as if the worker had never been started.
            m_workers.pop_back();
            --m_counts.running;
        }
    }
    if (joined) {
        Leave(*run);
    }
}

void CPacketObserver::Finished(Worker* worker, win::UINT code) {
    std::lock_guard lock(m_mutex);
    --m_counts.running;
    ++(code == kFlagCleared ? m_counts.flagCleared : m_counts.readFailed);
    if (worker != nullptr) {
        worker->finished = true;
    }
    m_workersChanged.notify_all();
}

// Called with the mutex held. Returns the socket that the caller must close once it has let go
// of the mutex, or INVALID_SOCKET.
win::SOCKET CPacketObserver::EndRun(const std::shared_ptr<Run>& run) {
    if (!run || run->ended.exchange(true) || run->closed) {
        return win::INVALID_SOCKET;
    }
    if (run->readers == 0) {
        // Prepared but never read: nobody else will close it.
        run->closed = true;
        return run->socket;
    }
    // The workers see the run ended at their next look; wake those waiting for a packet.
    win::CancelBlockingCalls(run->socket);
    return win::INVALID_SOCKET;
}

void CPacketObserver::StopObserver() {
    win::SOCKET unread;
    {
        std::lock_guard lock(m_mutex);
        unread = EndRun(m_current);
    }
    CloseUnread(unread);
}

void CPacketObserver::CloseUnread(win::SOCKET s) {
    if (s != win::INVALID_SOCKET) {
        win::closesocket(s);
    }
}

void CPacketObserver::ReapFinished() {
    std::list<Worker> finished;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            const auto next = std::next(it);
            if (it->finished) {
                finished.splice(finished.end(), m_workers, it);
            }
            it = next;
        }
    }
    for (Worker& worker : finished) {
        worker.thread.join();
    }
}

void CPacketObserver::Shutdown() {
    std::list<Worker> all;
    win::SOCKET unread;
    {
        std::lock_guard lock(m_mutex);
        unread = EndRun(m_current);
        all.swap(m_workers);
    }
    CloseUnread(unread);
    for (Worker& worker : all) {
        if (worker.thread.joinable()) {
            worker.thread.join();
        }
    }
}

CPacketObserver::WorkerCounts CPacketObserver::Workers() const {
    std::lock_guard lock(m_mutex);
    return m_counts;
}

bool CPacketObserver::WaitForWorkers(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_workersChanged.wait_for(lock, timeout, [this] { return m_counts.running == 0; });
}
