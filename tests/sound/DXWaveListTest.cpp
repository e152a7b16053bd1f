#include "FakeDirectSound.h"
#include "SoundTestSupport.h"
#include "sound/DXSounds.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace k58::test {
namespace {

// The main window's sound set-up: a device and a wave list on a form, with
// items 0 beat (one-shot), 1 tone (looped) and 2 with an empty wave.
class WaveListTest : public testing::Test {
protected:
    WaveListTest() {
        sound = new TDXSound(form.get());
        list = new TDXWaveList(form.get());
        TWaveCollectionItem* beat = list->Items()->Add();
        FillWave(beat->Wave(), 400);
        TWaveCollectionItem* tone = list->Items()->Add();
        tone->SetLooped(true);
        FillWave(tone->Wave(), 800);
        list->Items()->Add();
    }
    TWaveCollectionItem* Item(int index) const { return list->Items()->Items(index); }
    // The fake device buffer held by a wrapper.
    static FakeSoundBuffer* Fake(TDirectSoundBuffer* buffer) {
        return static_cast<FakeSoundBuffer*>(buffer->DeviceInterface());
    }
    // Loads the window: the device comes up (if it can) and the items with it.
    void Start() {
        list->SetDXSound(sound);
        sound->Loaded();
        list->Loaded();
    }

    FakeDirectSound device;
    std::unique_ptr<FakeForm> form = std::make_unique<FakeForm>(nullptr);
    TDXSound* sound;
    TDXWaveList* list;
};

TEST_F(WaveListTest, WithoutADeviceItemsStaySilentAndKeepTheirFrequency) {
    device.createResult = DSERR_NODRIVER;
    Start();
    list->Items()->Initialize(sound);
    EXPECT_FALSE(Item(1)->Initialized());
    Item(0)->Play(false);
    Item(1)->Play(false);
    Item(1)->SetFrequency(30000);
    EXPECT_EQ(Item(1)->Frequency(), 30000);
    EXPECT_TRUE(device.buffers.empty());
}

TEST_F(WaveListTest, StoredFrequencyIsAppliedWhenTheMainBufferIsMade) {
    Item(1)->SetFrequency(27000); // before any device
    Start();
    ASSERT_TRUE(sound->Initialized());
    // The device reached the list at start-up: main buffers are loaded.
    ASSERT_NE(Item(1)->MainBuffer(), nullptr);
    FakeSoundBuffer* tone = Fake(Item(1)->MainBuffer());
    EXPECT_EQ(tone->frequency, 27000u);
    EXPECT_EQ(tone->memory->at(799), static_cast<std::uint8_t>(799 % 256));
    EXPECT_EQ(Item(2)->MainBuffer(), nullptr) << "an empty wave gets no buffer";

    // Rebinding the collection frees them; the next use makes them again.
    list->Items()->Initialize(sound);
    EXPECT_TRUE(tone->Released());
    Item(1)->SetFrequency(31000);
    EXPECT_EQ(Fake(Item(1)->MainBuffer())->frequency, 31000u);
    // A refused rate raises nothing and the buffer keeps the old one.
    Item(1)->SetFrequency(225000);
    EXPECT_EQ(Item(1)->Frequency(), 225000);
    EXPECT_EQ(Fake(Item(1)->MainBuffer())->frequency, 31000u);
    EXPECT_EQ(Item(1)->MainBuffer()->LastResult(), DSERR_INVALIDPARAM);
}

TEST_F(WaveListTest, OneShotVoicesOverlapAndFinishedOnesAreReusedInOrder) {
    Start();
    list->Items()->Initialize(sound);
    TWaveCollectionItem* beat = Item(0);
    beat->SetFrequency(0);
    for (int i = 0; i < 6; ++i)
        beat->Play(false);
    ASSERT_EQ(beat->VoiceCount(), 6);
    FakeSoundBuffer* main = Fake(beat->MainBuffer());
    EXPECT_FALSE(main->playing) << "the main buffer itself never plays";
    for (int i = 0; i < 6; ++i) {
        FakeSoundBuffer* voice = Fake(beat->Voices(i));
        EXPECT_EQ(voice->original, main);
        EXPECT_TRUE(voice->playing);
    }
    const std::string first = Fake(beat->Voices(0))->name;
    const auto calls = device.LogWith(first + ".");
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 6),
              (std::vector<std::string>{first + ".Stop", first + ".SetCurrentPosition 0",
                                        first + ".SetFrequency 0", first + ".SetPan 0",
                                        first + ".SetVolume 0", first + ".Play once"}));

    for (int i = 0; i < 6; ++i)
        Fake(beat->Voices(i))->Finish();
    Fake(beat->Voices(3))->playing = true;
    const auto duplicates = device.LogWith("DuplicateSoundBuffer").size();
    beat->Play(false);
    beat->Play(false);
    EXPECT_EQ(device.LogWith("DuplicateSoundBuffer").size(), duplicates);
    EXPECT_TRUE(Fake(beat->Voices(0))->playing);
    EXPECT_TRUE(Fake(beat->Voices(1))->playing);
    EXPECT_FALSE(Fake(beat->Voices(2))->playing);
    // A new rate leaves playing voices alone and reaches the next one.
    beat->SetFrequency(30000);
    EXPECT_EQ(Fake(beat->Voices(0))->frequency, 0u);
    beat->Play(false);
    EXPECT_EQ(Fake(beat->Voices(2))->frequency, 30000u);
}

TEST_F(WaveListTest, VoiceLimitRestartsTheOldestAndMovesItLast) {
    Start();
    TWaveCollectionItem* beat = Item(0);
    beat->SetMaxPlayingCount(-5);
    EXPECT_EQ(beat->MaxPlayingCount(), 0);
    beat->SetMaxPlayingCount(2);
    beat->Play(false);
    beat->Play(false);
    TDirectSoundBuffer* oldest = beat->Voices(0);
    Fake(oldest)->position = 123;
    beat->Play(false);
    ASSERT_EQ(beat->VoiceCount(), 2);
    EXPECT_EQ(beat->Voices(1), oldest);
    EXPECT_EQ(Fake(oldest)->position, 0u);
    EXPECT_TRUE(Fake(oldest)->playing);
    // Changing the limit drops the voices, stopping them with their buffers.
    FakeSoundBuffer* fake = Fake(oldest);
    beat->SetMaxPlayingCount(3);
    EXPECT_EQ(beat->VoiceCount(), 0);
    EXPECT_TRUE(fake->Released());
}

TEST_F(WaveListTest, LoopedItemRestartsItsMainBufferAndEmptyWavesFailAsDocumented) {
    Start();
    TWaveCollectionItem* tone = Item(1);
    tone->Play(false);
    FakeSoundBuffer* main = Fake(tone->MainBuffer());
    main->position = 77;
    device.log.clear();
    tone->Play(false);
    EXPECT_EQ(device.log,
              (std::vector<std::string>{main->name + ".Stop", main->name + ".SetCurrentPosition 0",
                                        main->name + ".Play looping"}));
    EXPECT_TRUE(main->looping);
    EXPECT_EQ(tone->VoiceCount(), 0);

    // Item 2 holds no sound: one-shot play does nothing, looped play and a
    // frequency have no buffer to act on.
    TWaveCollectionItem* empty = Item(2);
    EXPECT_NO_THROW(empty->Play(false));
    EXPECT_THROW(empty->SetFrequency(1000), EDirectSoundBufferError);
    empty->SetLooped(true);
    try {
        empty->Play(false);
        FAIL();
    } catch (const EDirectSoundBufferError& error) {
        EXPECT_EQ(error.Message(), "IDirectSoundBuffer not made");
    }
}

TEST_F(WaveListTest, RefusedBufferFailsUntilTheNextRestore) {
    Start();
    list->Items()->Initialize(sound);
    device.createBufferResults.push_back(DSERR_OUTOFMEMORY);
    try {
        Item(1)->Play(false);
        FAIL();
    } catch (const EDirectSoundBufferError& error) {
        EXPECT_EQ(error.Message(), "Sound Buffer cannot be made");
    }
    ASSERT_NE(Item(1)->MainBuffer(), nullptr);
    EXPECT_THROW(Item(1)->Play(false), EDirectSoundBufferError);
    EXPECT_THROW(Item(1)->SetFrequency(22000), EDirectSoundBufferError);
    // One-shot: no voice can come from a main buffer without a device buffer.
    device.FailOnNextBuffer("Lock", DSERR_INVALIDCALL);
    EXPECT_THROW(Item(0)->Play(false), EDirectSoundBufferError);
    EXPECT_THROW(Item(0)->Play(false), EDirectSoundBufferError);
    EXPECT_EQ(Item(0)->VoiceCount(), 0);

    sound->Restore();
    Item(1)->Play(false);
    Item(0)->Play(false);
    EXPECT_TRUE(Fake(Item(1)->MainBuffer())->looping);
    EXPECT_EQ(Item(0)->VoiceCount(), 1);
}

TEST_F(WaveListTest, RefusedDuplicationKeepsNoBrokenVoice) {
    Start();
    device.duplicateResults.push_back(DSERR_OUTOFMEMORY);
    EXPECT_NO_THROW(Item(0)->Play(false));
    EXPECT_EQ(Item(0)->VoiceCount(), 0);
    EXPECT_EQ(sound->DSound()->LastResult(), DSERR_OUTOFMEMORY);
    Item(0)->Play(false); // tried again, and played
    ASSERT_EQ(Item(0)->VoiceCount(), 1);
    EXPECT_TRUE(Fake(Item(0)->Voices(0))->playing);
}

TEST_F(WaveListTest, LostBufferReloadsMainBuffersAndLeavesVoices) {
    Start();
    Item(0)->Play(false);
    TDirectSoundBuffer* voice = Item(0)->Voices(0);
    FakeSoundBuffer* oldBeat = Fake(Item(0)->MainBuffer());
    FakeSoundBuffer* oldTone = Fake(Item(1)->MainBuffer());
    Fake(voice)->Finish();
    Fake(voice)->FailNext("Stop", DSERR_BUFFERLOST);
    Item(0)->Play(false);
    EXPECT_TRUE(oldBeat->Released());
    EXPECT_TRUE(oldTone->Released());
    EXPECT_NE(Fake(Item(0)->MainBuffer()), oldBeat);
    // The voice still plays the samples it shared with the old main buffer.
    EXPECT_EQ(Item(0)->Voices(0), voice);
    EXPECT_EQ(Fake(voice)->memory, oldBeat->memory);
    EXPECT_TRUE(Fake(voice)->playing);
}

TEST_F(WaveListTest, ALastingLossCostsOneRestoreAndTheBeatGoesOnOnFreshVoices) {
    Start();
    int restores = 0;
    sound->OnRestore = [&](TObject*) { ++restores; };
    Item(1)->Play(false);
    Item(0)->Play(false);
    Item(0)->Play(false);
    device.LoseBuffers(); // lost for good, as the platform loses memory
    // The lost voices are dropped; the new one, duplicated from the lost
    // main buffer, is lost as well and its Play restores every item once.
    Item(0)->Play(false);
    EXPECT_EQ(restores, 1);
    for (int i = 0; i < 3; ++i)
        Item(0)->Play(false);
    EXPECT_EQ(restores, 1) << "one loss, one restore";
    FakeSoundBuffer* main = Fake(Item(0)->MainBuffer());
    ASSERT_GE(Item(0)->VoiceCount(), 1);
    for (int i = 0; i < Item(0)->VoiceCount(); ++i) {
        EXPECT_EQ(Fake(Item(0)->Voices(i))->original, main) << "a voice of the lost memory";
        EXPECT_TRUE(Fake(Item(0)->Voices(i))->playing);
    }
    FakeSoundBuffer* tone = Fake(Item(1)->MainBuffer());
    EXPECT_FALSE(tone->lost);
    EXPECT_TRUE(tone->looping);
    EXPECT_EQ(device.LogWith(tone->name + ".SetCurrentPosition"),
              std::vector<std::string>{tone->name + ".SetCurrentPosition 0"})
        << "a lost loop starts again from the beginning, once";
}

TEST_F(WaveListTest, ARestoreRestartsOnlyLoopsThatWereLost) {
    Start();
    Item(1)->Play(false);
    FakeSoundBuffer* oldTone = Fake(Item(1)->MainBuffer());
    oldTone->position = 1234;
    // A voice alone reports a lost result: the tone's own buffer is sound,
    // so its reloaded buffer goes on from where the tone was.
    Item(0)->Play(false);
    Fake(Item(0)->Voices(0))->Finish();
    Fake(Item(0)->Voices(0))->FailNext("Stop", DSERR_BUFFERLOST);
    Item(0)->Play(false);
    FakeSoundBuffer* newTone = Fake(Item(1)->MainBuffer());
    ASSERT_NE(newTone, oldTone);
    EXPECT_TRUE(newTone->looping);
    EXPECT_EQ(newTone->position, 1234u);

    // A loop stopped by a change of mode is not brought back.
    Item(1)->SetLooped(false);
    Item(1)->SetLooped(true);
    Item(1)->Restore();
    EXPECT_FALSE(Fake(Item(1)->MainBuffer())->playing);
}

TEST_F(WaveListTest, ALoopedChangeWhoseStopRaisesKeepsTheOldMode) {
    Start();
    Item(0)->Play(false);
    // The voice's Stop reports a loss and the restore it starts is refused.
    Fake(Item(0)->Voices(0))->FailNext("Stop", DSERR_BUFFERLOST);
    device.createBufferResults.push_back(DSERR_OUTOFMEMORY);
    EXPECT_THROW(Item(0)->SetLooped(true), EDirectSoundBufferError);
    EXPECT_FALSE(Item(0)->Looped());
}

TEST_F(WaveListTest, LoopedChangesStopWhatExistsAndNeverWedge) {
    Start();
    list->Items()->Initialize(sound); // items without main buffers
    EXPECT_NO_THROW(Item(1)->SetLooped(false));
    EXPECT_FALSE(Item(1)->Looped());
    Item(0)->Play(false);
    Item(0)->Play(false);
    Item(0)->SetLooped(true);
    EXPECT_FALSE(Fake(Item(0)->Voices(0))->playing);
    EXPECT_FALSE(Fake(Item(0)->Voices(1))->playing);
}

TEST_F(WaveListTest, BindingToAnInitializedDeviceLoadsAtOnceAndRebindingReloads) {
    sound->Loaded();
    ASSERT_TRUE(sound->Initialized());
    EXPECT_FALSE(Item(0)->Initialized());
    list->SetDXSound(sound);
    ASSERT_TRUE(Item(0)->Initialized());
    const auto made = device.LogWith("CreateSoundBuffer").size();
    EXPECT_EQ(made, 3u) << "the primary buffer and the main buffers of items 0 and 1";
    FakeSoundBuffer* tone = Fake(Item(1)->MainBuffer());
    // The same device again: the items are finalized and loaded anew.
    list->SetDXSound(sound);
    EXPECT_TRUE(tone->Released());
    EXPECT_EQ(device.LogWith("CreateSoundBuffer").size(), made + 2);
    EXPECT_TRUE(Item(1)->Initialized());
}

TEST_F(WaveListTest, ItemsGoBeforeTheDeviceWhicheverIsFreedFirst) {
    Start();
    Item(0)->Play(false);
    // The list goes first: it unregisters, and the items free their buffers.
    delete list;
    EXPECT_EQ(device.LiveBuffers().size(), 1u) << "only the primary buffer is left";
    form.reset();
    EXPECT_EQ(device.refs, 0);
}

TEST_F(WaveListTest, DeviceFreedFirstFinalizesTheItemsAndUnbindsTheList) {
    Start();
    Item(0)->Play(false);
    const TWaveCollectionItem* beat = Item(0);
    delete sound;
    EXPECT_EQ(list->DXSound(), nullptr);
    EXPECT_EQ(list->Items()->DXSound(), nullptr);
    EXPECT_FALSE(beat->Initialized());
    EXPECT_EQ(device.refs, 0);
    EXPECT_TRUE(device.LiveBuffers().empty());

    // The same with a device that never opened.
    auto* silent = new TDXSound(form.get());
    device.createResult = DSERR_NODRIVER;
    list->SetDXSound(silent);
    silent->Loaded();
    list->Items()->Initialize(silent);
    delete silent;
    EXPECT_EQ(list->DXSound(), nullptr);
    EXPECT_EQ(list->Items()->DXSound(), nullptr);
}

// A dependant whose handler raises when the device is finalized.
struct RefusesFinalize {
    void Notify(TCustomDXSound*, TDXSoundNotification kind) {
        if (kind == TDXSoundNotification::snFinalize)
            throw std::runtime_error("refused");
    }
};

TEST_F(WaveListTest, BuffersTheDeviceWrapperFreesAreLetGoByTheItems) {
    Start();
    Item(0)->Play(false);
    Item(1)->Play(false);
    // Called before the list, it keeps the list from finalizing its items:
    // the device wrapper frees their buffers itself.
    RefusesFinalize refuser;
    const auto handler = TDXSoundNotifyEvent::Of<&RefusesFinalize::Notify>(&refuser);
    sound->RegisterNotification(handler);
    EXPECT_THROW(sound->Finalize(), std::runtime_error);
    EXPECT_TRUE(device.LiveBuffers().empty());
    sound->UnregisterNotification(handler);
    delete list; // the items hold nothing more to free
    EXPECT_EQ(device.refs, 0);
}

TEST_F(WaveListTest, AssigningAnItemCopiesItsSettingsAndReloads) {
    Start();
    TWaveCollectionItem* copy = list->Items()->Add();
    copy->Initialize();
    Item(1)->SetFrequency(25000);
    Item(1)->SetName("tone");
    copy->Assign(Item(1));
    EXPECT_TRUE(copy->Looped());
    EXPECT_EQ(copy->Name(), "tone");
    EXPECT_EQ(copy->Frequency(), 25000);
    ASSERT_NE(copy->MainBuffer(), nullptr);
    EXPECT_EQ(Fake(copy->MainBuffer())->memory->size(), 800u);
    EXPECT_EQ(Fake(copy->MainBuffer())->frequency, 25000u);
    EXPECT_THROW(copy->Assign(sound->Primary()), EConvertError);
}

} // namespace
} // namespace k58::test
