// A sound buffer of the sound-device module: sample memory that the caller
// fills through Lock/Unlock, played through one OpenAL source.
//
// Duplicates share one SampleStore (the memory and its OpenAL buffer) and
// each has its own source, rate, volume, pan and play state. The primary
// buffer is a stand-in that holds no samples and is never heard.
#pragma once

#include "platform/DirectSound.h"

#include <AL/al.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace k58::openal {

class SoundDevice;

struct SampleStore {
    WAVEFORMATEX format{}; // the first 16 bytes only; cbSize stays 0
    std::vector<std::uint8_t> bytes;
    ALuint buffer = 0;   // 0 while the device has no output
    bool lost = false;   // the output went away since the memory was made or restored
    bool locked = false; // one Lock is outstanding
    std::uint8_t* lockedPtr1 = nullptr;
    std::uint32_t lockedBytes1 = 0;
    std::uint8_t* lockedPtr2 = nullptr;
    std::uint32_t lockedBytes2 = 0;

    // The OpenAL format of the samples; 0 when unsupported.
    ALenum AlFormat() const;
    // Bytes that make up whole sample frames.
    std::uint32_t FrameBytes() const;
};

class SoundBuffer final : public IDirectSoundBuffer {
public:
    // A secondary buffer over store; adds a reference to the device.
    SoundBuffer(SoundDevice* device, std::shared_ptr<SampleStore> store, std::uint32_t flags);
    // The primary buffer.
    explicit SoundBuffer(SoundDevice* device);

    HRESULT QueryInterface(REFIID iid, void** object) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    HRESULT GetCaps(DSBCAPS* caps) override;
    HRESULT GetCurrentPosition(std::uint32_t* playCursor, std::uint32_t* writeCursor) override;
    HRESULT GetFormat(WAVEFORMATEX* format, DWORD sizeAllocated, DWORD* sizeWritten) override;
    HRESULT GetVolume(LONG* volume) override;
    HRESULT GetPan(LONG* pan) override;
    HRESULT GetFrequency(std::uint32_t* frequency) override;
    HRESULT GetStatus(std::uint32_t* status) override;
    HRESULT Initialize(IDirectSound* directSound, const DSBUFFERDESC* desc) override;
    HRESULT Lock(std::uint32_t offset, std::uint32_t bytes, void** audioPtr1,
                 std::uint32_t* audioBytes1, void** audioPtr2, std::uint32_t* audioBytes2,
                 std::uint32_t flags) override;
    HRESULT Play(std::uint32_t reserved1, std::uint32_t priority, std::uint32_t flags) override;
    HRESULT SetCurrentPosition(std::uint32_t newPosition) override;
    HRESULT SetFormat(const WAVEFORMATEX* format) override;
    HRESULT SetVolume(std::int32_t volume) override;
    HRESULT SetPan(std::int32_t pan) override;
    HRESULT SetFrequency(std::uint32_t frequency) override;
    HRESULT Stop() override;
    HRESULT Unlock(void* audioPtr1, std::uint32_t audioBytes1, void* audioPtr2,
                   std::uint32_t audioBytes2) override;
    HRESULT Restore() override;

    // For the device.
    bool IsPrimary() const noexcept { return mPrimary; }
    std::uint32_t Flags() const noexcept { return mFlags; }
    const std::shared_ptr<SampleStore>& Store() const noexcept { return mStore; }
    // Copies rate, volume and pan of another buffer (for duplicates).
    void CopySettings(const SoundBuffer& other);
    // Makes the OpenAL source (and the store's buffer if it lacks one);
    // false when OpenAL refuses.
    bool Attach();
    // Drops the OpenAL source; the buffer is stopped at its start.
    void Detach();
    // Around re-uploading the shared samples: unbinds the source and notes
    // where it was, then binds it again and resumes.
    void Unbind();
    void Rebind();

private:
    ~SoundBuffer();

    // Polls the device and makes its context current for OpenAL calls.
    void Enter() const;
    // The memory went with the output. As on the platform, only Play and
    // Lock then fail (DSERR_BUFFERLOST) and GetStatus says so in its flags;
    // the other calls work on what the buffer keeps.
    bool Lost() const noexcept;
    bool HasSource() const noexcept { return mSource != 0; }
    void ApplySettings();
    std::uint32_t Size() const noexcept;
    std::uint32_t PlayPosition() const;

    std::uint32_t mRefs = 1;
    SoundDevice* mDevice;
    std::shared_ptr<SampleStore> mStore;
    std::uint32_t mFlags = 0;
    bool mPrimary = false;
    ALuint mSource = 0;
    std::uint32_t mFrequency = 0; // the rate in effect, in hertz
    std::int32_t mVolume = 0;
    std::int32_t mPan = 0;
    bool mLooping = false;
    // Play state kept by us while there is no source: whether a looped
    // play is running, and where the next play starts.
    bool mPlaying = false;
    std::uint32_t mPosition = 0;
    // Source state noted by Unbind.
    bool mWasPlaying = false;
};

} // namespace k58::openal
