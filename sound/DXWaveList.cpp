#include "sound/DXWaveList.h"

#include "platform/Handlers.h"
#include "sound/SoundStrings.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace k58 {

namespace {

// How often a waiting Play asks whether its voice has ended.
constexpr auto kWaitPollInterval = std::chrono::milliseconds(10);

// Stops a buffer that holds a device buffer; one without has nothing to stop.
void StopIfMade(TDirectSoundBuffer* buffer) {
    if (buffer != nullptr && buffer->HasDeviceBuffer())
        buffer->Stop();
}

// The platform keeps lost memory lost until it is made anew. It says so in
// the status flags; a platform that answers every call on such a buffer with
// the lost result says so in the result.
bool IsLost(const TDirectSoundBuffer& buffer, std::uint32_t status) {
    return (status & DSBSTATUS_BUFFERLOST) != 0 || buffer.LastResult() == DSERR_BUFFERLOST;
}

} // namespace

// ---- TWaveCollectionItem ---------------------------------------------------

TWaveCollectionItem::TWaveCollectionItem(TCollection* collection)
    : THashCollectionItem(collection) {}

TWaveCollectionItem::~TWaveCollectionItem() {
    Finalize();
}

TWaveCollection* TWaveCollectionItem::WaveCollection() const noexcept {
    return static_cast<TWaveCollection*>(Collection());
}

TDirectSound* TWaveCollectionItem::DeviceWrapper() const {
    TCustomDXSound* device = WaveCollection()->DXSound();
    TDirectSound* wrapper = device != nullptr ? device->DSound() : nullptr;
    if (wrapper == nullptr)
        throw EDirectSoundError(Format(strings::SNotMade, {strings::SIDirectSound}));
    return wrapper;
}

void TWaveCollectionItem::Initialize() {
    Finalize();
    mInitialized = WaveCollection() != nullptr && WaveCollection()->Initialized();
}

void TWaveCollectionItem::Finalize() {
    if (!mInitialized)
        return;
    mInitialized = false;
    mLoopStarted = false;
    FreeVoices();
    mBuffer.reset();
}

void TWaveCollectionItem::FreeVoices() {
    for (auto& voice : mVoices)
        voice.reset();
    mVoices.clear();
}

void TWaveCollectionItem::Restore() {
    if (mWave.Size() == 0)
        return;
    if (!mInitialized) {
        if (WaveCollection() != nullptr && WaveCollection()->Initialized())
            Initialize();
        if (!mInitialized)
            return;
    }
    if (!mBuffer)
        mBuffer = BufferPtr(new TDirectSoundBuffer(DeviceWrapper()));
    // A fresh device buffer replaces the old one, which would leave a
    // started loop silent for the rest of the run. So a started loop plays
    // on: from where it was if its memory was sound (a restore made for
    // another buffer's loss), from the beginning if its memory was lost.
    const bool resume = mLooped && mLoopStarted;
    std::uint32_t resumeAt = 0;
    if (resume && mBuffer->HasDeviceBuffer() && !IsLost(*mBuffer, mBuffer->Status()))
        resumeAt = mBuffer->Position();
    mBuffer->LoadFromWave(mWave);
    mBuffer->SetFrequency(static_cast<std::uint32_t>(mFrequency));
    mBuffer->SetPan(mPan);
    mBuffer->SetVolume(mVolume);
    if (resume) {
        mBuffer->SetPosition(resumeAt);
        mBuffer->Play(true);
    }
}

TDirectSoundBuffer* TWaveCollectionItem::MainBuffer() {
    if (mInitialized && !mBuffer)
        Restore();
    return mBuffer.get();
}

TWaveCollectionItem::BufferPtr TWaveCollectionItem::MakeVoice() {
    TDirectSoundBuffer* main = MainBuffer();
    if (main == nullptr)
        return {};
    BufferPtr voice(new TDirectSoundBuffer(DeviceWrapper()));
    voice->Assign(main);
    if (!voice->HasDeviceBuffer()) {
        // Never keep a voice without a device buffer: it would fail every
        // later Play of the item. A main buffer without one is an error of
        // its own; a refused duplication is recorded on the device wrapper
        // and this Play stays silent, the next one tries again.
        if (!main->HasDeviceBuffer())
            RaiseBufferNotMade();
        return {};
    }
    return voice;
}

void TWaveCollectionItem::Play(bool wait) {
    if (!mInitialized)
        return;

    if (mLooped) {
        // Each step takes the main buffer afresh: a step may reload it.
        auto main = [this] {
            TDirectSoundBuffer* buffer = MainBuffer();
            if (buffer == nullptr)
                RaiseBufferNotMade();
            return buffer;
        };
        main()->Stop();
        main()->SetPosition(0);
        main()->Play(true);
        mLoopStarted = true;
        return;
    }

    // The first voice that is not playing. A voice whose memory was lost
    // would never play again: it is freed, and a new voice is duplicated
    // from the main buffer, which the restore of that loss has reloaded.
    TDirectSoundBuffer* voice = nullptr;
    for (std::size_t i = 0; i < mVoices.size();) {
        TDirectSoundBuffer* candidate = mVoices[i].get();
        const std::uint32_t status = candidate->Status();
        if (IsLost(*candidate, status)) {
            mVoices.erase(mVoices.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if ((status & (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING)) == 0) {
            voice = candidate;
            break;
        }
        ++i;
    }
    if (voice == nullptr) {
        if (mMaxPlayingCount == 0 || mMaxPlayingCount > VoiceCount()) {
            BufferPtr made = MakeVoice();
            if (!made)
                return;
            voice = made.get();
            mVoices.push_back(std::move(made));
        } else {
            // Every voice is busy at the limit: the oldest starts over.
            std::rotate(mVoices.begin(), mVoices.begin() + 1, mVoices.end());
            voice = mVoices.back().get();
        }
    }

    voice->Stop();
    voice->SetPosition(0);
    voice->SetFrequency(static_cast<std::uint32_t>(mFrequency));
    voice->SetPan(mPan);
    voice->SetVolume(mVolume);
    voice->Play(false);

    if (wait) {
        while (voice->Playing())
            std::this_thread::sleep_for(kWaitPollInterval);
    }
}

void TWaveCollectionItem::SetFrequency(std::int32_t value) {
    mFrequency = value;
    if (!mInitialized)
        return;
    TDirectSoundBuffer* main = MainBuffer();
    if (main == nullptr)
        RaiseBufferNotMade();
    main->SetFrequency(static_cast<std::uint32_t>(value));
}

void TWaveCollectionItem::SetLooped(bool value) {
    if (value == mLooped)
        return;
    mLoopStarted = false;
    if (mInitialized) {
        // Only buffers that exist can be stopped. A Stop that raises (its
        // lost result started a restore that failed) leaves the mode as it
        // was.
        StopIfMade(mBuffer.get());
        for (std::size_t i = 0; i < mVoices.size(); ++i)
            StopIfMade(mVoices[i].get());
    }
    mLooped = value;
}

void TWaveCollectionItem::SetMaxPlayingCount(std::int32_t value) {
    value = std::max(value, 0);
    if (value == mMaxPlayingCount)
        return;
    mMaxPlayingCount = value;
    if (mInitialized)
        FreeVoices();
}

void TWaveCollectionItem::SetWave(const TWave& value) {
    mWave.Assign(&value);
}

void TWaveCollectionItem::Assign(const TPersistent* source) {
    const auto* other = dynamic_cast<const TWaveCollectionItem*>(source);
    if (other == nullptr) {
        THashCollectionItem::Assign(source);
        return;
    }
    if (other == this)
        return;
    const bool wasInitialized = mInitialized;
    Finalize();
    mLooped = other->mLooped;
    SetName(other->Name());
    mMaxPlayingCount = other->mMaxPlayingCount;
    mFrequency = other->mFrequency;
    mPan = other->mPan;
    mVolume = other->mVolume;
    mWave.Assign(&other->mWave);
    if (wasInitialized)
        Restore();
}

// ---- TWaveCollection -------------------------------------------------------

void TWaveCollection::Initialize(TCustomDXSound* device) {
    Finalize();
    mDXSound = device;
    for (int i = 0; i < Count(); ++i)
        Items(i)->Initialize();
}

void TWaveCollection::Finalize() {
    for (int i = 0; i < Count(); ++i)
        Items(i)->Finalize();
    mDXSound = nullptr;
}

void TWaveCollection::Restore() {
    for (int i = 0; i < Count(); ++i)
        Items(i)->Restore();
}

bool TWaveCollection::Initialized() const noexcept {
    return mDXSound != nullptr && mDXSound->Initialized();
}

TPersistent* TWaveCollection::Owner() const {
    return mOwner;
}

// ---- TCustomDXWaveList -----------------------------------------------------

TCustomDXWaveList::TCustomDXWaveList(TComponent* owner)
    : TComponent(owner), mItems(std::make_unique<TWaveCollection>(this)) {}

TCustomDXWaveList::~TCustomDXWaveList() {
    // Unregistering lets an initialized device finalize the items before
    // they go; a destructor can only report a failure.
    RunHandler([this] { SetDXSound(nullptr); });
    mItems.reset();
}

void TCustomDXWaveList::SetDXSound(TCustomDXSound* value) {
    if (mDXSound != nullptr)
        mDXSound->UnregisterNotification(Handler());
    mDXSound = value;
    if (value != nullptr)
        value->RegisterNotification(Handler());
}

void TCustomDXWaveList::SetItems(const TWaveCollection* value) {
    mItems->Assign(value);
}

void TCustomDXWaveList::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    // A removed component is already being destroyed; a device has dropped
    // its handlers by then, so only the reference is cleared here.
    if (operation == TOperation::opRemove && mDXSound != nullptr &&
        static_cast<TComponent*>(mDXSound) == component)
        mDXSound = nullptr;
}

void TCustomDXWaveList::DXSoundNotifyEvent(TCustomDXSound* sender, TDXSoundNotification kind) {
    switch (kind) {
    case TDXSoundNotification::snDestroying:
        SetDXSound(nullptr);
        // The items must not keep pointing at a device that is going away.
        if (mItems->DXSound() == sender)
            mItems->Finalize();
        break;
    case TDXSoundNotification::snInitializing:
        break;
    case TDXSoundNotification::snInitialize:
        mItems->Initialize(sender);
        break;
    case TDXSoundNotification::snFinalize:
        mItems->Finalize();
        break;
    case TDXSoundNotification::snRestore:
        mItems->Restore();
        break;
    }
}

} // namespace k58
