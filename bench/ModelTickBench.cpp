// The drive-train model's tick alone, against a window that only stores what
// the tick writes: the cost of the arithmetic, captions and sound settings.
#include "sim/DriveHost.h"
#include "sim/DriveState.h"
#include "sim/SimulationTick.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace k58;

constexpr std::int32_t OuterWidth = 571;

class ScriptedHost : public TDriveHost {
public:
    std::int32_t cursorX = 400;
    std::string captions[3];
    bool enabled[6] = {};
    std::int32_t frequency[4] = {};

    std::int32_t CursorClientX() override { return cursorX; }
    std::int32_t WindowWidth() override { return OuterWidth; }
    void SetCaption(TDriveLabel label, const std::string& text) override {
        captions[static_cast<int>(label)] = text;
    }
    void SetActionEnabled(TLeverAction action, bool value) override {
        enabled[static_cast<int>(action)] = value;
    }
    std::uint32_t BeatInterval() override { return mInterval; }
    void SetBeatInterval(std::int32_t ms) override {
        mInterval = ms < 0 ? 0 : static_cast<std::uint32_t>(ms);
    }
    void PlaySound(int) override {}
    void SetSoundFrequency(int item, std::int32_t hz) override { frequency[item] = hz; }
    void DrawInstruments() override {}
    void PumpMessages() override {}
    void Sleep(std::uint32_t) override {}
    int ComponentCount() override { return 28; }
    bool IsControl(int index) override { return index < 15; }
    std::int32_t ControlLeft(int index) override { return mLeft[index % 15]; }
    std::int32_t ControlTop(int index) override { return mTop[index % 15]; }
    void SetControlLeft(int index, std::int32_t left) override { mLeft[index % 15] = left; }
    void SetControlTop(int index, std::int32_t top) override { mTop[index % 15] = top; }
    std::int32_t WindowLeft() override { return mWindowLeft; }
    std::int32_t WindowTop() override { return mWindowTop; }
    void SetWindowLeft(std::int32_t left) override { mWindowLeft = left; }
    void SetWindowTop(std::int32_t top) override { mWindowTop = top; }
    std::uint32_t ClockForSeed() override { return ++mSeed; }

private:
    std::uint32_t mInterval = 1000;
    std::int32_t mLeft[15] = {};
    std::int32_t mTop[15] = {};
    std::int32_t mWindowLeft = 273;
    std::int32_t mWindowTop = 229;
    std::uint32_t mSeed = 1;
};

// The cursor sweeps between full throttle and braking every 300 ticks, so the
// drive climbs through the upshift (a gear change with its shake, on a host
// whose pumps and sleeps return at once) and falls back to gear 1.
void BM_ModelTick(benchmark::State& state) {
    ScriptedHost host;
    TDriveState drive;
    StartDriveTrain(drive, host);
    drive.LeverPosition = lpA;
    int n = 0;
    for (auto _ : state) {
        host.cursorX = (++n / 300) % 2 == 0 ? 560 : 10;
        SimulationTick(drive, host);
        benchmark::DoNotOptimize(drive.EngineSpeed);
    }
}
BENCHMARK(BM_ModelTick);

// Steady cruising at the engine limit in gear 2: no gear changes at all.
void BM_ModelTickAtTheLimit(benchmark::State& state) {
    ScriptedHost host;
    TDriveState drive;
    StartDriveTrain(drive, host);
    drive.LeverPosition = lpA;
    drive.Gear = 2;
    drive.EngineSpeed = 4000;
    drive.RoadSpeed = 1400;
    host.cursorX = 560;
    for (auto _ : state) {
        SimulationTick(drive, host);
        benchmark::DoNotOptimize(drive.EngineSpeed);
    }
}
BENCHMARK(BM_ModelTickAtTheLimit);

} // namespace
