#include "platform/openal/Buffer.h"

#include "platform/openal/Device.h"
#include "platform/openal/PanLaw.h"

#include <AL/alext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace k58::openal {
namespace {

// DirectSound units: volume in hundredths of a decibel (0 full, -10000
// silence), pan from -10000 (left only) to 10000 (right only).
constexpr std::int32_t kVolumeMin = -10000;
constexpr std::int32_t kVolumeMax = 0;
constexpr std::int32_t kPanMin = -10000;
constexpr std::int32_t kPanMax = 10000;
constexpr double kHundredthsPerDecade = 2000.0; // 20 dB per factor of 10, in hundredths
// A raised gain must not be cut at OpenAL's default maximum of 1.
constexpr float kMaxSourceGain = 4.0f;
// How far ahead of the play cursor the write cursor is reported.
constexpr std::uint32_t kWriteAheadMs = 10;

float GainOf(std::int32_t volume) {
    if (volume <= kVolumeMin)
        return 0.0f;
    return static_cast<float>(std::pow(10.0, volume / kHundredthsPerDecade));
}

} // namespace

ALenum SampleStore::AlFormat() const {
    if (format.nChannels == 1)
        return format.wBitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    if (format.nChannels == 2)
        return format.wBitsPerSample == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
    return 0;
}

std::uint32_t SampleStore::FrameBytes() const {
    const std::uint32_t size = static_cast<std::uint32_t>(bytes.size());
    return format.nBlockAlign == 0 ? 0 : size - size % format.nBlockAlign;
}

SoundBuffer::SoundBuffer(SoundDevice* device, std::shared_ptr<SampleStore> store,
                         std::uint32_t flags)
    : mDevice(device), mStore(std::move(store)), mFlags(flags),
      mFrequency(mStore->format.nSamplesPerSec) {
    mDevice->AddRef();
}

SoundBuffer::SoundBuffer(SoundDevice* device)
    : mDevice(device), mFlags(DSBCAPS_PRIMARYBUFFER), mPrimary(true) {
    mDevice->AddRef();
}

SoundBuffer::~SoundBuffer() {
    Detach();
    mDevice->Forget(this);
    if (mStore && mStore.use_count() == 1 && mStore->buffer != 0 && mDevice->Attached()) {
        mDevice->MakeCurrent();
        alDeleteBuffers(1, &mStore->buffer);
        mStore->buffer = 0;
    }
    mStore.reset();
    mDevice->Release();
}

std::uint32_t SoundBuffer::AddRef() {
    return ++mRefs;
}

std::uint32_t SoundBuffer::Release() {
    const std::uint32_t left = --mRefs;
    if (left == 0)
        delete this;
    return left;
}

std::uint32_t SoundBuffer::Size() const noexcept {
    return mStore ? static_cast<std::uint32_t>(mStore->bytes.size()) : 0;
}

void SoundBuffer::Enter() const {
    mDevice->Poll();
    if (HasSource())
        mDevice->MakeCurrent();
}

bool SoundBuffer::Lost() const noexcept {
    return mStore && mStore->lost;
}

void SoundBuffer::CopySettings(const SoundBuffer& other) {
    mFrequency = other.mFrequency;
    mVolume = other.mVolume;
    mPan = other.mPan;
}

bool SoundBuffer::Attach() {
    if (mPrimary || HasSource() || !mDevice->Attached())
        return true;
    mDevice->MakeCurrent();
    alGetError();
    if (mStore->buffer == 0) {
        alGenBuffers(1, &mStore->buffer);
        if (alGetError() != AL_NO_ERROR) {
            mStore->buffer = 0;
            return false;
        }
        alBufferData(mStore->buffer, mStore->AlFormat(), mStore->bytes.data(),
                     static_cast<ALsizei>(mStore->FrameBytes()),
                     static_cast<ALsizei>(mStore->format.nSamplesPerSec));
        // Checked here, or the source made next would be taken for refused
        // and never deleted.
        if (alGetError() != AL_NO_ERROR) {
            alDeleteBuffers(1, &mStore->buffer);
            mStore->buffer = 0;
            return false;
        }
    }
    alGenSources(1, &mSource);
    if (alGetError() != AL_NO_ERROR) {
        mSource = 0;
        return false;
    }
    alSourcei(mSource, AL_SOURCE_RELATIVE, AL_TRUE);
    alSourcef(mSource, AL_MAX_GAIN, kMaxSourceGain);
    if (mStore->format.nChannels == 2 && alIsExtensionPresent("AL_SOFT_direct_channels"))
        alSourcei(mSource, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
    alSourcei(mSource, AL_BUFFER, static_cast<ALint>(mStore->buffer));
    ApplySettings();
    if (mPlaying) {
        // A looped play started while there was no output starts now.
        alSourcei(mSource, AL_LOOPING, AL_TRUE);
        alSourcePlay(mSource);
    }
    mPlaying = false;
    return alGetError() == AL_NO_ERROR;
}

void SoundBuffer::Detach() {
    mPlaying = false;
    mPosition = 0;
    if (!HasSource())
        return;
    if (mDevice->Attached()) {
        mDevice->MakeCurrent();
        alSourceStop(mSource);
        alSourcei(mSource, AL_BUFFER, 0);
        alDeleteSources(1, &mSource);
    }
    mSource = 0;
}

void SoundBuffer::ApplySettings() {
    const float pitch =
        static_cast<float>(mFrequency) / static_cast<float>(mStore->format.nSamplesPerSec);
    alSourcef(mSource, AL_PITCH, pitch);
    if (mStore->format.nChannels == 2) {
        // Each channel straight to its side at the buffer's level; the
        // platform's pan does nothing to stereo buffers here.
        alSourcef(mSource, AL_GAIN, GainOf(mVolume));
        return;
    }
    const MonoPlacement placement = PlaceMono(mPan);
    alSourcef(mSource, AL_GAIN, GainOf(mVolume) * placement.gain);
    alSource3f(mSource, AL_POSITION, std::sin(placement.angle), 0.0f, -std::cos(placement.angle));
}

void SoundBuffer::Unbind() {
    mWasPlaying = false;
    if (!HasSource())
        return;
    ALint state = AL_STOPPED;
    alGetSourcei(mSource, AL_SOURCE_STATE, &state);
    if (state == AL_PLAYING || state == AL_PAUSED) {
        ALint offset = 0;
        alGetSourcei(mSource, AL_BYTE_OFFSET, &offset);
        mPosition = static_cast<std::uint32_t>(offset);
        mWasPlaying = state == AL_PLAYING;
    }
    alSourceStop(mSource);
    alSourcei(mSource, AL_BUFFER, 0);
}

void SoundBuffer::Rebind() {
    if (!HasSource())
        return;
    alSourcei(mSource, AL_BUFFER, static_cast<ALint>(mStore->buffer));
    if (mWasPlaying) {
        alSourcei(mSource, AL_BYTE_OFFSET, static_cast<ALint>(mPosition));
        alSourcePlay(mSource);
        mPosition = 0;
    }
    mWasPlaying = false;
}

std::uint32_t SoundBuffer::PlayPosition() const {
    if (!HasSource())
        return mPosition;
    ALint state = AL_STOPPED;
    alGetSourcei(mSource, AL_SOURCE_STATE, &state);
    if (state != AL_PLAYING && state != AL_PAUSED)
        return mPosition;
    ALint offset = 0;
    alGetSourcei(mSource, AL_BYTE_OFFSET, &offset);
    return static_cast<std::uint32_t>(offset);
}

HRESULT SoundBuffer::GetCurrentPosition(std::uint32_t* playCursor, std::uint32_t* writeCursor) {
    Enter();
    if (mPrimary)
        return DSERR_INVALIDCALL;
    const std::uint32_t play = PlayPosition();
    if (playCursor != nullptr)
        *playCursor = play;
    if (writeCursor != nullptr) {
        const std::uint32_t align = mStore->format.nBlockAlign;
        std::uint32_t ahead = mStore->format.nSamplesPerSec * kWriteAheadMs / 1000 * align;
        ahead = std::min(ahead, Size() - Size() % align);
        *writeCursor = Size() == 0 ? 0 : (play + ahead) % Size();
    }
    return DS_OK;
}

HRESULT SoundBuffer::GetFrequency(std::uint32_t* frequency) {
    if (frequency == nullptr)
        return DSERR_INVALIDPARAM;
    Enter();
    if ((mFlags & DSBCAPS_CTRLFREQUENCY) == 0 || mPrimary)
        return DSERR_CONTROLUNAVAIL;
    *frequency = mFrequency;
    return DS_OK;
}

HRESULT SoundBuffer::GetStatus(std::uint32_t* status) {
    if (status == nullptr)
        return DSERR_INVALIDPARAM;
    *status = 0;
    Enter();
    if (Lost()) {
        // As the platform answers: the call works and says the memory is
        // gone; the buffer is not playing.
        *status = DSBSTATUS_BUFFERLOST;
        return DS_OK;
    }
    bool playing = mPlaying;
    if (HasSource()) {
        ALint state = AL_STOPPED;
        alGetSourcei(mSource, AL_SOURCE_STATE, &state);
        playing = state == AL_PLAYING;
    }
    if (playing)
        *status = DSBSTATUS_PLAYING | (mLooping ? DSBSTATUS_LOOPING : 0);
    return DS_OK;
}

HRESULT SoundBuffer::Lock(std::uint32_t offset, std::uint32_t bytes, void** audioPtr1,
                          std::uint32_t* audioBytes1, void** audioPtr2, std::uint32_t* audioBytes2,
                          std::uint32_t flags) {
    if (audioPtr1 == nullptr || audioBytes1 == nullptr)
        return DSERR_INVALIDPARAM;
    *audioPtr1 = nullptr;
    *audioBytes1 = 0;
    if (audioPtr2 != nullptr)
        *audioPtr2 = nullptr;
    if (audioBytes2 != nullptr)
        *audioBytes2 = 0;
    Enter();
    if (Lost())
        return DSERR_BUFFERLOST;
    if (mPrimary)
        return DSERR_INVALIDCALL;
    const std::uint32_t size = Size();
    if ((flags & DSBLOCK_FROMWRITECURSOR) != 0) {
        std::uint32_t write = 0;
        GetCurrentPosition(nullptr, &write);
        offset = write;
    }
    if ((flags & DSBLOCK_ENTIREBUFFER) != 0)
        bytes = size;
    if (offset >= size || bytes == 0 || bytes > size)
        return DSERR_INVALIDPARAM;
    if (mStore->locked)
        return DSERR_INVALIDCALL;
    std::uint8_t* base = mStore->bytes.data();
    const std::uint32_t first = std::min(bytes, size - offset);
    const std::uint32_t second = bytes - first;
    if (second > 0 && (audioPtr2 == nullptr || audioBytes2 == nullptr))
        return DSERR_INVALIDPARAM;
    mStore->locked = true;
    mStore->lockedPtr1 = base + offset;
    mStore->lockedBytes1 = first;
    mStore->lockedPtr2 = second > 0 ? base : nullptr;
    mStore->lockedBytes2 = second;
    *audioPtr1 = mStore->lockedPtr1;
    *audioBytes1 = first;
    if (second > 0) {
        *audioPtr2 = mStore->lockedPtr2;
        *audioBytes2 = second;
    }
    return DS_OK;
}

HRESULT SoundBuffer::Unlock(void* audioPtr1, std::uint32_t audioBytes1, void* audioPtr2,
                            std::uint32_t audioBytes2) {
    if (mPrimary)
        return DSERR_INVALIDCALL;
    if (!mStore->locked)
        return DSERR_INVALIDCALL;
    // Only the regions of the outstanding lock, and no more bytes than they
    // hold, are accepted back.
    if (audioPtr1 != mStore->lockedPtr1 || audioBytes1 > mStore->lockedBytes1)
        return DSERR_INVALIDPARAM;
    if (audioPtr2 != nullptr &&
        (audioPtr2 != mStore->lockedPtr2 || audioBytes2 > mStore->lockedBytes2))
        return DSERR_INVALIDPARAM;
    mStore->locked = false;
    mStore->lockedPtr1 = mStore->lockedPtr2 = nullptr;
    mStore->lockedBytes1 = mStore->lockedBytes2 = 0;
    Enter();
    mDevice->Upload(*mStore);
    return DS_OK;
}

HRESULT SoundBuffer::Play(std::uint32_t /*reserved1*/, std::uint32_t /*priority*/,
                          std::uint32_t flags) {
    Enter();
    if (Lost())
        return DSERR_BUFFERLOST;
    mLooping = (flags & DSBPLAY_LOOPING) != 0;
    if (mPrimary) {
        mPlaying = true;
        return DS_OK;
    }
    if (!HasSource()) {
        // No output: a looped play runs silently until there is one; a
        // one-shot is over at once.
        mPlaying = mLooping;
        mPosition = 0;
        return DS_OK;
    }
    alSourcei(mSource, AL_LOOPING, mLooping ? AL_TRUE : AL_FALSE);
    ALint state = AL_STOPPED;
    alGetSourcei(mSource, AL_SOURCE_STATE, &state);
    if (state == AL_PLAYING)
        return DS_OK; // keeps playing; only the looping changes
    if (state != AL_PAUSED) {
        const std::uint32_t last = mStore->FrameBytes() - mStore->format.nBlockAlign;
        alSourcei(mSource, AL_BYTE_OFFSET, static_cast<ALint>(std::min(mPosition, last)));
    }
    alSourcePlay(mSource);
    // After the sound ends by itself the next play starts at the beginning.
    mPosition = 0;
    return DS_OK;
}

HRESULT SoundBuffer::Stop() {
    Enter();
    mPlaying = false;
    if (!HasSource())
        return DS_OK;
    ALint state = AL_STOPPED;
    alGetSourcei(mSource, AL_SOURCE_STATE, &state);
    // Stopping keeps the position, so the next play goes on from there.
    if (state == AL_PLAYING)
        alSourcePause(mSource);
    return DS_OK;
}

HRESULT SoundBuffer::SetCurrentPosition(std::uint32_t newPosition) {
    Enter();
    if (mPrimary)
        return DSERR_INVALIDCALL;
    if (newPosition >= Size())
        return DSERR_INVALIDPARAM;
    const std::uint32_t position = newPosition - newPosition % mStore->format.nBlockAlign;
    if (!HasSource()) {
        mPosition = position;
        return DS_OK;
    }
    ALint state = AL_STOPPED;
    alGetSourcei(mSource, AL_SOURCE_STATE, &state);
    if (state == AL_PLAYING || state == AL_PAUSED) {
        // Never past the uploaded frames, where OpenAL refuses the offset.
        const std::uint32_t last = mStore->FrameBytes() - mStore->format.nBlockAlign;
        alSourcei(mSource, AL_BYTE_OFFSET, static_cast<ALint>(std::min(position, last)));
    } else {
        mPosition = position;
    }
    return DS_OK;
}

HRESULT SoundBuffer::SetFrequency(std::uint32_t frequency) {
    Enter();
    if ((mFlags & DSBCAPS_CTRLFREQUENCY) == 0 || mPrimary)
        return DSERR_CONTROLUNAVAIL;
    if (frequency == DSBFREQUENCY_ORIGINAL)
        frequency = mStore->format.nSamplesPerSec;
    // OpenAL would take any pitch and clamp it silently; the platform's range
    // is enforced here and a rate outside it leaves the rate as it was.
    if (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX)
        return DSERR_INVALIDPARAM;
    mFrequency = frequency;
    if (HasSource())
        ApplySettings();
    return DS_OK;
}

HRESULT SoundBuffer::SetVolume(std::int32_t volume) {
    Enter();
    if ((mFlags & DSBCAPS_CTRLVOLUME) == 0 || mPrimary)
        return DSERR_CONTROLUNAVAIL;
    if (volume < kVolumeMin || volume > kVolumeMax)
        return DSERR_INVALIDPARAM;
    mVolume = volume;
    if (HasSource())
        ApplySettings();
    return DS_OK;
}

HRESULT SoundBuffer::SetPan(std::int32_t pan) {
    Enter();
    if ((mFlags & DSBCAPS_CTRLPAN) == 0 || mPrimary)
        return DSERR_CONTROLUNAVAIL;
    if (pan < kPanMin || pan > kPanMax)
        return DSERR_INVALIDPARAM;
    mPan = pan;
    if (HasSource())
        ApplySettings();
    return DS_OK;
}

} // namespace k58::openal

namespace k58::openal {

// The rest of the platform's buffer interface, which the sound layer does not
// use: what a buffer can tell about itself, and the calls DirectSound only
// accepts in cases this module never has.

HRESULT SoundBuffer::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr)
        return DSERR_INVALIDPARAM;
    if (iid == IID_IUnknown || iid == IID_IDirectSoundBuffer) {
        AddRef();
        *object = static_cast<IDirectSoundBuffer*>(this);
        return DS_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT SoundBuffer::GetCaps(DSBCAPS* caps) {
    if (caps == nullptr || caps->dwSize != sizeof(DSBCAPS))
        return DSERR_INVALIDPARAM;
    caps->dwFlags = mFlags;
    caps->dwBufferBytes = Size();
    caps->dwUnlockTransferRate = 0;
    caps->dwPlayCpuOverhead = 0;
    return DS_OK;
}

HRESULT SoundBuffer::GetFormat(WAVEFORMATEX* format, DWORD sizeAllocated, DWORD* sizeWritten) {
    if (format == nullptr && sizeWritten == nullptr)
        return DSERR_INVALIDPARAM;
    const WAVEFORMATEX record = mStore ? mStore->format : WAVEFORMATEX{};
    const DWORD size = sizeof record;
    if (format != nullptr) {
        const DWORD copied = std::min(size, sizeAllocated);
        std::memcpy(format, &record, copied);
        if (sizeWritten != nullptr)
            *sizeWritten = copied;
    } else {
        *sizeWritten = size;
    }
    return DS_OK;
}

HRESULT SoundBuffer::GetVolume(LONG* volume) {
    if (volume == nullptr)
        return DSERR_INVALIDPARAM;
    if ((mFlags & DSBCAPS_CTRLVOLUME) == 0 || mPrimary)
        return DSERR_CONTROLUNAVAIL;
    *volume = mVolume;
    return DS_OK;
}

HRESULT SoundBuffer::GetPan(LONG* pan) {
    if (pan == nullptr)
        return DSERR_INVALIDPARAM;
    if ((mFlags & DSBCAPS_CTRLPAN) == 0 || mPrimary)
        return DSERR_CONTROLUNAVAIL;
    *pan = mPan;
    return DS_OK;
}

HRESULT SoundBuffer::Initialize(IDirectSound*, const DSBUFFERDESC*) {
    // Buffers are made whole by CreateSoundBuffer.
    return DSERR_ALREADYINITIALIZED;
}

HRESULT SoundBuffer::SetFormat(const WAVEFORMATEX* format) {
    if (format == nullptr)
        return DSERR_INVALIDPARAM;
    // Only a primary buffer takes a format; the mix's own is OpenAL's.
    return mPrimary ? DS_OK : DSERR_INVALIDCALL;
}

HRESULT SoundBuffer::Restore() {
    Enter();
    if (!Lost())
        return DS_OK;
    // Lost memory is restored once there is an output again; it keeps its
    // samples, and the buffers sharing it are restored with it.
    if (!mDevice->Attached() || !Attach())
        return DSERR_BUFFERLOST;
    mStore->lost = false;
    return DS_OK;
}

} // namespace k58::openal
