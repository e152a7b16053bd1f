#include "FakeDirectSound.h"

#include "sound/DXClass.h"
#include "sound/DirectSoundWrappers.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace k58::test {

namespace {
FakeDirectSound* gDevice = nullptr;
} // namespace

HRESULT STDMETHODCALLTYPE FakeDirectSoundCreate(const GUID* device, IDirectSound** directSound,
                                                IUnknown* outer) {
    (void)device;
    (void)outer;
    FakeDirectSound* fake = gDevice;
    ++fake->createCalls;
    fake->log.push_back("DirectSoundCreate");
    if (fake->createResult != DS_OK)
        return fake->createResult;
    fake->AddRef();
    *directSound = fake;
    return DS_OK;
}

FakeDirectSound::FakeDirectSound() {
    gDevice = this;
    SetDirectSoundCreateLookup([this]() -> TDirectSoundCreate {
        if (!mModule.empty())
            return reinterpret_cast<TDirectSoundCreate>(
                LoadDllFunction(mModule, "DirectSoundCreate"));
        return &FakeDirectSoundCreate;
    });
}

FakeDirectSound::~FakeDirectSound() {
    SetDirectSoundCreateLookup(nullptr);
    gDevice = nullptr;
}

ULONG STDMETHODCALLTYPE FakeDirectSound::Release() {
    EXPECT_GT(refs, 0) << "device released too often";
    --refs;
    if (refs == 0)
        log.push_back("device released");
    return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE FakeDirectSound::CreateSoundBuffer(const DSBUFFERDESC* desc,
                                                             IDirectSoundBuffer** buffer,
                                                             IUnknown* outer) {
    EXPECT_EQ(outer, nullptr);
    EXPECT_GT(refs, 0) << "buffer made on a released device";
    HRESULT result = DS_OK;
    if (!createBufferResults.empty()) {
        result = createBufferResults.front();
        createBufferResults.pop_front();
    }
    if (result != DS_OK) {
        log.push_back("CreateSoundBuffer refused");
        return result;
    }
    auto fake = std::make_unique<FakeSoundBuffer>(this, "b" + std::to_string(buffers.size() + 1));
    fake->desc = *desc;
    if (desc->lpwfxFormat != nullptr)
        fake->format = *desc->lpwfxFormat;
    fake->desc.lpwfxFormat = nullptr;
    fake->memory = std::make_shared<std::vector<std::uint8_t>>(desc->dwBufferBytes);
    fake->nextResults = std::exchange(nextBufferResults, {});
    fake->lockSplit = lockSplit;
    log.push_back("CreateSoundBuffer " + fake->name);
    *buffer = fake.get();
    buffers.push_back(std::move(fake));
    return DS_OK;
}

HRESULT STDMETHODCALLTYPE FakeDirectSound::DuplicateSoundBuffer(IDirectSoundBuffer* original,
                                                                IDirectSoundBuffer** duplicate) {
    auto* source = static_cast<FakeSoundBuffer*>(original);
    EXPECT_FALSE(source->Released()) << "duplicating a released buffer";
    HRESULT result = DS_OK;
    if (!duplicateResults.empty()) {
        result = duplicateResults.front();
        duplicateResults.pop_front();
    }
    if (result != DS_OK) {
        log.push_back("DuplicateSoundBuffer " + source->name + " refused");
        return result;
    }
    auto fake = std::make_unique<FakeSoundBuffer>(this, "b" + std::to_string(buffers.size() + 1));
    fake->desc = source->desc;
    fake->format = source->format;
    fake->memory = source->memory;
    fake->original = source;
    fake->lost = source->lost;
    fake->nextResults = std::exchange(nextBufferResults, {});
    log.push_back("DuplicateSoundBuffer " + source->name + " -> " + fake->name);
    *duplicate = fake.get();
    buffers.push_back(std::move(fake));
    return DS_OK;
}

HRESULT STDMETHODCALLTYPE FakeDirectSound::SetCooperativeLevel(HWND window, DWORD level) {
    log.push_back("SetCooperativeLevel " +
                  std::to_string(reinterpret_cast<std::uintptr_t>(window)) + " " +
                  std::to_string(level));
    cooperativeCalls.emplace_back(window, level);
    return cooperativeResult;
}

void FakeDirectSound::LoseBuffers() {
    for (FakeSoundBuffer* buffer : LiveBuffers())
        buffer->Lose();
}

FakeSoundBuffer* FakeDirectSound::Buffer(const std::string& name) const {
    for (const auto& buffer : buffers)
        if (buffer->name == name)
            return buffer.get();
    return nullptr;
}

std::vector<FakeSoundBuffer*> FakeDirectSound::LiveBuffers() const {
    std::vector<FakeSoundBuffer*> live;
    for (const auto& buffer : buffers)
        if (!buffer->Released())
            live.push_back(buffer.get());
    return live;
}

std::vector<std::string> FakeDirectSound::LogWith(const std::string& text) const {
    std::vector<std::string> found;
    std::copy_if(log.begin(), log.end(), std::back_inserter(found),
                 [&](const std::string& entry) { return entry.find(text) != std::string::npos; });
    return found;
}

// ---- FakeSoundBuffer -------------------------------------------------------

HRESULT FakeSoundBuffer::Call(const std::string& method, const std::string& detail) {
    EXPECT_FALSE(Released()) << method << " on released buffer " << name;
    mDevice->log.push_back(name + "." + method + (detail.empty() ? "" : " " + detail));
    auto it = nextResults.find(method);
    if (it == nextResults.end() || it->second.empty())
        return DS_OK;
    const HRESULT result = it->second.front();
    it->second.pop_front();
    return result;
}

ULONG STDMETHODCALLTYPE FakeSoundBuffer::AddRef() {
    return static_cast<std::uint32_t>(++refs);
}

ULONG STDMETHODCALLTYPE FakeSoundBuffer::Release() {
    EXPECT_GT(refs, 0) << name << " released too often";
    if (--refs == 0) {
        mDevice->log.push_back(name + " released");
        playing = looping = false;
    }
    return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE FakeSoundBuffer::GetCurrentPosition(DWORD* playCursor,
                                                              DWORD* writeCursor) {
    const HRESULT result = Call("GetCurrentPosition");
    *playCursor = *writeCursor = position;
    return result;
}

HRESULT STDMETHODCALLTYPE FakeSoundBuffer::GetFrequency(DWORD* value) {
    *value = frequency;
    return Call("GetFrequency");
}

HRESULT STDMETHODCALLTYPE FakeSoundBuffer::GetStatus(DWORD* status) {
    const HRESULT result = Call("GetStatus");
    *status = lost ? DSBSTATUS_BUFFERLOST
                   : (playing ? DSBSTATUS_PLAYING : 0) | (looping ? DSBSTATUS_LOOPING : 0);
    return result;
}

HRESULT STDMETHODCALLTYPE FakeSoundBuffer::Lock(DWORD offset, DWORD bytes, void** audioPtr1,
                                                DWORD* audioBytes1, void** audioPtr2,
                                                DWORD* audioBytes2, DWORD flags) {
    EXPECT_EQ(flags, 0u);
    EXPECT_FALSE(locked) << name << " locked twice";
    HRESULT result = Call("Lock", std::to_string(offset) + " " + std::to_string(bytes));
    if (lost)
        result = DSERR_BUFFERLOST;
    if (result != DS_OK)
        return result;
    EXPECT_LE(std::uint64_t{offset} + bytes, memory->size());
    const DWORD first = lockSplit != 0 ? std::min<DWORD>(lockSplit, bytes) : bytes;
    *audioPtr1 = memory->data() + offset;
    *audioBytes1 = first;
    *audioPtr2 = first < bytes ? memory->data() + offset + first : nullptr;
    *audioBytes2 = bytes - first;
    locked = true;
    return DS_OK;
}

HRESULT STDMETHODCALLTYPE FakeSoundBuffer::Play(DWORD reserved1, DWORD priority, DWORD flags) {
    EXPECT_EQ(reserved1, 0u);
    EXPECT_EQ(priority, 0u);
    const bool loop = (flags & DSBPLAY_LOOPING) != 0;
    HRESULT result = Call("Play", loop ? "looping" : "once");
    if (lost)
        result = DSERR_BUFFERLOST;
    if (result == DS_OK) {
        playing = true;
        looping = loop;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE FakeSoundBuffer::SetCurrentPosition(DWORD newPosition) {
    const HRESULT result = Call("SetCurrentPosition", std::to_string(newPosition));
    if (result == DS_OK)
        position = newPosition;
    return result;
}

HRESULT STDMETHODCALLTYPE FakeSoundBuffer::SetVolume(LONG value) {
    const HRESULT result = Call("SetVolume", std::to_string(value));
    if (result == DS_OK)
        volume = value;
    return result;
}

HRESULT STDMETHODCALLTYPE FakeSoundBuffer::SetPan(LONG value) {
    const HRESULT result = Call("SetPan", std::to_string(value));
    if (result == DS_OK)
        pan = value;
    return result;
}

HRESULT STDMETHODCALLTYPE FakeSoundBuffer::SetFrequency(DWORD value) {
    HRESULT result = Call("SetFrequency", std::to_string(value));
    // The platform's range: 0 (the format's own rate) or 100..200,000 Hz.
    if (result == DS_OK && value != 0 && (value < DSBFREQUENCY_MIN || value > DSBFREQUENCY_MAX))
        result = DSERR_INVALIDPARAM;
    if (result == DS_OK)
        frequency = value;
    return result;
}

HRESULT STDMETHODCALLTYPE FakeSoundBuffer::Stop() {
    const HRESULT result = Call("Stop");
    if (result == DS_OK)
        playing = looping = false;
    return result;
}

HRESULT STDMETHODCALLTYPE FakeSoundBuffer::Unlock(void* audioPtr1, DWORD audioBytes1,
                                                  void* audioPtr2, DWORD audioBytes2) {
    EXPECT_TRUE(locked) << name << " unlocked without a lock";
    locked = false;
    (void)audioPtr1;
    (void)audioBytes1;
    (void)audioPtr2;
    (void)audioBytes2;
    return Call("Unlock", std::to_string(audioBytes1) + " " + std::to_string(audioBytes2));
}

// Calls the sound layer never makes: logged, and answered as a plain device
// would.
HRESULT STDMETHODCALLTYPE FakeSoundBuffer::QueryInterface(REFIID, void** object) {
    *object = nullptr;
    Call("QueryInterface");
    return E_NOINTERFACE;
}
HRESULT STDMETHODCALLTYPE FakeSoundBuffer::GetCaps(DSBCAPS*) {
    return Call("GetCaps");
}
HRESULT STDMETHODCALLTYPE FakeSoundBuffer::GetFormat(WAVEFORMATEX*, DWORD, DWORD*) {
    return Call("GetFormat");
}
HRESULT STDMETHODCALLTYPE FakeSoundBuffer::GetVolume(LONG* value) {
    *value = volume;
    return Call("GetVolume");
}
HRESULT STDMETHODCALLTYPE FakeSoundBuffer::GetPan(LONG* value) {
    *value = pan;
    return Call("GetPan");
}
HRESULT STDMETHODCALLTYPE FakeSoundBuffer::Initialize(IDirectSound*, const DSBUFFERDESC*) {
    return Call("Initialize");
}
HRESULT STDMETHODCALLTYPE FakeSoundBuffer::SetFormat(const WAVEFORMATEX*) {
    return Call("SetFormat");
}
HRESULT STDMETHODCALLTYPE FakeSoundBuffer::Restore() {
    return Call("Restore");
}

HRESULT STDMETHODCALLTYPE FakeDirectSound::QueryInterface(REFIID, void** object) {
    log.push_back("QueryInterface");
    *object = nullptr;
    return E_NOINTERFACE;
}
HRESULT STDMETHODCALLTYPE FakeDirectSound::GetCaps(DSCAPS*) {
    log.push_back("GetCaps");
    return DS_OK;
}
HRESULT STDMETHODCALLTYPE FakeDirectSound::Compact() {
    log.push_back("Compact");
    return DS_OK;
}
HRESULT STDMETHODCALLTYPE FakeDirectSound::GetSpeakerConfig(DWORD* config) {
    log.push_back("GetSpeakerConfig");
    *config = 0;
    return DS_OK;
}
HRESULT STDMETHODCALLTYPE FakeDirectSound::SetSpeakerConfig(DWORD) {
    log.push_back("SetSpeakerConfig");
    return DS_OK;
}
HRESULT STDMETHODCALLTYPE FakeDirectSound::Initialize(LPCGUID) {
    log.push_back("Initialize");
    return DS_OK;
}

} // namespace k58::test
