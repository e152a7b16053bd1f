#include "timer/DXTimer.h"

#include "platform/Clock.h"

#include <algorithm>
#include <limits>

namespace k58 {
namespace {

// The shortest rate window in clock milliseconds.
constexpr std::int32_t RateWindowMs = 1000;

// numerator / denominator rounded to the nearest integer, halves to even.
std::int64_t DivideRoundHalfEven(std::int64_t numerator, std::int64_t denominator) {
    std::int64_t quotient = numerator / denominator;
    const std::int64_t twiceRemainder = 2 * (numerator % denominator);
    if (twiceRemainder > denominator || (twiceRemainder == denominator && quotient % 2 != 0))
        ++quotient;
    return quotient;
}

} // namespace

TCustomDXTimer::TCustomDXTimer(TComponent* owner) : TComponent(owner) {
    mActiveOnly = true;
    mEnabled = true;
    SetInterval(1000);
    if (Application != nullptr)
        mHookId = Application->HookMainWindow(
            [this](TMessage& message) { return ApplicationHook(message); });
}

TCustomDXTimer::~TCustomDXTimer() {
    StopTimer();
    if (Application != nullptr && mHookId != 0)
        Application->UnhookMainWindow(mHookId);
}

void TCustomDXTimer::Loaded() {
    TComponent::Loaded();
    if (mEnabled)
        StartTimer();
}

void TCustomDXTimer::SetActiveOnly(bool value) {
    if (mActiveOnly == value)
        return;
    mActiveOnly = value;
    // Turning it off leaves a suspended timer detached until the next start.
    if (mActiveOnly && mStarted && Application != nullptr && !Application->Active())
        DetachIdle();
}

void TCustomDXTimer::SetEnabled(bool value) {
    if (mEnabled == value)
        return;
    mEnabled = value;
    if (Loading())
        return;
    if (mEnabled)
        StartTimer();
    else
        StopTimer();
}

void TCustomDXTimer::SetInterval(std::uint32_t value) {
    K58_TRACE_TIMING_EVENT('I', static_cast<std::int32_t>(value));
    if (mInterval == value)
        return;
    const auto request = static_cast<std::int32_t>(value);
    mInterval = request < 0 ? 0 : value;
    mLagDivisor = static_cast<std::uint32_t>(std::max(request, 1));
    // The timing goes on from the previous firing: a shorter interval that
    // has already passed fires at the next idle step.
}

void TCustomDXTimer::NotifyActivate() {
    if (OnActivate)
        OnActivate(this);
}

void TCustomDXTimer::NotifyDeactivate() {
    if (OnDeactivate)
        OnDeactivate(this);
}

void TCustomDXTimer::NotifyTimer(std::int32_t lagCount) {
    if (OnTimer)
        OnTimer(this, lagCount);
}

void TCustomDXTimer::AttachIdle() {
    mLastFireTime = timeGetTime();
    mRateWindowStart = timeGetTime();
    if (Application != nullptr)
        Application->OnIdle = [this](TObject* sender, bool& done) { IdleTick(sender, done); };
}

void TCustomDXTimer::DetachIdle() {
    // Clears the slot whoever holds it: there is one idle slot and one timer.
    if (Application != nullptr)
        Application->OnIdle = nullptr;
}

void TCustomDXTimer::StartTimer() {
    StopTimer();
    if (!mActiveOnly || Application == nullptr || Application->Active())
        AttachIdle();
    mStarted = true;
}

void TCustomDXTimer::StopTimer() {
    if (!mStarted)
        return;
    DetachIdle();
    mStarted = false;
}

void TCustomDXTimer::IdleTick(TObject* sender, bool& done) {
    (void)sender;
    done = false;
    const std::uint32_t now = timeGetTime();
    const std::uint32_t elapsed = now - mLastFireTime;
    if (elapsed < mInterval) {
        // Nothing can be due before the interval is complete, so the loop
        // may wait for events until then instead of polling the clock.
        if (Application != nullptr)
            Application->SetIdleWakeTime(mLastFireTime + mInterval);
        return;
    }
    // The next interval counts from now, not from the due moment, so late
    // firings do not bunch up; the lateness shows in the lag count.
    mLastFireTime = now;
    const std::uint32_t lag = std::max<std::uint32_t>(elapsed / mLagDivisor, 1);
    const auto lagCount = static_cast<std::int32_t>(
        std::min<std::uint32_t>(lag, std::numeric_limits<std::int32_t>::max()));

    ++mRateCount;
    const std::int32_t span = std::max(static_cast<std::int32_t>(now - mRateWindowStart), 1);
    if (span >= RateWindowMs) {
        mFiringRate = static_cast<std::int32_t>(
            DivideRoundHalfEven(static_cast<std::int64_t>(mRateCount) * 1000, span));
        mRateCount = 0;
        mRateWindowStart = now;
    }

    // The next firing is due an interval from this one. The event comes
    // last: its handler may free the timer. An interval the handler changes
    // counts from the next idle step, which any message brings.
    if (Application != nullptr)
        Application->SetIdleWakeTime(now + mInterval);
    K58_TRACE_TIMING_EVENT('F', now, elapsed, mInterval);
    NotifyTimer(lagCount);
    K58_TRACE_TIMING_EVENT('f'); // touches no member
}

bool TCustomDXTimer::ApplicationHook(TMessage& message) {
    if (message.Msg == CM_ACTIVATE) {
        NotifyActivate();
        // Also when already attached: activation restarts the timing.
        if (mStarted && mActiveOnly)
            AttachIdle();
    } else if (message.Msg == CM_DEACTIVATE) {
        NotifyDeactivate();
        if (mStarted && mActiveOnly)
            DetachIdle();
    }
    return false;
}

} // namespace k58
