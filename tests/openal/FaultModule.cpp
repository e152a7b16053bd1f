// A test-only build of the sound-device module (same file name,
// k58-dsound.so, built into tests/openal/fault/) that can be made to fail.
//
// Use: copy the program and this module into one folder, write a control
// file and name it in K58_DSOUND_FAULTS. The file is read on every call; it
// holds words separated by white space:
//   fail-create        DirectSoundCreate fails with DSERR_NODRIVER
//   refuse-duplicate   DuplicateSoundBuffer fails with DSERR_OUTOFMEMORY
//   refuse-buffers     CreateSoundBuffer fails with DSERR_OUTOFMEMORY for
//                      every buffer but the primary one
//   lose-buffers TAG   each time a new TAG is seen, every buffer made before
//                      is lost until it is restored: it falls silent,
//                      GetStatus reports DSBSTATUS_BUFFERLOST, Play and Lock
//                      DSERR_BUFFERLOST; Restore succeeds (the output is there)
//   device-gone        the output is disconnected and cannot be opened again;
//                      remove the word and the device opens it again (the
//                      real module's loss and recovery path runs)
//   open-blocks        every attempt to open the output first waits 2 s, as
//                      a backend that hangs does (a sound server starting)
//   no-threads         the module's thread that looks for a lost output
//                      cannot be started (the system refuses new threads)
//   refuse-data        OpenAL refuses the samples of every buffer uploaded
// Without K58_DSOUND_FAULTS it behaves like the real module.
//
// K58_DSOUND_CALL_LOG names a file that gets one line per buffer call that
// the tests read timing from: "<ms> <call> <buffer> <value> <result>", calls
// create, duplicate (value: the original), play (value: the flags), freq and
// position. Buffers are numbered from 1 in the order they are made.
#include "platform/openal/Device.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

namespace k58::fault {
namespace {

struct Faults {
    bool failCreate = false;
    bool refuseDuplicate = false;
    bool refuseBuffers = false;
    bool deviceGone = false;
    bool openBlocks = false;
    bool noThreads = false;
    bool refuseData = false;
    std::string loseTag;
};

constexpr auto kBlockedOpen = std::chrono::seconds(2);

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
        else if (word == "refuse-buffers")
            faults.refuseBuffers = true;
        else if (word == "device-gone")
            faults.deviceGone = true;
        else if (word == "open-blocks")
            faults.openBlocks = true;
        else if (word == "no-threads")
            faults.noThreads = true;
        else if (word == "refuse-data")
            faults.refuseData = true;
        else if (word == "lose-buffers")
            file >> faults.loseTag;
    }
    return faults;
}

// The call log; buffers are only called on one thread.
class CallLog {
public:
    CallLog() {
        const char* path = std::getenv("K58_DSOUND_CALL_LOG");
        if (path != nullptr && *path != '\0')
            mFile = std::fopen(path, "a");
    }
    ~CallLog() {
        if (mFile != nullptr)
            std::fclose(mFile);
    }
    CallLog(const CallLog&) = delete;
    CallLog& operator=(const CallLog&) = delete;
    HRESULT Note(const char* call, unsigned buffer, long long value, HRESULT result) {
        if (mFile != nullptr) {
            const double ms = std::chrono::duration<double, std::milli>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count();
            std::fprintf(mFile, "%.3f %s %u %lld %d\n", ms, call, buffer, value, result == DS_OK);
            std::fflush(mFile);
        }
        return result;
    }
    unsigned NextBuffer() { return ++mBuffers; }

private:
    std::FILE* mFile = nullptr;
    unsigned mBuffers = 0;
};

CallLog& Log() {
    static CallLog log;
    return log;
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
    explicit FaultBuffer(IDirectSoundBuffer* inner)
        : mInner(inner), mEpoch(CurrentEpoch()), mNumber(Log().NextBuffer()) {}

    IDirectSoundBuffer* Inner() const { return mInner; }
    unsigned Number() const { return mNumber; }
    // A duplicate of lost memory is lost as well.
    void LoseWith(FaultBuffer& original) {
        if (original.Lost() && !mLost) {
            mLost = true;
            mInner->Stop();
        }
    }

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
        const HRESULT result = Lost() ? DSERR_BUFFERLOST : mInner->Play(reserved, priority, flags);
        return Log().Note("play", mNumber, flags, result);
    }
    HRESULT SetCurrentPosition(std::uint32_t position) override {
        Lost();
        return Log().Note("position", mNumber, position, mInner->SetCurrentPosition(position));
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
        return Log().Note("freq", mNumber, frequency, mInner->SetFrequency(frequency));
    }
    HRESULT Stop() override {
        Lost();
        return mInner->Stop();
    }
    HRESULT Unlock(void* p1, std::uint32_t n1, void* p2, std::uint32_t n2) override {
        Lost();
        return mInner->Unlock(p1, n1, p2, n2);
    }
    // The rest of the interface is the module's.
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object != nullptr && (iid == IID_IUnknown || iid == IID_IDirectSoundBuffer)) {
            AddRef();
            *object = static_cast<IDirectSoundBuffer*>(this);
            return DS_OK;
        }
        return mInner->QueryInterface(iid, object);
    }
    HRESULT GetCaps(DSBCAPS* caps) override { return mInner->GetCaps(caps); }
    HRESULT GetFormat(WAVEFORMATEX* format, DWORD size, DWORD* written) override {
        return mInner->GetFormat(format, size, written);
    }
    HRESULT GetVolume(LONG* volume) override { return mInner->GetVolume(volume); }
    HRESULT GetPan(LONG* pan) override { return mInner->GetPan(pan); }
    HRESULT Initialize(IDirectSound* device, const DSBUFFERDESC* desc) override {
        return mInner->Initialize(device, desc);
    }
    HRESULT SetFormat(const WAVEFORMATEX* format) override { return mInner->SetFormat(format); }
    HRESULT Restore() override {
        const bool lost = Lost();
        const HRESULT result = mInner->Restore();
        if (lost && result == DS_OK) {
            mLost = false;
            mEpoch = gEpoch;
        }
        return result;
    }

private:
    ~FaultBuffer() = default;
    // Lost memory falls silent when the loss is first seen and stays lost
    // until it is restored.
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
    unsigned mNumber;
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
        if (desc != nullptr && (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) == 0 &&
            ReadFaults().refuseBuffers) {
            if (buffer != nullptr)
                *buffer = nullptr;
            return DSERR_OUTOFMEMORY;
        }
        IDirectSoundBuffer* inner = nullptr;
        const HRESULT result = mInner->CreateSoundBuffer(desc, &inner, outer);
        FaultBuffer* made = inner != nullptr ? new FaultBuffer(inner) : nullptr;
        if (buffer != nullptr)
            *buffer = made;
        return Log().Note("create", made != nullptr ? made->Number() : 0, 0, result);
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
        FaultBuffer* made = inner != nullptr ? new FaultBuffer(inner) : nullptr;
        if (made != nullptr)
            made->LoseWith(*wrapped);
        if (duplicate != nullptr)
            *duplicate = made;
        return Log().Note("duplicate", made != nullptr ? made->Number() : 0,
                          wrapped != nullptr ? wrapped->Number() : 0, result);
    }
    HRESULT SetCooperativeLevel(HWND window, std::uint32_t level) override {
        return mInner->SetCooperativeLevel(window, level);
    }
    // The rest of the interface is the module's.
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object != nullptr && (iid == IID_IUnknown || iid == IID_IDirectSound)) {
            AddRef();
            *object = static_cast<IDirectSound*>(this);
            return DS_OK;
        }
        return mInner->QueryInterface(iid, object);
    }
    HRESULT GetCaps(DSCAPS* caps) override { return mInner->GetCaps(caps); }
    HRESULT Compact() override { return mInner->Compact(); }
    HRESULT GetSpeakerConfig(DWORD* config) override { return mInner->GetSpeakerConfig(config); }
    HRESULT SetSpeakerConfig(DWORD config) override { return mInner->SetSpeakerConfig(config); }
    HRESULT Initialize(LPCGUID device) override { return mInner->Initialize(device); }

private:
    ~FaultDevice() = default;

    std::uint32_t mRefs = 1;
    IDirectSound* mInner;
};

openal::DeviceHooks FaultHooks() {
    openal::DeviceHooks real = openal::DefaultHooks();
    openal::DeviceHooks hooks;
    // Runs on the module's probe thread when the output is reopened.
    hooks.open = [open = real.open]() -> ALCdevice* {
        if (ReadFaults().openBlocks)
            std::this_thread::sleep_for(kBlockedOpen);
        return ReadFaults().deviceGone ? nullptr : open();
    };
    hooks.connected = [connected = real.connected](ALCdevice* device) {
        return !ReadFaults().deviceGone && connected(device);
    };
    hooks.beforeThread = [] {
        if (ReadFaults().noThreads)
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
    };
    return hooks;
}

} // namespace
} // namespace k58::fault

// The module's uploads of samples come here (the module is linked with
// --wrap=alBufferData). A refusal is OpenAL's own: an invalid size.
extern "C" void __real_alBufferData(ALuint buffer, ALenum format, const ALvoid* data, ALsizei size,
                                    ALsizei frequency);
extern "C" void __wrap_alBufferData(ALuint buffer, ALenum format, const ALvoid* data, ALsizei size,
                                    ALsizei frequency) {
    if (k58::fault::ReadFaults().refuseData)
        size = -1;
    __real_alBufferData(buffer, format, data, size, frequency);
}

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
