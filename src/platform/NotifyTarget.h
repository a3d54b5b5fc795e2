#pragma once

#include <cstdint>

// Where a serial port's I/O thread posts its one-shot notifications. Post must be
// safe to call from any thread and must never block on the receiver: the I/O
// thread calls it while it moves bytes.
class NotifyTarget {
public:
    virtual ~NotifyTarget() = default;
    virtual void Post(uint32_t message) = 0;
};
