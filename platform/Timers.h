// The window timer: raises OnTimer every Interval milliseconds on the user
// interface thread while enabled. Each platform implements it over its own
// system timer in its Timers.cpp.
#pragma once

#include "platform/Classes.h"

#include <cstdint>
#include <memory>

namespace k58 {

// Runs while Enabled, Interval > 0 and the component is not loading, so a
// timer made enabled by a window definition starts once Loaded() has run.
// The schedule is fixed (a late tick is followed by an early one). Each tick
// is queued as a message, at most one at a time, so a handler that pumps
// messages sees its own timer's ticks run nested inside it, as a window
// timer's ticks do.
class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;

    std::uint32_t Interval() const noexcept { return mInterval; }
    void SetInterval(std::uint32_t value);
    bool Enabled() const noexcept { return mEnabled; }
    void SetEnabled(bool value);
    // Whether the underlying timer is counting now.
    bool Running() const;

    TNotifyEvent OnTimer;

    // The name is also the timer object's name.
    void SetName(std::string name);

    void Loaded() override;
    const char* ClassName() const noexcept override { return "TTimer"; }

    // The system timer behind it; defined by the platform layer.
    struct TImpl;

private:
    void UpdateTimer();
    void QueueTick();
    void Fire();

    std::unique_ptr<TImpl> mImpl;
    bool mTickQueued = false;
    std::uint32_t mInterval = 1000;
    bool mEnabled = true;
};

} // namespace k58
