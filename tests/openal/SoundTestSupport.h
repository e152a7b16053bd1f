// Helpers for the tests of the sound-device module: loading it, making
// buffers of test tones, and analysing what OpenAL's file writer recorded.
#pragma once

#include "platform/DirectSound.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace k58::soundtest {

// Selects OpenAL's silent output for this process (before the first device).
void UseNullOutput();
// Selects OpenAL's file writer for this process; returns the file it writes.
std::string UseWaveOutput();

// Loads a build of the module by path; fails the test if it cannot.
TDirectSoundCreate LoadCreate(const std::string& path);

// Holds one reference and releases it when it goes.
template <class T> class Ref {
public:
    Ref() = default;
    explicit Ref(T* p) : mP(p) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Reset(); }
    void Reset() {
        if (mP != nullptr)
            mP->Release();
        mP = nullptr;
    }
    T** Out() {
        Reset();
        return &mP;
    }
    T* operator->() const { return mP; }
    T* Get() const { return mP; }
    explicit operator bool() const { return mP != nullptr; }

private:
    T* mP = nullptr;
};

WAVEFORMATEX Pcm16Mono(std::uint32_t rate);
// A whole number of sine periods that fits in about `seconds`, so a loop
// joins without a seam.
std::vector<std::int16_t> Sine(double hertz, std::uint32_t rate, double seconds,
                               double amplitude = 0.5);
// Makes a secondary buffer with frequency, pan and volume control and fills
// it with the samples; the test fails if that does not work.
IDirectSoundBuffer* MakeBuffer(IDirectSound* device, const std::vector<std::int16_t>& samples,
                               std::uint32_t rate);
void Fill(IDirectSoundBuffer* buffer, const std::vector<std::int16_t>& samples);
// Whether the buffer's memory is lost, asked as the platform is asked: its
// GetStatus works and sets DSBSTATUS_BUFFERLOST.
bool IsLost(IDirectSoundBuffer* buffer);
DSBUFFERDESC Description(std::uint32_t bytes, WAVEFORMATEX* format,
                         std::uint32_t flags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN |
                                               DSBCAPS_CTRLVOLUME);

// What the file writer recorded, mixed down to one channel.
struct Recording {
    std::uint32_t rate = 0;
    std::size_t dataOffset = 0; // where the samples start in the file
    std::size_t frameBytes = 0;
    std::vector<float> samples;
    // The first two channels on their own (both the same for mono).
    std::vector<float> left, right;
    double Seconds() const { return rate == 0 ? 0.0 : double(samples.size()) / rate; }
};
Recording ReadRecording(const std::string& path);
// Raw 32-bit float samples (as parec writes them), channels interleaved.
Recording ParseRawRecording(const std::vector<char>& bytes, std::uint32_t rate,
                            std::uint16_t channels);
// The same from raw bytes of a stream that starts with the WAVE header.
Recording ParseRecording(const std::vector<char>& bytes);

// Ties the recording's time to the clock. The writer starts somewhere inside
// the device's creation, which can take long; so the file's size is watched
// while it is written: at any moment it holds no more samples than the time
// since the start allows, which bounds the start from above.
class OutputClock {
public:
    explicit OutputClock(std::string path);
    ~OutputClock();
    OutputClock(const OutputClock&) = delete;
    OutputClock& operator=(const OutputClock&) = delete;
    // Stops watching; returns the latest moment the recording can have
    // started (its sample 0), or the epoch when nothing was seen.
    std::chrono::steady_clock::time_point Start(const Recording& recording);

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

// The frequency of a steady tone between two times, from its rising zero
// crossings; 0 when there are fewer than two.
double ToneFrequency(const Recording& recording, double from, double to);
// The amplitude of one frequency between two times (a single DFT bin), in
// the mix or in one channel.
double ToneLevel(const Recording& recording, double hertz, double from, double to);
double ToneLevel(const std::vector<float>& samples, std::uint32_t rate, double hertz, double from,
                 double to);
// The first time from `from` on at which the tone's half periods become
// shorter than `halfPeriodBelow` seconds; negative when they never do.
double FirstShortHalfPeriod(const Recording& recording, double from, double halfPeriodBelow);
// The same for half periods that become longer than `halfPeriodAbove` after
// shorter ones.
double FirstLongHalfPeriod(const Recording& recording, double from, double halfPeriodAbove);

} // namespace k58::soundtest
