// The idle-driven interval timer.
//
// TCustomDXTimer has no system timer behind it: it puts itself into the
// application's idle slot and, at every idle step of the message loop,
// compares the millisecond clock with its previous firing. Once Interval
// milliseconds have passed it raises OnTimer with LagCount, the number of
// whole intervals elapsed. With ActiveOnly it runs only while the
// application is active. TDXTimer is the class the window places.
#pragma once

#include "platform/Application.h"
#include "platform/Classes.h"
#include "platform/Controls.h"

#include <cstdint>
#include <functional>

namespace k58 {

using TDXTimerEvent = std::function<void(TObject* sender, std::int32_t lagCount)>;

class TCustomDXTimer : public TComponent {
public:
    explicit TCustomDXTimer(TComponent* owner);
    ~TCustomDXTimer() override;

    // Starts the timer once the window definition has been applied, if
    // Enabled.
    void Loaded() override;

    bool ActiveOnly() const noexcept { return mActiveOnly; }
    void SetActiveOnly(bool value);
    bool Enabled() const noexcept { return mEnabled; }
    void SetEnabled(bool value);
    std::int32_t FiringRate() const noexcept { return mFiringRate; }
    std::uint32_t Interval() const noexcept { return mInterval; }
    // A value negative as a signed 32-bit number is stored as 0.
    void SetInterval(std::uint32_t value);

    // Read-outs of the timing state, for inspection.
    bool Started() const noexcept { return mStarted; }
    std::uint32_t LagDivisor() const noexcept { return mLagDivisor; }
    std::uint32_t LastFireTime() const noexcept { return mLastFireTime; }

    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TDXTimerEvent OnTimer;

    const char* ClassName() const noexcept override { return "TCustomDXTimer"; }

protected:
    virtual void NotifyActivate();
    virtual void NotifyDeactivate();
    virtual void NotifyTimer(std::int32_t lagCount);

private:
    void AttachIdle();
    void DetachIdle();
    void StartTimer();
    void StopTimer();
    void IdleTick(TObject* sender, bool& done);
    bool ApplicationHook(TMessage& message);

    bool mActiveOnly = true;
    bool mEnabled = true;
    std::int32_t mFiringRate = 0;
    bool mStarted = false;
    std::uint32_t mInterval = 0;
    std::uint32_t mLagDivisor = 0;
    std::int32_t mRateCount = 0;
    std::uint32_t mLastFireTime = 0;
    std::uint32_t mRateWindowStart = 0;
    THookId mHookId = 0;
};

// The timer as the window places it; the behaviour is all in the base.
class TDXTimer : public TCustomDXTimer {
public:
    explicit TDXTimer(TComponent* owner) : TCustomDXTimer(owner) {}
    const char* ClassName() const noexcept override { return "TDXTimer"; }
};

} // namespace k58
