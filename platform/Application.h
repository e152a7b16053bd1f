// The application object: the program's message loop with its idle slot,
// the message hooks and activation notices, and the error boxes.
//
// One TApplication exists while the program runs, made first in main;
// k58::Application points to it. Run() dispatches waiting events and, when
// none wait, runs the idle step, which calls OnIdle. Each platform implements
// it over its own event loop in its Application.cpp.
#pragma once

#include "platform/Classes.h"
#include "platform/Controls.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace k58 {

// Notices the application posts to itself when it becomes active or
// inactive; its message hooks see them when they are dispatched.
constexpr std::uint32_t CM_ACTIVATE = 0xB000;
constexpr std::uint32_t CM_DEACTIVATE = 0xB001;

// The idle handler: Done comes in true; setting it false asks for another
// idle step without waiting for an event.
using TIdleEvent = std::function<void(TObject* sender, bool& done)>;
// A message hook: returning true ends the handling of the message.
using THookHandler = std::function<bool(TMessage& message)>;
// Identifies an added hook for UnhookMainWindow.
using THookId = std::uint64_t;

class TApplication : public TComponent {
public:
    // Starts the platform's user-interface toolkit for the program, with the
    // program's command line, then the application object.
    TApplication(int& argc, char** argv);
    // The application object on a toolkit that is already running (tests).
    // Both set k58::Application and install HandleException as the reporter
    // of handler exceptions.
    TApplication();
    ~TApplication() override;

    // The program's icon (task bar, window list) from an .ico file, or from
    // the PNG copy where the .ico yields nothing.
    void SetIcon(std::span<const std::uint8_t> icoFile, std::span<const std::uint8_t> pngFile);

    // The application title: the caption of the error boxes.
    void SetTitle(const std::string& title);
    const std::string& Title() const noexcept { return mTitle; }

    // True from creation; follows the platform's report of whether the
    // application is the active one.
    bool Active() const noexcept { return mActive; }
    // Takes the platform's report that the application has become active or
    // inactive: sets the flag and posts CM_ACTIVATE or CM_DEACTIVATE.
    void SetActive(bool active);

    // The single idle slot. Written directly by its user; nothing chains.
    TIdleEvent OnIdle;

    // Adds a hook called with every message that reaches the application's
    // own window, in the order added, before the application's own handling.
    // Returns the id that removes it again.
    THookId HookMainWindow(THookHandler hook);
    // Removes the hook with this id; unknown ids are ignored. Safe to call
    // from within a hook.
    void UnhookMainWindow(THookId id);

    // Posts a message to the application's own window; it is dispatched, to
    // the hooks and then the application, by the event loop.
    void PostMessage(std::uint32_t msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);

    // Handles every waiting event (timers, paint, mouse, keyboard) and
    // returns when none is left. Never runs the idle step, never waits.
    void ProcessMessages();

    // The message loop: dispatch waiting events; when none were waiting, run
    // the idle step (Done := true, OnIdle); if Done stayed true, block until
    // an event arrives. Runs until Terminate() is called.
    void Run();
    // One idle step as Run takes it: Done := true, call OnIdle (an exception
    // that escapes is reported), and return Done.
    bool IdleStep();
    void Terminate();
    bool Terminated() const noexcept { return mTerminated; }

    // Lets the idle handler that sets Done false say how long the loop may
    // wait for an event before the next idle step: until the millisecond
    // clock (timeGetTime) reads clockValue. A value the clock has already
    // read asks for the next step at once. Applies to the current idle step
    // only; without it the loop waits at most 1 ms.
    void SetIdleWakeTime(std::uint32_t clockValue) noexcept;
    // The wake time given during the present or last idle step, if any.
    bool HasIdleWakeTime() const noexcept { return mHasIdleWakeTime; }
    std::uint32_t IdleWakeTime() const noexcept { return mIdleWakeTime; }

    // Reports an exception from a handler in a stop-icon message box with an
    // OK button, captioned with the title. While one such box is open,
    // further errors open no more boxes.
    void HandleException(const std::exception& error);
    // The text HandleException shows: the message, with "." appended when
    // its last character sorts after ".".
    static std::string ExceptionText(const std::exception& error);

    // Reports an exception that escaped the creation of the main window in
    // a modal "Application Error" box. address is a code address in the
    // program (the place that caught the error when nullptr); it is shown
    // relative to the program's load address.
    static void ShowStartupError(const std::exception& error, const void* address = nullptr);
    // The text of that box: "Exception <class> in module <file> at
    // <address>.\r\n<message>[.]\r\n".
    static std::string StartupErrorText(const std::exception& error, const void* address);
    // The class name reported for an exception: Exception::ClassName() for
    // the system's own, the demangled type name for any other.
    static std::string ExceptionClassName(const std::exception& error);

    const char* ClassName() const noexcept override { return "TApplication"; }

    struct TImpl;

private:
    friend struct TImpl;
    // Makes this the application object and its reporter the handlers'.
    void Register();
    void Unregister();
    void Start();
    // Hands a message that reached the application's own window to the hooks.
    void Dispatch(TMessage& message);
    bool WaitForEvent(bool idleWantsMore);
    // The platform's modal stop-icon box with an OK button.
    static void ShowErrorBox(const std::string& caption, const std::string& text);

    // The hooks come first: the platform's parts may pass messages to them
    // while they are made.
    std::vector<std::pair<THookId, THookHandler>> mHooks;
    THookId mNextHookId = 1;
    std::unique_ptr<TImpl> mImpl;
    std::string mTitle;
    bool mActive = true;
    bool mTerminated = false;
    bool mErrorBoxOpen = false;
    bool mHasIdleWakeTime = false;
    std::uint32_t mIdleWakeTime = 0;
};

// The one application object while it exists, else nullptr.
extern TApplication* Application;

} // namespace k58
