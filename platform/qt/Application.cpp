#include "platform/Application.h"

#include "platform/Clock.h"
#include "platform/Handlers.h"
#include "platform/qt/AppIcon.h"
#include "platform/qt/PlatformPlugin.h"

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

} // namespace

void TApplication::ShowErrorBox(const std::string& caption, const std::string& text) {
    if (qApp == nullptr) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption), shown.trimmed(),
                    QMessageBox::Ok);
    // Messages are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

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

namespace {

// The program's toolkit, on the platform plugin the program prefers.
std::unique_ptr<QApplication> StartToolkit(int& argc, char** argv) {
    ChoosePlatformPlugin();
    return std::make_unique<QApplication>(argc, argv);
}

} // namespace

TApplication::TApplication(int& argc, char** argv)
    : TComponent(nullptr), mImpl(std::make_unique<TImpl>(*this, StartToolkit(argc, argv))) {
    Start();
}

TApplication::TApplication() : TComponent(nullptr), mImpl(std::make_unique<TImpl>(*this, nullptr)) {
    Start();
}

void TApplication::Start() {
    Register();

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
    Unregister();
    mImpl->wakeNotifier.reset();
    if (mImpl->wakeFd >= 0)
        close(mImpl->wakeFd);
}

void TApplication::SetIcon(std::span<const std::uint8_t> icoFile,
                           std::span<const std::uint8_t> pngFile) {
    QApplication::setWindowIcon(MakeAppIcon(icoFile, pngFile));
}

void TApplication::PostMessage(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
    TMessage message;
    message.Msg = msg;
    message.WParam = wParam;
    message.LParam = lParam;
    QCoreApplication::postEvent(&mImpl->window, new TMessageEvent(message));
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

} // namespace k58
