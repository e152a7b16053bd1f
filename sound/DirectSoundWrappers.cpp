#include "sound/DirectSoundWrappers.h"

#include "platform/SoundModule.h"
#include "sound/SoundStrings.h"
#include "sound/Wave.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace k58 {

namespace {

TDirectSoundCreateLookup& CreateLookup() {
    static TDirectSoundCreateLookup lookup;
    return lookup;
}

TDirectSoundCreate FindDirectSoundCreate() {
    if (const auto& lookup = CreateLookup())
        return lookup();
    return reinterpret_cast<TDirectSoundCreate>(
        LoadDllFunction(kDirectSoundModule, kDirectSoundCreateName));
}

// The sound module is loaded once before the program starts, while it has
// only one thread, so that the module can set its output up in ways that
// are unsafe once other threads run (it edits the environment). A failure
// here is not reported: the device's own load tries again and raises.
[[maybe_unused]] const bool kModuleLoadedEarly = [] {
    try {
        LoadDllFunction(kDirectSoundModule, kDirectSoundCreateName);
    } catch (...) {
    }
    return true;
}();

// Buffer flags for every mixable buffer; focus flags are added per device.
constexpr std::uint32_t kMixableBufferFlags =
    DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;

} // namespace

void SetDirectSoundCreateLookup(TDirectSoundCreateLookup lookup) {
    CreateLookup() = std::move(lookup);
}

[[noreturn]] void RaiseBufferNotMade() {
    throw EDirectSoundBufferError(Format(strings::SNotMade, {strings::SIDirectSoundBuffer}));
}

// ---- TDirectSound ----------------------------------------------------------

TDirectSound::TDirectSound(const GUID* deviceId) {
    const TDirectSoundCreate create = FindDirectSoundCreate();
    IDirectSound* device = nullptr;
    const HRESULT result = create(deviceId, &device, nullptr);
    if (result != DS_OK) {
        // A failing entry point must not hand out an object; drop one if it did.
        if (device != nullptr)
            device->Release();
        throw EDirectSoundError(Format(strings::SCannotInitialized, {strings::SDirectSound}));
    }
    mDevice.Attach(device);
}

TDirectSound::~TDirectSound() {
    // Each buffer leaves the list from its own destructor.
    while (!mBuffers.empty())
        delete mBuffers.back();
    mDevice.Reset();
}

IDirectSound* TDirectSound::DeviceInterface() const {
    if (!mDevice)
        throw EDirectSoundError(Format(strings::SNotMade, {strings::SIDirectSound}));
    return mDevice.Get();
}

void TDirectSound::CheckBuffer(TDirectSoundBuffer* buffer) {
    if (buffer->LastResult() != DSERR_BUFFERLOST || mInRestore)
        return;
    mInRestore = true;
    try {
        RestoreBuffers();
    } catch (...) {
        mInRestore = false;
        throw;
    }
    mInRestore = false;
}

// ---- TDirectSoundBuffer ----------------------------------------------------

TDirectSoundBuffer::TDirectSoundBuffer(TDirectSound* directSound) : mDirectSound(directSound) {
    mDirectSound->mBuffers.push_back(this);
}

TDirectSoundBuffer::~TDirectSoundBuffer() {
    if (mOwner != nullptr)
        mOwner->mBuffer = nullptr; // freed by the device wrapper: the owner lets go
    Adopt(nullptr);
    auto& list = mDirectSound->mBuffers;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

IDirectSoundBuffer* TDirectSoundBuffer::DeviceInterface() const {
    if (!mBuffer)
        RaiseBufferNotMade();
    return mBuffer.Get();
}

void TDirectSoundBuffer::Adopt(IDirectSoundBuffer* buffer) noexcept {
    if (buffer != nullptr && buffer == mBuffer.Get()) {
        // Already held: give back the extra reference the caller handed in.
        buffer->Release();
        return;
    }
    if (buffer == nullptr && !mBuffer)
        return;
    mBuffer.Attach(buffer);
    mLockCount = 0;
}

void TDirectSoundBuffer::CheckResult() {
    mDirectSound->CheckBuffer(this);
}

bool TDirectSoundBuffer::CreateBuffer(const DSBUFFERDESC& desc) {
    Adopt(nullptr);
    IDirectSoundBuffer* buffer = nullptr;
    mDirectSound->SetLastResult(
        mDirectSound->DeviceInterface()->CreateSoundBuffer(&desc, &buffer, nullptr));
    StoreLastResult(mDirectSound->LastResult());
    if (LastResult() != DS_OK) {
        if (buffer != nullptr)
            buffer->Release();
        return false;
    }
    Adopt(buffer);
    return true;
}

void TDirectSoundBuffer::CreateBuffer(const WAVEFORMATEX* format, std::int32_t size) {
    DSBUFFERDESC desc{};
    desc.dwSize = DSBUFFERDESC_FULL_SIZE;
    desc.dwFlags = kMixableBufferFlags;
    if (mDirectSound->StickyFocus())
        desc.dwFlags |= DSBCAPS_STICKYFOCUS;
    else if (mDirectSound->GlobalFocus())
        desc.dwFlags |= DSBCAPS_GLOBALFOCUS;
    desc.dwBufferBytes = static_cast<std::uint32_t>(size);
    desc.dwReserved = 0;
    desc.lpwfxFormat = const_cast<WAVEFORMATEX*>(format);
    if (!CreateBuffer(desc))
        throw EDirectSoundBufferError(Format(strings::SCannotMade, {strings::SDirectSoundBuffer}));
}

void TDirectSoundBuffer::LoadFromMemory(const WAVEFORMATEX* format, const void* data,
                                        std::int32_t size) {
    CreateBuffer(format, size);
    if (data == nullptr)
        return;
    void* region1 = nullptr;
    void* region2 = nullptr;
    std::uint32_t bytes1 = 0;
    std::uint32_t bytes2 = 0;
    if (!Lock(0, static_cast<std::uint32_t>(size), region1, bytes1, region2, bytes2)) {
        Adopt(nullptr);
        throw EDirectSoundBufferError(Format(strings::SCannotLock, {strings::SDirectSoundBuffer}));
    }
    // Never read past the data, whatever regions the device hands out.
    const auto available = static_cast<std::uint32_t>(std::max<std::int32_t>(size, 0));
    const std::uint32_t first = std::min(bytes1, available);
    if (region1 != nullptr && first > 0)
        std::memcpy(region1, data, first);
    if (region2 != nullptr) {
        const std::uint32_t second = std::min(bytes2, available - first);
        if (second > 0)
            std::memcpy(region2, static_cast<const std::uint8_t*>(data) + first, second);
    }
    Unlock();
}

void TDirectSoundBuffer::LoadFromWave(const TWave& wave) {
    // The device reads a whole WAVEFORMATEX; a shorter record (the 16-byte
    // PCM form) is passed as a zero-padded copy so nothing past it is read.
    WAVEFORMATEX padded{};
    const WAVEFORMATEX* format = nullptr;
    if (wave.FormatSize() >= static_cast<std::int32_t>(sizeof(WAVEFORMATEX))) {
        format = reinterpret_cast<const WAVEFORMATEX*>(wave.Format());
    } else {
        if (wave.FormatSize() > 0)
            std::memcpy(&padded, wave.Format(), static_cast<std::size_t>(wave.FormatSize()));
        format = &padded;
    }
    LoadFromMemory(format, wave.Data(), wave.Size());
}

bool TDirectSoundBuffer::Lock(std::uint32_t offset, std::uint32_t size, void*& region1,
                              std::uint32_t& bytes1, void*& region2, std::uint32_t& bytes2) {
    if (!mBuffer || mLockCount > 0)
        return false;
    LockRecord record;
    IDirectSoundBuffer* buffer = mBuffer.Get();
    // The call's own result decides: recording a lost result restores, and
    // the restore may record other results here or replace the buffer.
    const HRESULT result = buffer->Lock(offset, size, &record.region1, &record.bytes1,
                                        &record.region2, &record.bytes2, 0);
    SetLastResult(result);
    if (result != DS_OK)
        return false;
    mLock = record;
    region1 = record.region1;
    bytes1 = record.bytes1;
    region2 = record.region2;
    bytes2 = record.bytes2;
    mLockCount = 1;
    return true;
}

void TDirectSoundBuffer::Unlock() {
    if (!mBuffer || mLockCount == 0)
        return;
    --mLockCount;
    SetLastResult(mBuffer.Get()->Unlock(mLock.region1, mLock.bytes1, mLock.region2, mLock.bytes2));
}

bool TDirectSoundBuffer::Play(bool loop) {
    const HRESULT result = DeviceInterface()->Play(0, 0, loop ? DSBPLAY_LOOPING : 0);
    SetLastResult(result); // may restore, which records results of its own
    return result == DS_OK;
}

void TDirectSoundBuffer::Stop() {
    SetLastResult(DeviceInterface()->Stop());
}

void TDirectSoundBuffer::SetPosition(std::uint32_t bytes) {
    SetLastResult(DeviceInterface()->SetCurrentPosition(bytes));
}

void TDirectSoundBuffer::SetFrequency(std::uint32_t hertz) {
    SetLastResult(DeviceInterface()->SetFrequency(hertz));
}

void TDirectSoundBuffer::SetPan(std::int32_t value) {
    SetLastResult(DeviceInterface()->SetPan(value));
}

void TDirectSoundBuffer::SetVolume(std::int32_t value) {
    SetLastResult(DeviceInterface()->SetVolume(value));
}

std::uint32_t TDirectSoundBuffer::Position() {
    DWORD play = 0;
    DWORD write = 0;
    SetLastResult(DeviceInterface()->GetCurrentPosition(&play, &write));
    return play;
}

std::uint32_t TDirectSoundBuffer::Status() {
    DWORD flags = 0;
    SetLastResult(DeviceInterface()->GetStatus(&flags));
    return flags;
}

bool TDirectSoundBuffer::Playing() {
    return (Status() & (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING)) != 0;
}

void TDirectSoundBuffer::Assign(const TPersistent* source) {
    if (source == nullptr) {
        Adopt(nullptr);
        return;
    }
    if (const auto* wave = dynamic_cast<const TWave*>(source)) {
        LoadFromWave(*wave);
        return;
    }
    if (const auto* other = dynamic_cast<const TDirectSoundBuffer*>(source)) {
        if (!other->mBuffer) {
            Adopt(nullptr);
            return;
        }
        IDirectSoundBuffer* duplicate = nullptr;
        mDirectSound->SetLastResult(mDirectSound->DeviceInterface()->DuplicateSoundBuffer(
            other->mBuffer.Get(), &duplicate));
        if (mDirectSound->LastResult() == DS_OK)
            Adopt(duplicate);
        else if (duplicate != nullptr)
            duplicate->Release();
        return;
    }
    TDirectX::Assign(source);
}

} // namespace k58
