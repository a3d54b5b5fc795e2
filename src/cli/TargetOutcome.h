#pragma once

// How one target's download ended, as the summary and the exit code tell it.
enum class TargetOutcome {
    Running,
    Finished,  // the job said "Download is finished."
    Failed,    // the job ended with any other text of its own
    Cancelled, // SIGINT or SIGTERM stopped it
    TimedOut,  // --timeout stopped it
};

const char* TargetOutcomeName(TargetOutcome outcome);
