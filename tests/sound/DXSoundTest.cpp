#include "sound/DXSound.h"
#include "FakeDirectSound.h"
#include "SoundTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace k58::test {
namespace {

class DXSoundTest : public testing::Test {
protected:
    DXSoundTest() {
        // The device sits one owner below the form, as in a frame on a form.
        auto* frame = new TComponent(form.get());
        sound = new TDXSound(frame);
        sound->OnInitializing = [this](TObject*) { log.push_back("OnInitializing"); };
        sound->OnInitialize = [this](TObject*) { log.push_back("OnInitialize"); };
        sound->OnRestore = [this](TObject*) { log.push_back("OnRestore"); };
        sound->OnFinalize = [this](TObject*) { log.push_back("OnFinalize"); };
        sound->RegisterNotification(first.Handler());
        sound->RegisterNotification(second.Handler());
    }

    // Declared before the form, which frees the device: they outlive it.
    FakeDirectSound device;
    std::vector<std::string> log;
    NotificationRecorder first{&log, "first"};
    NotificationRecorder second{&log, "second"};
    std::unique_ptr<FakeForm> form = std::make_unique<FakeForm>(nullptr);
    TDXSound* sound;
};

TEST_F(DXSoundTest, InitializeNotifiesInOrderAndFinalizeReleasesEverything) {
    sound->Loaded();
    ASSERT_TRUE(sound->Initialized());
    // Last registered first; the device is opened between the two phases.
    EXPECT_EQ(log, (std::vector<std::string>{"second:snInitializing", "first:snInitializing",
                                             "OnInitializing", "second:snInitialize",
                                             "first:snInitialize", "OnInitialize",
                                             "second:snRestore", "first:snRestore", "OnRestore"}));
    const DSBUFFERDESC& primary = device.Buffer("b1")->desc;
    EXPECT_EQ(primary.dwSize, DSBUFFERDESC_FULL_SIZE);
    EXPECT_EQ(primary.dwFlags, DSBCAPS_PRIMARYBUFFER);
    EXPECT_EQ(primary.dwBufferBytes, 0u);
    // Asking for the handle made the window, whose creation already set the
    // level once; every call names that window.
    ASSERT_FALSE(device.cooperativeCalls.empty());
    for (const auto& call : device.cooperativeCalls)
        EXPECT_EQ(call, std::make_pair(form->Handle(), std::uint32_t{DSSCL_NORMAL}));

    log.clear();
    device.log.clear();
    sound->Finalize();
    EXPECT_EQ(log,
              (std::vector<std::string>{"OnFinalize", "second:snFinalize", "first:snFinalize"}));
    EXPECT_EQ(device.log, (std::vector<std::string>{"b1 released", "device released"}));
    EXPECT_FALSE(sound->Initialized());
    EXPECT_EQ(sound->DSound(), nullptr);
    log.clear();
    sound->Finalize(); // nothing open: nothing happens
    EXPECT_TRUE(log.empty());
}

TEST_F(DXSoundTest, NoDeviceLeavesItSilentlyUninitialized) {
    device.createResult = DSERR_NODRIVER;
    EXPECT_NO_THROW(sound->Loaded());
    EXPECT_FALSE(sound->Initialized());
    // The dependants saw the attempt and its end, but never an open device.
    EXPECT_EQ(
        log, (std::vector<std::string>{"second:snInitializing", "first:snInitializing",
                                       "OnInitializing", "second:snFinalize", "first:snFinalize"}));
    EXPECT_TRUE(device.cooperativeCalls.empty());
}

TEST_F(DXSoundTest, OtherStartFailuresPassOutOfLoaded) {
    device.UseModule("k58-missing-module.so");
    try {
        sound->Loaded();
        FAIL();
    } catch (const EDirectSoundError&) {
        FAIL() << "must not be a device error";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "k58-missing-module.so not loaded");
    }
    EXPECT_FALSE(sound->Initialized());

    device.UseModule("");
    device.createBufferResults.push_back(DSERR_UNSUPPORTED);
    try {
        sound->Loaded();
        FAIL();
    } catch (const EDXSoundError& error) {
        EXPECT_EQ(error.Message(), "Primary Buffer cannot be made");
    }
    EXPECT_FALSE(sound->Initialized());
    EXPECT_EQ(device.refs, 0);
}

TEST_F(DXSoundTest, FormNotFoundIsRaisedAfterFinalizingAndBeforeInitializing) {
    sound->Initialize();
    TDXSound orphan(nullptr);
    NotificationRecorder recorder(&log, "orphan");
    orphan.RegisterNotification(recorder.Handler());
    log.clear();
    try {
        orphan.Initialize();
        FAIL();
    } catch (const EDXSoundError& error) {
        EXPECT_EQ(error.Message(), "Form not found");
    }
    EXPECT_TRUE(log.empty());

    // Re-initializing finalizes the open device completely first.
    sound->Initialize();
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 4),
              (std::vector<std::string>{"OnFinalize", "second:snFinalize", "first:snFinalize",
                                        "second:snInitializing"}));
    EXPECT_EQ(device.createCalls, 2);
    EXPECT_EQ(device.refs, 1);
}

TEST_F(DXSoundTest, RegistrationKeepsOneEntryAndCatchesUp) {
    sound->Initialize();
    log.clear();
    sound->RegisterNotification(first.Handler()); // again: moved to the end
    EXPECT_EQ(log, (std::vector<std::string>{"first:snFinalize", "first:snInitialize",
                                             "first:snRestore"}));
    log.clear();
    sound->Restore();
    EXPECT_EQ(log, (std::vector<std::string>{"first:snRestore", "second:snRestore", "OnRestore"}));
    log.clear();
    sound->UnregisterNotification(second.Handler());
    sound->UnregisterNotification(second.Handler()); // not registered: nothing
    EXPECT_EQ(log, std::vector<std::string>{"second:snFinalize"});
}

TEST_F(DXSoundTest, FocusAndExclusiveOptions) {
    sound->SetOptions(soStickyFocus | soGlobalFocus);
    sound->Initialize();
    // Only the global focus is taken over when the device opens.
    EXPECT_TRUE(sound->DSound()->GlobalFocus());
    EXPECT_FALSE(sound->DSound()->StickyFocus());
    sound->SetOptions(soStickyFocus | soGlobalFocus | soExclusive);
    EXPECT_TRUE(sound->DSound()->StickyFocus());
    EXPECT_EQ(sound->NowOptions(), soStickyFocus | soGlobalFocus) << "exclusive changed while open";
    TWave wave;
    FillWave(wave, 4);
    // Listed on the device wrapper, which frees it when the device closes.
    (new TDirectSoundBuffer(sound->DSound()))->LoadFromWave(wave);
    EXPECT_EQ(device.LiveBuffers().back()->desc.dwFlags, 0xE0u | DSBCAPS_STICKYFOCUS);

    sound->Initialize();
    EXPECT_EQ(device.cooperativeCalls.back().second, DSSCL_EXCLUSIVE);
    sound->SetOptions(0);
    sound->Finalize();
    EXPECT_EQ(sound->NowOptions(), 0);
}

TEST_F(DXSoundTest, WindowRecreationReappliesTheCooperativeLevelUntilFinalized) {
    const HWND before = form->Handle();
    sound->Initialize();
    ASSERT_EQ(device.cooperativeCalls.size(), 1u);
    form->RecreateWindow();
    ASSERT_EQ(device.cooperativeCalls.size(), 2u);
    EXPECT_NE(device.cooperativeCalls[1].first, before);
    EXPECT_EQ(device.cooperativeCalls[1].first, form->Handle());
    form->RecreateWindow();
    EXPECT_EQ(device.cooperativeCalls.size(), 3u);
    // The form's own handling still sees every creation.
    EXPECT_EQ(form->handled.size(), 3u);

    sound->Finalize();
    form->RecreateWindow();
    EXPECT_EQ(device.cooperativeCalls.size(), 3u);
    EXPECT_EQ(form->handled.size(), 4u);
}

TEST_F(DXSoundTest, LostBufferRestoresTheDependants) {
    sound->Initialize();
    TWave wave;
    FillWave(wave, 4);
    TDirectSoundBuffer buffer(sound->DSound());
    buffer.LoadFromWave(wave);
    log.clear();
    device.LiveBuffers().back()->FailNext("Play", DSERR_BUFFERLOST);
    buffer.Play(false);
    EXPECT_EQ(log, (std::vector<std::string>{"second:snRestore", "first:snRestore", "OnRestore"}));
}

TEST_F(DXSoundTest, DestructionFinalizesThenTellsDependantsAndLeavesTheFormAlone) {
    sound->Initialize();
    log.clear();
    form.reset(); // frees the frame and the device with it
    EXPECT_EQ(log, (std::vector<std::string>{"OnFinalize", "second:snFinalize", "first:snFinalize",
                                             "second:snDestroying", "first:snDestroying"}));
    EXPECT_EQ(device.refs, 0);
}

} // namespace
} // namespace k58::test
