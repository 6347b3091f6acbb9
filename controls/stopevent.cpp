#include "controls/stopevent.h"

void CStopEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
    }
    m_changed.notify_all();
}

void CStopEvent::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = false;
}

bool CStopEvent::IsSet() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_set;
}

bool CStopEvent::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_set; });
}
