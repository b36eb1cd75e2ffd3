#pragma once
// An event that threads wait on with a time-out: auto-reset (a successful wait clears it) or
// manual-reset (it stays set until Reset).

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kz {

class Event {
public:
    enum Kind { AutoReset, ManualReset };
    Event(Kind kind, bool initiallySet) : m_auto(kind == AutoReset), m_set(initiallySet) {}

    void Set() {
        {
            std::lock_guard lock(m_mutex);
            m_set = true;
        }
        if (m_auto)
            m_cv.notify_one();
        else
            m_cv.notify_all();
    }
    void Reset() {
        std::lock_guard lock(m_mutex);
        m_set = false;
    }
    // True when the event was (or became) set within the time; an auto-reset event is then
    // cleared again.
    bool Wait(int ms) {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_set; }))
            return false;
        if (m_auto)
            m_set = false;
        return true;
    }
    bool IsSet() const {
        std::lock_guard lock(m_mutex);
        return m_set;
    }

private:
    const bool m_auto;
    bool m_set;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
};

} // namespace kz
