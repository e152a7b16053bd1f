// Helpers shared by the sound component tests: a form whose native window
// can be re-made, waves of a given size, and a recorder of notifications.
#pragma once

#include "platform/Controls.h"
#include "sound/DXSound.h"
#include "sound/Wave.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace k58::test {

// A form whose window handle is made on demand and announced with WM_CREATE
// through WindowProc, as the real form does.
class FakeForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
    HWND Handle() override {
        if (mHandle == nullptr)
            RecreateWindow();
        return mHandle;
    }
    void RecreateWindow() {
        // Handles are only compared, never followed.
        mHandle = reinterpret_cast<HWND>(mNextHandle++);
        TMessage message;
        message.Msg = WM_CREATE;
        Perform(message);
    }
    // Messages that reached the form's own handling.
    std::vector<std::uint32_t> handled;

protected:
    void WndProc(TMessage& message) override { handled.push_back(message.Msg); }

private:
    HWND mHandle = nullptr;
    std::uintptr_t mNextHandle = 0x100;
};

// The format record of 8-bit mono PCM at rate samples per second.
inline WAVEFORMATEX Pcm8(std::uint32_t rate = 22050) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = rate;
    format.nAvgBytesPerSec = rate;
    format.nBlockAlign = 1;
    format.wBitsPerSample = 8;
    return format;
}

// A PCM wave of size sample bytes (counting 0, 1, 2 ...) with a format record
// of formatSize bytes.
inline void FillWave(TWave& wave, std::int32_t size, std::uint32_t rate = 22050,
                     std::int32_t formatSize = 18) {
    const WAVEFORMATEX format = Pcm8(rate);
    wave.SetFormatSize(formatSize);
    std::memcpy(wave.MutableFormat(), &format, static_cast<std::size_t>(formatSize));
    wave.SetSize(size);
    for (std::int32_t i = 0; i < size; ++i)
        wave.MutableData()[i] = static_cast<std::uint8_t>(i);
}

// Records the notifications a dependant receives, as "name:kind".
class NotificationRecorder {
public:
    NotificationRecorder(std::vector<std::string>* log, std::string name)
        : mLog(log), mName(std::move(name)) {}
    TDXSoundNotifyEvent Handler() {
        return TDXSoundNotifyEvent::Of<&NotificationRecorder::Notify>(this);
    }
    void Notify(TCustomDXSound* sender, TDXSoundNotification kind) {
        (void)sender;
        static const char* const names[] = {"snDestroying", "snInitializing", "snInitialize",
                                            "snFinalize", "snRestore"};
        mLog->push_back(mName + ":" + names[static_cast<int>(kind)]);
    }

private:
    std::vector<std::string>* mLog;
    std::string mName;
};

} // namespace k58::test
