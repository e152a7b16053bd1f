#include "platform/qt/X11Pointer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointF>
#include <QPointer>
#include <QScreen>
#include <QSizeF>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdlib>

namespace k58 {

TX11Pointer* TX11Pointer::Instance() {
    static QPointer<TX11Pointer> tracker;
    // The application it was looked for, so a platform without a tracker is
    // looked at once per application, not at every reading.
    static const QCoreApplication* lookedFor = nullptr;
    if (tracker || lookedFor == QCoreApplication::instance())
        return tracker.data();
    lookedFor = QCoreApplication::instance();
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (gui == nullptr)
        return nullptr;
    auto* x11 = gui->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return nullptr;
    // Owned by the application, so it goes with it.
    tracker = new TX11Pointer(gui, x11->connection());
    return tracker.data();
}

TX11Pointer::TX11Pointer(QObject* application, xcb_connection_t* connection)
    : QObject(application), mConnection(connection) {
    mRoot = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    auto* gui = static_cast<QGuiApplication*>(application);
    connect(gui, &QGuiApplication::screenAdded, this, &TX11Pointer::FollowScreens);
    connect(gui, &QGuiApplication::screenRemoved, this, [this] { mScreens.clear(); });
    FollowScreens();
}

void TX11Pointer::FollowScreens() {
    // A changed scale or place of any screen makes the next reading look at
    // all of them afresh.
    mScreens.clear();
    for (QScreen* screen : QGuiApplication::screens()) {
        disconnect(screen, nullptr, this, nullptr);
        connect(screen, &QScreen::logicalDotsPerInchChanged, this, [this] { mScreens.clear(); });
        connect(screen, &QScreen::geometryChanged, this, [this] { mScreens.clear(); });
    }
}

QPoint TX11Pointer::ToLogical(QPoint device) {
    if (mScreens.empty()) {
        // The toolkit keeps a screen's top-left corner where the device
        // pixels put it and scales the rest from there.
        for (const QScreen* screen : QGuiApplication::screens()) {
            const qreal factor = screen->devicePixelRatio();
            const QRect logical = screen->geometry();
            mScreens.push_back(
                {QRect(logical.topLeft(), (QSizeF(logical.size()) * factor).toSize()), factor});
        }
        if (mScreens.empty())
            return device;
    }
    // A point on no screen counts as on the primary one, which is listed
    // first.
    const TScreenScale* on = &mScreens.front();
    for (const TScreenScale& screen : mScreens)
        if (screen.device.contains(device)) {
            on = &screen;
            break;
        }
    const QPoint origin = on->device.topLeft();
    return origin + (QPointF(device - origin) / on->factor).toPoint();
}

QPoint TX11Pointer::Position() {
    if (!mKnown) {
        // The first reading has nothing to go on yet.
        xcb_query_pointer_reply_t* reply =
            xcb_query_pointer_reply(mConnection, xcb_query_pointer(mConnection, mRoot), nullptr);
        if (reply != nullptr) {
            mPosition = QPoint(reply->root_x, reply->root_y);
            std::free(reply);
        }
        mKnown = true;
    }
    Collect();
    // The answer comes in while the program does other things; the next
    // reading collects it. A server slow to answer is not asked again
    // until it has.
    if (!mPending)
        Ask();
    return ToLogical(mPosition);
}

void TX11Pointer::Ask() {
    mPending = xcb_query_pointer(mConnection, mRoot).sequence;
    xcb_flush(mConnection);
}

void TX11Pointer::Collect() {
    if (!mPending)
        return;
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (xcb_poll_for_reply(mConnection, *mPending, &reply, &error) == 0)
        return;
    if (reply != nullptr) {
        const auto* pointer = static_cast<const xcb_query_pointer_reply_t*>(reply);
        mPosition = QPoint(pointer->root_x, pointer->root_y);
    }
    std::free(reply);
    std::free(error);
    mPending.reset();
}

} // namespace k58
