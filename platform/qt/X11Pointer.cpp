#include "platform/qt/X11Pointer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#include <xcb/xinput.h>

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
    ListenForRawMotion();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

void TX11Pointer::ListenForRawMotion() {
    // The toolkit has already announced its XInput 2 version on this
    // connection; announcing another could be refused, so only the selection
    // is made here. Done once, so waiting for its answer is fine.
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(mConnection, &xcb_input_id);
    if (input == nullptr || !input->present)
        return;
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_MOTION};
    xcb_generic_error_t* error = xcb_request_check(
        mConnection, xcb_input_xi_select_events_checked(mConnection, mRoot, 1, &mask.head));
    if (error != nullptr) {
        std::free(error);
        return;
    }
    mInputOpcode = input->major_opcode;
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
    if (!mPending)
        Ask();
    return mPosition;
}

bool TX11Pointer::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (mInputOpcode == 0 || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_ge_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_GE_GENERIC || event->extension != mInputOpcode ||
        event->event_type != XCB_INPUT_RAW_MOTION)
        return false;
    if (mPending) {
        mMovedSinceAsked = true;
        Collect();
    } else {
        Ask();
    }
    // The toolkit does nothing with raw motion, but leave it the event.
    return false;
}

void TX11Pointer::Ask() {
    mPending = xcb_query_pointer(mConnection, mRoot).sequence;
    mMovedSinceAsked = false;
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
    // The answer predates the latest motion: ask again.
    if (mMovedSinceAsked)
        Ask();
}

} // namespace k58
