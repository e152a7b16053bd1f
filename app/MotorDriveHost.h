// Connects the drive-train model to the main window: the cursor, captions,
// lever actions, beat timer, sounds, instruments, pumping and the window's
// components, as the model asks for them.
#pragma once

#include "sim/DriveHost.h"

namespace k58 {

class TControl;
class TMotorForm;

class TMotorDriveHost final : public TDriveHost {
public:
    explicit TMotorDriveHost(TMotorForm& form) : mForm(form) {}

    std::int32_t CursorClientX() override;
    std::int32_t WindowWidth() override;
    void SetCaption(TDriveLabel label, const std::string& text) override;
    void SetActionEnabled(TLeverAction action, bool enabled) override;
    std::uint32_t BeatInterval() override;
    void SetBeatInterval(std::int32_t milliseconds) override;
    void PlaySound(int item) override;
    void SetSoundFrequency(int item, std::int32_t hertz) override;
    void DrawInstruments() override;
    void PumpMessages() override;
    void Sleep(std::uint32_t milliseconds) override;
    int ComponentCount() override;
    bool IsControl(int index) override;
    std::int32_t ControlLeft(int index) override;
    std::int32_t ControlTop(int index) override;
    void SetControlLeft(int index, std::int32_t left) override;
    void SetControlTop(int index, std::int32_t top) override;
    std::int32_t WindowLeft() override;
    std::int32_t WindowTop() override;
    void SetWindowLeft(std::int32_t left) override;
    void SetWindowTop(std::int32_t top) override;
    std::uint32_t ClockForSeed() override;

private:
    TControl* Control(int index);

    TMotorForm& mForm;
};

} // namespace k58
