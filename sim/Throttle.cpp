#include "sim/Throttle.h"

#include "sim/Rounding.h"

namespace k58 {

std::int32_t ComputeThrottle(std::int32_t cursorX, std::int32_t outerWidth,
                             std::int32_t engineSpeed, std::uint8_t gear) {
    const std::int32_t x = cursorX > outerWidth ? outerWidth : cursorX;
    const std::int32_t gain =
        (engineSpeed < kGainEngineSpeedLimit || gear == 2) ? kHighThrottleGain : kLowThrottleGain;
    // Every operation in floating point; the neutral point W/2 may be a half.
    const double w = outerWidth;
    return RoundHalfEven(((x - w / 2.0) * gain / w) / 2.0);
}

} // namespace k58
