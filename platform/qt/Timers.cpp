#include "platform/qt/Timers.h"

#include "platform/Handlers.h"

#include <QString>
#include <QTimer>

#include <limits>

namespace k58 {

TTimer::TTimer(TComponent* owner) : TComponent(owner), mTimer(std::make_unique<QTimer>()) {
    // A fixed schedule: a late tick is followed by an early one, so the
    // average rate holds.
    mTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(mTimer.get(), &QTimer::timeout, mTimer.get(), [this] { Fire(); });
    UpdateTimer();
}

TTimer::~TTimer() {
    mTimer->stop();
}

void TTimer::SetInterval(std::uint32_t value) {
    if (value == mInterval)
        return;
    mInterval = value;
    UpdateTimer();
}

void TTimer::SetEnabled(bool value) {
    if (value == mEnabled)
        return;
    mEnabled = value;
    UpdateTimer();
}

bool TTimer::Running() const {
    return mTimer->isActive();
}

void TTimer::SetName(std::string name) {
    mTimer->setObjectName(QString::fromStdString(name));
    TComponent::SetName(std::move(name));
}

void TTimer::Loaded() {
    TComponent::Loaded();
    mTimer->setObjectName(QString::fromStdString(Name()));
    UpdateTimer();
}

void TTimer::UpdateTimer() {
    mTimer->stop();
    if (!mEnabled || mInterval == 0 || Loading())
        return;
    constexpr std::uint32_t MaxInterval = std::numeric_limits<int>::max();
    mTimer->start(static_cast<int>(mInterval < MaxInterval ? mInterval : MaxInterval));
}

void TTimer::Fire() {
    // A tick due while the window definition is still being applied waits
    // for Loaded(), which starts the timer afresh.
    if (Loading()) {
        mTimer->stop();
        return;
    }
    if (OnTimer)
        RunHandler([this] { OnTimer(this); });
}

} // namespace k58
