#include "platform/openal/Device.h"

#include "platform/openal/Buffer.h"
#include "platform/openal/OutputProbe.h"
#include "platform/openal/OutputSettings.h"

#include <AL/alext.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

namespace k58::openal {
namespace {

bool IsDefaultDevice(const GUID* device) {
    if (device == nullptr)
        return true;
    // GUID_NULL and DSDEVID_DefaultPlayback both name the default output.
    static constexpr GUID kDefaultPlayback{
        0xDEF00000, 0x9C6D, 0x47ED, {0xAA, 0xF1, 0x4D, 0xDA, 0x8F, 0x2B, 0x5C, 0x03}};
    static constexpr GUID kNull{};
    return std::memcmp(device, &kNull, sizeof(GUID)) == 0 ||
           std::memcmp(device, &kDefaultPlayback, sizeof(GUID)) == 0;
}

// Reads the format record's first 16 bytes: a PCM record may end before
// cbSize, so that field is never read.
WAVEFORMATEX ReadFormat(const WAVEFORMATEX* record) {
    WAVEFORMATEX format{};
    std::memcpy(&format, record, 16);
    format.cbSize = 0;
    return format;
}

bool IsPlayableFormat(const WAVEFORMATEX& format) {
    if (format.wFormatTag != WAVE_FORMAT_PCM)
        return false;
    if (format.nChannels != 1 && format.nChannels != 2)
        return false;
    if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16)
        return false;
    if (format.nSamplesPerSec < DSBFREQUENCY_MIN || format.nSamplesPerSec > DSBFREQUENCY_MAX)
        return false;
    return format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8;
}

} // namespace

DeviceHooks DefaultHooks() {
    DeviceHooks hooks;
    hooks.open = [] { return OpenDefaultOutput(); };
    hooks.connected = [](ALCdevice* device) {
        ALCint connected = ALC_TRUE;
        alcGetIntegerv(device, ALC_CONNECTED, 1, &connected);
        return connected != ALC_FALSE;
    };
    return hooks;
}

HRESULT SoundDevice::Create(const GUID* device, IDirectSound** directSound, IUnknown* outer,
                            DeviceHooks hooks) {
    if (directSound == nullptr)
        return DSERR_INVALIDPARAM;
    *directSound = nullptr;
    if (outer != nullptr)
        return DSERR_NOAGGREGATION;
    if (!IsDefaultDevice(device))
        return DSERR_NODRIVER;
    try {
        auto* created = new SoundDevice(std::move(hooks));
        if (!created->OpenFirstOutput()) {
            created->Release();
            return DSERR_NODRIVER;
        }
        *directSound = created;
        return DS_OK;
    } catch (const std::bad_alloc&) {
        return DSERR_OUTOFMEMORY;
    } catch (...) {
        return DSERR_GENERIC;
    }
}

SoundDevice::SoundDevice(DeviceHooks hooks) : mHooks(std::move(hooks)) {}

SoundDevice::~SoundDevice() {
    mProbe.reset();
    CloseOutput(mUnclosed);
    ReleaseOutput();
}

std::uint32_t SoundDevice::AddRef() {
    return ++mRefs;
}

std::uint32_t SoundDevice::Release() {
    const std::uint32_t left = --mRefs;
    if (left == 0)
        delete this;
    return left;
}

Output SoundDevice::OpenWith(const DeviceHooks& hooks) {
    ALCdevice* device = hooks.open ? hooks.open() : nullptr;
    if (device == nullptr)
        return {};
    ALCcontext* context = CreateOutputContext(device);
    if (context == nullptr) {
        alcCloseDevice(device);
        return {};
    }
    return {device, context};
}

bool SoundDevice::OpenFirstOutput() {
    // Opened the way a lost output is reopened, so that a backend that
    // hangs (a frozen sound server) holds up the caller only for a while.
    mProbe = std::make_unique<OutputProbe>([hooks = mHooks] { return OpenWith(hooks); },
                                           kReopenInterval, Output{}, true);
    if (!mProbe->WaitForFirstAttempt(kFirstOpenWait))
        return true; // no answer yet: buffers work silently until it comes
    const Output found = mProbe->Take();
    if (!found)
        return false;
    mProbe.reset();
    UseOutput(found);
    return true;
}

void SoundDevice::UseOutput(Output output) {
    mDevice = output.device;
    mContext = output.context;
    mDetectsLoss = alcIsExtensionPresent(mDevice, "ALC_EXT_disconnect") != ALC_FALSE;
    MakeCurrent();
    // Sources sit on a unit circle around the listener for panning; distance
    // must not change their loudness.
    alDistanceModel(AL_NONE);
}

Output SoundDevice::DropOutput() {
    if (mContext == nullptr)
        return {};
    MakeCurrent();
    for (SoundBuffer* buffer : mBuffers)
        buffer->Detach();
    for (SoundBuffer* buffer : mBuffers) {
        const auto& store = buffer->Store();
        if (store && store->buffer != 0) {
            alDeleteBuffers(1, &store->buffer);
            store->buffer = 0;
        }
    }
    if (alcGetCurrentContext() == mContext)
        alcMakeContextCurrent(nullptr);
    const Output dropped{mDevice, mContext};
    mContext = nullptr;
    mDevice = nullptr;
    return dropped;
}

void SoundDevice::ReleaseOutput() {
    CloseOutput(DropOutput());
}

void SoundDevice::MakeCurrent() const {
    if (mContext != nullptr && alcGetCurrentContext() != mContext)
        alcMakeContextCurrent(mContext);
}

void SoundDevice::LoseOutput() {
    // Whatever was playing is gone; the memory stays with us but its owners
    // must learn that it was lost.
    for (SoundBuffer* buffer : mBuffers) {
        if (buffer->Store())
            buffer->Store()->lost = true;
    }
    // Closing the lost output and opening a new one both wait for the
    // backend: the probe does both off the caller's thread.
    mUnclosed = DropOutput();
    StartProbe();
}

void SoundDevice::StartProbe() {
    try {
        if (mHooks.beforeThread)
            mHooks.beforeThread();
        mProbe = std::make_unique<OutputProbe>([hooks = mHooks] { return OpenWith(hooks); },
                                               kReopenInterval, mUnclosed);
        mUnclosed = {};
    } catch (const std::exception&) {
        // No thread now (the system is short of them): the next poll tries
        // again, and the probe then closes the lost output.
    }
}

void SoundDevice::Poll() {
    try {
        if (mContext != nullptr) {
            if (mDetectsLoss && mHooks.connected && !mHooks.connected(mDevice))
                LoseOutput();
            return;
        }
        if (!mProbe) {
            StartProbe();
            return;
        }
        const Output found = mProbe->Take();
        if (!found)
            return;
        mProbe.reset();
        UseOutput(found);
        Reattach();
    } catch (...) {
        // Without output the device goes on silently.
    }
}

void SoundDevice::Reattach() {
    // Memory lost with the old output stays lost until its owner restores
    // or releases it, as on the platform: it gets its OpenAL objects back
    // but Play and Lock go on failing, so the owner learns of the loss even
    // if it made no such call while the output was away.
    for (SoundBuffer* buffer : mBuffers) {
        if (buffer->Store() && !buffer->Attach())
            buffer->Store()->lost = true; // OpenAL refused: its owner reloads it
    }
}

void SoundDevice::Forget(SoundBuffer* buffer) {
    mBuffers.erase(std::remove(mBuffers.begin(), mBuffers.end(), buffer), mBuffers.end());
}

SoundBuffer* SoundDevice::Find(IDirectSoundBuffer* buffer) const {
    for (SoundBuffer* known : mBuffers) {
        if (static_cast<IDirectSoundBuffer*>(known) == buffer)
            return known;
    }
    return nullptr;
}

void SoundDevice::Upload(SampleStore& store) {
    if (store.buffer == 0 || mContext == nullptr)
        return;
    MakeCurrent();
    std::vector<SoundBuffer*> sharing;
    for (SoundBuffer* buffer : mBuffers) {
        if (buffer->Store().get() == &store)
            sharing.push_back(buffer);
    }
    // OpenAL refuses new data for a buffer that a source holds.
    for (SoundBuffer* buffer : sharing)
        buffer->Unbind();
    alBufferData(store.buffer, store.AlFormat(), store.bytes.data(),
                 static_cast<ALsizei>(store.FrameBytes()),
                 static_cast<ALsizei>(store.format.nSamplesPerSec));
    for (SoundBuffer* buffer : sharing)
        buffer->Rebind();
}

HRESULT SoundDevice::CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer,
                                       IUnknown* outer) {
    if (buffer == nullptr)
        return DSERR_INVALIDPARAM;
    *buffer = nullptr;
    if (outer != nullptr)
        return DSERR_NOAGGREGATION;
    if (desc == nullptr)
        return DSERR_INVALIDPARAM;
    if (desc->dwSize != DSBUFFERDESC_FULL_SIZE && desc->dwSize != DSBUFFERDESC1_SIZE)
        return DSERR_INVALIDPARAM;
    const std::uint32_t flags = desc->dwFlags;
    if ((flags & DSBCAPS_STICKYFOCUS) != 0 && (flags & DSBCAPS_GLOBALFOCUS) != 0)
        return DSERR_INVALIDPARAM;
    Poll();
    try {
        if ((flags & DSBCAPS_PRIMARYBUFFER) != 0) {
            if (desc->dwBufferBytes != 0 || desc->lpwfxFormat != nullptr)
                return DSERR_INVALIDPARAM;
            auto* primary = new SoundBuffer(this);
            mBuffers.push_back(primary);
            *buffer = primary;
            return DS_OK;
        }
        if (desc->lpwfxFormat == nullptr)
            return DSERR_INVALIDPARAM;
        if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX)
            return DSERR_INVALIDPARAM;
        const WAVEFORMATEX format = ReadFormat(desc->lpwfxFormat);
        if (!IsPlayableFormat(format))
            return DSERR_BADFORMAT;
        auto store = std::make_shared<SampleStore>();
        store->format = format;
        store->bytes.assign(desc->dwBufferBytes, format.wBitsPerSample == 8 ? 0x80 : 0x00);
        auto* created = new SoundBuffer(this, std::move(store), flags);
        return Adopt(created, buffer);
    } catch (const std::bad_alloc&) {
        return DSERR_OUTOFMEMORY;
    }
}

HRESULT SoundDevice::Adopt(SoundBuffer* created, IDirectSoundBuffer** out) {
    mBuffers.push_back(created);
    if (Attached() && !created->Attach()) {
        created->Release();
        return DSERR_OUTOFMEMORY;
    }
    *out = created;
    return DS_OK;
}

HRESULT SoundDevice::DuplicateSoundBuffer(IDirectSoundBuffer* original,
                                          IDirectSoundBuffer** duplicate) {
    if (duplicate == nullptr)
        return DSERR_INVALIDPARAM;
    *duplicate = nullptr;
    SoundBuffer* source = Find(original);
    if (source == nullptr)
        return DSERR_INVALIDPARAM;
    if (source->IsPrimary())
        return DSERR_INVALIDCALL;
    Poll();
    try {
        // A lost original gives a duplicate that is lost as well: it shares
        // the lost memory and reports it on its own calls.
        auto* created = new SoundBuffer(this, source->Store(), source->Flags());
        created->CopySettings(*source);
        return Adopt(created, duplicate);
    } catch (const std::bad_alloc&) {
        return DSERR_OUTOFMEMORY;
    }
}

HRESULT SoundDevice::SetCooperativeLevel(HWND window, std::uint32_t level) {
    if (window == nullptr || level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY)
        return DSERR_INVALIDPARAM;
    // Output is shared with other programs whatever the level; the level is
    // kept for completeness.
    mWindow = window;
    mLevel = level;
    return DS_OK;
}

} // namespace k58::openal

namespace k58::openal {

// The rest of the platform's device interface, which the sound layer does not
// use.

HRESULT SoundDevice::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr)
        return DSERR_INVALIDPARAM;
    if (iid == IID_IUnknown || iid == IID_IDirectSound) {
        AddRef();
        *object = static_cast<IDirectSound*>(this);
        return DS_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT SoundDevice::GetCaps(DSCAPS* caps) {
    if (caps == nullptr || caps->dwSize != sizeof(DSCAPS))
        return DSERR_INVALIDPARAM;
    // Everything is mixed in software: no hardware buffers or memory.
    const DWORD size = caps->dwSize;
    *caps = DSCAPS{};
    caps->dwSize = size;
    caps->dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
    caps->dwMaxSecondarySampleRate = DSBFREQUENCY_MAX;
    caps->dwPrimaryBuffers = 1;
    return DS_OK;
}

HRESULT SoundDevice::Compact() {
    return DS_OK;
}

HRESULT SoundDevice::GetSpeakerConfig(DWORD* config) {
    if (config == nullptr)
        return DSERR_INVALIDPARAM;
    *config = DSSPEAKER_STEREO;
    return DS_OK;
}

HRESULT SoundDevice::SetSpeakerConfig(DWORD) {
    // The output's own layout is used.
    return DS_OK;
}

HRESULT SoundDevice::Initialize(LPCGUID) {
    // DirectSoundCreate hands out devices already made.
    return DSERR_ALREADYINITIALIZED;
}

} // namespace k58::openal
