// Cost of redrawing the instrument panel, on its own, as part of a whole
// simulation tick, and with the on-screen overlay repainted.
#include "assets/Assets.h"
#include "panel/Instruments.h"
#include "panel/MemoryCanvas.h"
#include "platform/qt/OverlaySurfaces.h"
#include "sim/SimulationTick.h"

#include <QApplication>
#include <QWidget>
#include <benchmark/benchmark.h>

#include <cstdlib>

namespace k58 {
namespace {

constexpr int OuterWidth = 575;

const TBitmap& Face() {
    static const TBitmap face = LoadBitmap(assets::Find("dial.bmp"));
    return face;
}

void BM_DrawInstruments(benchmark::State& state) {
    TMemoryCanvas window(569, 152);
    TMemoryCanvas dial(105, 105);
    int roadSpeed = 0;
    for (auto _ : state) {
        roadSpeed = (roadSpeed + 7) % 2101;
        DrawInstruments(window, dial, Face(), roadSpeed, OuterWidth, [&] { return roadSpeed / 4; });
        benchmark::DoNotOptimize(window.Bits());
        benchmark::DoNotOptimize(dial.Bits());
    }
}
BENCHMARK(BM_DrawInstruments);

// A window that does nothing but draw the panel into memory.
class PanelOnlyHost : public TDriveHost {
public:
    TMemoryCanvas window{569, 152};
    TMemoryCanvas dial{105, 105};
    const TDriveState* state = nullptr;
    std::int32_t cursorX = 400;

    std::int32_t CursorClientX() override { return cursorX; }
    std::int32_t WindowWidth() override { return OuterWidth; }
    void SetCaption(TDriveLabel, const std::string&) override {}
    void SetActionEnabled(TLeverAction, bool) override {}
    std::uint32_t BeatInterval() override { return mInterval; }
    void SetBeatInterval(std::int32_t ms) override {
        mInterval = ms < 0 ? 0 : static_cast<std::uint32_t>(ms);
    }
    void PlaySound(int) override {}
    void SetSoundFrequency(int, std::int32_t) override {}
    void DrawInstruments() override {
        k58::DrawInstruments(window, dial, Face(), state->RoadSpeed, OuterWidth,
                             [this] { return cursorX; });
    }
    void PumpMessages() override {}
    void Sleep(std::uint32_t) override {}
    int ComponentCount() override { return 0; }
    bool IsControl(int) override { return false; }
    std::int32_t ControlLeft(int) override { return 0; }
    std::int32_t ControlTop(int) override { return 0; }
    void SetControlLeft(int, std::int32_t) override {}
    void SetControlTop(int, std::int32_t) override {}
    std::int32_t WindowLeft() override { return 0; }
    std::int32_t WindowTop() override { return 0; }
    void SetWindowLeft(std::int32_t) override {}
    void SetWindowTop(std::int32_t) override {}
    std::uint32_t ClockForSeed() override { return 12345; }

private:
    std::uint32_t mInterval = 1000;
};

void BM_TickWithDrawing(benchmark::State& state) {
    PanelOnlyHost host;
    TDriveState drive;
    host.state = &drive;
    StartDriveTrain(drive, host);
    drive.LeverPosition = lpA;
    int n = 0;
    for (auto _ : state) {
        // Sweep the cursor so the road speed keeps changing both ways.
        host.cursorX = (++n / 300) % 2 == 0 ? 560 : 10;
        SimulationTick(drive, host);
        benchmark::DoNotOptimize(host.dial.Bits());
    }
}
BENCHMARK(BM_TickWithDrawing);

// Drawing plus showing it: the overlay's repaint of the changed areas on the
// offscreen platform (software rendering into the window's backing store).
void BM_DrawAndRepaintOverlay(benchmark::State& state) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "k58_bench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    QWidget client;
    client.setFixedSize(569, 152);
    QWidget paintBox(&client);
    paintBox.setGeometry(184, 24, 105, 105);
    TOverlaySurfaces surfaces(&client, [&] { return paintBox.pos(); });
    client.show();
    QApplication::processEvents();
    int roadSpeed = 0;
    for (auto _ : state) {
        roadSpeed = (roadSpeed + 7) % 2101;
        DrawInstruments(surfaces.windowCanvas(), surfaces.dialCanvas(), Face(), roadSpeed,
                        OuterWidth, [&] { return roadSpeed / 4; });
        surfaces.present();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_DrawAndRepaintOverlay);

} // namespace
} // namespace k58
