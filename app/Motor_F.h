// The main window MotorForm: its components, built by the window definition
// in a fixed order, and the handlers that run the drive-train model, the
// instruments and the sound.
#pragma once

#include "app/XPManifest.h"
#include "platform/ActnList.h"
#include "platform/Buttons.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"
#include "platform/Timers.h"
#include "sim/DriveHost.h"
#include "sim/DriveState.h"

#include <memory>

namespace k58 {

class TDXSound;
class TDXWaveList;
class TDXTimer;
class TInstrumentPanel;
class TMotorDriveHost;

class TMotorForm : public TForm {
public:
    // Builds the window from its definition: creates the 28 components in
    // order, applies their settings, resolves references, runs the loaded
    // notifications, then FormCreate. An error in loading passes out (start-up
    // fails); an error in FormCreate is reported and the window still opens.
    explicit TMotorForm(TComponent* owner);
    ~TMotorForm() override;

    // Components, in creation order.
    TLabel* Label1 = nullptr;
    TLabel* Label2 = nullptr;
    TLabel* Label3 = nullptr;
    TLabel* Label4 = nullptr;
    TLabel* Label5 = nullptr;
    TLabel* Label6 = nullptr;
    TPaintBox* PaintBox1 = nullptr;
    TImage* Image1 = nullptr;
    TSpeedButton* SpeedButton1 = nullptr;
    TSpeedButton* SpeedButton2 = nullptr;
    TSpeedButton* SpeedButton3 = nullptr;
    TSpeedButton* SpeedButton4 = nullptr;
    TSpeedButton* SpeedButton5 = nullptr;
    TSpeedButton* SpeedButton6 = nullptr;
    TLabel* Label7 = nullptr;
    TDXWaveList* DXWaveList1 = nullptr;
    TDXSound* DXSound1 = nullptr;
    TTimer* Timer2 = nullptr;
    TDXTimer* Timer1 = nullptr;
    TXPManifest* XPManifest1 = nullptr;
    TActionList* ActionList1 = nullptr;
    TAction* AB = nullptr;
    TAction* AR = nullptr;
    TAction* AI = nullptr;
    TAction* AII = nullptr;
    TAction* AA = nullptr;
    TAction* AN = nullptr;

    // Handlers.
    void FormCreate(TObject* sender);
    void Timer2Timer(TObject* sender);
    void Timer1Timer(TObject* sender, std::int32_t lagCount);
    void ABExecute(TObject* sender);
    void ARExecute(TObject* sender);
    void AIExecute(TObject* sender);
    void AIIExecute(TObject* sender);
    void AAExecute(TObject* sender);
    void ANExecute(TObject* sender);

    const TDriveState& DriveState() const noexcept { return mDrive; }
    TDriveHost& DriveHost() noexcept;

    const char* ClassName() const noexcept override { return "TMotorForm"; }

private:
    void CreateComponents();
    void ResolveReferences();
    void LoadComponents();
    template <class T> T* Make(const char* name);
    TSpeedButton* CreateLeverButton(const char* name, int left);
    TAction* CreateLeverAction(const char* name, const char* caption,
                               void (TMotorForm::*handler)(TObject*));
    TAction* ActionFor(TLeverAction action) const;
    void PickLever(TLeverPosition position);
    // Redraws the instrument panel from the drive state and the cursor.
    void DrawPanel();

    friend class TMotorDriveHost;

    TDriveState mDrive;
    std::unique_ptr<TMotorDriveHost> mHost;
    std::unique_ptr<TInstrumentPanel> mPanel;
};

} // namespace k58
