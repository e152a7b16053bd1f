// The sound-device module on OpenAL's silent output: what callers may pass,
// the regions Lock gives, the limits of rate, volume and pan, play state and
// positions, and reference counting.
#include "SoundTestSupport.h"
#include "platform/openal/OutputSettings.h"

#include <AL/alc.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace k58 {
namespace {

using namespace soundtest;
using namespace std::chrono_literals;

constexpr HRESULT kControlUnavailable = static_cast<HRESULT>(0x8878001Eu);

class BufferTest : public testing::Test {
protected:
    void SetUp() override {
        UseNullOutput();
        static TDirectSoundCreate create = LoadCreate(K58_DSOUND_PATH);
        ASSERT_NE(create, nullptr);
        ASSERT_EQ(create(nullptr, mDevice.Out(), nullptr), DS_OK);
        ASSERT_TRUE(mDevice);
    }

    HRESULT Create(const DSBUFFERDESC& desc, Ref<IDirectSoundBuffer>& buffer) {
        return mDevice->CreateSoundBuffer(&desc, buffer.Out(), nullptr);
    }

    Ref<IDirectSound> mDevice;
};

TEST_F(BufferTest, DescriptionsAreCheckedAndPcmRecordsMayEndBeforeCbSize) {
    // A 16-byte record on the heap: reading cbSize would overrun it.
    auto record = std::make_unique<std::uint8_t[]>(16);
    WAVEFORMATEX format = Pcm16Mono(22050);
    std::memcpy(record.get(), &format, 16);
    auto* shortRecord = reinterpret_cast<WAVEFORMATEX*>(record.get());

    Ref<IDirectSoundBuffer> buffer;
    DSBUFFERDESC desc = Description(1000, shortRecord);
    EXPECT_EQ(Create(desc, buffer), DS_OK);
    desc.dwSize = DSBUFFERDESC1_SIZE;
    EXPECT_EQ(Create(desc, buffer), DS_OK);
    desc.dwSize = 24;
    EXPECT_EQ(Create(desc, buffer), DSERR_INVALIDPARAM);
    EXPECT_FALSE(buffer);

    desc = Description(1000, &format, DSBCAPS_STICKYFOCUS | DSBCAPS_GLOBALFOCUS);
    EXPECT_EQ(Create(desc, buffer), DSERR_INVALIDPARAM);
    desc = Description(0, &format);
    EXPECT_EQ(Create(desc, buffer), DSERR_INVALIDPARAM);
    desc = Description(1000, nullptr);
    EXPECT_EQ(Create(desc, buffer), DSERR_INVALIDPARAM);

    const auto refused = [&](void (*spoil)(WAVEFORMATEX&)) {
        WAVEFORMATEX bad = Pcm16Mono(22050);
        spoil(bad);
        DSBUFFERDESC d = Description(1000, &bad);
        return Create(d, buffer);
    };
    EXPECT_EQ(refused([](WAVEFORMATEX& f) { f.wFormatTag = 3; }), DSERR_BADFORMAT);
    EXPECT_EQ(refused([](WAVEFORMATEX& f) { f.nChannels = 6; }), DSERR_BADFORMAT);
    EXPECT_EQ(refused([](WAVEFORMATEX& f) { f.wBitsPerSample = 24; }), DSERR_BADFORMAT);
    EXPECT_EQ(refused([](WAVEFORMATEX& f) { f.nBlockAlign = 4; }), DSERR_BADFORMAT);
    EXPECT_EQ(refused([](WAVEFORMATEX& f) { f.nSamplesPerSec = 50; }), DSERR_BADFORMAT);

    // 8-bit stereo is playable.
    WAVEFORMATEX stereo8{WAVE_FORMAT_PCM, 2, 11025, 22050, 2, 8, 0};
    desc = Description(1000, &stereo8);
    EXPECT_EQ(Create(desc, buffer), DS_OK);

    desc = Description(1000, &format);
    EXPECT_EQ(mDevice->CreateSoundBuffer(&desc, buffer.Out(), mDevice.Get()), DSERR_NOAGGREGATION);
}

TEST_F(BufferTest, PrimaryBufferIsAStandInThatHoldsNoSamples) {
    Ref<IDirectSoundBuffer> primary;
    DSBUFFERDESC desc{};
    desc.dwSize = DSBUFFERDESC_FULL_SIZE;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    ASSERT_EQ(Create(desc, primary), DS_OK);
    void* p = nullptr;
    std::uint32_t n = 0;
    EXPECT_EQ(primary->Lock(0, 4, &p, &n, nullptr, nullptr, 0), DSERR_INVALIDCALL);
    EXPECT_EQ(primary->SetFrequency(22050), kControlUnavailable);
    EXPECT_EQ(primary->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    Ref<IDirectSoundBuffer> copy;
    EXPECT_EQ(mDevice->DuplicateSoundBuffer(primary.Get(), copy.Out()), DSERR_INVALIDCALL);

    WAVEFORMATEX format = Pcm16Mono(22050);
    desc.lpwfxFormat = &format;
    EXPECT_EQ(Create(desc, primary), DSERR_INVALIDPARAM);
}

TEST_F(BufferTest, LockGivesOneRegionOrTwoWhenTheRangeWraps) {
    Ref<IDirectSoundBuffer> buffer(
        MakeBuffer(mDevice.Get(), std::vector<std::int16_t>(500), 22050));
    void* p1 = nullptr;
    void* p2 = nullptr;
    std::uint32_t n1 = 0;
    std::uint32_t n2 = 0;
    ASSERT_EQ(buffer->Lock(0, 1000, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 1000u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(n2, 0u);
    auto* base = static_cast<std::uint8_t*>(p1);
    // A second lock of the same memory waits for the first to be given back.
    void* q = nullptr;
    std::uint32_t m = 0;
    EXPECT_EQ(buffer->Lock(0, 10, &q, &m, nullptr, nullptr, 0), DSERR_INVALIDCALL);
    ASSERT_EQ(buffer->Unlock(p1, n1, p2, n2), DS_OK);

    ASSERT_EQ(buffer->Lock(800, 500, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(p1, base + 800);
    EXPECT_EQ(n1, 200u);
    EXPECT_EQ(p2, base);
    EXPECT_EQ(n2, 300u);
    // Only the regions that Lock gave are taken back.
    EXPECT_EQ(buffer->Unlock(base, n1, p2, n2), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Unlock(p1, n1 + 1, p2, n2), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Unlock(p1, n1, p2, n2), DS_OK);
    EXPECT_EQ(buffer->Unlock(p1, n1, p2, n2), DSERR_INVALIDCALL);

    // A wrapping range needs a place for the second region.
    EXPECT_EQ(buffer->Lock(800, 500, &p1, &n1, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(1000, 10, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 1001, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 0, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
}

TEST_F(BufferTest, FrequencyVolumeAndPanStayInTheirRanges) {
    Ref<IDirectSoundBuffer> buffer(MakeBuffer(mDevice.Get(), Sine(440, 22050, 0.2), 22050));
    std::uint32_t rate = 0;
    ASSERT_EQ(buffer->GetFrequency(&rate), DS_OK);
    EXPECT_EQ(rate, 22050u);
    EXPECT_EQ(buffer->SetFrequency(44100), DS_OK);
    for (std::uint32_t refused : {99u, 200001u, 225000u}) {
        EXPECT_EQ(buffer->SetFrequency(refused), DSERR_INVALIDPARAM) << refused;
        ASSERT_EQ(buffer->GetFrequency(&rate), DS_OK);
        EXPECT_EQ(rate, 44100u) << "a refused rate leaves the rate as it was";
    }
    EXPECT_EQ(buffer->SetFrequency(100), DS_OK);
    EXPECT_EQ(buffer->SetFrequency(200000), DS_OK);
    EXPECT_EQ(buffer->SetFrequency(0), DS_OK);
    ASSERT_EQ(buffer->GetFrequency(&rate), DS_OK);
    EXPECT_EQ(rate, 22050u) << "0 means the format's own rate";

    EXPECT_EQ(buffer->SetVolume(0), DS_OK);
    EXPECT_EQ(buffer->SetVolume(-10000), DS_OK);
    EXPECT_EQ(buffer->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetVolume(-10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetPan(-10000), DS_OK);
    EXPECT_EQ(buffer->SetPan(10000), DS_OK);
    EXPECT_EQ(buffer->SetPan(10001), DSERR_INVALIDPARAM);

    // Controls not asked for are not available.
    WAVEFORMATEX format = Pcm16Mono(22050);
    DSBUFFERDESC desc = Description(100, &format, 0);
    Ref<IDirectSoundBuffer> plain;
    ASSERT_EQ(Create(desc, plain), DS_OK);
    EXPECT_EQ(plain->SetFrequency(44100), kControlUnavailable);
    EXPECT_EQ(plain->SetVolume(0), kControlUnavailable);
}

TEST_F(BufferTest, StatusFollowsPlayingAndLoopingAndStopKeepsThePosition) {
    // 0.1 s at 22050 Hz.
    Ref<IDirectSoundBuffer> buffer(MakeBuffer(mDevice.Get(), Sine(440, 22050, 0.1), 22050));
    std::uint32_t status = 99;
    ASSERT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);

    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    ASSERT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DSBSTATUS_PLAYING);
    std::this_thread::sleep_for(250ms);
    ASSERT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u) << "a one-shot ends by itself";

    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::this_thread::sleep_for(250ms);
    ASSERT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);

    ASSERT_EQ(buffer->Stop(), DS_OK);
    ASSERT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    std::uint32_t stopped = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(&stopped, nullptr), DS_OK);
    std::this_thread::sleep_for(50ms);
    std::uint32_t later = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(&later, nullptr), DS_OK);
    EXPECT_EQ(later, stopped) << "a stopped buffer keeps its place";

    ASSERT_EQ(buffer->SetCurrentPosition(1001), DS_OK);
    ASSERT_EQ(buffer->GetCurrentPosition(&later, nullptr), DS_OK);
    EXPECT_EQ(later, 1000u) << "positions are whole sample frames";
    std::uint32_t size = static_cast<std::uint32_t>(Sine(440, 22050, 0.1).size() * 2);
    EXPECT_EQ(buffer->SetCurrentPosition(size), DSERR_INVALIDPARAM);
    ASSERT_EQ(buffer->SetCurrentPosition(0), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    std::uint32_t play = 0;
    std::uint32_t write = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_LT(play, 1000u) << "position 0 makes the next play start at the beginning";
    EXPECT_NE(write, play);
}

TEST_F(BufferTest, DuplicatesNeedABufferOfThisDeviceAndCopyItsRate) {
    Ref<IDirectSoundBuffer> original(MakeBuffer(mDevice.Get(), Sine(440, 22050, 0.2), 22050));
    ASSERT_EQ(original->SetFrequency(30000), DS_OK);
    Ref<IDirectSoundBuffer> copy;
    ASSERT_EQ(mDevice->DuplicateSoundBuffer(original.Get(), copy.Out()), DS_OK);
    std::uint32_t rate = 0;
    ASSERT_EQ(copy->GetFrequency(&rate), DS_OK);
    EXPECT_EQ(rate, 30000u);
    // Each plays on its own.
    ASSERT_EQ(copy->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::uint32_t status = 0;
    ASSERT_EQ(original->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);

    // A buffer of another device is refused, not trusted.
    Ref<IDirectSound> other;
    ASSERT_EQ(LoadCreate(K58_DSOUND_PATH)(nullptr, other.Out(), nullptr), DS_OK);
    Ref<IDirectSoundBuffer> foreign(MakeBuffer(other.Get(), Sine(440, 22050, 0.2), 22050));
    EXPECT_EQ(mDevice->DuplicateSoundBuffer(foreign.Get(), copy.Out()), DSERR_INVALIDPARAM);
    EXPECT_FALSE(copy);
    EXPECT_EQ(mDevice->DuplicateSoundBuffer(nullptr, copy.Out()), DSERR_INVALIDPARAM);
}

TEST_F(BufferTest, BuffersKeepTheDeviceOpenUntilTheLastReferenceGoes) {
    IDirectSoundBuffer* buffer = MakeBuffer(mDevice.Get(), Sine(440, 22050, 0.2), 22050);
    IDirectSoundBuffer* copy = nullptr;
    ASSERT_EQ(mDevice->DuplicateSoundBuffer(buffer, &copy), DS_OK);
    EXPECT_EQ(buffer->AddRef(), 2u);
    EXPECT_EQ(buffer->Release(), 1u);
    mDevice.Reset(); // the buffers still hold the device
    EXPECT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(copy->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(buffer->Release(), 0u); // stops and goes; the copy keeps the samples
    std::uint32_t status = 0;
    EXPECT_EQ(copy->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_EQ(copy->Release(), 0u);
}

TEST_F(BufferTest, CooperativeLevelNeedsAWindowAndAKnownLevel) {
    // Handles are only compared, never followed.
    const auto window = reinterpret_cast<HWND>(std::uintptr_t{42});
    EXPECT_EQ(mDevice->SetCooperativeLevel(nullptr, DSSCL_NORMAL), DSERR_INVALIDPARAM);
    EXPECT_EQ(mDevice->SetCooperativeLevel(window, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(mDevice->SetCooperativeLevel(window, 5), DSERR_INVALIDPARAM);
    for (std::uint32_t level = DSSCL_NORMAL; level <= DSSCL_WRITEPRIMARY; ++level)
        EXPECT_EQ(mDevice->SetCooperativeLevel(window, level), DS_OK);
}

TEST(DirectSoundCreateTest, RefusesWhatItCannotOpen) {
    UseNullOutput();
    ::unsetenv("ALSOFT_CONF");
    TDirectSoundCreate create = LoadCreate(K58_DSOUND_PATH);
    EXPECT_EQ(create(nullptr, nullptr, nullptr), DSERR_INVALIDPARAM);
    IDirectSound* device = reinterpret_cast<IDirectSound*>(1);
    const GUID someCard{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(create(&someCard, &device, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(device, nullptr);
    const GUID none{};
    const char* before = std::getenv("ALSOFT_CONF");
    ASSERT_EQ(create(&none, &device, nullptr), DS_OK);
    // The short mixing period reached OpenAL (if this process opened its
    // first device here), and opening left the environment alone.
    EXPECT_EQ(std::getenv("ALSOFT_CONF"), before);
    ALCdevice* output = alcGetContextsDevice(alcGetCurrentContext());
    ALCint refresh = 0;
    ALCint frequency = 0;
    alcGetIntegerv(output, ALC_REFRESH, 1, &refresh);
    alcGetIntegerv(output, ALC_FREQUENCY, 1, &frequency);
    if (testing::UnitTest::GetInstance()->test_to_run_count() == 1) {
        EXPECT_EQ(refresh, frequency / openal::kPeriodFrames);
    }
    device->Release();
}

} // namespace
} // namespace k58
