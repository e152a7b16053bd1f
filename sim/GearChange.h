// The gear-change sequence (clunk, six quick beats) and the shake effect
// that follows it.
#pragma once

#include "sim/DriveHost.h"
#include "sim/DriveState.h"

namespace k58 {

// Number of owned components the shake walks through at most.
constexpr int kShakeComponentLimit = 16;

// Plays the clunk, engages the new gear at the new engine speed, plays six
// beats with message pumping in between, then shakes the window. Ticks and
// lever actions run nested inside it while it pumps.
void GearChangeSequence(TDriveState& state, TDriveHost& host, std::uint8_t newGear,
                        std::int32_t newEngineSpeed);

// Jiggles each of the first sixteen components that is a control, then the
// window itself, by random steps of -2..2 pixels; nothing is put back.
void ShakeEffect(TDriveHost& host);

} // namespace k58
