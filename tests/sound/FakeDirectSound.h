// A scriptable in-memory sound device for tests of the sound components.
//
// Creating a FakeDirectSound makes TDirectSound open it instead of the sound
// module; destroying it restores the real lookup. Every call is logged
// ("CreateSoundBuffer b1", "b1.Stop", "b2.SetFrequency 22000" ...), results
// can be scripted per call, and buffers stay inspectable after release.
#pragma once

#include "platform/DirectSound.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace k58::test {

class FakeDirectSound;

class FakeSoundBuffer final : public IDirectSoundBuffer {
public:
    FakeSoundBuffer(FakeDirectSound* device, std::string name)
        : name(std::move(name)), mDevice(device) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetCaps(DSBCAPS* caps) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(DWORD* playCursor, DWORD* writeCursor) override;
    HRESULT STDMETHODCALLTYPE GetFormat(WAVEFORMATEX* format, DWORD sizeAllocated,
                                        DWORD* sizeWritten) override;
    HRESULT STDMETHODCALLTYPE GetVolume(LONG* value) override;
    HRESULT STDMETHODCALLTYPE GetPan(LONG* value) override;
    HRESULT STDMETHODCALLTYPE GetFrequency(DWORD* frequency) override;
    HRESULT STDMETHODCALLTYPE GetStatus(DWORD* status) override;
    HRESULT STDMETHODCALLTYPE Initialize(IDirectSound* directSound,
                                         const DSBUFFERDESC* desc) override;
    HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, void** audioPtr1, DWORD* audioBytes1,
                                   void** audioPtr2, DWORD* audioBytes2, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Play(DWORD reserved1, DWORD priority, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD newPosition) override;
    HRESULT STDMETHODCALLTYPE SetFormat(const WAVEFORMATEX* format) override;
    HRESULT STDMETHODCALLTYPE SetVolume(LONG volume) override;
    HRESULT STDMETHODCALLTYPE SetPan(LONG pan) override;
    HRESULT STDMETHODCALLTYPE SetFrequency(DWORD frequency) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Unlock(void* audioPtr1, DWORD audioBytes1, void* audioPtr2,
                                     DWORD audioBytes2) override;
    HRESULT STDMETHODCALLTYPE Restore() override;

    // The sound ends by itself (a one-shot buffer reaching its end).
    void Finish() { playing = looping = false; }
    bool Released() const { return refs == 0; }
    // Makes the next call of method ("Stop", "Lock", "GetStatus" ...) return result.
    void FailNext(const std::string& method, HRESULT result) {
        nextResults[method].push_back(result);
    }
    // Loses the memory for good, as the platform does: the buffer stops,
    // GetStatus reports DSBSTATUS_BUFFERLOST, Play and Lock fail with
    // DSERR_BUFFERLOST, the other calls succeed. Duplicates of it are lost too.
    void Lose() {
        lost = true;
        playing = looping = false;
    }

    std::string name;
    DSBUFFERDESC desc{};
    WAVEFORMATEX format{};
    FakeSoundBuffer* original = nullptr; // set on duplicates
    // The sample memory; duplicates share it.
    std::shared_ptr<std::vector<std::uint8_t>> memory;
    std::uint32_t frequency = 0;
    std::uint32_t position = 0;
    std::int32_t pan = 0;
    std::int32_t volume = 0;
    bool playing = false;
    bool looping = false;
    bool lost = false;
    int refs = 1;
    bool locked = false;
    // Bytes given as the first region by Lock; 0 gives one region only.
    std::uint32_t lockSplit = 0;
    std::map<std::string, std::deque<HRESULT>> nextResults;

private:
    HRESULT Call(const std::string& method, const std::string& detail = {});
    FakeDirectSound* mDevice;
};

class FakeDirectSound final : public IDirectSound {
public:
    // Becomes the device that TDirectSound opens.
    FakeDirectSound();
    // Restores the real lookup.
    ~FakeDirectSound();
    FakeDirectSound(const FakeDirectSound&) = delete;
    FakeDirectSound& operator=(const FakeDirectSound&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateSoundBuffer(const DSBUFFERDESC* desc,
                                                IDirectSoundBuffer** buffer,
                                                IUnknown* outer) override;
    HRESULT STDMETHODCALLTYPE GetCaps(DSCAPS* caps) override;
    HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(IDirectSoundBuffer* original,
                                                   IDirectSoundBuffer** duplicate) override;
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD level) override;
    HRESULT STDMETHODCALLTYPE Compact() override;
    HRESULT STDMETHODCALLTYPE GetSpeakerConfig(DWORD* config) override;
    HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD config) override;
    HRESULT STDMETHODCALLTYPE Initialize(LPCGUID device) override;

    // Instead of the fake, load the entry point from a module of this file
    // name through the real loader (to see its errors).
    void UseModule(std::string fileName) { mModule = std::move(fileName); }

    // The entry point's own result; nonzero means no device.
    HRESULT createResult = DS_OK;
    int createCalls = 0;
    // Results of the next CreateSoundBuffer / DuplicateSoundBuffer calls.
    std::deque<HRESULT> createBufferResults;
    std::deque<HRESULT> duplicateResults;
    HRESULT cooperativeResult = DS_OK;
    // Makes the next buffer created (or duplicated) fail its first call of method.
    void FailOnNextBuffer(const std::string& method, HRESULT result) {
        nextBufferResults[method].push_back(result);
    }
    std::map<std::string, std::deque<HRESULT>> nextBufferResults;
    // Lock split given to buffers made from now on (see FakeSoundBuffer).
    std::uint32_t lockSplit = 0;
    // Loses every buffer not yet released (see FakeSoundBuffer::Lose).
    void LoseBuffers();

    int refs = 0;
    std::vector<std::pair<HWND, std::uint32_t>> cooperativeCalls;
    std::vector<std::unique_ptr<FakeSoundBuffer>> buffers;
    std::vector<std::string> log;

    FakeSoundBuffer* Buffer(const std::string& name) const;
    // The buffers not yet released, in creation order.
    std::vector<FakeSoundBuffer*> LiveBuffers() const;
    // Log entries that contain text, in order.
    std::vector<std::string> LogWith(const std::string& text) const;

private:
    std::string mModule;
};

} // namespace k58::test
