#include "platform/Application.h"

#include "platform/Clock.h"
#include "platform/Forms.h"
#include "platform/Handlers.h"

#include "platform/win32/Native.h"

#include <timeapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace k58 {
namespace {

// Rounds of dispatch ProcessMessages runs at most, so that a message that
// is posted again every time it is handled cannot hold a pumping handler
// forever.
constexpr int MaxPumpRounds = 10000;
// How long the loop may wait when the idle handler wants another step and
// gave no wake time.
constexpr DWORD DefaultIdleWaitMs = 1;
// The system timer resolution the program asks for, so that window timers
// and waits keep to the millisecond instead of the default 15.6 ms.
constexpr UINT TimerResolutionMs = 1;

LRESULT CALLBACK ApplicationProcedure(::HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// From here on the system loads the libraries it loads for the program (the
// ones it imports on first use, winmm and uxtheme, included) from the system
// folder only, never from beside the program, where anyone could have put a
// library of that name. Looked up: Windows 7 without its loader update
// (KB2533623) lacks the call.
void LoadLibrariesOnlyFromSystemFolder() {
    using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
    const auto set = reinterpret_cast<TSetDefaultDllDirectories>(reinterpret_cast<void*>(
        ::GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (set != nullptr)
        set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Takes one waiting message off the queue and dispatches it; false when none
// was waiting. A WM_QUIT is put back for the loop that owns it.
bool DispatchOne(bool& quit) {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        return false;
    if (message.message == WM_QUIT) {
        quit = true;
        return true;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
    return true;
}

} // namespace

struct TApplication::TImpl {
    explicit TImpl(TApplication& owner) {
        LoadLibrariesOnlyFromSystemFolder();
        // The application's own window receives the messages posted to the
        // application: a message-only window, never shown (the main window
        // reports the activation changes).
        window =
            CreateWindowExW(0, WindowClass(L"TApplication", &ApplicationProcedure, nullptr), L"", 0,
                            0, 0, 0, 0, HWND_MESSAGE, nullptr, ProgramInstance(), nullptr);
        // Its messages reach the hooks once the application object is there.
        if (window != nullptr)
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&owner));
        timeBeginPeriod(TimerResolutionMs);
    }
    ~TImpl() {
        timeEndPeriod(TimerResolutionMs);
        if (window != nullptr) {
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            DestroyWindow(window);
        }
    }

    static void Dispatch(TApplication& app, TMessage& message) { app.Dispatch(message); }

    ::HWND window = nullptr;
};

namespace {

LRESULT CALLBACK ApplicationProcedure(::HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* app = reinterpret_cast<TApplication*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (app == nullptr)
        return DefWindowProcW(window, msg, wParam, lParam);
    // Every message that reaches the application's window goes to its hooks
    // first; the notices it posts to itself are all it handles.
    TMessage message;
    message.Msg = msg;
    message.WParam = wParam;
    message.LParam = lParam;
    TApplication::TImpl::Dispatch(*app, message);
    if (msg >= CM_ACTIVATE && msg <= CM_DEACTIVATE)
        return 0;
    return DefWindowProcW(window, msg, wParam, lParam);
}

} // namespace

TApplication::TApplication(int& argc, char** argv)
    : TComponent(nullptr), mImpl(std::make_unique<TImpl>(*this)) {
    (void)argc; // the program takes no command line
    (void)argv;
    Start();
}

TApplication::TApplication() : TComponent(nullptr), mImpl(std::make_unique<TImpl>(*this)) {
    Start();
}

void TApplication::Start() {
    Register();
}

TApplication::~TApplication() {
    // Owned components (the main window) go first, while the loop's
    // resources they unhook from are still here.
    while (ComponentCount() > 0)
        delete Components(ComponentCount() - 1);
    Unregister();
}

void TApplication::SetIcon(std::span<const std::uint8_t> icoFile,
                           std::span<const std::uint8_t> pngFile) {
    // The task bar shows the main window's own icon; the program file
    // carries the same icon as a resource.
    (void)icoFile;
    (void)pngFile;
}

void TApplication::PostMessage(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
    ::PostMessageW(mImpl->window, msg, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

void TApplication::ProcessMessages() {
    K58_TRACE_TIMING_EVENT('P');
    bool quit = false;
    for (int round = 0; round < MaxPumpRounds && !quit; ++round)
        if (!DispatchOne(quit))
            break;
    if (quit)
        PostQuitMessage(0);
    K58_TRACE_TIMING_EVENT('p');
}

void TApplication::Run() {
    while (!mTerminated) {
        bool quit = false;
        if (DispatchOne(quit)) {
            if (quit)
                mTerminated = true;
            continue;
        }
        const bool done = IdleStep();
        if (!mTerminated)
            WaitForEvent(!done);
    }
}

bool TApplication::WaitForEvent(bool idleWantsMore) {
    DWORD timeout = INFINITE;
    if (idleWantsMore) {
        // The idle handler wants another step: wait for a message, but no
        // longer than until the clock value it named (or a millisecond),
        // instead of polling without pause.
        timeout = DefaultIdleWaitMs;
        if (mHasIdleWakeTime) {
            const auto left = ClockMoment(mIdleWakeTime) - std::chrono::steady_clock::now();
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            if (ms <= 0)
                return false;
            timeout = static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
        }
    }
    const DWORD result =
        MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return result == WAIT_OBJECT_0;
}

void TApplication::Terminate() {
    mTerminated = true;
    // Wakes a loop that waits for a message.
    ::PostMessageW(mImpl->window, WM_NULL, 0, 0);
}

void TApplication::ShowErrorBox(const std::string& caption, const std::string& text) {
    // Owned by the program's form once its window exists, so the box stays
    // in front of the form it disables: the form cannot come over it and
    // look hung. Before that, a task-modal box: the program's windows take
    // no input while it is open. Its own loop still dispatches their
    // messages.
    ::HWND owner = nullptr;
    for (int i = 0; Application != nullptr && i < Application->ComponentCount(); ++i)
        if (auto* form = dynamic_cast<TForm*>(Application->Components(i));
            form != nullptr && form->HandleAllocated()) {
            owner = form->Native().window;
            break;
        }
    std::wstring shown = Utf16(text);
    while (!shown.empty() && (shown.back() == L'\n' || shown.back() == L'\r'))
        shown.pop_back();
    MessageBoxW(owner, shown.c_str(), Utf16(caption).c_str(),
                MB_OK | MB_ICONSTOP | (owner != nullptr ? MB_APPLMODAL : MB_TASKMODAL));
}

} // namespace k58
