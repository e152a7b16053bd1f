// The platform's sound-device interface, in the shape of DirectSound.
//
// The sound wrappers talk to a device object and buffer objects through these
// reference-counted interfaces. The implementation lives in a separate module
// loaded at run time (see SoundModule.h) that exports DirectSoundCreate.
// Records, flags and result codes keep the platform's names and values.
#pragma once

#include "platform/Controls.h" // HWND

#include <cstdint>

namespace k58 {

using HRESULT = std::int32_t;

constexpr HRESULT DS_OK = 0;
constexpr HRESULT DSERR_BUFFERLOST = static_cast<HRESULT>(0x88780096u);
// A parameter is out of range (for example a frequency outside 100..200,000 Hz).
constexpr HRESULT DSERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057u);
// No sound driver / output device is available.
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078u);
constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032u);
constexpr HRESULT DSERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064u);
constexpr HRESULT DSERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT DSERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DSERR_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);

constexpr std::uint32_t DSBCAPS_PRIMARYBUFFER = 0x00000001;
constexpr std::uint32_t DSBCAPS_STATIC = 0x00000002;
constexpr std::uint32_t DSBCAPS_CTRLFREQUENCY = 0x00000020;
constexpr std::uint32_t DSBCAPS_CTRLPAN = 0x00000040;
constexpr std::uint32_t DSBCAPS_CTRLVOLUME = 0x00000080;
constexpr std::uint32_t DSBCAPS_STICKYFOCUS = 0x00004000;
constexpr std::uint32_t DSBCAPS_GLOBALFOCUS = 0x00008000;

constexpr std::uint32_t DSBPLAY_LOOPING = 0x00000001;

constexpr std::uint32_t DSBSTATUS_PLAYING = 0x00000001;
constexpr std::uint32_t DSBSTATUS_BUFFERLOST = 0x00000002;
constexpr std::uint32_t DSBSTATUS_LOOPING = 0x00000004;

constexpr std::uint32_t DSSCL_NORMAL = 1;
constexpr std::uint32_t DSSCL_PRIORITY = 2;
constexpr std::uint32_t DSSCL_EXCLUSIVE = 3;
constexpr std::uint32_t DSSCL_WRITEPRIMARY = 4;

constexpr std::uint32_t DSBFREQUENCY_ORIGINAL = 0;
constexpr std::uint32_t DSBFREQUENCY_MIN = 100;
constexpr std::uint32_t DSBFREQUENCY_MAX = 200000;

constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
// The wave format record; records of 16 bytes end before cbSize.
struct WAVEFORMATEX {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);

// The buffer description in its full form, the one that ends in the 3D
// algorithm GUID. Its size field says 36, the size of this form on the
// platform that defined it; on a 64-bit build the record itself is larger
// because the format pointer is, but the size field still names the form.
struct DSBUFFERDESC {
    std::uint32_t dwSize;
    std::uint32_t dwFlags;
    std::uint32_t dwBufferBytes;
    std::uint32_t dwReserved;
    WAVEFORMATEX* lpwfxFormat;
    GUID guid3DAlgorithm;
};
constexpr std::uint32_t DSBUFFERDESC_FULL_SIZE = 36;
// The older form without the GUID.
constexpr std::uint32_t DSBUFFERDESC1_SIZE = 20;

struct IUnknown {
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IDirectSoundBuffer : IUnknown {
    virtual HRESULT GetCurrentPosition(std::uint32_t* playCursor, std::uint32_t* writeCursor) = 0;
    virtual HRESULT GetFrequency(std::uint32_t* frequency) = 0;
    virtual HRESULT GetStatus(std::uint32_t* status) = 0;
    virtual HRESULT Lock(std::uint32_t offset, std::uint32_t bytes, void** audioPtr1,
                         std::uint32_t* audioBytes1, void** audioPtr2, std::uint32_t* audioBytes2,
                         std::uint32_t flags) = 0;
    virtual HRESULT Play(std::uint32_t reserved1, std::uint32_t priority, std::uint32_t flags) = 0;
    virtual HRESULT SetCurrentPosition(std::uint32_t newPosition) = 0;
    virtual HRESULT SetVolume(std::int32_t volume) = 0;
    virtual HRESULT SetPan(std::int32_t pan) = 0;
    virtual HRESULT SetFrequency(std::uint32_t frequency) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Unlock(void* audioPtr1, std::uint32_t audioBytes1, void* audioPtr2,
                           std::uint32_t audioBytes2) = 0;

protected:
    ~IDirectSoundBuffer() = default;
};

struct IDirectSound : IUnknown {
    virtual HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer,
                                      IUnknown* outer) = 0;
    virtual HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* original,
                                         IDirectSoundBuffer** duplicate) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, std::uint32_t level) = 0;

protected:
    ~IDirectSound() = default;
};

// The entry point the sound module exports as "DirectSoundCreate".
using TDirectSoundCreate = HRESULT (*)(const GUID* device, IDirectSound** directSound,
                                       IUnknown* outer);

} // namespace k58
