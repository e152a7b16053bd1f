#include "app/MotorDriveHost.h"

#include "app/Motor_F.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/Cursor.h"
#include "sound/DXSound.h"
#include "sound/DXWaveList.h"
#include "timer/DXTimer.h"

namespace k58 {

std::int32_t TMotorDriveHost::CursorClientX() {
    return mForm.ScreenToClient(Mouse_CursorPos()).X;
}

std::int32_t TMotorDriveHost::WindowWidth() {
    return mForm.Width();
}

void TMotorDriveHost::SetCaption(TDriveLabel label, const std::string& text) {
    switch (label) {
    case TDriveLabel::EngineSpeed:
        mForm.Label1->SetCaption(text);
        break;
    case TDriveLabel::Gear:
        mForm.Label2->SetCaption(text);
        break;
    case TDriveLabel::RoadSpeed:
        mForm.Label5->SetCaption(text);
        break;
    }
}

void TMotorDriveHost::SetActionEnabled(TLeverAction action, bool enabled) {
    mForm.ActionFor(action)->SetEnabled(enabled);
}

std::uint32_t TMotorDriveHost::BeatInterval() {
    return mForm.Timer1->Interval();
}

void TMotorDriveHost::SetBeatInterval(std::int32_t milliseconds) {
    // The timer takes the request as 32 bits and stores a negative one as 0.
    mForm.Timer1->SetInterval(static_cast<std::uint32_t>(milliseconds));
}

void TMotorDriveHost::PlaySound(int item) {
    mForm.DXWaveList1->Items()->Items(item)->Play(false);
}

void TMotorDriveHost::SetSoundFrequency(int item, std::int32_t hertz) {
    mForm.DXWaveList1->Items()->Items(item)->SetFrequency(hertz);
}

void TMotorDriveHost::DrawInstruments() {
    mForm.DrawPanel();
}

void TMotorDriveHost::PumpMessages() {
    Application->ProcessMessages();
}

void TMotorDriveHost::Sleep(std::uint32_t milliseconds) {
    k58::Sleep(milliseconds);
}

int TMotorDriveHost::ComponentCount() {
    return mForm.TComponent::ComponentCount();
}

TControl* TMotorDriveHost::Control(int index) {
    return dynamic_cast<TControl*>(mForm.Components(index));
}

bool TMotorDriveHost::IsControl(int index) {
    return mForm.Components(index)->IsControl();
}

std::int32_t TMotorDriveHost::ControlLeft(int index) {
    return Control(index)->Left();
}
std::int32_t TMotorDriveHost::ControlTop(int index) {
    return Control(index)->Top();
}
void TMotorDriveHost::SetControlLeft(int index, std::int32_t left) {
    Control(index)->SetLeft(left);
}
void TMotorDriveHost::SetControlTop(int index, std::int32_t top) {
    Control(index)->SetTop(top);
}

std::int32_t TMotorDriveHost::WindowLeft() {
    return mForm.Left();
}
std::int32_t TMotorDriveHost::WindowTop() {
    return mForm.Top();
}
void TMotorDriveHost::SetWindowLeft(std::int32_t left) {
    mForm.SetLeft(left);
}
void TMotorDriveHost::SetWindowTop(std::int32_t top) {
    mForm.SetTop(top);
}

std::uint32_t TMotorDriveHost::ClockForSeed() {
    return PerformanceCounterLow32();
}

} // namespace k58
