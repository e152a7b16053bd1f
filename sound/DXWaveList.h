// The wave list: an indexed collection of sounds played through the sound
// device. A looped item plays its main buffer in a loop; a one-shot item
// plays each time on a voice, a duplicate of the main buffer that shares its
// samples, so the sound can overlap itself. Finished voices are reused.
#pragma once

#include "sound/DXClass.h"
#include "sound/DXSound.h"
#include "sound/DirectSoundWrappers.h"
#include "sound/Wave.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace k58 {

class TCustomDXWaveList;
class TWaveCollection;

class TWaveCollectionItem : public THashCollectionItem {
public:
    explicit TWaveCollectionItem(TCollection* collection);
    ~TWaveCollectionItem() override;

    TWaveCollection* WaveCollection() const noexcept;

    // Drops any buffers, then becomes usable if the collection's device is
    // initialized. Makes no buffer.
    void Initialize();
    // Frees the voices and the main buffer.
    void Finalize();
    // Loads the wave into the main buffer, making it first if needed, and
    // gives it the item's frequency, pan and volume. Does nothing for an
    // empty wave or without an initialized device.
    void Restore();
    // Starts the sound: a looped item restarts its main buffer in a loop, a
    // one-shot item plays on a free voice, a new one, or (at the voice
    // limit) the oldest. With wait, blocks until a one-shot voice ends.
    void Play(bool wait);

    bool Initialized() const noexcept { return mInitialized; }
    // The main buffer, loaded on first use while initialized; nullptr when
    // not initialized or the wave is empty.
    TDirectSoundBuffer* MainBuffer();
    int VoiceCount() const noexcept { return static_cast<int>(mVoices.size()); }
    TDirectSoundBuffer* Voices(int index) const {
        return mVoices.at(static_cast<size_t>(index)).get();
    }

    // Playback rate in hertz for the item's buffers; 0 means the wave's own.
    std::int32_t Frequency() const noexcept { return mFrequency; }
    void SetFrequency(std::int32_t value);
    bool Looped() const noexcept { return mLooped; }
    void SetLooped(bool value);
    // Upper bound on the number of voices; 0 means none.
    std::int32_t MaxPlayingCount() const noexcept { return mMaxPlayingCount; }
    void SetMaxPlayingCount(std::int32_t value);
    std::int32_t Pan() const noexcept { return mPan; }
    std::int32_t Volume() const noexcept { return mVolume; }
    TWave& Wave() noexcept { return mWave; }
    const TWave& Wave() const noexcept { return mWave; }
    // Copies value into the item's wave; used from the next load.
    void SetWave(const TWave& value);

    // Another item: copies its settings and wave (reloading if this one was
    // initialized).
    void Assign(const TPersistent* source) override;
    const char* ClassName() const noexcept override { return "TWaveCollectionItem"; }

private:
    using BufferPtr = TOwnedBuffer;
    TDirectSound* DeviceWrapper() const;
    // A new voice duplicated from the main buffer, or nullptr when none can
    // be made.
    BufferPtr MakeVoice();
    void FreeVoices();

    BufferPtr mBuffer;
    std::vector<BufferPtr> mVoices;
    std::int32_t mFrequency = 0;
    bool mInitialized = false;
    bool mLooped = false;
    // A looped Play has started the main buffer since it was last stopped.
    bool mLoopStarted = false;
    std::int32_t mMaxPlayingCount = 0;
    std::int32_t mPan = 0;
    std::int32_t mVolume = 0;
    TWave mWave;
};

class TWaveCollection : public THashCollection {
public:
    explicit TWaveCollection(TCustomDXWaveList* owner) : mOwner(owner) {}

    // Binds the items to device and initializes them in index order.
    void Initialize(TCustomDXSound* device);
    // Finalizes the items in index order and unbinds the device.
    void Finalize();
    // Reloads the items' main buffers in index order.
    void Restore();
    // A device is bound and initialized.
    bool Initialized() const noexcept;
    TCustomDXSound* DXSound() const noexcept { return mDXSound; }

    TWaveCollectionItem* Items(int index) const {
        return static_cast<TWaveCollectionItem*>(TCollection::Items(index));
    }
    TWaveCollectionItem* Add() { return static_cast<TWaveCollectionItem*>(TCollection::Add()); }

    TPersistent* Owner() const override;
    const char* ClassName() const noexcept override { return "TWaveCollection"; }

protected:
    TCollectionItem* NewItem() override { return new TWaveCollectionItem(this); }

private:
    TCustomDXSound* mDXSound = nullptr;
    TCustomDXWaveList* mOwner;
};

class TCustomDXWaveList : public TComponent {
public:
    explicit TCustomDXWaveList(TComponent* owner);
    ~TCustomDXWaveList() override;

    TCustomDXSound* DXSound() const noexcept { return mDXSound; }
    // Rebinds the list's handler: an initialized old device finalizes the
    // items, an initialized new one initializes and loads them. Setting the
    // same device again does both.
    void SetDXSound(TCustomDXSound* value);
    TWaveCollection* Items() const noexcept { return mItems.get(); }
    // Replaces the items with copies of value's items.
    void SetItems(const TWaveCollection* value);

    void Notification(TComponent* component, TOperation operation) override;
    const char* ClassName() const noexcept override { return "TCustomDXWaveList"; }

private:
    void DXSoundNotifyEvent(TCustomDXSound* sender, TDXSoundNotification kind);
    TDXSoundNotifyEvent Handler() {
        return TDXSoundNotifyEvent::Of<&TCustomDXWaveList::DXSoundNotifyEvent>(this);
    }

    TCustomDXSound* mDXSound = nullptr;
    std::unique_ptr<TWaveCollection> mItems;
};

class TDXWaveList : public TCustomDXWaveList {
public:
    using TCustomDXWaveList::TCustomDXWaveList;
    const char* ClassName() const noexcept override { return "TDXWaveList"; }
};

} // namespace k58
