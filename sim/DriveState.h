// The whole model of the vehicle: four integers held by the main window.
#pragma once

#include <cstdint>

namespace k58 {

// Lever positions as the lever actions store them; 0 means none picked yet,
// which no rule names, so the model then behaves as in A.
enum TLeverPosition : std::int32_t {
    lpNone = 0,
    lpB = 1,
    lpR = 2,
    lpI = 3,
    lpII = 4,
    lpA = 5,
    lpN = 6,
};

struct TDriveState {
    std::int32_t LeverPosition = lpNone;
    std::int32_t EngineSpeed = 0; // 500..4000 after every tick
    std::int32_t RoadSpeed = 0;   // internal units, 0..2100 after every tick; shown div 30
    std::uint8_t Gear = 0;        // 1 or 2
};

// Wave-list items by role.
enum TSoundItem : int {
    siEngineBeat = 0,
    siEngineTone = 1,
    siRollingTone = 2,
    siClunk = 3,
};

} // namespace k58
