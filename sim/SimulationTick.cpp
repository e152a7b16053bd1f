#include "sim/SimulationTick.h"

#include "sim/GearChange.h"
#include "sim/Rounding.h"
#include "sim/Throttle.h"

#include <string>

namespace k58 {

void StartDriveTrain(TDriveState& state, TDriveHost& host) {
    host.PlaySound(siEngineTone);
    host.PlaySound(siRollingTone);
    state.Gear = 1;
    state.EngineSpeed = kIdleEngineSpeed;
}

void SimulationTick(TDriveState& state, TDriveHost& host) {
    // 1-2. R can be picked only from N at rest. A tick that begins in R
    // disables I, II and A; every other tick enables them again, so that
    // after reversing once the driver can still go forward.
    host.SetActionEnabled(TLeverAction::AR, state.LeverPosition == lpN && state.RoadSpeed == 0);
    const bool forwardAllowed = state.LeverPosition != lpR;
    host.SetActionEnabled(TLeverAction::AI, forwardAllowed);
    host.SetActionEnabled(TLeverAction::AII, forwardAllowed);
    host.SetActionEnabled(TLeverAction::AA, forwardAllowed);

    // 3-5. Game input is not polled: nothing reads it.
    const std::int32_t savedRoadSpeed = state.RoadSpeed;
    const std::int32_t throttle =
        ComputeThrottle(host.CursorClientX(), host.WindowWidth(), state.EngineSpeed, state.Gear);

    // 6-9.
    if (throttle < 0)
        state.RoadSpeed += 2 * throttle;
    if (throttle > 0)
        state.EngineSpeed += state.Gear == 1 ? throttle / 4 : throttle / 8;
    if (state.RoadSpeed > 300 && throttle > 0) {
        state.EngineSpeed += 10;
        if (state.Gear == 1 && state.RoadSpeed > 500)
            state.EngineSpeed += 50;
    }
    state.EngineSpeed -= 2;

    // 10. Road-speed gain: integer product, then floating-point division.
    if (state.LeverPosition != lpN && throttle > 0) {
        const std::int32_t p = (3000 - state.RoadSpeed) * throttle;
        state.RoadSpeed = RoundHalfEven(state.RoadSpeed + p / 3000.0);
    }

    // 11-13.
    if (state.LeverPosition == lpII && state.RoadSpeed < 400)
        state.RoadSpeed -= 2;
    if (state.LeverPosition == lpB)
        state.RoadSpeed -= 50;
    if (state.LeverPosition == lpII)
        state.Gear = 2;

    // 14. Automatic upshift; nested handlers may run while it pumps.
    if (state.EngineSpeed >= kUpshiftEngineSpeed && state.Gear == 1 && state.LeverPosition != lpR &&
        state.LeverPosition != lpI)
        GearChangeSequence(state, host, 2, kIdleEngineSpeed);

    // 15-16.
    if (throttle < 0 && state.LeverPosition != lpII)
        state.Gear = 1;
    if (state.LeverPosition == lpN && throttle > 0)
        state.EngineSpeed = (throttle + 10) * 100;

    // 17. Shown before it is limited, so the engine limit reads 4008.
    host.SetCaption(TDriveLabel::EngineSpeed, std::to_string(state.EngineSpeed));

    // 18-21. Road speed is limited first; the engine limit then puts road
    // speed back to where the tick began, unlimited again.
    if (state.RoadSpeed < 0)
        state.RoadSpeed = 0;
    if (state.RoadSpeed > kMaxRoadSpeed)
        state.RoadSpeed = kMaxRoadSpeed;
    if (state.LeverPosition == lpR && state.RoadSpeed > kMaxReverseRoadSpeed)
        state.RoadSpeed = kMaxReverseRoadSpeed;
    if (state.LeverPosition == lpI && state.RoadSpeed > kMaxFirstGearRoadSpeed)
        state.RoadSpeed = kMaxFirstGearRoadSpeed;
    if (state.EngineSpeed > kMaxEngineSpeed) {
        state.EngineSpeed = kMaxEngineSpeed;
        state.RoadSpeed = savedRoadSpeed;
    }
    if (state.EngineSpeed < kIdleEngineSpeed)
        state.EngineSpeed = kIdleEngineSpeed;
    if (throttle < 0)
        state.EngineSpeed = kIdleEngineSpeed;

    // 22. The beat interval, limited by reading it back from the timer
    // (which stores a negative request as 0).
    host.SetBeatInterval(500 - state.EngineSpeed / 2);
    if (host.BeatInterval() > kMaxBeatInterval)
        host.SetBeatInterval(static_cast<std::int32_t>(kMaxBeatInterval));
    if (host.BeatInterval() < kMinBeatInterval)
        host.SetBeatInterval(static_cast<std::int32_t>(kMinBeatInterval));

    // 23-27.
    host.SetSoundFrequency(siEngineTone, (state.EngineSpeed - kIdleEngineSpeed) * 10 + 22000);
    host.SetSoundFrequency(siRollingTone, state.RoadSpeed * 100 + 15000);
    host.SetCaption(TDriveLabel::Gear, std::to_string(state.Gear));
    host.SetCaption(TDriveLabel::RoadSpeed,
                    std::to_string(state.RoadSpeed / kRoadSpeedPerDisplayUnit));
    host.DrawInstruments();
}

} // namespace k58
