#include "sim/LeverActions.h"

#include "sim/GearChange.h"
#include "sim/SimulationTick.h"

namespace k58 {

void PickLever(TDriveState& state, TDriveHost& host, TLeverPosition position) {
    state.LeverPosition = position;
    if (position == lpI && state.Gear == 2)
        GearChangeSequence(state, host, 1, kUpshiftEngineSpeed);
    else if (position == lpII && state.Gear == 1)
        GearChangeSequence(state, host, 2, kIdleEngineSpeed);
}

} // namespace k58
