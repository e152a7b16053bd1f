// The 10 ms simulation tick: reads the cursor, advances engine speed, road
// speed and gear by the lever position's rules, and pushes every output.
#pragma once

#include "sim/DriveHost.h"
#include "sim/DriveState.h"

namespace k58 {

constexpr std::int32_t kIdleEngineSpeed = 500;
constexpr std::int32_t kMaxEngineSpeed = 4000;
constexpr std::int32_t kUpshiftEngineSpeed = 2500;
constexpr std::int32_t kMaxRoadSpeed = 2100;
constexpr std::int32_t kMaxReverseRoadSpeed = 600;
constexpr std::int32_t kMaxFirstGearRoadSpeed = 1200;
constexpr std::int32_t kRoadSpeedPerDisplayUnit = 30;
constexpr std::uint32_t kMaxBeatInterval = 420;
constexpr std::uint32_t kMinBeatInterval = 70;

// Sets the state a new window starts from and starts the two looped tones.
// The caller binds the sounds to the device first.
void StartDriveTrain(TDriveState& state, TDriveHost& host);

// One tick. The state is taken by reference throughout: an automatic upshift
// pumps messages, nested ticks and lever actions change the state, and the
// rest of this tick carries on with what they left.
void SimulationTick(TDriveState& state, TDriveHost& host);

} // namespace k58
