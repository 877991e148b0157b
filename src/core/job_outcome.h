#pragma once

// How a job ended, which tells the window what reset it still owes.
enum class JobOutcome {
    Success,    // done; the caller's completion steps follow
    Stopped,    // refused or stopped before anything was written; back to idle
    Failed,     // a message was shown and the job's files are closed; reset the window
    Cancelled,  // the user cancelled; what was written stays, the files are closed
};

// The user's cancel: set by the job's cancel command while a progress call runs, and
// looked at by the engines after each chunk.
struct CancelRequest {
    bool requested = false;
};
