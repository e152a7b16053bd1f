// A whole tick of the real main window on the offscreen platform: the model,
// the captions, the lever buttons' enabling, the sound settings on OpenAL's
// silent output, and the instrument drawing with its repaint.
#include "app/Motor_F.h"
#include "platform/Application.h"

#include <QApplication>
#include <QCursor>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

using namespace k58;

// One toolkit and one application object for the whole benchmark run.
TApplication& Toolkit() {
    static int argc = 1;
    static char name[] = "k58_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* toolkit = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("ALSOFT_DRIVERS", "null", 0);
        return new QApplication(argc, argv);
    }();
    static TApplication* application = new TApplication();
    (void)toolkit;
    return *application;
}

void BM_FormTick(benchmark::State& state) {
    Toolkit();
    auto form = std::make_unique<TMotorForm>(nullptr);
    form->Timer2->SetEnabled(false); // ticks are run by hand here
    form->Show();
    QApplication::processEvents();
    // Lever I in gear 1: the engine runs up to its limit without the
    // upshift's gear change (which sleeps and pumps for real).
    form->AIExecute(form.get());
    int n = 0;
    for (auto _ : state) {
        // Full throttle and braking in turn, 300 ticks each.
        const int clientX = (++n / 300) % 2 == 0 ? 560 : 10;
        const TPoint screen = form->ClientToScreen({clientX, 140});
        QCursor::setPos(screen.X, screen.Y);
        form->Timer2Timer(form.get());
        QApplication::processEvents();
    }
    if (form->DriveState().Gear != 1)
        state.SkipWithError("a gear change happened");
}
BENCHMARK(BM_FormTick);

} // namespace
