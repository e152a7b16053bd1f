// What the drive-train model needs of the window it runs in: the cursor and
// the window's width, the captions and lever actions it updates, the beat
// timer, the sounds, the instrument redraw, message pumping, sleeping, the
// window's components for the shake, and a clock to reseed the shake's
// random draws. The main window implements it; tests script it.
#pragma once

#include <cstdint>
#include <string>

namespace k58 {

enum class TDriveLabel { EngineSpeed, Gear, RoadSpeed }; // Label1, Label2, Label5
enum class TLeverAction { AB, AR, AI, AII, AA, AN };

class TDriveHost {
public:
    virtual ~TDriveHost() = default;

    // The cursor's x in the window's client coordinates, read now.
    virtual std::int32_t CursorClientX() = 0;
    // The window's outer width, frame included.
    virtual std::int32_t WindowWidth() = 0;

    virtual void SetCaption(TDriveLabel label, const std::string& text) = 0;
    virtual void SetActionEnabled(TLeverAction action, bool enabled) = 0;

    // The beat timer's interval in milliseconds; a value written that is
    // negative is stored as 0.
    virtual std::uint32_t BeatInterval() = 0;
    virtual void SetBeatInterval(std::int32_t milliseconds) = 0;

    virtual void PlaySound(int item) = 0;
    virtual void SetSoundFrequency(int item, std::int32_t hertz) = 0;

    virtual void DrawInstruments() = 0;

    // Handles every waiting message (ticks and clicks run nested) and returns.
    virtual void PumpMessages() = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;

    // The window's owned components by index, in creation order.
    virtual int ComponentCount() = 0;
    virtual bool IsControl(int index) = 0;
    virtual std::int32_t ControlLeft(int index) = 0;
    virtual std::int32_t ControlTop(int index) = 0;
    virtual void SetControlLeft(int index, std::int32_t left) = 0;
    virtual void SetControlTop(int index, std::int32_t top) = 0;
    virtual std::int32_t WindowLeft() = 0;
    virtual std::int32_t WindowTop() = 0;
    virtual void SetWindowLeft(std::int32_t left) = 0;
    virtual void SetWindowTop(std::int32_t top) = 0;

    // A fast-changing clock reading (the low 32 bits of a high-resolution
    // counter) used to reseed the shake's random generator.
    virtual std::uint32_t ClockForSeed() = 0;
};

} // namespace k58
