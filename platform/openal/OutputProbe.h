// Looks for the default output on a thread of its own while a device has
// none, so that no caller waits for a backend that is slow to answer (a sound
// server that is starting, a device that is going away).
//
// The probe first closes the output that was lost, then tries to open the
// default output at every interval until it has a device and a context; the
// device takes them over with Take(), which never waits for the backend.
#pragma once

#include <AL/alc.h>

#include <chrono>
#include <functional>
#include <memory>

namespace k58::openal {

struct Output {
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    explicit operator bool() const noexcept { return context != nullptr; }
};

class OutputProbe {
public:
    using Open = std::function<Output()>;

    // Starts the thread: closes lost (if any), then calls open every
    // interval until it gives an output; with atOnce the first call comes
    // without waiting.
    OutputProbe(Open open, std::chrono::milliseconds interval, Output lost, bool atOnce = false);
    // Stops the thread and waits for it at most a short while: a thread
    // held up inside the backend is left to finish by itself, and closes
    // whatever it opens.
    ~OutputProbe();
    OutputProbe(const OutputProbe&) = delete;
    OutputProbe& operator=(const OutputProbe&) = delete;

    // The output the thread opened, once; an empty Output until then.
    Output Take();
    // Waits at most limit for the first call of open to return; false when
    // it is still inside the backend.
    bool WaitForFirstAttempt(std::chrono::milliseconds limit);

    // How long the destructor waits for a thread that is still busy.
    static constexpr std::chrono::milliseconds kShutdownWait{300};

private:
    struct State;
    std::shared_ptr<State> mState;
};

// Closes an output: its context, then its device.
void CloseOutput(Output output);

} // namespace k58::openal
