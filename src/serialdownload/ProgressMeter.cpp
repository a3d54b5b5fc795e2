#include "ProgressMeter.h"

ProgressMeter::ProgressMeter(int64_t totalBytes) : total(totalBytes) {}

int ProgressMeter::Advance(int64_t n)
{
    if (total <= 0)
        return -1;
    accumulated += static_cast<float>(n) / static_cast<float>(total) * 100.0f;
    if (accumulated - static_cast<float>(last) > 1.0f) {
        const int report = last + 1;
        last = static_cast<int>(accumulated);
        return report;
    }
    return -1;
}
