#include "TargetOutcome.h"

const char* TargetOutcomeName(TargetOutcome outcome)
{
    switch (outcome) {
    case TargetOutcome::Running: return "running";
    case TargetOutcome::Finished: return "finished";
    case TargetOutcome::Failed: return "failed";
    case TargetOutcome::Cancelled: return "cancelled";
    case TargetOutcome::TimedOut: return "timeout";
    }
    return "running";
}
