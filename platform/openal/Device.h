// The sound device object of the sound-device module, played through
// OpenAL Soft.
//
// One SoundDevice owns one OpenAL device and context. Every buffer made on it
// holds a reference to it, so the device stays open until the last buffer and
// the last outside reference are released.
//
// When the output goes away (ALC_EXT_disconnect reports the device as no
// longer connected) the device lets go of its OpenAL objects: every buffer
// that existed then is lost (its Play and Lock fail with DSERR_BUFFERLOST),
// so its owner reloads it, while buffers made afterwards work silently. A
// probe thread closes the lost output and tries about twice a second to open
// the default output again; the next call after it succeeds hands the new
// output over, and every buffer gets its OpenAL objects back (with the
// samples it holds). Buffers made during the outage work on; lost ones stay
// lost until they are restored or released. The first output is opened in
// the same way; creating the device waits for it only a little while, and
// one that comes later is taken over as a reopened one is. No other call
// waits for the backend.
#pragma once

#include "platform/DirectSound.h"
#include "platform/openal/OutputProbe.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace k58::openal {

class SoundBuffer;
struct SampleStore;

// How the device reaches OpenAL: opening the default output and asking
// whether it is still connected. The module uses DefaultHooks(); a test build
// can put its own in place to simulate an output that goes and comes back.
struct DeviceHooks {
    std::function<ALCdevice*()> open;
    std::function<bool(ALCdevice*)> connected;
    // Runs before the thread that looks for the output starts; a test build
    // throws std::system_error here, as a refused thread creation does.
    std::function<void()> beforeThread;
};
DeviceHooks DefaultHooks();

// Result codes of the platform interface that only this module uses.
constexpr HRESULT DSERR_CONTROLUNAVAIL = static_cast<HRESULT>(0x8878001Eu);
// Lock flags.
constexpr std::uint32_t DSBLOCK_FROMWRITECURSOR = 0x1;
constexpr std::uint32_t DSBLOCK_ENTIREBUFFER = 0x2;
// Buffer sizes the platform accepts.
constexpr std::uint32_t DSBSIZE_MIN = 4;
constexpr std::uint32_t DSBSIZE_MAX = 0x0FFFFFFF;

class SoundDevice final : public IDirectSound {
public:
    // The implementation of DirectSoundCreate.
    static HRESULT Create(const GUID* device, IDirectSound** directSound, IUnknown* outer,
                          DeviceHooks hooks);

    HRESULT QueryInterface(REFIID iid, void** object) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer,
                              IUnknown* outer) override;
    HRESULT GetCaps(DSCAPS* caps) override;
    HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* original,
                                 IDirectSoundBuffer** duplicate) override;
    HRESULT SetCooperativeLevel(HWND window, std::uint32_t level) override;
    HRESULT Compact() override;
    HRESULT GetSpeakerConfig(DWORD* config) override;
    HRESULT SetSpeakerConfig(DWORD config) override;
    HRESULT Initialize(LPCGUID device) override;

    // For the buffers.
    // Notices a lost output, or tries to reopen one; call before every
    // operation. Afterwards Attached() tells whether OpenAL objects exist.
    void Poll();
    bool Attached() const noexcept { return mContext != nullptr; }
    // Makes this device's context the current one before OpenAL calls.
    void MakeCurrent() const;
    void Forget(SoundBuffer* buffer);
    // Re-uploads shared samples; every buffer playing them keeps its state.
    void Upload(SampleStore& store);
    std::uint32_t CooperativeLevel() const noexcept { return mLevel; }

private:
    explicit SoundDevice(DeviceHooks hooks);
    ~SoundDevice();

    // Opens the default output through hooks, with its context; an empty
    // Output when either is refused.
    static Output OpenWith(const DeviceHooks& hooks);
    // Opens the default output, waiting for it at most kFirstOpenWait; an
    // output that comes later is taken over by Poll. False when the
    // backend refused it.
    bool OpenFirstOutput();
    void UseOutput(Output output);
    // Lets go of every OpenAL object and hands back the output, unclosed.
    Output DropOutput();
    void ReleaseOutput();
    void LoseOutput();
    // Starts the probe; if no thread can be started, the next Poll tries
    // again.
    void StartProbe();
    void Reattach();
    SoundBuffer* Find(IDirectSoundBuffer* buffer) const;
    // Lists a new buffer, gives it OpenAL objects if the output is there,
    // and hands it out; releases it if that fails.
    HRESULT Adopt(SoundBuffer* created, IDirectSoundBuffer** out);

    // How long after a loss, and between attempts, the output is reopened.
    static constexpr std::chrono::milliseconds kReopenInterval{500};
    // How long creating the device waits for the first output.
    static constexpr std::chrono::milliseconds kFirstOpenWait{800};
    // Looks for the output while there is none.
    std::unique_ptr<OutputProbe> mProbe;
    // A lost output that no probe has taken over to close yet.
    Output mUnclosed;

    std::uint32_t mRefs = 1;
    DeviceHooks mHooks;
    ALCdevice* mDevice = nullptr;
    ALCcontext* mContext = nullptr;
    bool mDetectsLoss = false;
    std::vector<SoundBuffer*> mBuffers;
    HWND mWindow = nullptr;
    std::uint32_t mLevel = 0;
};

} // namespace k58::openal
