#pragma once

#include <atomic>

// How a job ended, which tells the window what reset it still owes.
enum class JobOutcome {
    Success,    // done; the caller's completion steps follow
    Stopped,    // refused or stopped before anything was written; back to idle
    Failed,     // a message was shown and the job's files are closed; reset the window
    Cancelled,  // the user cancelled; what was written stays, the files are closed
};

// The user's cancel: set from the window's thread (or a signal's handler) while the job
// runs on its own, and looked at by the engines after each chunk.
class CancelRequest {
public:
    void request() { m_requested.store(true, std::memory_order_relaxed); }
    bool requested() const { return m_requested.load(std::memory_order_relaxed); }
    void reset() { m_requested.store(false, std::memory_order_relaxed); }

private:
    std::atomic<bool> m_requested{false};
};
