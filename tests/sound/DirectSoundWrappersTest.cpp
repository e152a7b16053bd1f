#include "sound/DirectSoundWrappers.h"
#include "FakeDirectSound.h"
#include "SoundTestSupport.h"
#include "sound/DXClass.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>

namespace k58::test {
namespace {

// A device wrapper that counts restores and can lose a buffer or fail
// while restoring.
class CountingDirectSound : public TDirectSound {
public:
    CountingDirectSound() : TDirectSound(nullptr) {}
    std::function<void()> onRestore;
    int restores = 0;

protected:
    void RestoreBuffers() override {
        ++restores;
        if (onRestore)
            onRestore();
    }
};

class WrapperTest : public testing::Test {
protected:
    FakeDirectSound device;
};

TEST_F(WrapperTest, OpeningFailsWithTheFixedErrorsAndHoldsNothing) {
    device.createResult = DSERR_NODRIVER;
    try {
        TDirectSound sound(nullptr);
        FAIL() << "opened without a device";
    } catch (const EDirectSoundError& error) {
        EXPECT_STREQ(error.ClassName(), "EDirectSoundError");
        EXPECT_EQ(error.Message(), "DirectSound cannot be initialized");
    }
    EXPECT_EQ(device.refs, 0);

    // A missing module or entry point names the module file, and is a plain
    // Exception rather than a device error.
    device.UseModule("k58-no-such-module.so");
    try {
        TDirectSound sound(nullptr);
        FAIL();
    } catch (const EDirectSoundError&) {
        FAIL() << "a missing module is not a device error";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.ClassName(), "Exception");
        EXPECT_EQ(error.Message(), "k58-no-such-module.so not loaded");
    }
    device.UseModule("libm.so.6");
    EXPECT_THROW(
        {
            try {
                TDirectSound sound(nullptr);
            } catch (const Exception& error) {
                EXPECT_EQ(error.Message(), "libm.so.6 not loaded");
                throw;
            }
        },
        Exception);
}

TEST(LoadDllFunctionTest, CachesModulesByLowerCasedFileName) {
    void* cosine = LoadDllFunction("libm.so.6", "cos");
    ASSERT_NE(cosine, nullptr);
    // The upper-case name would not load on its own: it is found in the cache.
    EXPECT_EQ(LoadDllFunction("LIBM.SO.6", "cos"), cosine);
}

TEST_F(WrapperTest, BufferDescriptionCarriesSizeAndFocusFlags) {
    TDirectSound sound(nullptr);
    const WAVEFORMATEX format = Pcm8();
    TDirectSoundBuffer buffer(&sound);
    buffer.CreateBuffer(&format, 1000);
    const DSBUFFERDESC& plain = device.Buffer("b1")->desc;
    EXPECT_EQ(plain.dwSize, DSBUFFERDESC_FULL_SIZE);
    EXPECT_EQ(plain.dwFlags, 0xE0u);
    EXPECT_EQ(plain.dwBufferBytes, 1000u);
    EXPECT_EQ(device.Buffer("b1")->format.nSamplesPerSec, 22050u);

    sound.SetGlobalFocus(true);
    buffer.CreateBuffer(&format, 10);
    EXPECT_EQ(device.Buffer("b2")->desc.dwFlags, 0xE0u | DSBCAPS_GLOBALFOCUS);
    sound.SetStickyFocus(true);
    buffer.CreateBuffer(&format, 10);
    EXPECT_EQ(device.Buffer("b3")->desc.dwFlags, 0xE0u | DSBCAPS_STICKYFOCUS);
    // Every new device buffer replaced the previous one.
    EXPECT_EQ(device.LiveBuffers(), std::vector<FakeSoundBuffer*>{device.Buffer("b3")});
}

TEST_F(WrapperTest, RefusedBufferReleasesTheOldOneFirstAndRaises) {
    TDirectSound sound(nullptr);
    const WAVEFORMATEX format = Pcm8();
    TDirectSoundBuffer buffer(&sound);
    buffer.CreateBuffer(&format, 10);
    device.createBufferResults.push_back(DSERR_OUTOFMEMORY);
    try {
        buffer.CreateBuffer(&format, 10);
        FAIL();
    } catch (const EDirectSoundBufferError& error) {
        EXPECT_EQ(error.Message(), "Sound Buffer cannot be made");
    }
    EXPECT_TRUE(device.Buffer("b1")->Released());
    EXPECT_FALSE(buffer.HasDeviceBuffer());
    EXPECT_EQ(buffer.LastResult(), DSERR_OUTOFMEMORY);
    EXPECT_EQ(sound.LastResult(), DSERR_OUTOFMEMORY);
}

TEST_F(WrapperTest, LoadFromMemoryFillsBothLockRegionsAndUnlocks) {
    TDirectSound sound(nullptr);
    const WAVEFORMATEX format = Pcm8();
    std::vector<std::uint8_t> data(300);
    std::iota(data.begin(), data.end(), std::uint8_t{7});
    device.lockSplit = 100; // two regions of 100 and 200 bytes
    TDirectSoundBuffer loaded(&sound);
    loaded.LoadFromMemory(&format, data.data(), 300);
    FakeSoundBuffer* fake = device.Buffer("b1");
    EXPECT_EQ(*fake->memory, data);
    EXPECT_FALSE(fake->locked);
    EXPECT_EQ(device.LogWith("b1.Unlock"), std::vector<std::string>{"b1.Unlock 100 200"});
}

TEST_F(WrapperTest, LockIsSingleAndARefusedLockOnLoadDropsTheBuffer) {
    TDirectSound sound(nullptr);
    const WAVEFORMATEX format = Pcm8();
    TDirectSoundBuffer buffer(&sound);
    buffer.CreateBuffer(&format, 64);
    void* r1 = nullptr;
    void* r2 = nullptr;
    std::uint32_t n1 = 0;
    std::uint32_t n2 = 0;
    ASSERT_TRUE(buffer.Lock(0, 64, r1, n1, r2, n2));
    const auto calls = device.log.size();
    EXPECT_FALSE(buffer.Lock(0, 64, r1, n1, r2, n2));
    EXPECT_EQ(device.log.size(), calls) << "a second lock must not reach the device";
    buffer.Unlock();
    buffer.Unlock(); // nothing outstanding: no call
    EXPECT_EQ(device.LogWith("Unlock").size(), 1u);

    // A fresh buffer that refuses its lock is let go before the error.
    const std::uint8_t data[4] = {1, 2, 3, 4};
    device.FailOnNextBuffer("Lock", DSERR_INVALIDCALL);
    try {
        buffer.LoadFromMemory(&format, data, 4);
        FAIL();
    } catch (const EDirectSoundBufferError& error) {
        EXPECT_EQ(error.Message(), "Sound Buffer cannot be locked");
    }
    EXPECT_FALSE(buffer.HasDeviceBuffer());
    EXPECT_TRUE(device.LiveBuffers().empty());
}

TEST_F(WrapperTest, WithoutADeviceBufferOperationsRaiseAndLockingIsRefused) {
    TDirectSound sound(nullptr);
    TDirectSoundBuffer buffer(&sound);
    const std::vector<std::function<void()>> operations = {
        [&] { buffer.Play(false); },    [&] { buffer.Stop(); },
        [&] { buffer.SetPosition(0); }, [&] { buffer.SetFrequency(22050); },
        [&] { buffer.SetPan(0); },      [&] { buffer.SetVolume(0); },
        [&] { (void)buffer.Status(); }, [&] { (void)buffer.DeviceInterface(); },
    };
    for (const auto& operation : operations) {
        try {
            operation();
            ADD_FAILURE() << "no error without a device buffer";
        } catch (const EDirectSoundBufferError& error) {
            EXPECT_EQ(error.Message(), "IDirectSoundBuffer not made");
        }
    }
    void* r1 = nullptr;
    void* r2 = nullptr;
    std::uint32_t n1 = 0;
    std::uint32_t n2 = 0;
    EXPECT_FALSE(buffer.Lock(0, 1, r1, n1, r2, n2));
    buffer.Unlock();
}

TEST_F(WrapperTest, LostBufferRestoresOnceWithoutNesting) {
    CountingDirectSound sound;
    const WAVEFORMATEX format = Pcm8();
    TDirectSoundBuffer buffer(&sound);
    buffer.CreateBuffer(&format, 8);
    FakeSoundBuffer* fake = device.Buffer("b1");
    // Inside the restore the buffer is lost again: no second restore starts.
    sound.onRestore = [&] {
        fake->FailNext("Stop", DSERR_BUFFERLOST);
        buffer.Stop();
    };
    fake->FailNext("Stop", DSERR_BUFFERLOST);
    buffer.Stop();
    EXPECT_EQ(sound.restores, 1);
    EXPECT_EQ(buffer.LastResult(), DSERR_BUFFERLOST);

    // A failing restore still clears the guard, so the next loss restores.
    sound.onRestore = [] { throw EDirectSoundBufferError("Sound Buffer cannot be made"); };
    fake->FailNext("SetFrequency", DSERR_BUFFERLOST);
    EXPECT_THROW(buffer.SetFrequency(100), EDirectSoundBufferError);
    sound.onRestore = nullptr;
    fake->FailNext("Play", DSERR_BUFFERLOST);
    buffer.Play(false);
    EXPECT_EQ(sound.restores, 3);
    // Other refusals restore nothing.
    fake->FailNext("Play", DSERR_INVALIDCALL);
    buffer.Play(false);
    EXPECT_EQ(sound.restores, 3);
}

TEST_F(WrapperTest, LockAndPlayAnswerWithTheirOwnResultWhateverTheRestoreRecorded) {
    CountingDirectSound sound;
    const WAVEFORMATEX format = Pcm8();
    TDirectSoundBuffer buffer(&sound);
    buffer.CreateBuffer(&format, 8);
    FakeSoundBuffer* fake = device.Buffer("b1");
    // The restore a lost result starts records a success on the same buffer.
    sound.onRestore = [&] { buffer.SetVolume(0); };
    fake->FailNext("Play", DSERR_BUFFERLOST);
    EXPECT_FALSE(buffer.Play(false));
    void* r1 = nullptr;
    void* r2 = nullptr;
    std::uint32_t n1 = 0;
    std::uint32_t n2 = 0;
    fake->FailNext("Lock", DSERR_BUFFERLOST);
    EXPECT_FALSE(buffer.Lock(0, 8, r1, n1, r2, n2));
    EXPECT_EQ(sound.restores, 2);
    buffer.Unlock(); // nothing is outstanding
    EXPECT_TRUE(device.LogWith("b1.Unlock").empty());
}

TEST_F(WrapperTest, RefusedControlsRaiseNothingAndKeepTheirResult) {
    TDirectSound sound(nullptr);
    const WAVEFORMATEX format = Pcm8();
    TDirectSoundBuffer buffer(&sound);
    buffer.CreateBuffer(&format, 8);
    FakeSoundBuffer* fake = device.Buffer("b1");
    const std::vector<std::pair<std::string, std::function<void()>>> controls = {
        {"SetPan", [&] { buffer.SetPan(10); }},
        {"SetVolume", [&] { buffer.SetVolume(-10); }},
        {"SetCurrentPosition", [&] { buffer.SetPosition(4); }},
        {"Stop", [&] { buffer.Stop(); }},
        {"SetFrequency", [&] { buffer.SetFrequency(30000); }},
    };
    for (const auto& [method, call] : controls) {
        fake->FailNext(method, DSERR_INVALIDCALL);
        EXPECT_NO_THROW(call()) << method;
        EXPECT_EQ(buffer.LastResult(), DSERR_INVALIDCALL) << method;
    }
    EXPECT_EQ(fake->pan, 0);
    EXPECT_EQ(fake->volume, 0);
    EXPECT_EQ(fake->position, 0u);
}

TEST_F(WrapperTest, FreeingTheDeviceFreesListedBuffersLastFirst) {
    const WAVEFORMATEX format = Pcm8();
    auto sound = std::make_unique<TDirectSound>(nullptr);
    auto* first = new TDirectSoundBuffer(sound.get());
    auto* second = new TDirectSoundBuffer(sound.get());
    first->CreateBuffer(&format, 4);
    second->CreateBuffer(&format, 4);
    auto* third = new TDirectSoundBuffer(sound.get());
    delete third; // leaves the list when freed
    ASSERT_EQ(sound->BufferCount(), 2);
    EXPECT_EQ(sound->Buffers(0), first);
    sound.reset();
    EXPECT_EQ(device.LogWith("released"),
              (std::vector<std::string>{"b2 released", "b1 released", "device released"}));
}

TEST_F(WrapperTest, AssignDuplicatesLoadsDropsOrRefuses) {
    TDirectSound sound(nullptr);
    TWave wave;
    FillWave(wave, 50);
    TDirectSoundBuffer main(&sound);
    main.Assign(&wave);
    ASSERT_TRUE(main.HasDeviceBuffer());
    EXPECT_EQ(device.Buffer("b1")->memory->at(49), 49);

    TDirectSoundBuffer voice(&sound);
    voice.Assign(&main);
    ASSERT_EQ(device.Buffer("b2")->original, device.Buffer("b1"));
    EXPECT_EQ(device.Buffer("b2")->memory, device.Buffer("b1")->memory) << "samples not shared";

    // A refusal keeps the current duplicate and raises nothing.
    device.duplicateResults.push_back(DSERR_OUTOFMEMORY);
    voice.Assign(&main);
    EXPECT_FALSE(device.Buffer("b2")->Released());
    EXPECT_EQ(sound.LastResult(), DSERR_OUTOFMEMORY);
    // A fresh target that is refused holds nothing, so its Stop raises.
    TDirectSoundBuffer fresh(&sound);
    device.duplicateResults.push_back(DSERR_OUTOFMEMORY);
    fresh.Assign(&main);
    EXPECT_THROW(fresh.Stop(), EDirectSoundBufferError);

    // From a buffer without a device buffer, or from nothing: dropped.
    voice.Assign(&fresh);
    EXPECT_TRUE(device.Buffer("b2")->Released());
    main.Assign(nullptr);
    EXPECT_TRUE(device.Buffer("b1")->Released());
    THashCollection other;
    EXPECT_THROW(main.Assign(&other), EConvertError);
}

TEST_F(WrapperTest, ShortFormatRecordIsPaddedNotOverread) {
    TDirectSound sound(nullptr);
    TWave wave;
    FillWave(wave, 10, 11025, 16); // the 16-byte PCM record, without cbSize
    TDirectSoundBuffer buffer(&sound);
    buffer.LoadFromWave(wave);
    EXPECT_EQ(device.Buffer("b1")->format.nSamplesPerSec, 11025u);
    EXPECT_EQ(device.Buffer("b1")->format.cbSize, 0u);
    EXPECT_EQ(device.Buffer("b1")->desc.dwBufferBytes, 10u);
}

TEST(ControlSubClassTest, HooksPassOnAndUnhookEvenFromInsideTheHandler) {
    TComponent owner(nullptr);
    auto* form = new FakeForm(&owner);
    std::vector<std::string> seen;
    std::unique_ptr<TControlSubClass> hook;
    hook = std::make_unique<TControlSubClass>(form, [&](TMessage& m, const TWndMethod& next) {
        seen.push_back("hook " + std::to_string(m.Msg));
        next(m);
        if (m.Msg == 99)
            hook.reset(); // frees the hook that is running
    });
    TMessage message;
    message.Msg = 5;
    form->Perform(message);
    message.Msg = 99;
    form->Perform(message);
    message.Msg = 6;
    form->Perform(message);
    EXPECT_EQ(seen, (std::vector<std::string>{"hook 5", "hook 99"}));
    EXPECT_EQ(form->handled, (std::vector<std::uint32_t>{5, 99, 6}));
}

TEST(HashCollectionTest, FindsByNameIgnoringCase) {
    THashCollection names;
    static_cast<THashCollectionItem*>(names.Add())->SetName("Beat");
    static_cast<THashCollectionItem*>(names.Add())->SetName("Tone");
    EXPECT_EQ(names.IndexOf("TONE"), 1);
    EXPECT_EQ(names.Find("nothing"), nullptr);
    EXPECT_EQ(names.Items(1)->Index(), 1);
    delete names.Items(0);
    EXPECT_EQ(names.Count(), 1);
    EXPECT_EQ(names.Find("tone")->Index(), 0);
    EXPECT_THROW(names.Items(1), EListError);
}

} // namespace
} // namespace k58::test
