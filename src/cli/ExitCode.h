#pragma once

// What the program's exit status tells a script. Where targets end differently,
// the run reports the first that applies in this order: cancelled, failed,
// timed out, finished.
enum ExitCode : int {
    ExitFinished = 0,  // every target finished
    ExitFailed = 1,    // at least one target failed; its final text was printed
    ExitUsage = 2,     // bad usage, or a file or target refused before anything was sent
    ExitCancelled = 3, // SIGINT or SIGTERM
    ExitTimedOut = 4,  // --timeout ended a target
};
