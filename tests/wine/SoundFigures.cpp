// Figures of the system's DirectSound as K-58's sound wrappers drive it, not
// a test (bench/wine-bench.py runs it under Wine):
//
//   wine_sound_figures <recording> [changes]
//
// <recording> is the raw float32 stereo 44.1 kHz file that a recorder of the
// output (parec of a PulseAudio sink) is writing. A looped 440 Hz tone jumps
// to 880 Hz and back, 400 to 428 ms apart; for each SetFrequency the program prints
// "call <seconds> <hertz>", the moment of the call in the recording's time.
// The recording is tied to the clock by its size while it grows: at any
// moment it holds no more than the time since its start allows, which bounds
// its start from above (so a delay found from these moments may come out
// late by the recorder's own smallest delay, never early).
#include "sound/DirectSoundWrappers.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

using namespace k58;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kRate = 22050;
constexpr double kTone = 440.0;
constexpr double kRecordingRate = 44100.0;
constexpr std::uintmax_t kRecordingFrameBytes = 8; // float32 stereo

// Whole periods of the tone in about a second, so the loop has no seam.
std::vector<std::int16_t> Tone() {
    const int periods = static_cast<int>(kTone);
    const auto count = static_cast<std::size_t>(std::lround(periods * kRate / kTone));
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(
            std::lround(16000.0 * std::sin(2.0 * std::numbers::pi * periods * double(i) / count)));
    return samples;
}

// Watches the recording's size and keeps the latest moment its sample 0 can
// have been played.
class RecordingStart {
public:
    explicit RecordingStart(std::string path)
        : mPath(std::move(path)), mThread([this] { Watch(); }) {}
    ~RecordingStart() { Stop(); }
    Clock::time_point Stop() {
        mStop = true;
        if (mThread.joinable())
            mThread.join();
        return mStart;
    }

private:
    void Watch() {
        while (!mStop) {
            std::error_code error;
            const std::uintmax_t bytes = std::filesystem::file_size(mPath, error);
            const Clock::time_point now = Clock::now();
            if (!error && bytes >= kRecordingFrameBytes) {
                const auto held =
                    std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                        double(bytes / kRecordingFrameBytes) / kRecordingRate));
                if (!mSeen || now - held < mStart)
                    mStart = now - held;
                mSeen = true;
            }
            std::this_thread::sleep_for(1ms);
        }
    }

    std::string mPath;
    std::atomic<bool> mStop{false};
    bool mSeen = false;
    Clock::time_point mStart{};
    std::thread mThread;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const int changes = argc > 2 ? std::atoi(argv[2]) : 24;
    try {
        RecordingStart start(argv[1]);
        TDirectSound device(nullptr);
        TDirectSoundBuffer tone(&device);
        const std::vector<std::int16_t> samples = Tone();
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 1;
        format.nSamplesPerSec = kRate;
        format.wBitsPerSample = 16;
        format.nBlockAlign = 2;
        format.nAvgBytesPerSec = kRate * 2;
        tone.LoadFromMemory(&format, samples.data(), static_cast<std::int32_t>(samples.size() * 2));
        if (!tone.Play(true))
            return 5;
        // The recorder takes a while to deliver its first samples.
        std::this_thread::sleep_for(2500ms);
        std::vector<std::pair<Clock::time_point, std::uint32_t>> calls;
        for (int i = 0; i < changes; ++i) {
            // Far enough apart that each change is heard before the next one
            // is made: Wine's mixer writes well ahead.
            std::this_thread::sleep_for(400ms + std::chrono::milliseconds(7 * (i % 5)));
            const std::uint32_t hertz = i % 2 == 0 ? 2 * kRate : kRate;
            calls.emplace_back(Clock::now(), hertz);
            tone.SetFrequency(hertz);
        }
        std::this_thread::sleep_for(1000ms);
        const Clock::time_point zero = start.Stop();
        for (const auto& [at, hertz] : calls)
            std::printf("call %.6f %u\n", std::chrono::duration<double>(at - zero).count(),
                        static_cast<unsigned>(hertz * kTone / kRate));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "wine_sound_figures: %s\n", error.what());
        return 4;
    }
    return 0;
}
