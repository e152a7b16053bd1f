// A real loss of the output, as OpenAL itself reports it: the file writer
// writes into a pipe whose reader goes away (as a headset does), and comes
// back when a reader is there again.
#include "SoundTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace k58 {
namespace {

using namespace soundtest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kRate = 22050;
// 0.4 s of the writer's 32-bit float stereo at 44.1 kHz.
constexpr std::size_t kListenBytes = 44100 * 8 * 4 / 10;

// Opens the pipe for reading (which lets the writer's open go ahead), takes
// `bytes` of what comes, and closes it: the writer's next write fails.
std::thread Listen(const std::string& pipe, std::vector<char>* heard) {
    return std::thread([pipe, heard] {
        const int fd = ::open(pipe.c_str(), O_RDONLY);
        if (fd < 0)
            return;
        char chunk[4096];
        while (heard->size() < kListenBytes) {
            const ssize_t got = ::read(fd, chunk, sizeof(chunk));
            if (got <= 0)
                break;
            heard->insert(heard->end(), chunk, chunk + got);
        }
        ::close(fd);
    });
}

// Whether the last writer has closed the pipe: a reader that does not wait
// then reads the end at once. The output that was lost is closed off the
// caller's thread, so a new reader must not come while the old writer holds
// the pipe (it would take the old writer's end of file for its own).
bool WriterGoneWithin(const std::string& pipe, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        const int fd = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
        char byte = 0;
        const ssize_t got = fd < 0 ? -1 : ::read(fd, &byte, 1);
        if (fd >= 0)
            ::close(fd);
        if (got == 0)
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

bool LostWithin(IDirectSoundBuffer* buffer, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (IsLost(buffer))
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// Runs in a process of its own (OpenAL reads its settings once per process)
// and says by its exit code how far it got: 0 is all well.
int LoseAndRecover() {
    ::alarm(30); // a stuck pipe ends the run instead of hanging it
    std::signal(SIGPIPE, SIG_IGN);
    char pattern[] = "/tmp/k58-pipe-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return 2;
    const std::string folder = pattern;
    const std::string pipe = folder + "/out.wav";
    if (::mkfifo(pipe.c_str(), 0600) != 0)
        return 3;
    std::ofstream(folder + "/alsoft.conf") << "[wave]\nfile = " << pipe << "\n";
    ::setenv("ALSOFT_DRIVERS", "wave", 1);
    ::setenv("ALSOFT_CONF", (folder + "/alsoft.conf").c_str(), 1);

    std::vector<char> first;
    std::thread listener = Listen(pipe, &first);
    Ref<IDirectSound> device;
    if (LoadCreate(K58_DSOUND_PATH)(nullptr, device.Out(), nullptr) != DS_OK)
        return 4;
    Ref<IDirectSoundBuffer> old(MakeBuffer(device.Get(), Sine(440.0, kRate, 1.0), kRate));
    if (!old || old->Play(0, 0, DSBPLAY_LOOPING) != DS_OK)
        return 5;
    listener.join(); // the headset is pulled
    if (!LostWithin(old.Get(), 2000ms))
        return 6;

    // The owner reloads while there is no output.
    Ref<IDirectSoundBuffer> reloaded(MakeBuffer(device.Get(), Sine(660.0, kRate, 1.0), kRate));
    if (!reloaded || reloaded->Play(0, 0, DSBPLAY_LOOPING) != DS_OK)
        return 7;
    if (!WriterGoneWithin(pipe, 2000ms))
        return 11;
    std::vector<char> second;
    listener = Listen(pipe, &second); // and plugged in again
    const auto deadline = Clock::now() + 3s;
    std::uint32_t status = 0;
    // Lost memory stays lost until it is restored, which works once the
    // output is back.
    while (old->Restore() != DS_OK && Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    if (old->GetStatus(&status) != DS_OK || status != 0)
        return 8;
    listener.join();
    const Recording out = ParseRecording(second);
    if (out.Seconds() < 0.3)
        return 9;
    if (std::abs(ToneFrequency(out, 0.1, out.Seconds()) - 660.0) > 1.0)
        return 10;
    old.Reset();
    reloaded.Reset();
    device.Reset();
    return 0;
}

TEST(DisconnectTest, LosingTheOutputLosesBuffersAndSoundReturnsWithIt) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(LoseAndRecover()), testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace k58
