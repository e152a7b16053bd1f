#include "sim/GearChange.h"

#include "sim/Random.h"

namespace k58 {
namespace {

constexpr int kSequenceBeats = 6;
constexpr std::uint32_t kSequenceBeatPause = 20;
constexpr int kJigglesPerControl = 4;
constexpr int kWindowJumps = 4;
constexpr std::uint32_t kWindowJumpPause = 5;
constexpr std::int32_t kIntervalStep = 10;

// Each jump is a draw of 0..4 less 2: -2..+2 pixels.
std::int32_t Jump(TRandom& random) {
    return random.Next(5) - 2;
}

void LowerBeatInterval(TDriveHost& host) {
    host.SetBeatInterval(static_cast<std::int32_t>(host.BeatInterval()) - kIntervalStep);
}

} // namespace

void GearChangeSequence(TDriveState& state, TDriveHost& host, std::uint8_t newGear,
                        std::int32_t newEngineSpeed) {
    host.PlaySound(siClunk);
    state.Gear = newGear;
    state.EngineSpeed = newEngineSpeed;
    for (int i = 0; i < kSequenceBeats; ++i) {
        host.PumpMessages();
        host.PlaySound(siEngineBeat);
        host.Sleep(kSequenceBeatPause);
    }
    ShakeEffect(host);
}

void ShakeEffect(TDriveHost& host) {
    TRandom random;
    random.Randomize(host.ClockForSeed());

    // The component count is asked anew each time: a nested handler could
    // change it while this one pumps.
    for (int i = 0; i < host.ComponentCount() && i < kShakeComponentLimit; ++i) {
        LowerBeatInterval(host);
        host.PumpMessages();
        if (!host.IsControl(i))
            continue;
        for (int j = 0; j < kJigglesPerControl; ++j) {
            // x is drawn before y.
            host.SetControlLeft(i, host.ControlLeft(i) + Jump(random));
            host.SetControlTop(i, host.ControlTop(i) + Jump(random));
            host.PumpMessages();
        }
    }

    for (int j = 0; j < kWindowJumps; ++j) {
        LowerBeatInterval(host);
        host.PumpMessages();
        host.SetWindowLeft(host.WindowLeft() + Jump(random));
        host.SetWindowTop(host.WindowTop() + Jump(random));
        host.PumpMessages();
        host.Sleep(kWindowJumpPause);
    }
}

} // namespace k58
