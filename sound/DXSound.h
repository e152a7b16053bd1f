// The sound-device component: opens the platform's sound device for the
// form that owns it and tells its dependants when the device becomes usable,
// when buffers must be reloaded, when it closes and when it goes away.
#pragma once

#include "platform/Classes.h"
#include "platform/Controls.h"
#include "sound/DXClass.h"
#include "sound/DirectSoundWrappers.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace k58 {

K58_DECLARE_EXCEPTION(EDXSoundError, Exception);

class TCustomDXSound;

enum TDXSoundOption : std::uint8_t {
    soGlobalFocus = 1 << 0,
    soStickyFocus = 1 << 1,
    soExclusive = 1 << 2,
};
// A set of TDXSoundOption bits.
using TDXSoundOptions = std::uint8_t;

enum class TDXSoundNotification {
    snDestroying,
    snInitializing,
    snInitialize,
    snFinalize,
    snRestore,
};

// A dependant's handler: a method of an object. Two handlers are equal when
// they name the same method of the same object.
class TDXSoundNotifyEvent {
public:
    TDXSoundNotifyEvent() = default;
    // The handler that calls object->*Method(sender, kind).
    template <auto Method, class T> static TDXSoundNotifyEvent Of(T* object) {
        TDXSoundNotifyEvent event;
        event.mObject = object;
        event.mInvoke = [](void* target, TCustomDXSound* sender, TDXSoundNotification kind) {
            (static_cast<T*>(target)->*Method)(sender, kind);
        };
        return event;
    }

    void operator()(TCustomDXSound* sender, TDXSoundNotification kind) const {
        mInvoke(mObject, sender, kind);
    }
    bool operator==(const TDXSoundNotifyEvent& other) const = default;

private:
    void* mObject = nullptr;
    void (*mInvoke)(void*, TCustomDXSound*, TDXSoundNotification) = nullptr;
};

// The device wrapper made by the component: a lost buffer makes it run the
// component's Restore, so every dependant reloads its buffers.
class TDXSoundDirectSound : public TDirectSound {
public:
    TDXSoundDirectSound(TCustomDXSound* owner, const GUID* deviceId)
        : TDirectSound(deviceId), mOwner(owner) {}
    TCustomDXSound* Owner() const noexcept { return mOwner; }
    const char* ClassName() const noexcept override { return "TDXSoundDirectSound"; }

protected:
    void RestoreBuffers() override;

private:
    TCustomDXSound* mOwner;
};

class TCustomDXSound : public TComponent {
public:
    explicit TCustomDXSound(TComponent* owner);
    // Finalizes, then tells the dependants snDestroying.
    ~TCustomDXSound() override;

    // Initializes when AutoInitialize is set; a failure to open the device
    // (EDirectSoundError) is dropped silently, every other error passes on.
    void Loaded() override;
    // Opens the device for the owning form; raises EDXSoundError "Form not
    // found" when no owner is a form.
    void Initialize();
    // Releases the device and every buffer made on it.
    void Finalize();
    // Tells the dependants to reload their buffers (when initialized).
    void Restore();

    bool Initialized() const noexcept { return mInitialized; }
    // The device wrapper (nullptr unless initialized) and the primary buffer.
    TDXSoundDirectSound* DSound() const noexcept { return mDSound.get(); }
    TDirectSoundBuffer* Primary() const noexcept { return mPrimary.get(); }
    // The form the device is attached to, or nullptr.
    TCustomForm* Form() const noexcept { return mForm; }

    // Registers a dependant (once); an initialized device calls it at once
    // with snInitialize and then snRestore.
    void RegisterNotification(const TDXSoundNotifyEvent& handler);
    // Removes a dependant; an initialized device calls it with snFinalize.
    void UnregisterNotification(const TDXSoundNotifyEvent& handler);

    const char* ClassName() const noexcept override { return "TCustomDXSound"; }

protected:
    bool AutoInitialize() const noexcept { return mAutoInitialize; }
    void SetAutoInitialize(bool value) noexcept { mAutoInitialize = value; }
    TDXSoundOptions Options() const noexcept { return mOptions; }
    // Exclusivity is fixed while the device is open; the focus flags apply
    // to buffers made from now on.
    void SetOptions(TDXSoundOptions value);
    // The options in force.
    TDXSoundOptions NowOptions() const noexcept { return mNowOptions; }

    TNotifyEvent OnFinalize;
    TNotifyEvent OnInitialize;
    TNotifyEvent OnInitializing;
    TNotifyEvent OnRestore;

private:
    void NotifyEventList(TDXSoundNotification kind);
    void SetForm(TCustomForm* form);
    void FormWndProc(TMessage& message, const TWndMethod& defaultProc);

    bool mAutoInitialize = true;
    bool mCalledDoInitialize = false;
    const GUID* mGUID = nullptr;
    std::unique_ptr<TDXSoundDirectSound> mDSound;
    TCustomForm* mForm = nullptr;
    bool mInitialized = false;
    bool mDeviceOpen = false;
    std::vector<TDXSoundNotifyEvent> mNotifyEventList;
    TDXSoundOptions mNowOptions = 0;
    TDXSoundOptions mOptions = 0;
    TOwnedBuffer mPrimary;
    std::unique_ptr<TControlSubClass> mSubClass;
};

// The sound device as the window definition sets it up.
class TDXSound : public TCustomDXSound {
public:
    using TCustomDXSound::TCustomDXSound;

    using TCustomDXSound::AutoInitialize;
    using TCustomDXSound::NowOptions;
    using TCustomDXSound::OnFinalize;
    using TCustomDXSound::OnInitialize;
    using TCustomDXSound::OnInitializing;
    using TCustomDXSound::OnRestore;
    using TCustomDXSound::Options;
    using TCustomDXSound::SetAutoInitialize;
    using TCustomDXSound::SetOptions;

    const char* ClassName() const noexcept override { return "TDXSound"; }
};

} // namespace k58
