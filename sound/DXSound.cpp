#include "sound/DXSound.h"

#include "platform/Handlers.h"
#include "sound/SoundStrings.h"

#include <algorithm>
#include <exception>

namespace k58 {

void TDXSoundDirectSound::RestoreBuffers() {
    TDirectSound::RestoreBuffers();
    mOwner->Restore();
}

TCustomDXSound::TCustomDXSound(TComponent* owner) : TComponent(owner) {}

TCustomDXSound::~TCustomDXSound() {
    // A destructor cannot pass errors on: report them and carry on, so that
    // the dependants still hear that the device goes away.
    RunHandler([this] { Finalize(); });
    RunHandler([this] { NotifyEventList(TDXSoundNotification::snDestroying); });
    mNotifyEventList.clear();
}

void TCustomDXSound::Loaded() {
    TComponent::Loaded();
    if (mAutoInitialize && !Designing()) {
        try {
            Initialize();
        } catch (const EDirectSoundError&) {
            // No usable sound device: the program runs silently.
        }
    }
}

void TCustomDXSound::Initialize() {
    Finalize();

    TCustomForm* form = nullptr;
    for (TComponent* component = Owner(); component != nullptr; component = component->Owner()) {
        form = dynamic_cast<TCustomForm*>(component);
        if (form != nullptr)
            break;
    }
    if (form == nullptr)
        throw EDXSoundError(strings::SFormNotFound);

    NotifyEventList(TDXSoundNotification::snInitializing);
    if (OnInitializing)
        OnInitializing(this);

    mDeviceOpen = true;
    try {
        mDSound = std::make_unique<TDXSoundDirectSound>(this, mGUID);
        // Only the global focus is taken from the options here; the sticky
        // focus follows the next assignment of Options.
        mDSound->SetGlobalFocus((mNowOptions & soGlobalFocus) != 0);

        mPrimary = TOwnedBuffer(new TDirectSoundBuffer(mDSound.get()));
        DSBUFFERDESC desc{};
        desc.dwSize = DSBUFFERDESC_FULL_SIZE;
        desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
        if (!mPrimary->CreateBuffer(desc))
            throw EDXSoundError(Format(strings::SCannotMade, {strings::SDirectSoundPrimaryBuffer}));

        mInitialized = true;
        SetForm(form);
    } catch (...) {
        Finalize();
        throw;
    }

    NotifyEventList(TDXSoundNotification::snInitialize);
    mCalledDoInitialize = true;
    if (OnInitialize)
        OnInitialize(this);
    Restore();
}

void TCustomDXSound::Finalize() {
    if (!mDeviceOpen)
        return;
    std::exception_ptr error;
    try {
        try {
            mSubClass.reset();
            if (mCalledDoInitialize) {
                mCalledDoInitialize = false;
                if (OnFinalize)
                    OnFinalize(this);
            }
        } catch (...) {
            error = std::current_exception();
        }
        NotifyEventList(TDXSoundNotification::snFinalize);
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }

    mInitialized = false;
    mDeviceOpen = false;
    SetOptions(mOptions);
    mPrimary.reset();
    mDSound.reset();
    if (error)
        std::rethrow_exception(error);
}

void TCustomDXSound::Restore() {
    if (!mInitialized)
        return;
    NotifyEventList(TDXSoundNotification::snRestore);
    if (OnRestore)
        OnRestore(this);
}

void TCustomDXSound::SetOptions(TDXSoundOptions value) {
    mOptions = value;
    if (!mInitialized) {
        mNowOptions = value;
        return;
    }
    mNowOptions =
        static_cast<TDXSoundOptions>((value & ~soExclusive) | (mNowOptions & soExclusive));
    mDSound->SetGlobalFocus((mNowOptions & soGlobalFocus) != 0);
    mDSound->SetStickyFocus((mNowOptions & soStickyFocus) != 0);
}

void TCustomDXSound::RegisterNotification(const TDXSoundNotifyEvent& handler) {
    UnregisterNotification(handler);
    mNotifyEventList.push_back(handler);
    if (mInitialized) {
        handler(this, TDXSoundNotification::snInitialize);
        handler(this, TDXSoundNotification::snRestore);
    }
}

void TCustomDXSound::UnregisterNotification(const TDXSoundNotifyEvent& handler) {
    const auto it = std::find(mNotifyEventList.begin(), mNotifyEventList.end(), handler);
    if (it == mNotifyEventList.end())
        return;
    mNotifyEventList.erase(it);
    if (mInitialized)
        handler(this, TDXSoundNotification::snFinalize);
}

void TCustomDXSound::NotifyEventList(TDXSoundNotification kind) {
    // Last registered first. A handler may unregister itself (or others)
    // while it runs, so the index is checked against the list each time.
    for (auto i = static_cast<std::ptrdiff_t>(mNotifyEventList.size()) - 1; i >= 0; --i) {
        if (i >= static_cast<std::ptrdiff_t>(mNotifyEventList.size()))
            continue;
        const TDXSoundNotifyEvent handler = mNotifyEventList[static_cast<std::size_t>(i)];
        handler(this, kind);
    }
}

void TCustomDXSound::SetForm(TCustomForm* form) {
    mForm = form;
    mSubClass.reset();
    mSubClass = std::make_unique<TControlSubClass>(
        form, [this](TMessage& message, const TWndMethod& defaultProc) {
            FormWndProc(message, defaultProc);
        });
    if (mInitialized) {
        // Asking for the handle makes the window if there is none yet.
        const HWND window = form->Handle();
        const std::uint32_t level =
            (mNowOptions & soExclusive) != 0 ? DSSCL_EXCLUSIVE : DSSCL_NORMAL;
        mDSound->SetLastResult(mDSound->DeviceInterface()->SetCooperativeLevel(window, level));
    }
}

void TCustomDXSound::FormWndProc(TMessage& message, const TWndMethod& defaultProc) {
    if (message.Msg == WM_CREATE) {
        defaultProc(message);
        // The window is new: give the device its handle again.
        SetForm(mForm);
        return;
    }
    defaultProc(message);
}

} // namespace k58
