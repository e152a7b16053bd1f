// The test build of the sound-device module that fails on request, and the
// loss and recovery of the output that it drives in the real implementation.
#include "SoundTestSupport.h"

#include <AL/alc.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace k58 {
namespace {

using namespace soundtest;
using namespace std::chrono_literals;

class FaultModuleTest : public testing::Test {
protected:
    void SetUp() override {
        UseNullOutput();
        char pattern[] = "/tmp/k58-faults-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        mControl = std::string(pattern) + "/faults";
        Faults("");
        ::setenv("K58_DSOUND_FAULTS", mControl.c_str(), 1);
        mCreate = LoadCreate(K58_FAULT_DSOUND_PATH);
        ASSERT_NE(mCreate, nullptr);
    }
    void TearDown() override { ::unsetenv("K58_DSOUND_FAULTS"); }

    void Faults(const std::string& words) { std::ofstream(mControl, std::ios::trunc) << words; }

    static std::uint32_t Status(IDirectSoundBuffer* buffer) {
        std::uint32_t status = 0;
        EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
        return status;
    }

    std::string mControl;
    TDirectSoundCreate mCreate = nullptr;
};

TEST_F(FaultModuleTest, FailsCreationUploadAndDuplicationOnRequest) {
    Faults("fail-create");
    Ref<IDirectSound> device;
    EXPECT_EQ(mCreate(nullptr, device.Out(), nullptr), DSERR_NODRIVER);
    EXPECT_FALSE(device);

    Faults("");
    ASSERT_EQ(mCreate(nullptr, device.Out(), nullptr), DS_OK);
    // Samples OpenAL refuses fail the creation and leave nothing behind:
    // more refusals than OpenAL has sources, then a buffer is made.
    Faults("refuse-data");
    WAVEFORMATEX format = Pcm16Mono(22050);
    const DSBUFFERDESC desc = Description(64, &format);
    for (int i = 0; i < 300; ++i) {
        IDirectSoundBuffer* refused = nullptr;
        ASSERT_EQ(device->CreateSoundBuffer(&desc, &refused, nullptr), DSERR_OUTOFMEMORY) << i;
        ASSERT_EQ(refused, nullptr);
    }
    Faults("");
    Ref<IDirectSoundBuffer> buffer(MakeBuffer(device.Get(), Sine(440, 22050, 0.1), 22050));
    Ref<IDirectSoundBuffer> copy;
    Faults("refuse-duplicate");
    EXPECT_EQ(device->DuplicateSoundBuffer(buffer.Get(), copy.Out()), DSERR_OUTOFMEMORY);
    EXPECT_FALSE(copy);
    Faults("");
    ASSERT_EQ(device->DuplicateSoundBuffer(buffer.Get(), copy.Out()), DS_OK);
    EXPECT_EQ(copy->Play(0, 0, 0), DS_OK);
}

TEST_F(FaultModuleTest, LosesTheBuffersThatExistWhenANewTagAppears) {
    Ref<IDirectSound> device;
    ASSERT_EQ(mCreate(nullptr, device.Out(), nullptr), DS_OK);
    Ref<IDirectSoundBuffer> before(MakeBuffer(device.Get(), Sine(440, 22050, 0.1), 22050));
    ASSERT_EQ(before->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    Faults("lose-buffers 1");
    // Only Play and Lock fail, as on the platform; the status says lost and
    // not playing: the memory fell silent.
    EXPECT_EQ(Status(before.Get()), DSBSTATUS_BUFFERLOST);
    EXPECT_EQ(before->SetFrequency(30000), DS_OK);
    EXPECT_EQ(before->Stop(), DS_OK);
    EXPECT_EQ(before->Play(0, 0, 0), DSERR_BUFFERLOST);
    void* p1 = nullptr;
    std::uint32_t n1 = 0;
    EXPECT_EQ(before->Lock(0, 4, &p1, &n1, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    Ref<IDirectSoundBuffer> copy;
    ASSERT_EQ(device->DuplicateSoundBuffer(before.Get(), copy.Out()), DS_OK);
    EXPECT_EQ(copy->Play(0, 0, 0), DSERR_BUFFERLOST) << "a duplicate of lost memory is lost";
    Ref<IDirectSoundBuffer> after(MakeBuffer(device.Get(), Sine(440, 22050, 0.1), 22050));
    EXPECT_EQ(after->Play(0, 0, 0), DS_OK) << "a reloaded buffer works";
    EXPECT_EQ(after->Play(0, 0, 0), DS_OK) << "the same tag loses nothing more";
    Faults("lose-buffers 2");
    EXPECT_EQ(after->Play(0, 0, 0), DSERR_BUFFERLOST);
    Faults("");
    EXPECT_EQ(before->Play(0, 0, 0), DSERR_BUFFERLOST) << "lost until restored";
    EXPECT_EQ(Status(before.Get()), DSBSTATUS_BUFFERLOST);
    EXPECT_EQ(before->Restore(), DS_OK);
    EXPECT_EQ(before->Play(0, 0, 0), DS_OK) << "restored memory plays again";
    EXPECT_EQ(Status(before.Get()), DSBSTATUS_PLAYING);
}

TEST_F(FaultModuleTest, LostOutputLosesBuffersUntilItComesBack) {
    Ref<IDirectSound> device;
    ASSERT_EQ(mCreate(nullptr, device.Out(), nullptr), DS_OK);
    Ref<IDirectSoundBuffer> old(MakeBuffer(device.Get(), Sine(440, 22050, 0.1), 22050));
    Ref<IDirectSoundBuffer> spare(MakeBuffer(device.Get(), Sine(440, 22050, 0.1), 22050));
    ASSERT_EQ(old->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

    Faults("device-gone");
    void* p1 = nullptr;
    std::uint32_t n1 = 0;
    // The next call notices the loss; the platform's answers follow.
    EXPECT_EQ(old->SetFrequency(30000), DS_OK);
    EXPECT_EQ(Status(old.Get()), DSBSTATUS_BUFFERLOST);
    EXPECT_EQ(old->SetPan(-100), DS_OK);
    EXPECT_EQ(old->Stop(), DS_OK);
    EXPECT_EQ(old->Lock(0, 4, &p1, &n1, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(old->Play(0, 0, 0), DSERR_BUFFERLOST);
    // A duplicate of lost memory is lost as well, and says so.
    Ref<IDirectSoundBuffer> copy;
    ASSERT_EQ(device->DuplicateSoundBuffer(old.Get(), copy.Out()), DS_OK);
    EXPECT_EQ(copy->Play(0, 0, 0), DSERR_BUFFERLOST);

    // Buffers made now can be filled and played, silently: a loop counts as
    // playing, a one-shot is over at once.
    Ref<IDirectSoundBuffer> loop(MakeBuffer(device.Get(), Sine(440, 22050, 0.1), 22050));
    Ref<IDirectSoundBuffer> shot(MakeBuffer(device.Get(), Sine(440, 22050, 0.1), 22050));
    ASSERT_TRUE(loop && shot);
    EXPECT_EQ(loop->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(Status(loop.Get()), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_EQ(shot->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(Status(shot.Get()), 0u);
    std::this_thread::sleep_for(700ms);
    EXPECT_TRUE(IsLost(old.Get())) << "no output yet: still lost";
    EXPECT_EQ(spare->Restore(), DSERR_BUFFERLOST) << "no output yet: nothing to restore";

    // Once the output is back a restore succeeds; lost memory stays lost
    // until then, as on the platform.
    Faults("");
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (spare->Restore() != DS_OK && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ASSERT_EQ(spare->Restore(), DS_OK) << "the output did not come back";
    EXPECT_EQ(Status(old.Get()), DSBSTATUS_BUFFERLOST) << "lost until restored";
    EXPECT_EQ(old->Play(0, 0, DSBPLAY_LOOPING), DSERR_BUFFERLOST);
    EXPECT_EQ(old->Lock(0, 4, &p1, &n1, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(Status(loop.Get()), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_EQ(old->Restore(), DS_OK);
    EXPECT_EQ(Status(old.Get()), 0u);
    EXPECT_EQ(old->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(Status(old.Get()), DSBSTATUS_PLAYING);
    EXPECT_EQ(copy->Restore(), DS_OK);
    EXPECT_EQ(copy->Play(0, 0, 0), DS_OK);
}

TEST_F(FaultModuleTest, AnOutputLostWhileNoThreadCanStartIsLookedForLater) {
    Ref<IDirectSound> device;
    ASSERT_EQ(mCreate(nullptr, device.Out(), nullptr), DS_OK);
    Ref<IDirectSoundBuffer> buffer(MakeBuffer(device.Get(), Sine(440, 22050, 0.1), 22050));
    Faults("device-gone no-threads");
    EXPECT_TRUE(IsLost(buffer.Get()));
    Faults("");
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (buffer->Restore() != DS_OK && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(buffer->Restore(), DS_OK) << "the output was not looked for again";
}

TEST_F(FaultModuleTest, AnOutputThatHangsWhileItOpensIsTakenOverWhenItComes) {
    Faults("open-blocks");
    Ref<IDirectSound> device;
    ASSERT_EQ(mCreate(nullptr, device.Out(), nullptr), DS_OK);
    EXPECT_EQ(alcGetCurrentContext(), nullptr) << "creation waited for the output";
    Faults("");
    // Made and started while the output is not there: it plays once it is.
    Ref<IDirectSoundBuffer> loop(MakeBuffer(device.Get(), Sine(440, 22050, 0.1), 22050));
    ASSERT_EQ(loop->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (alcGetCurrentContext() == nullptr && std::chrono::steady_clock::now() < deadline) {
        Status(loop.Get()); // each call may take the output over
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_NE(alcGetCurrentContext(), nullptr) << "the output was not taken over";
    EXPECT_EQ(Status(loop.Get()), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
}

} // namespace
} // namespace k58
