// A manual-reset event for waking a worker thread from a timed wait: once set it stays set,
// and every wait returns at once, until it is reset.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class CStopEvent {
public:
    void Set();
    void Reset();
    bool IsSet() const;
    // Waits until the event is set or the time has passed; true when it was set.
    bool Wait(std::chrono::milliseconds timeout);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_set = false;
};
