#include "platform/Timers.h"

#include "platform/Handlers.h"

#include "platform/win32/Win32.h"

#include <functional>
#include <limits>
#include <map>

namespace k58 {
namespace {

// What each running timer's tick calls, by its system timer id; a WM_TIMER
// that was already queued when its timer stopped finds nothing.
std::map<UINT_PTR, std::function<void()>>& RunningTimers() {
    static std::map<UINT_PTR, std::function<void()>> timers;
    return timers;
}

UINT_PTR NextId() {
    static UINT_PTR id = 0;
    return ++id;
}

LRESULT CALLBACK TimerProcedure(::HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// The hidden window that receives every timer's WM_TIMER.
::HWND TimerWindow() {
    static ::HWND window =
        CreateWindowExW(0, WindowClass(L"K58TimerWindow", &TimerProcedure, nullptr), L"", 0, 0, 0,
                        0, 0, HWND_MESSAGE, nullptr, ProgramInstance(), nullptr);
    return window;
}

LRESULT CALLBACK TimerProcedure(::HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_TIMER)
        return DefWindowProcW(window, msg, wParam, lParam);
    auto found = RunningTimers().find(static_cast<UINT_PTR>(wParam));
    if (found != RunningTimers().end()) {
        // A copy: the tick may stop or free its timer.
        const std::function<void()> fire = found->second;
        fire();
    }
    return 0;
}

} // namespace

struct TTimer::TImpl {
    UINT_PTR id = 0;
    bool running = false;
};

// The system's window timer: its WM_TIMER is made only when the queue is
// otherwise empty and at most one waits at a time, and a handler that pumps
// messages gets its own timer's ticks nested inside it.
TTimer::TTimer(TComponent* owner) : TComponent(owner), mImpl(std::make_unique<TImpl>()) {
    mImpl->id = NextId();
    UpdateTimer();
}

TTimer::~TTimer() {
    if (mImpl->running)
        KillTimer(TimerWindow(), mImpl->id);
    RunningTimers().erase(mImpl->id);
}

bool TTimer::Running() const {
    return mImpl->running;
}

void TTimer::SetName(std::string name) {
    TComponent::SetName(std::move(name));
}

void TTimer::Loaded() {
    TComponent::Loaded();
    UpdateTimer();
}

void TTimer::UpdateTimer() {
    if (mImpl->running) {
        KillTimer(TimerWindow(), mImpl->id);
        RunningTimers().erase(mImpl->id);
        mImpl->running = false;
    }
    if (!mEnabled || mInterval == 0 || Loading())
        return;
    constexpr std::uint32_t MaxInterval = std::numeric_limits<int>::max();
    if (SetTimer(TimerWindow(), mImpl->id, mInterval < MaxInterval ? mInterval : MaxInterval,
                 nullptr) != 0) {
        mImpl->running = true;
        RunningTimers()[mImpl->id] = [this] { Fire(); };
    }
}

void TTimer::Fire() {
    if (!mImpl->running)
        return;
    if (Loading()) {
        UpdateTimer();
        return;
    }
    if (OnTimer)
        RunHandler([this] { OnTimer(this); });
}

} // namespace k58
