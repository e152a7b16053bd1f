#include "platform/Timers.h"

namespace k58 {

void TTimer::SetInterval(std::uint32_t value) {
    if (value == mInterval)
        return;
    mInterval = value;
    UpdateTimer();
}

void TTimer::SetEnabled(bool value) {
    if (value == mEnabled)
        return;
    mEnabled = value;
    UpdateTimer();
}

} // namespace k58
