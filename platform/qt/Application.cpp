#include "platform/Application.h"

#include "platform/Clock.h"
#include "platform/Handlers.h"
#include "platform/qt/AppIcon.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <typeinfo>
#include <utility>
#include <vector>

namespace k58 {

TApplication* Application = nullptr;

namespace {

// Rounds of event dispatch ProcessMessages runs at most, so that a source
// that is ready again every time it is served cannot hold a pumping handler
// forever.
constexpr int MaxPumpRounds = 10000;
// How long the loop may wait when the idle handler wants another step and
// gave no deadline.
constexpr std::uint32_t DefaultIdleWaitMs = 1;

QEvent::Type MessageEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// A message posted to the application's own window.
class TMessageEvent : public QEvent {
public:
    explicit TMessageEvent(const TMessage& message)
        : QEvent(MessageEventType()), mMessage(message) {}
    TMessage mMessage;
};

void ReportThroughApplication(const std::exception& error) {
    if (Application != nullptr) {
        Application->HandleException(error);
        return;
    }
    std::fprintf(stderr, "%s\n", error.what());
}

// Shows a modal stop-icon box with an OK button.
void ShowStopBox(const std::string& caption, const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption), shown.trimmed(),
                    QMessageBox::Ok);
    // Messages are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace

// The application's own window: receives the messages posted to the
// application and hands them to its hooks.
class TApplicationWindow : public QObject {
public:
    explicit TApplicationWindow(TApplication& owner) : mOwner(owner) {}

protected:
    bool event(QEvent* event) override;

private:
    TApplication& mOwner;
};

struct TApplication::TImpl {
    TImpl(TApplication& owner, std::unique_ptr<QApplication> started)
        : toolkit(std::move(started)), window(owner) {}

    // Called from the application's own window.
    static void Dispatch(TApplication& app, TMessage& message) { app.Dispatch(message); }

    // The toolkit, when this object started it; made before anything else.
    std::unique_ptr<QApplication> toolkit;
    TApplicationWindow window;
    std::vector<std::pair<THookId, THookHandler>> hooks;
    THookId nextHookId = 1;

    // Wakes a waiting loop at an exact moment of the monotonic clock.
    int wakeFd = -1;
    std::unique_ptr<QSocketNotifier> wakeNotifier;
    // Used when no timer descriptor can be made.
    QTimer wakeTimer;
};

bool TApplicationWindow::event(QEvent* event) {
    if (event->type() != MessageEventType())
        return QObject::event(event);
    TMessage message = static_cast<TMessageEvent*>(event)->mMessage;
    TApplication::TImpl::Dispatch(mOwner, message);
    return true;
}

TApplication::TApplication(int& argc, char** argv)
    : TComponent(nullptr),
      mImpl(std::make_unique<TImpl>(*this, std::make_unique<QApplication>(argc, argv))) {
    Start();
}

TApplication::TApplication() : TComponent(nullptr), mImpl(std::make_unique<TImpl>(*this, nullptr)) {
    Start();
}

void TApplication::Start() {
    Application = this;
    SetExceptionReporter(&ReportThroughApplication);

    mImpl->wakeFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (mImpl->wakeFd >= 0) {
        mImpl->wakeNotifier =
            std::make_unique<QSocketNotifier>(mImpl->wakeFd, QSocketNotifier::Read);
        const int fd = mImpl->wakeFd;
        QObject::connect(mImpl->wakeNotifier.get(), &QSocketNotifier::activated, &mImpl->window,
                         [fd] {
                             std::uint64_t expirations = 0;
                             while (read(fd, &expirations, sizeof expirations) > 0) {
                             }
                         });
    }
    mImpl->wakeTimer.setSingleShot(true);
    mImpl->wakeTimer.setTimerType(Qt::PreciseTimer);

    if (qApp != nullptr)
        QObject::connect(
            qApp, &QGuiApplication::applicationStateChanged, &mImpl->window,
            [this](Qt::ApplicationState state) { SetActive(state == Qt::ApplicationActive); });
}

TApplication::~TApplication() {
    // Owned components (the main window) go first, while the loop's
    // resources they unhook from are still here.
    while (ComponentCount() > 0)
        delete Components(ComponentCount() - 1);
    if (Application == this) {
        Application = nullptr;
        SetExceptionReporter(nullptr);
    }
    mImpl->wakeNotifier.reset();
    if (mImpl->wakeFd >= 0)
        close(mImpl->wakeFd);
}

void TApplication::SetIcon(std::span<const std::uint8_t> icoFile,
                           std::span<const std::uint8_t> pngFile) {
    QApplication::setWindowIcon(MakeAppIcon(icoFile, pngFile));
}

void TApplication::SetTitle(const std::string& title) {
    // Kept here only: Qt appends an application display name to the title of
    // every other window ("Application Error — K-58"), and the task bar shows
    // the main window's own caption anyway.
    mTitle = title;
}

void TApplication::SetActive(bool active) {
    // Every report posts a notice, also one that repeats the present state:
    // the first activation after start-up restarts the idle timer's timing.
    mActive = active;
    PostMessage(active ? CM_ACTIVATE : CM_DEACTIVATE);
}

THookId TApplication::HookMainWindow(THookHandler hook) {
    const THookId id = mImpl->nextHookId++;
    mImpl->hooks.emplace_back(id, std::move(hook));
    return id;
}

void TApplication::UnhookMainWindow(THookId id) {
    auto& hooks = mImpl->hooks;
    for (auto it = hooks.begin(); it != hooks.end(); ++it)
        if (it->first == id) {
            hooks.erase(it);
            return;
        }
}

void TApplication::PostMessage(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
    TMessage message;
    message.Msg = msg;
    message.WParam = wParam;
    message.LParam = lParam;
    QCoreApplication::postEvent(&mImpl->window, new TMessageEvent(message));
}

void TApplication::Dispatch(TMessage& message) {
    RunHandler([&] {
        // A hook may add or remove hooks, so walk a snapshot of the ids and
        // skip any removed on the way.
        std::vector<THookId> ids;
        ids.reserve(mImpl->hooks.size());
        for (const auto& entry : mImpl->hooks)
            ids.push_back(entry.first);
        for (THookId id : ids) {
            THookHandler hook;
            for (const auto& entry : mImpl->hooks)
                if (entry.first == id)
                    hook = entry.second;
            if (hook && hook(message))
                return;
        }
        // The application itself does nothing more with its notices.
    });
}

void TApplication::ProcessMessages() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr)
        return;
    K58_TRACE_TIMING_EVENT('P');
    for (int round = 0; round < MaxPumpRounds; ++round)
        if (!dispatcher->processEvents(QEventLoop::AllEvents))
            break;
    K58_TRACE_TIMING_EVENT('p');
}

void TApplication::SetIdleWakeTime(std::uint32_t clockValue) noexcept {
    mHasIdleWakeTime = true;
    mIdleWakeTime = clockValue;
}

void TApplication::Run() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr)
        return;
    while (!mTerminated) {
        const bool dispatched = dispatcher->processEvents(QEventLoop::AllEvents);
        // Objects released with deleteLater go here, as exec() would do.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (dispatched || mTerminated)
            continue;

        const bool done = IdleStep();
        if (!mTerminated)
            WaitForEvent(!done);
    }
}

bool TApplication::IdleStep() {
    bool done = true;
    mHasIdleWakeTime = false;
    if (OnIdle) {
        // A copy, because the handler may clear or replace the slot.
        const TIdleEvent handler = OnIdle;
        RunHandler([&] { handler(this, done); });
    }
    return done;
}

bool TApplication::WaitForEvent(bool idleWantsMore) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!idleWantsMore)
        return dispatcher->processEvents(QEventLoop::WaitForMoreEvents);

    // The idle handler wants another step: wait for an event, but no longer
    // than until the moment it named (or a millisecond), instead of polling
    // without pause.
    const auto now = std::chrono::steady_clock::now();
    const auto wake = mHasIdleWakeTime ? ClockMoment(mIdleWakeTime)
                                       : now + std::chrono::milliseconds(DefaultIdleWaitMs);
    if (wake <= now)
        return false;
    if (mImpl->wakeFd >= 0) {
        const auto moment = wake.time_since_epoch();
        itimerspec spec{};
        spec.it_value.tv_sec =
            static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(moment).count());
        spec.it_value.tv_nsec = static_cast<long>((moment % std::chrono::seconds(1)).count());
        if (spec.it_value.tv_sec == 0 && spec.it_value.tv_nsec == 0)
            spec.it_value.tv_nsec = 1;
        timerfd_settime(mImpl->wakeFd, TFD_TIMER_ABSTIME, &spec, nullptr);
        const bool result = dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
        const itimerspec off{};
        timerfd_settime(mImpl->wakeFd, 0, &off, nullptr);
        return result;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    mImpl->wakeTimer.start(static_cast<int>(std::min<std::int64_t>(ms, INT32_MAX)));
    const bool result = dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
    mImpl->wakeTimer.stop();
    return result;
}

void TApplication::Terminate() {
    mTerminated = true;
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

void TApplication::HandleException(const std::exception& error) {
    // An error raised while an error box is open (a timer handler failing
    // again and again, say) opens no further box.
    if (mErrorBoxOpen)
        return;
    mErrorBoxOpen = true;
    try {
        ShowStopBox(mTitle, ExceptionText(error));
    } catch (...) {
        std::fprintf(stderr, "%s\n", error.what());
    }
    mErrorBoxOpen = false;
}

__attribute__((noinline)) void TApplication::ShowStartupError(const std::exception& error,
                                                              const void* address) {
    // C++ keeps no record of where an exception was raised; the nearest
    // honest code address is the place in the program that caught it.
    if (address == nullptr)
        address = __builtin_return_address(0);
    const std::string text = StartupErrorText(error, address);
    if (qApp == nullptr) {
        std::fprintf(stderr, "%s", text.c_str());
        return;
    }
    try {
        ShowStopBox("Application Error", text);
    } catch (...) {
        std::fprintf(stderr, "%s", text.c_str());
    }
}

} // namespace k58
