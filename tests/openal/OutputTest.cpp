// What the sound-device module sends to the output, recorded by OpenAL Soft's
// file writer (real time, 32-bit float stereo, header finished on close) and
// measured: pitch, mixing, shared samples, the delay of a rate change, the
// missing device, and sound coming back after the output was lost.
#include "SoundTestSupport.h"

#include <AL/alc.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>

namespace k58 {
namespace {

using namespace soundtest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kRate = 22050;
constexpr double kTone = 440.0;

double Since(Clock::time_point start, Clock::time_point t) {
    return std::chrono::duration<double>(t - start).count();
}

class OutputTest : public testing::Test {
protected:
    void SetUp() override {
        static const std::string wave = UseWaveOutput();
        mWave = wave;
        static TDirectSoundCreate create = [] {
            TDirectSoundCreate loaded = LoadCreate(K58_DSOUND_PATH);
            // OpenAL's first device of the process takes long to set up,
            // which would blur when the output started.
            IDirectSound* warmUp = nullptr;
            if (loaded != nullptr && loaded(nullptr, &warmUp, nullptr) == DS_OK)
                warmUp->Release();
            return loaded;
        }();
        ASSERT_NE(create, nullptr);
        std::remove(mWave.c_str());
        mClock = std::make_unique<OutputClock>(mWave);
        ASSERT_EQ(create(nullptr, mDevice.Out(), nullptr), DS_OK);
    }

    Clock::time_point Now() const { return Clock::now(); }

    // Closes the device (every buffer must be released first), reads what
    // was written and finds when the recording started.
    Recording Finish() {
        mDevice.Reset();
        Recording out = ReadRecording(mWave);
        mStart = mClock->Start(out);
        return out;
    }
    // Where a moment falls in the recording, in seconds; the recording's
    // start is bounded from above, so this may be early, never late.
    double At(Clock::time_point t) const { return Since(mStart, t); }

    std::string mWave;
    std::unique_ptr<OutputClock> mClock;
    Ref<IDirectSound> mDevice;
    Clock::time_point mStart;
};

TEST_F(OutputTest, PitchFollowsTheFrequencyAndARefusedRateKeepsTheOldOne) {
    Ref<IDirectSoundBuffer> tone(MakeBuffer(mDevice.Get(), Sine(kTone, kRate, 1.0), kRate));
    ASSERT_TRUE(tone);
    ASSERT_EQ(tone->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::this_thread::sleep_for(400ms);
    const auto doubledAt = Now();
    ASSERT_EQ(tone->SetFrequency(2 * kRate), DS_OK);
    std::this_thread::sleep_for(400ms);
    const auto refusedAt = Now();
    EXPECT_EQ(tone->SetFrequency(225000), DSERR_INVALIDPARAM);
    std::this_thread::sleep_for(400ms);
    const auto oddAt = Now();
    ASSERT_EQ(tone->SetFrequency(30000), DS_OK);
    std::this_thread::sleep_for(400ms);
    const auto endAt = Now();
    tone.Reset();
    const Recording out = Finish();
    const double doubled = At(doubledAt), refused = At(refusedAt), odd = At(oddAt), end = At(endAt);
    ASSERT_EQ(out.rate, 44100u);
    ASSERT_GE(out.Seconds(), end - 0.1);

    const double margin = 0.05;
    const struct {
        double from, to, expected;
    } segments[] = {{0.1, doubled - margin, kTone},
                    {doubled + margin, refused - margin, 2 * kTone},
                    {refused + margin, odd - margin, 2 * kTone},
                    {odd + margin, end - margin, kTone * 30000 / kRate}};
    for (const auto& s : segments) {
        const double measured = ToneFrequency(out, s.from, s.to);
        const double error = (measured - s.expected) / s.expected;
        std::cout << "pitch " << s.expected << " Hz: measured " << measured << " Hz, error "
                  << error * 100 << " %\n";
        EXPECT_NEAR(measured, s.expected, s.expected * 0.002) << s.from << ".." << s.to;
    }
}

TEST_F(OutputTest, OverlappingVoicesMix) {
    Ref<IDirectSoundBuffer> low(MakeBuffer(mDevice.Get(), Sine(kTone, kRate, 1.0, 0.3), kRate));
    Ref<IDirectSoundBuffer> high;
    ASSERT_EQ(mDevice->DuplicateSoundBuffer(low.Get(), high.Out()), DS_OK);
    ASSERT_EQ(high->SetFrequency(kRate * 3 / 2), DS_OK); // 660 Hz
    ASSERT_EQ(low->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::this_thread::sleep_for(300ms);
    const auto secondAt = Now();
    ASSERT_EQ(high->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::this_thread::sleep_for(500ms);
    const auto endAt = Now();
    low.Reset();
    high.Reset();
    const Recording out = Finish();
    const double second = At(secondAt), end = At(endAt);

    const double from = second + 0.05;
    const double to = end - 0.05;
    const double lowLevel = ToneLevel(out, kTone, from, to);
    const double highLevel = ToneLevel(out, 1.5 * kTone, from, to);
    const double between = ToneLevel(out, 1.25 * kTone, from, to);
    EXPECT_GT(lowLevel, 0.05);
    EXPECT_NEAR(highLevel / lowLevel, 1.0, 0.1) << "both voices at the same loudness";
    EXPECT_LT(between, 0.05 * lowLevel);
    EXPECT_LT(ToneLevel(out, 1.5 * kTone, 0.1, second - 0.05), 0.05 * lowLevel)
        << "before it started, only the first voice sounded";
}

TEST_F(OutputTest, LevelAndPanAreThePlatformsAndNothingIsFiltered) {
    // The platform plays a mono buffer at pan 0 at its own level in both
    // channels; a pan attenuates the other channel by pan/100 dB. A tone at
    // half scale, a second at each pan.
    const std::int32_t pans[] = {0, 1000, -600, 3000, -10000};
    Ref<IDirectSoundBuffer> tone(MakeBuffer(mDevice.Get(), Sine(kTone, kRate, 1.0), kRate));
    ASSERT_EQ(tone->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::vector<Clock::time_point> at;
    for (std::int32_t pan : pans) {
        ASSERT_EQ(tone->SetPan(pan), DS_OK);
        at.push_back(Now());
        std::this_thread::sleep_for(300ms);
    }
    at.push_back(Now());
    tone.Reset();
    const Recording out = Finish();
    ASSERT_EQ(out.left.size(), out.samples.size());
    for (std::size_t i = 0; i < std::size(pans); ++i) {
        const double from = At(at[i]) + 0.05;
        const double to = At(at[i + 1]) - 0.03;
        const auto db = [&](const std::vector<float>& channel) {
            return 20.0 * std::log10(ToneLevel(channel, out.rate, kTone, from, to) / 0.5);
        };
        const double left = db(out.left);
        const double right = db(out.right);
        const double expectedLeft = std::min(0, -pans[i]) / 100.0;
        const double expectedRight = std::min(0, pans[i]) / 100.0;
        std::cout << "pan " << pans[i] << ": left " << left << " dB, right " << right
                  << " dB (platform " << expectedLeft << ", " << expectedRight << ")\n";
        // Below -60 dB the far channel only needs to be silent.
        const auto matches = [](double measured, double expected) {
            return expected < -60.0 ? measured < -60.0 : std::abs(measured - expected) < 0.3;
        };
        EXPECT_TRUE(matches(left, expectedLeft)) << "pan " << pans[i];
        EXPECT_TRUE(matches(right, expectedRight)) << "pan " << pans[i];
    }
}

TEST_F(OutputTest, ADuplicatePlaysWhatIsWrittenIntoTheOriginal) {
    Ref<IDirectSoundBuffer> original(MakeBuffer(mDevice.Get(), Sine(kTone, kRate, 1.0), kRate));
    Ref<IDirectSoundBuffer> copy;
    ASSERT_EQ(mDevice->DuplicateSoundBuffer(original.Get(), copy.Out()), DS_OK);
    ASSERT_EQ(copy->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::this_thread::sleep_for(400ms);
    const auto rewrittenAt = Now();
    // Same length, so the loop still joins: 550 whole periods in one second.
    Fill(original.Get(), Sine(550.0, kRate, 1.0));
    std::this_thread::sleep_for(400ms);
    const auto endAt = Now();
    std::uint32_t status = 0;
    EXPECT_EQ(copy->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING) << "rewriting did not stop it";
    original.Reset();
    copy.Reset();
    const Recording out = Finish();
    const double rewritten = At(rewrittenAt), end = At(endAt);
    EXPECT_NEAR(ToneFrequency(out, 0.1, rewritten - 0.05), kTone, 1.0);
    EXPECT_NEAR(ToneFrequency(out, rewritten + 0.05, end - 0.05), 550.0, 1.0);
}

TEST_F(OutputTest, EachRateChangeReachesTheOutputInTurn) {
    // The module's short mixing period reached OpenAL.
    ALCdevice* device = alcGetContextsDevice(alcGetCurrentContext());
    ASSERT_NE(device, nullptr);
    ALCint refresh = 0;
    ALCint frequency = 0;
    alcGetIntegerv(device, ALC_REFRESH, 1, &refresh);
    alcGetIntegerv(device, ALC_FREQUENCY, 1, &frequency);
    ASSERT_GT(refresh, 0);
    const double period = 1.0 / refresh;
    EXPECT_LT(period, 0.007);

    Ref<IDirectSoundBuffer> tone(MakeBuffer(mDevice.Get(), Sine(kTone, kRate, 1.0), kRate));
    ASSERT_EQ(tone->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::vector<double> latencies;
    std::vector<Clock::time_point> callsAt;
    // Alternate 440 and 880 Hz a few times; each change is found in the
    // recording as the first half period of the new length.
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(150ms + std::chrono::milliseconds(7 * i));
        callsAt.push_back(Now());
        ASSERT_EQ(tone->SetFrequency(i % 2 == 0 ? 2 * kRate : kRate), DS_OK);
    }
    std::this_thread::sleep_for(150ms);
    tone.Reset();
    const Recording out = Finish();
    std::vector<double> calls;
    for (const auto& t : callsAt)
        calls.push_back(At(t));
    for (std::size_t i = 0; i < calls.size(); ++i) {
        // Rising: half periods drop below the midpoint; falling: they rise
        // above it, found as the first half period that is not short.
        const double mid = 0.75 / (2 * kTone);
        const double heard = i % 2 == 0 ? FirstShortHalfPeriod(out, calls[i] - 0.04, mid)
                                        : FirstLongHalfPeriod(out, calls[i] - 0.04, mid);
        ASSERT_GE(heard, 0.0) << "change " << i << " not found";
        // A block of samples leaves the writer one period after its start.
        latencies.push_back(heard + period - calls[i]);
        if (i + 1 < calls.size()) {
            EXPECT_LT(heard, calls[i + 1]) << "change " << i << " heard after the next was made";
        }
    }
    std::cout << "mixing period " << period * 1000 << " ms at " << frequency
              << " Hz; rate change to output (ms):";
    for (double l : latencies)
        std::cout << ' ' << l * 1000;
    std::cout << " (the recording is tied to the clock to within a few ms; figures: "
                 "tests/e2e/measure_sound.py)\n";
}

TEST(NoOutputTest, CreateFailsWithNoDriverAndGivesNoObject) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The file writer cannot open its file: OpenAL has no output to give.
    EXPECT_EXIT(
        {
            std::ofstream("/tmp/k58-no-output.conf")
                << "[wave]\nfile = /nonexistent-k58-folder/out.wav\n";
            ::setenv("ALSOFT_DRIVERS", "wave", 1);
            ::setenv("ALSOFT_CONF", "/tmp/k58-no-output.conf", 1);
            IDirectSound* device = reinterpret_cast<IDirectSound*>(1);
            const HRESULT result = LoadCreate(K58_DSOUND_PATH)(nullptr, &device, nullptr);
            std::exit(result == DSERR_NODRIVER && device == nullptr ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(OutputTest, SoundComesBackWhenTheOutputReturns) {
    // The test build of the module simulates the output going and coming back.
    mDevice.Reset();
    char pattern[] = "/tmp/k58-faults-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string control = std::string(pattern) + "/faults";
    std::ofstream(control) << "";
    ::setenv("K58_DSOUND_FAULTS", control.c_str(), 1);
    ASSERT_EQ(LoadCreate(K58_FAULT_DSOUND_PATH)(nullptr, mDevice.Out(), nullptr), DS_OK);

    Ref<IDirectSoundBuffer> before(MakeBuffer(mDevice.Get(), Sine(kTone, kRate, 1.0), kRate));
    Ref<IDirectSoundBuffer> spare(MakeBuffer(mDevice.Get(), Sine(kTone, kRate, 0.1), kRate));
    ASSERT_EQ(before->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::ofstream(control, std::ios::trunc) << "device-gone";
    EXPECT_EQ(before->SetFrequency(kRate), DS_OK);
    EXPECT_TRUE(IsLost(before.Get()));
    // The owner reloads: a new buffer, started while there is no output.
    Ref<IDirectSoundBuffer> reloaded(MakeBuffer(mDevice.Get(), Sine(660.0, kRate, 1.0), kRate));
    ASSERT_EQ(reloaded->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::this_thread::sleep_for(300ms);
    std::ofstream(control, std::ios::trunc) << "";
    // Lost memory can be restored only once the output is back.
    const auto deadline = Clock::now() + 2s;
    while (spare->Restore() != DS_OK && Clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ASSERT_EQ(spare->Restore(), DS_OK) << "the output came back";
    EXPECT_TRUE(IsLost(before.Get())) << "lost until restored";
    EXPECT_EQ(before->Play(0, 0, DSBPLAY_LOOPING), DSERR_BUFFERLOST);
    std::this_thread::sleep_for(400ms);
    ::unsetenv("K58_DSOUND_FAULTS");
    before.Reset();
    spare.Reset();
    reloaded.Reset();
    // The reopened output wrote the file anew.
    const Recording out = Finish();
    ASSERT_GT(out.Seconds(), 0.3);
    EXPECT_NEAR(ToneFrequency(out, 0.05, out.Seconds() - 0.05), 660.0, 1.0);
    EXPECT_LT(ToneLevel(out, kTone, 0.05, out.Seconds() - 0.05), 0.01)
        << "the lost buffer stays silent";
}

} // namespace
} // namespace k58
