// The packet observer: while acceleration runs, a raw IPv4 socket in receive-all mode on the
// machine's first real local address, drained by worker threads that discard every packet.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/winsock.h"
#include "platform/wintypes.h"

// The address the socket is bound to: the first of the local addresses, in their order, that is
// neither "127.0.0.1" nor "0.0.0.0"; when none is, the first one; with no address at all, the
// empty text (which no interface carries, so binding fails).
std::string ChooseObserverAddress(const std::vector<std::string>& addresses);

class CPacketObserver {
public:
    // The local addresses as dotted texts, in the order of the local address list.
    using AddressSource = std::function<std::vector<std::string>()>;

    // A worker's exit codes.
    static constexpr win::UINT kFlagCleared = 0;
    static constexpr win::UINT kReadFailed = 1;
    // The worker's receive buffer.
    static constexpr int kBufferSize = 1600;

    // accelerating is the acceleration flag that the workers watch; it must outlive the
    // observer. The Windows socket library must have been started before StartObserver.
    CPacketObserver(const std::atomic<bool>& accelerating, AddressSource addresses);
    // Shutdown.
    ~CPacketObserver();
    CPacketObserver(const CPacketObserver&) = delete;
    CPacketObserver& operator=(const CPacketObserver&) = delete;

    // Prepares the socket of a new run into m_socket: created, bound to the chosen local address,
    // switched into receive-all mode. When creating fails, nothing more happens; when binding
    // fails (with any error but WSAEINPROGRESS), the socket is closed again. Nothing is
    // reported. The run before, if its workers still read, ends: they close its socket.
    void StartObserver();

    // The worker's procedure, run on the calling thread: reads the current run's socket and
    // discards each packet while the flag is set and the run goes on. Returns kFlagCleared once
    // it finds the flag cleared or the run ended; the last worker of a run to leave closes the
    // run's socket. Returns kReadFailed when a read fails, or at once when the run has no open
    // socket (never created, closed after a failed bind, or closed by its last worker). A packet
    // longer than the buffer is dropped like any other.
    win::UINT ObserverThread();

    // Starts one more worker thread on ObserverThread, reading the current run's socket.
    void BeginObserverThread();

    // Ends the current run at once instead of at its next packet: its workers are woken, find it
    // ended and leave as if they had found the flag cleared, so the socket is closed promptly
    // even on a quiet interface. Meant for right after the flag is cleared. A worker started
    // for this run afterwards ends at once with kReadFailed, as on a closed socket.
    void StopObserver();

    // Ends the current run and waits for every worker to end. The observer can be used again.
    void Shutdown();

    // The workers so far: running now, and ended with each exit code.
    struct WorkerCounts {
        int running = 0;
        int flagCleared = 0;
        int readFailed = 0;
        bool operator==(const WorkerCounts&) const = default;
    };
    WorkerCounts Workers() const;
    // Waits until no worker runs; false if that did not happen within the timeout.
    bool WaitForWorkers(std::chrono::milliseconds timeout) const;

    // The socket of the current run, as StartObserver made it (INVALID_SOCKET when creating it
    // failed). Written only by StartObserver; each worker reads the socket of the run it joined,
    // so a worker never reads or closes the socket of a later run.
    win::SOCKET m_socket = win::INVALID_SOCKET;

private:
    struct Run;
    struct Worker {
        std::thread thread;
        bool finished = false;
    };

    // Counts a worker into the current run; false when that run has no open socket to read.
    std::shared_ptr<Run> Join(bool& joined);
    win::UINT Drain(Run& run);
    void Leave(Run& run);
    void Finished(Worker* worker, win::UINT code);
    win::SOCKET EndRun(const std::shared_ptr<Run>& run);
    static void CloseUnread(win::SOCKET s);
    void ReapFinished();

    const std::atomic<bool>& m_accelerating;
    const AddressSource m_addresses;

    mutable std::mutex m_mutex;  // guards everything below and the runs' reader counts
    mutable std::condition_variable m_workersChanged;
    std::shared_ptr<Run> m_current;
    std::list<Worker> m_workers;
    WorkerCounts m_counts;
};
