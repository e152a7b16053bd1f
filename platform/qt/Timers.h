// The window timer: raises OnTimer every Interval milliseconds on the user
// interface thread while enabled.
#pragma once

#include "platform/Classes.h"

#include <cstdint>
#include <memory>

class QTimer;

namespace k58 {

// Runs while Enabled, Interval > 0 and the component is not loading, so a
// timer made enabled by a window definition starts once Loaded() has run.
// The schedule is fixed (a late tick is followed by an early one). A handler
// that pumps messages is not re-entered by its own timer.
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

private:
    void UpdateTimer();
    void Fire();

    std::unique_ptr<QTimer> mTimer;
    std::uint32_t mInterval = 1000;
    bool mEnabled = true;
};

} // namespace k58
