// The throttle: the cursor's offset from the window's neutral point, scaled
// by a gain that depends on engine speed and gear.
#pragma once

#include <cstdint>

namespace k58 {

constexpr std::int32_t kHighThrottleGain = 15; // low engine speed, or gear 2
constexpr std::int32_t kLowThrottleGain = 7;
constexpr std::int32_t kGainEngineSpeedLimit = 800;

// cursorX is in client coordinates and is only limited on the right, to the
// outer width; further left the throttle falls without limit.
std::int32_t ComputeThrottle(std::int32_t cursorX, std::int32_t outerWidth,
                             std::int32_t engineSpeed, std::uint8_t gear);

} // namespace k58
