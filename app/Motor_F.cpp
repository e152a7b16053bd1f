#include "app/Motor_F.h"

#include "app/MotorDriveHost.h"
#include "app/PanelBinding.h"
#include "assets/Assets.h"
#include "platform/Application.h"
#include "platform/Handlers.h"
#include "sim/LeverActions.h"
#include "sim/SimulationTick.h"
#include "sound/DXSound.h"
#include "sound/DXWaveList.h"
#include "sound/SoundBank.h"
#include "timer/DXTimer.h"

#include <algorithm>
#include <span>
#include <vector>

namespace k58 {
namespace {

// Window settings.
constexpr int kFormLeft = 273;
constexpr int kFormTop = 229;
constexpr int kClientWidth = 569;
constexpr int kClientHeight = 152;

constexpr int kLeverButtonTop = 32;
constexpr int kLeverButtonSize = 41;
constexpr int kLeverButtonGroup = 1;

constexpr std::uint32_t kTickInterval = 10;
constexpr std::uint32_t kBeatTimerInterval = 1000;

const TFontData kGearFont{"Arial", 23, false, TFontCharset::CentralEuropean};
const TFontData kLeverFont{"Times New Roman", 21, true, TFontCharset::CentralEuropean};

// Looped and MaxPlayingCount of the four sounds, by item.
constexpr bool kItemLooped[] = {false, true, true, false};

// A picture as the window definition stores it: the class name as a
// one-byte-length string, the file's length (32-bit little-endian), the file.
std::vector<std::uint8_t> PictureData(const std::string& className,
                                      std::span<const std::uint8_t> file) {
    const auto size = static_cast<std::uint32_t>(file.size());
    std::vector<std::uint8_t> data(1 + className.size() + 4 + file.size());
    auto out = data.begin();
    *out++ = static_cast<std::uint8_t>(className.size());
    out = std::copy(className.begin(), className.end(), out);
    for (int shift = 0; shift < 32; shift += 8)
        *out++ = static_cast<std::uint8_t>(size >> shift);
    std::copy(file.begin(), file.end(), out);
    return data;
}

} // namespace

TMotorForm::TMotorForm(TComponent* owner)
    : TForm(owner), mHost(std::make_unique<TMotorDriveHost>(*this)) {
    SetName("MotorForm");
    BeginLoading();
    CreateComponents();
    ResolveReferences();
    LoadComponents();
    RunHandler([this] { FormCreate(this); });
}

TMotorForm::~TMotorForm() = default;

TDriveHost& TMotorForm::DriveHost() noexcept {
    return *mHost;
}

template <class T> T* TMotorForm::Make(const char* name) {
    // A control goes onto the client area of its owner, this form.
    auto* component = new T(this);
    component->BeginLoading();
    component->SetName(name);
    return component;
}

TSpeedButton* TMotorForm::CreateLeverButton(const char* name, int left) {
    auto* button = Make<TSpeedButton>(name);
    button->SetBounds(left, kLeverButtonTop, kLeverButtonSize, kLeverButtonSize);
    button->SetGroupIndex(kLeverButtonGroup);
    button->SetAllowAllUp(false);
    button->SetFont(kLeverFont);
    return button;
}

TAction* TMotorForm::CreateLeverAction(const char* name, const char* caption,
                                       void (TMotorForm::*handler)(TObject*)) {
    auto* action = Make<TAction>(name);
    action->SetCaption(caption);
    action->SetGroupIndex(kLeverButtonGroup);
    action->OnExecute = [this, handler](TObject* sender) { (this->*handler)(sender); };
    ActionList1->Add(action);
    return action;
}

void TMotorForm::CreateComponents() {
    SetCaption("K-58");
    SetClientSize(kClientWidth, kClientHeight);
    SetLeft(kFormLeft);
    SetTop(kFormTop);
    SetIcon(assets::Find("k58.ico"), assets::Find("k58.png"));

    auto label = [this](const char* name, int left, int top, const char* caption) {
        auto* l = Make<TLabel>(name);
        l->SetLeft(left);
        l->SetTop(top);
        l->SetHeight(13);
        l->SetCaption(caption);
        return l;
    };
    Label1 = label("Label1", 112, 56, "Label1");
    Label2 = label("Label2", 112, 88, "1");
    Label2->SetFont(kGearFont);
    Label2->SetHeight(26);
    Label3 = label("Label3", 16, 56, "Otáčky motoru:");
    Label4 = label("Label4", 16, 96, "Převodový stupeň");
    Label5 = label("Label5", 112, 40, "Label1");
    Label6 = label("Label6", 16, 40, "Rychlost:");

    PaintBox1 = Make<TPaintBox>("PaintBox1");
    PaintBox1->SetBounds(184, 24, 105, 105);

    Image1 = Make<TImage>("Image1");
    Image1->SetBounds(264, 120, 25, 17);
    Image1->SetVisible(false);
    Image1->SetPictureData(PictureData("TBitmap", assets::Find("dial.bmp")));

    SpeedButton1 = CreateLeverButton("SpeedButton1", 312);
    SpeedButton2 = CreateLeverButton("SpeedButton2", 352);
    SpeedButton3 = CreateLeverButton("SpeedButton3", 392);
    SpeedButton4 = CreateLeverButton("SpeedButton4", 432);
    SpeedButton5 = CreateLeverButton("SpeedButton5", 472);
    SpeedButton6 = CreateLeverButton("SpeedButton6", 512);

    Label7 = label("Label7", 312, 104,
                   "Program se ovládá myší. Pohybem od středu\r\nformuláře doprava "
                   "zrychlujete, doleva zpomalujete.");
    Label7->SetAutoSize(false);
    Label7->SetWordWrap(true);
    Label7->SetWidth(256);
    Label7->SetHeight(33);

    DXWaveList1 = Make<TDXWaveList>("DXWaveList1");
    for (int i = 0; i < SoundBankCount; ++i) {
        TWaveCollectionItem* item = DXWaveList1->Items()->Add();
        item->SetLooped(kItemLooped[i]);
        item->SetMaxPlayingCount(0);
        TWave wave;
        LoadSoundBankWave(i, wave);
        item->SetWave(wave);
    }

    DXSound1 = Make<TDXSound>("DXSound1");
    DXSound1->SetAutoInitialize(true);

    // DXInput1, the game-input component, is left out: nothing reads it.
    Timer2 = Make<TTimer>("Timer2");
    Timer2->SetInterval(kTickInterval);
    Timer2->OnTimer = [this](TObject* sender) { Timer2Timer(sender); };

    Timer1 = Make<TDXTimer>("Timer1");
    Timer1->SetActiveOnly(true);
    Timer1->SetEnabled(true);
    Timer1->SetInterval(kBeatTimerInterval);
    Timer1->OnTimer = [this](TObject* sender, std::int32_t lag) { Timer1Timer(sender, lag); };

    XPManifest1 = Make<TXPManifest>("XPManifest1");
    ActionList1 = Make<TActionList>("ActionList1");
    AB = CreateLeverAction("AB", "B", &TMotorForm::ABExecute);
    AR = CreateLeverAction("AR", "R", &TMotorForm::ARExecute);
    AI = CreateLeverAction("AI", "I", &TMotorForm::AIExecute);
    AII = CreateLeverAction("AII", "II", &TMotorForm::AIIExecute);
    AA = CreateLeverAction("AA", "A", &TMotorForm::AAExecute);
    AN = CreateLeverAction("AN", "N", &TMotorForm::ANExecute);
    AN->SetChecked(true);
}

void TMotorForm::ResolveReferences() {
    SpeedButton1->SetAction(AB);
    SpeedButton2->SetAction(AR);
    SpeedButton3->SetAction(AI);
    SpeedButton4->SetAction(AII);
    SpeedButton5->SetAction(AA);
    SpeedButton6->SetAction(AN);
    DXWaveList1->SetDXSound(DXSound1);
}

void TMotorForm::LoadComponents() {
    // The form first, then its components in creation order; the sound
    // device opens and the timers start here.
    Loaded();
    for (int i = 0; i < TComponent::ComponentCount(); ++i)
        Components(i)->Loaded();
    mPanel = std::make_unique<TInstrumentPanel>(*this);
}

TAction* TMotorForm::ActionFor(TLeverAction action) const {
    switch (action) {
    case TLeverAction::AB:
        return AB;
    case TLeverAction::AR:
        return AR;
    case TLeverAction::AI:
        return AI;
    case TLeverAction::AII:
        return AII;
    case TLeverAction::AA:
        return AA;
    case TLeverAction::AN:
        return AN;
    }
    return nullptr;
}

void TMotorForm::FormCreate(TObject*) {
    DXWaveList1->Items()->Initialize(DXSound1);
    StartDriveTrain(mDrive, *mHost);
}

void TMotorForm::Timer2Timer(TObject*) {
    SimulationTick(mDrive, *mHost);
}

void TMotorForm::Timer1Timer(TObject*, std::int32_t) {
    mHost->PlaySound(siEngineBeat);
}

void TMotorForm::PickLever(TLeverPosition position) {
    k58::PickLever(mDrive, *mHost, position);
}

void TMotorForm::ABExecute(TObject*) {
    PickLever(lpB);
}
void TMotorForm::ARExecute(TObject*) {
    PickLever(lpR);
}
void TMotorForm::AIExecute(TObject*) {
    PickLever(lpI);
}
void TMotorForm::AIIExecute(TObject*) {
    PickLever(lpII);
}
void TMotorForm::AAExecute(TObject*) {
    PickLever(lpA);
}
void TMotorForm::ANExecute(TObject*) {
    PickLever(lpN);
}

} // namespace k58
