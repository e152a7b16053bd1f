// The pointer reading on a real X server (a private Xvfb): it follows the
// pointer, never waits for the server, and pointer motion between readings
// costs nothing.
#include "platform/Cursor.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace k58 {
namespace {

// A second client of the display: moves and grabs as another program would.
class OtherClient {
public:
    OtherClient() : mConnection(xcb_connect(nullptr, nullptr)) {
        mRoot = xcb_setup_roots_iterator(xcb_get_setup(mConnection)).data->root;
    }
    ~OtherClient() { xcb_disconnect(mConnection); }

    // Waits until the server has handled everything sent so far.
    void Sync() {
        std::free(
            xcb_get_input_focus_reply(mConnection, xcb_get_input_focus(mConnection), nullptr));
    }
    void Warp(int x, int y) {
        xcb_warp_pointer(mConnection, XCB_NONE, mRoot, 0, 0, 0, 0, static_cast<int16_t>(x),
                         static_cast<int16_t>(y));
        Sync();
    }
    void Grab() {
        xcb_grab_server(mConnection);
        Sync();
    }
    void Ungrab() {
        xcb_ungrab_server(mConnection);
        xcb_flush(mConnection);
    }

private:
    xcb_connection_t* mConnection;
    xcb_window_t mRoot = 0;
};

// Handles events for a while without reading the pointer.
void HandleEventsFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

bool ReadingReaches(TPoint expected, int withinMs) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < withinMs) {
        if (Mouse_CursorPos() == expected)
            return true;
        HandleEventsFor(5);
    }
    return Mouse_CursorPos() == expected;
}

TEST(PointerTest, ReadingFollowsThePointerAndNeverWaitsForABusyServer) {
    OtherClient other;
    other.Warp(100, 200);
    EXPECT_TRUE(ReadingReaches({100, 200}, 2000));
    other.Warp(300, 250);
    // The readings' own queries find where the pointer went.
    EXPECT_TRUE(ReadingReaches({300, 250}, 2000));

    // While another client holds the server, a query would wait until it
    // lets go (after 1.5 s here); a reading gives the last known position
    // at once, so the readings are done before the server is let go.
    other.Grab();
    std::atomic<bool> released = false;
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        released = true;
        other.Ungrab();
    });
    TPoint read{};
    for (int i = 0; i < 50; ++i)
        read = Mouse_CursorPos();
    const bool waited = released;
    release.join();
    EXPECT_FALSE(waited) << "readings waited for the server";
    EXPECT_EQ(read, (TPoint{300, 250}));
}

// Counts the X events the program's connection delivers.
class EventCounter : public QAbstractNativeEventFilter {
public:
    EventCounter() { QCoreApplication::instance()->installNativeEventFilter(this); }
    ~EventCounter() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    bool nativeEventFilter(const QByteArray&, void*, qintptr*) override {
        ++mCount;
        return false;
    }
    int Count() const { return mCount; }

private:
    int mCount = 0;
};

TEST(PointerTest, MotionCostsNothingAndTheNextReadingsKnowWhereItWent) {
    OtherClient other;
    other.Warp(400, 300);
    ASSERT_TRUE(ReadingReaches({400, 300}, 2000));
    // Device motions (XTEST, relative), as a mouse reports them, with no
    // reading meanwhile: the program hears nothing of them (the toolkit may
    // be told once that another device now moves the pointer).
    EventCounter events;
    std::string moves = "xdotool";
    for (int i = 0; i < 100; ++i)
        moves += i % 2 == 0 ? " mousemove_relative -- 2 1" : " mousemove_relative -- -1 0";
    ASSERT_EQ(std::system(moves.c_str()), 0);
    HandleEventsFor(300);
    EXPECT_LT(events.Count(), 5) << "pointer motion woke the program";
    // A reading is at most one reading behind the pointer.
    Mouse_CursorPos();
    HandleEventsFor(100);
    EXPECT_EQ(Mouse_CursorPos(), (TPoint{450, 350}));
}

} // namespace
} // namespace k58

namespace {

// Starts a private Xvfb and returns its pid; DISPLAY names it.
pid_t StartXvfb() {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        std::freopen("/dev/null", "w", stderr);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
               "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // The number comes in more than one write: read up to its newline, or
    // Xvfb's next write finds the pipe closed and the server ends.
    char number[16] = {};
    std::size_t got = 0;
    while (got < sizeof number - 1 && std::strchr(number, '\n') == nullptr) {
        const ssize_t part = read(fds[0], number + got, sizeof number - 1 - got);
        if (part <= 0)
            break;
        got += static_cast<std::size_t>(part);
    }
    close(fds[0]);
    if (pid < 0 || std::strchr(number, '\n') == nullptr)
        return -1;
    setenv("DISPLAY", (":" + std::string(number, std::strcspn(number, "\n"))).c_str(), 1);
    return pid;
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const pid_t xvfb = StartXvfb();
    if (xvfb <= 0) {
        std::fprintf(stderr, "could not start Xvfb\n");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int result = 1;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    return result;
}
