#pragma once

// How a job ended, which tells the window what reset it still owes.
enum class JobOutcome {
    Success,    // done; the caller's completion steps follow
    Stopped,    // refused or stopped before anything was written; back to idle
    Failed,     // a message was shown and the job's files are closed; reset the window
    Cancelled,  // the user's cancel already closed the files and reset everything
};
