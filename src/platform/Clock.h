// The clock seam: the present local date and time. Tests pass a fixed clock.
#pragma once

#include "core/LocalTime.h"

namespace velmora {

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
};

// The machine's local time.
class SystemClock : public Clock {
public:
    LocalTime now() const override;
};

}  // namespace velmora
