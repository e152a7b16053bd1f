#include "platform/openal/OutputProbe.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

namespace k58::openal {
namespace {

// Probe threads that have not ended, and whether the program is ending.
std::atomic<int> gRunning{0};
std::atomic<bool> gEnding{false};

// How long the end of the program waits for probe threads.
constexpr auto kEndWait = std::chrono::milliseconds(1000);

// When the program ends, OpenAL's library tears itself down (its devices,
// locks and backends) after the exit handlers have run. A probe thread still
// inside the backend then would go on in that torn-down state. So the end
// first lets no probe start another attempt and waits a while for the
// threads; if one is still held up in the backend, the process ends here,
// with the status it was ending with, before any library is torn down.
void OnProgramEnd(int status, void*) {
    gEnding = true;
    const auto deadline = std::chrono::steady_clock::now() + kEndWait;
    while (gRunning.load() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (gRunning.load() > 0) {
        std::fflush(nullptr);
        ::_exit(status);
    }
}

// A probe left to finish by itself runs this module's code after its owner
// is gone, perhaps after the program let go of the module: keep the module
// loaded for the rest of the process, and make its end safe.
void KeepModuleLoaded() {
    static const bool kept = [] {
        static const int anchor = 0;
        Dl_info info{};
        if (::dladdr(&anchor, &info) != 0 && info.dli_fname != nullptr)
            ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        ::on_exit(OnProgramEnd, nullptr);
        return true;
    }();
    (void)kept;
}

} // namespace

void CloseOutput(Output output) {
    if (output.context != nullptr)
        alcDestroyContext(output.context);
    if (output.device != nullptr)
        alcCloseDevice(output.device);
}

// Shared by the probe and its thread, so a thread that outlives the probe
// still has it. The mutex is never held across a backend call.
struct OutputProbe::State {
    Open open;
    std::chrono::milliseconds interval;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool done = false;
    bool taken = false;
    int attempts = 0; // calls of open that returned
    Output found;
    std::thread thread;

    void Run(Output lost, bool atOnce) {
        CloseOutput(lost);
        for (bool wait = !atOnce;; wait = true) {
            if (wait) {
                std::unique_lock lock(mutex);
                if (wake.wait_for(lock, interval, [this] { return stop; }))
                    break;
            }
            if (gEnding)
                break;
            const Output output = open();
            std::unique_lock lock(mutex);
            ++attempts;
            wake.notify_all();
            if (!output)
                continue;
            if (stop) {
                lock.unlock();
                CloseOutput(output);
                break;
            }
            found = output;
            done = true;
            return;
        }
        std::lock_guard lock(mutex);
        done = true;
        wake.notify_all();
    }
};

OutputProbe::OutputProbe(Open open, std::chrono::milliseconds interval, Output lost, bool atOnce)
    : mState(std::make_shared<State>()) {
    KeepModuleLoaded();
    mState->open = std::move(open);
    mState->interval = interval;
    ++gRunning;
    try {
        mState->thread = std::thread([state = mState, lost, atOnce] {
            state->Run(lost, atOnce);
            --gRunning;
        });
    } catch (...) {
        --gRunning;
        throw;
    }
}

OutputProbe::~OutputProbe() {
    std::unique_lock lock(mState->mutex);
    mState->stop = true;
    mState->wake.notify_all();
    if (!mState->wake.wait_for(lock, kShutdownWait, [this] { return mState->done; })) {
        lock.unlock();
        mState->thread.detach();
        return;
    }
    const Output unused = mState->taken ? Output{} : mState->found;
    lock.unlock();
    mState->thread.join();
    CloseOutput(unused);
}

bool OutputProbe::WaitForFirstAttempt(std::chrono::milliseconds limit) {
    std::unique_lock lock(mState->mutex);
    return mState->wake.wait_for(lock, limit,
                                 [this] { return mState->attempts > 0 || mState->done; });
}

Output OutputProbe::Take() {
    std::lock_guard lock(mState->mutex);
    if (!mState->done || mState->taken || !mState->found)
        return {};
    mState->taken = true;
    return mState->found;
}

} // namespace k58::openal
