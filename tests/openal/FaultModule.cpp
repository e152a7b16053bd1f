// A test-only build of the sound-device module (same file name,
// k58-dsound.so, built into tests/openal/fault/) that can be made to fail.
//
// Use: copy the program and this module into one folder, write a control
// file and name it in K58_DSOUND_FAULTS. The file is read on every call; it
// holds words separated by white space:
//   fail-create        DirectSoundCreate fails with DSERR_NODRIVER
//   refuse-duplicate   DuplicateSoundBuffer fails with DSERR_OUTOFMEMORY
//   lose-buffers TAG   each time a new TAG is seen, every buffer made before
//                      is lost for good: it falls silent, GetStatus reports
//                      DSBSTATUS_BUFFERLOST, Play and Lock DSERR_BUFFERLOST
//   device-gone        the output is disconnected and cannot be opened again;
//                      remove the word and the device opens it again (the
//                      real module's loss and recovery path runs)
// Without K58_DSOUND_FAULTS it behaves like the real module.
#include "platform/openal/Device.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace k58::fault {
namespace {

struct Faults {
    bool failCreate = false;
    bool refuseDuplicate = false;
    bool deviceGone = false;
    std::string loseTag;
};

Faults ReadFaults() {
    Faults faults;
    const char* path = std::getenv("K58_DSOUND_FAULTS");
    if (path == nullptr || *path == '\0')
        return faults;
    std::ifstream file(path);
    std::string word;
    while (file >> word) {
        if (word == "fail-create")
            faults.failCreate = true;
        else if (word == "refuse-duplicate")
            faults.refuseDuplicate = true;
        else if (word == "device-gone")
            faults.deviceGone = true;
        else if (word == "lose-buffers")
            file >> faults.loseTag;
    }
    return faults;
}

// Counts the lose-buffers tags seen: a buffer made in an earlier epoch than
// the current one is lost.
unsigned gEpoch = 0;
std::string gLastTag;

unsigned CurrentEpoch() {
    const Faults faults = ReadFaults();
    if (!faults.loseTag.empty() && faults.loseTag != gLastTag) {
        gLastTag = faults.loseTag;
        ++gEpoch;
    }
    return gEpoch;
}

class FaultBuffer final : public IDirectSoundBuffer {
public:
    explicit FaultBuffer(IDirectSoundBuffer* inner) : mInner(inner), mEpoch(CurrentEpoch()) {}

    IDirectSoundBuffer* Inner() const { return mInner; }

    std::uint32_t AddRef() override { return ++mRefs; }
    std::uint32_t Release() override {
        const std::uint32_t left = --mRefs;
        if (left == 0) {
            mInner->Release();
            delete this;
        }
        return left;
    }
    // A lost buffer answers as the platform's does: GetStatus works and
    // says so, Play and Lock fail with DSERR_BUFFERLOST, the other calls
    // work (on a buffer that no longer sounds).
    HRESULT GetCurrentPosition(std::uint32_t* play, std::uint32_t* write) override {
        Lost();
        return mInner->GetCurrentPosition(play, write);
    }
    HRESULT GetFrequency(std::uint32_t* frequency) override {
        Lost();
        return mInner->GetFrequency(frequency);
    }
    HRESULT GetStatus(std::uint32_t* status) override {
        if (Lost()) {
            if (status == nullptr)
                return DSERR_INVALIDPARAM;
            *status = DSBSTATUS_BUFFERLOST;
            return DS_OK;
        }
        return mInner->GetStatus(status);
    }
    HRESULT Lock(std::uint32_t offset, std::uint32_t bytes, void** p1, std::uint32_t* n1, void** p2,
                 std::uint32_t* n2, std::uint32_t flags) override {
        return Lost() ? DSERR_BUFFERLOST : mInner->Lock(offset, bytes, p1, n1, p2, n2, flags);
    }
    HRESULT Play(std::uint32_t reserved, std::uint32_t priority, std::uint32_t flags) override {
        return Lost() ? DSERR_BUFFERLOST : mInner->Play(reserved, priority, flags);
    }
    HRESULT SetCurrentPosition(std::uint32_t position) override {
        Lost();
        return mInner->SetCurrentPosition(position);
    }
    HRESULT SetVolume(std::int32_t volume) override {
        Lost();
        return mInner->SetVolume(volume);
    }
    HRESULT SetPan(std::int32_t pan) override {
        Lost();
        return mInner->SetPan(pan);
    }
    HRESULT SetFrequency(std::uint32_t frequency) override {
        Lost();
        return mInner->SetFrequency(frequency);
    }
    HRESULT Stop() override {
        Lost();
        return mInner->Stop();
    }
    HRESULT Unlock(void* p1, std::uint32_t n1, void* p2, std::uint32_t n2) override {
        Lost();
        return mInner->Unlock(p1, n1, p2, n2);
    }

private:
    ~FaultBuffer() = default;
    // Lost memory falls silent when the loss is first seen and stays lost.
    bool Lost() {
        if (!mLost && CurrentEpoch() != mEpoch) {
            mLost = true;
            mInner->Stop();
        }
        return mLost;
    }

    std::uint32_t mRefs = 1;
    IDirectSoundBuffer* mInner;
    unsigned mEpoch;
    bool mLost = false;
};

class FaultDevice final : public IDirectSound {
public:
    explicit FaultDevice(IDirectSound* inner) : mInner(inner) {}

    std::uint32_t AddRef() override { return ++mRefs; }
    std::uint32_t Release() override {
        const std::uint32_t left = --mRefs;
        if (left == 0) {
            mInner->Release();
            delete this;
        }
        return left;
    }
    HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer,
                              IUnknown* outer) override {
        IDirectSoundBuffer* inner = nullptr;
        const HRESULT result = mInner->CreateSoundBuffer(desc, &inner, outer);
        if (buffer != nullptr)
            *buffer = inner != nullptr ? new FaultBuffer(inner) : nullptr;
        return result;
    }
    HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* original,
                                 IDirectSoundBuffer** duplicate) override {
        if (ReadFaults().refuseDuplicate) {
            if (duplicate != nullptr)
                *duplicate = nullptr;
            return DSERR_OUTOFMEMORY;
        }
        // Buffers handed out here are all FaultBuffers.
        auto* wrapped = static_cast<FaultBuffer*>(original);
        IDirectSoundBuffer* inner = nullptr;
        const HRESULT result =
            mInner->DuplicateSoundBuffer(wrapped != nullptr ? wrapped->Inner() : nullptr, &inner);
        if (duplicate != nullptr)
            *duplicate = inner != nullptr ? new FaultBuffer(inner) : nullptr;
        return result;
    }
    HRESULT SetCooperativeLevel(HWND window, std::uint32_t level) override {
        return mInner->SetCooperativeLevel(window, level);
    }

private:
    ~FaultDevice() = default;

    std::uint32_t mRefs = 1;
    IDirectSound* mInner;
};

openal::DeviceHooks FaultHooks() {
    openal::DeviceHooks real = openal::DefaultHooks();
    openal::DeviceHooks hooks;
    hooks.open = [open = real.open]() -> ALCdevice* {
        return ReadFaults().deviceGone ? nullptr : open();
    };
    hooks.connected = [connected = real.connected](ALCdevice* device) {
        return !ReadFaults().deviceGone && connected(device);
    };
    return hooks;
}

} // namespace
} // namespace k58::fault

extern "C" __attribute__((visibility("default"))) k58::HRESULT
DirectSoundCreate(const k58::GUID* device, k58::IDirectSound** directSound, k58::IUnknown* outer) {
    if (k58::fault::ReadFaults().failCreate) {
        if (directSound != nullptr)
            *directSound = nullptr;
        return k58::DSERR_NODRIVER;
    }
    k58::IDirectSound* inner = nullptr;
    const k58::HRESULT result =
        k58::openal::SoundDevice::Create(device, &inner, outer, k58::fault::FaultHooks());
    if (directSound != nullptr)
        *directSound = inner != nullptr ? new k58::fault::FaultDevice(inner) : nullptr;
    return result;
}
