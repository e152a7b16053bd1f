// The six lever actions: picking B, R, I, II, A or N.
#pragma once

#include "sim/DriveHost.h"
#include "sim/DriveState.h"

namespace k58 {

// Picking a lever position: stores it; I in gear 2 and II in gear 1 also
// change gear through the gear-change sequence.
void PickLever(TDriveState& state, TDriveHost& host, TLeverPosition position);

} // namespace k58
