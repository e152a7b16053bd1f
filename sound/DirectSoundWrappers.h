// Wrappers of the platform's sound device and sound buffers.
//
// TDirectSound holds one opened device and lists every buffer wrapper made
// on it; TDirectSoundBuffer holds one platform buffer. Platform results are
// recorded in LastResult; only a few failures raise (see each operation),
// and a buffer reported lost makes the device wrapper restore its buffers.
#pragma once

#include "platform/DirectSound.h"
#include "sound/DXClass.h"
#include "sound/InterfacePtr.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace k58 {

class TWave;
class TDirectSoundBuffer;
class TOwnedBuffer;

K58_DECLARE_EXCEPTION(EDirectSoundError, EDirectXError);
K58_DECLARE_EXCEPTION(EDirectSoundBufferError, EDirectSoundError);

// Test seam: how TDirectSound finds the DirectSoundCreate entry point. By
// default it is loaded from the sound module with LoadDllFunction; tests set
// a lookup that hands out an in-memory device (and may raise like the loader
// does). An empty function restores the default.
using TDirectSoundCreateLookup = std::function<TDirectSoundCreate()>;
void SetDirectSoundCreateLookup(TDirectSoundCreateLookup lookup);

class TDirectSound : public TDirectX {
public:
    // Opens the device (nullptr: the default device). Raises what the
    // loader raises, or EDirectSoundError "DirectSound cannot be
    // initialized" when the device cannot be opened.
    explicit TDirectSound(const GUID* deviceId);
    // Frees the buffers still listed, last first, then releases the device.
    ~TDirectSound() override;

    // The device object; raises EDirectSoundError "IDirectSound not made"
    // when there is none.
    IDirectSound* DeviceInterface() const;

    // Acts on a buffer's recorded result: a lost buffer restores every
    // buffer, unless a restore is already running.
    void CheckBuffer(TDirectSoundBuffer* buffer);

    int BufferCount() const noexcept { return static_cast<int>(mBuffers.size()); }
    TDirectSoundBuffer* Buffers(int index) const { return mBuffers.at(static_cast<size_t>(index)); }

    // Focus flags given to buffers made from now on; sticky wins over global.
    bool GlobalFocus() const noexcept { return mGlobalFocus; }
    void SetGlobalFocus(bool value) noexcept { mGlobalFocus = value; }
    bool StickyFocus() const noexcept { return mStickyFocus; }
    void SetStickyFocus(bool value) noexcept { mStickyFocus = value; }

    const char* ClassName() const noexcept override { return "TDirectSound"; }

protected:
    // Reloads every buffer after the platform lost their memory; does
    // nothing here.
    virtual void RestoreBuffers() {}

private:
    friend class TDirectSoundBuffer;
    std::vector<TDirectSoundBuffer*> mBuffers;
    bool mGlobalFocus = false;
    TInterfacePtr<IDirectSound> mDevice;
    bool mInRestore = false;
    bool mStickyFocus = false;
};

class TDirectSoundBuffer : public TDirectX {
public:
    // Joins the device wrapper's list of buffers; holds no device buffer yet.
    explicit TDirectSoundBuffer(TDirectSound* directSound);
    // Releases the device buffer and leaves the device wrapper's list.
    ~TDirectSoundBuffer() override;

    TDirectSound* DirectSound() const noexcept { return mDirectSound; }
    // The device buffer; raises EDirectSoundBufferError "IDirectSoundBuffer
    // not made" when there is none.
    IDirectSoundBuffer* DeviceInterface() const;
    bool HasDeviceBuffer() const noexcept { return static_cast<bool>(mBuffer); }

    // Replaces the device buffer with a new one made from desc; false (and
    // no device buffer) when the device refuses.
    bool CreateBuffer(const DSBUFFERDESC& desc);
    // A mixable buffer of size bytes in format; raises EDirectSoundBufferError
    // "Sound Buffer cannot be made" when refused.
    void CreateBuffer(const WAVEFORMATEX* format, std::int32_t size);
    // A fresh buffer holding size bytes of data (none: left unfilled).
    void LoadFromMemory(const WAVEFORMATEX* format, const void* data, std::int32_t size);
    void LoadFromWave(const TWave& wave);

    // Locks a range for writing; at most one lock is outstanding. False when
    // there is no device buffer, a lock is outstanding or the device refuses.
    bool Lock(std::uint32_t offset, std::uint32_t size, void*& region1, std::uint32_t& bytes1,
              void*& region2, std::uint32_t& bytes2);
    void Unlock();

    // Playback controls. Each raises "IDirectSoundBuffer not made" without a
    // device buffer; a refusal by the device is only recorded.
    bool Play(bool loop);
    void Stop();
    void SetPosition(std::uint32_t bytes);
    void SetFrequency(std::uint32_t hertz);
    void SetPan(std::int32_t value);
    void SetVolume(std::int32_t value);
    std::uint32_t Status();
    bool Playing();
    // The play cursor in bytes (the platform's GetCurrentPosition).
    std::uint32_t Position();

    // nullptr drops the device buffer; a TWave loads it; another buffer
    // wrapper is duplicated (sharing its samples; a refusal leaves this one
    // as it was); anything else raises the assignment error.
    void Assign(const TPersistent* source) override;
    const char* ClassName() const noexcept override { return "TDirectSoundBuffer"; }

protected:
    void CheckResult() override;

private:
    // Holds a new device buffer (or none) in place of the current one.
    void Adopt(IDirectSoundBuffer* buffer) noexcept;

    friend class TOwnedBuffer;
    TDirectSound* mDirectSound;
    TOwnedBuffer* mOwner = nullptr; // the holder that frees this buffer, if any
    TInterfacePtr<IDirectSoundBuffer> mBuffer;
    struct LockRecord {
        void* region1 = nullptr;
        void* region2 = nullptr;
        DWORD bytes1 = 0;
        DWORD bytes2 = 0;
    } mLock;
    std::int32_t mLockCount = 0;
};

// Owns a buffer wrapper, as unique_ptr does, and lets go of it when the
// device wrapper frees it first (the device wrapper frees every buffer still
// on its list when it goes), so the buffer is never freed twice or used
// after it was freed.
class TOwnedBuffer {
public:
    TOwnedBuffer() = default;
    explicit TOwnedBuffer(TDirectSoundBuffer* buffer) noexcept { Take(buffer); }
    TOwnedBuffer(TOwnedBuffer&& other) noexcept { Take(other.Release()); }
    TOwnedBuffer& operator=(TOwnedBuffer&& other) noexcept {
        if (this != &other) {
            reset();
            Take(other.Release());
        }
        return *this;
    }
    ~TOwnedBuffer() { reset(); }

    void reset() noexcept { delete Release(); }
    TDirectSoundBuffer* get() const noexcept { return mBuffer; }
    TDirectSoundBuffer* operator->() const noexcept { return mBuffer; }
    TDirectSoundBuffer& operator*() const noexcept { return *mBuffer; }
    explicit operator bool() const noexcept { return mBuffer != nullptr; }

private:
    friend class TDirectSoundBuffer;
    void Take(TDirectSoundBuffer* buffer) noexcept {
        mBuffer = buffer;
        if (mBuffer != nullptr)
            mBuffer->mOwner = this;
    }
    TDirectSoundBuffer* Release() noexcept {
        TDirectSoundBuffer* buffer = mBuffer;
        mBuffer = nullptr;
        if (buffer != nullptr)
            buffer->mOwner = nullptr;
        return buffer;
    }

    TDirectSoundBuffer* mBuffer = nullptr;
};

// Raises EDirectSoundBufferError "IDirectSoundBuffer not made": what any
// buffer operation raises when there is no buffer to act on.
[[noreturn]] void RaiseBufferNotMade();

} // namespace k58
