#include "platform/Timers.h"

#include "platform/Handlers.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <limits>

namespace k58 {
namespace {

const QEvent::Type kTickEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Runs a queued tick when the event loop, or a handler that pumps, delivers it.
class TickReceiver final : public QObject {
public:
    explicit TickReceiver(std::function<void()> fire) : mFire(std::move(fire)) {}
    bool event(QEvent* event) override {
        if (event->type() != kTickEvent)
            return QObject::event(event);
        mFire();
        return true;
    }

private:
    std::function<void()> mFire;
};

} // namespace

struct TTimer::TImpl {
    explicit TImpl(std::function<void()> fire) : receiver(std::move(fire)) {}
    QTimer timer;
    // Receives the queued ticks.
    TickReceiver receiver;
};

TTimer::TTimer(TComponent* owner)
    : TComponent(owner), mImpl(std::make_unique<TImpl>([this] { Fire(); })) {
    // A fixed schedule: a late tick is followed by an early one, so the
    // average rate holds.
    mImpl->timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&mImpl->timer, &QTimer::timeout, &mImpl->timer, [this] { QueueTick(); });
    UpdateTimer();
}

TTimer::~TTimer() {
    mImpl->timer.stop();
}

void TTimer::QueueTick() {
    // Qt never re-enters a timer's own timeout while it runs, so the tick is
    // queued instead of run here; like a window timer's message, at most
    // one waits at a time.
    if (mTickQueued)
        return;
    mTickQueued = true;
    QCoreApplication::postEvent(&mImpl->receiver, new QEvent(kTickEvent));
}

bool TTimer::Running() const {
    return mImpl->timer.isActive();
}

void TTimer::SetName(std::string name) {
    mImpl->timer.setObjectName(QString::fromStdString(name));
    TComponent::SetName(std::move(name));
}

void TTimer::Loaded() {
    TComponent::Loaded();
    mImpl->timer.setObjectName(QString::fromStdString(Name()));
    UpdateTimer();
}

void TTimer::UpdateTimer() {
    mImpl->timer.stop();
    if (!mEnabled || mInterval == 0 || Loading())
        return;
    constexpr std::uint32_t MaxInterval = std::numeric_limits<int>::max();
    mImpl->timer.start(static_cast<int>(mInterval < MaxInterval ? mInterval : MaxInterval));
}

void TTimer::Fire() {
    mTickQueued = false;
    if (!mImpl->timer.isActive())
        return; // stopped after the tick was queued
    // A tick due while the window definition is still being applied waits
    // for Loaded(), which starts the timer afresh.
    if (Loading()) {
        mImpl->timer.stop();
        return;
    }
    if (OnTimer)
        RunHandler([this] { OnTimer(this); });
}

} // namespace k58
