#include "platform/qt/X11Pointer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdlib>

namespace k58 {
namespace {

bool ScreensScalePixels() {
    const auto screens = QGuiApplication::screens();
    for (const QScreen* screen : screens)
        if (screen->devicePixelRatio() != 1.0)
            return true;
    return false;
}

} // namespace

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
    if (x11 == nullptr || x11->connection() == nullptr || ScreensScalePixels())
        return nullptr;
    // Owned by the application, so it goes with it.
    tracker = new TX11Pointer(gui, x11->connection());
    return tracker.data();
}

TX11Pointer::TX11Pointer(QObject* application, xcb_connection_t* connection)
    : QObject(application), mConnection(connection) {
    mRoot = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
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
    return mPosition;
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
