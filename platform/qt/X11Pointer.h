// The pointer position on an X11 display, known without waiting for the X
// server.
//
// A synchronous pointer query waits a whole round trip, and while the server
// is busy that can take many milliseconds. So every reading sends one pointer
// query, unless one is still on its way, and returns the position of the
// newest answer that has arrived: usually the one to the query of the
// reading before, so a reading taken every tick is at most about one tick
// older than the pointer. Nothing is asked between readings: the pointer's
// motion itself (a gaming mouse reports a thousand times a second or more)
// costs the program nothing. A reading never waits, except the very first,
// which has nothing to go on and asks and waits once.
//
// The server answers in device pixels; readings are in the toolkit's
// logical pixels, the units of the window's geometry, at the scale each
// screen has at the moment of reading (the desktop's settings can change it
// while the program runs, and screens come and go).
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>

#include <cstdint>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace k58 {

class TX11Pointer : public QObject {
public:
    // The tracker of the running application, made on first use; nullptr
    // when the application does not run on an X11 display (another platform
    // plugin), where the caller asks the toolkit instead.
    static TX11Pointer* Instance();

    // The newest known position in logical screen coordinates.
    QPoint Position();

private:
    // Where a screen lies in device pixels and how it scales them.
    struct TScreenScale {
        QRect device;
        qreal factor;
    };

    TX11Pointer(QObject* application, xcb_connection_t* connection);
    void Ask();
    void Collect();
    void FollowScreens();
    QPoint ToLogical(QPoint device);

    xcb_connection_t* mConnection;
    std::uint32_t mRoot = 0;
    // Sequence number of the query on its way, if any.
    std::optional<unsigned int> mPending;
    bool mKnown = false;
    // The newest answer, in device pixels.
    QPoint mPosition;
    // The screens as they were when last looked at; empty when they have
    // changed since.
    std::vector<TScreenScale> mScreens;
};

} // namespace k58
