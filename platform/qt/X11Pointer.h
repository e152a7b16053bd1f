// The pointer position on an X11 display, known without waiting for the X
// server.
//
// A synchronous pointer query waits a whole round trip, and while the server
// is busy that can take many milliseconds. So the position is kept from
// pointer queries whose answers are collected only once they have arrived:
// a query goes out whenever the server reports raw pointer motion (XInput 2
// on the root window, which reaches a client wherever the pointer is) and,
// for what raises no raw motion (a warped pointer), whenever a reading finds
// no query on its way. A reading returns the position of the latest answer
// and never waits, except the very first, which asks and waits once.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPoint>

#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace k58 {

class TX11Pointer : public QObject, public QAbstractNativeEventFilter {
public:
    // The tracker of the running application, made on first use; nullptr
    // when the application does not run on an X11 display (another platform
    // plugin) or its screens scale pixels, where the caller asks the toolkit
    // instead.
    static TX11Pointer* Instance();

    // The latest known position in screen coordinates.
    QPoint Position();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    TX11Pointer(QObject* application, xcb_connection_t* connection);
    void ListenForRawMotion();
    void Ask();
    void Collect();

    xcb_connection_t* mConnection;
    std::uint32_t mRoot = 0;
    // Major opcode of the XInput extension, 0 when raw motion is not heard.
    std::uint8_t mInputOpcode = 0;
    // Sequence number of the query on its way, if any.
    std::optional<unsigned int> mPending;
    // Raw motion came after the query on its way was sent.
    bool mMovedSinceAsked = false;
    bool mKnown = false;
    QPoint mPosition;
};

} // namespace k58
