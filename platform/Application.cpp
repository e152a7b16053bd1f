// The application object's parts that are the same on every platform: the
// idle step, the message hooks and activation notices, and the error boxes'
// texts. Each platform's Application.cpp has the event loop and the boxes.
#include "platform/Application.h"

#include "platform/Handlers.h"
#include "platform/ProgramModule.h"
#include "platform/SysUtils.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <typeinfo>
#include <utility>
#include <vector>

namespace k58 {

TApplication* Application = nullptr;

namespace {

void ReportThroughApplication(const std::exception& error) {
    if (Application != nullptr) {
        Application->HandleException(error);
        return;
    }
    std::fprintf(stderr, "%s\n", error.what());
}

} // namespace

void TApplication::Register() {
    Application = this;
    SetExceptionReporter(&ReportThroughApplication);
}

void TApplication::Unregister() {
    if (Application == this) {
        Application = nullptr;
        SetExceptionReporter(nullptr);
    }
}

void TApplication::SetTitle(const std::string& title) {
    // Kept here only: the error boxes take it as their caption, and the task
    // bar shows the main window's own caption anyway.
    mTitle = title;
}

void TApplication::SetActive(bool active) {
    // Every report posts a notice, also one that repeats the present state:
    // the first activation after start-up restarts the idle timer's timing.
    mActive = active;
    PostMessage(active ? CM_ACTIVATE : CM_DEACTIVATE);
}

THookId TApplication::HookMainWindow(THookHandler hook) {
    const THookId id = mNextHookId++;
    mHooks.emplace_back(id, std::move(hook));
    return id;
}

void TApplication::UnhookMainWindow(THookId id) {
    for (auto it = mHooks.begin(); it != mHooks.end(); ++it)
        if (it->first == id) {
            mHooks.erase(it);
            return;
        }
}

void TApplication::Dispatch(TMessage& message) {
    RunHandler([&] {
        // A hook may add or remove hooks, so walk a snapshot of the ids and
        // skip any removed on the way.
        std::vector<THookId> ids;
        ids.reserve(mHooks.size());
        for (const auto& entry : mHooks)
            ids.push_back(entry.first);
        for (THookId id : ids) {
            THookHandler hook;
            for (const auto& entry : mHooks)
                if (entry.first == id)
                    hook = entry.second;
            if (hook && hook(message))
                return;
        }
        // The application itself does nothing more with its notices.
    });
}

void TApplication::SetIdleWakeTime(std::uint32_t clockValue) noexcept {
    mHasIdleWakeTime = true;
    mIdleWakeTime = clockValue;
}

bool TApplication::IdleStep() {
    bool done = true;
    mHasIdleWakeTime = false;
    if (OnIdle) {
        // A copy, because the handler may clear or replace the slot.
        const TIdleEvent handler = OnIdle;
        RunHandler([&] { handler(this, done); });
    }
    return done;
}

void TApplication::HandleException(const std::exception& error) {
    // An error raised while an error box is open (a timer handler failing
    // again and again, say) opens no further box.
    if (mErrorBoxOpen)
        return;
    mErrorBoxOpen = true;
    try {
        ShowErrorBox(mTitle, ExceptionText(error));
    } catch (...) {
        std::fprintf(stderr, "%s\n", error.what());
    }
    mErrorBoxOpen = false;
}

__attribute__((noinline)) void TApplication::ShowStartupError(const std::exception& error,
                                                              const void* address) {
    // C++ keeps no record of where an exception was raised; the nearest
    // honest code address is the place in the program that caught it.
    if (address == nullptr)
        address = __builtin_return_address(0);
    const std::string text = StartupErrorText(error, address);
    try {
        ShowErrorBox("Application Error", text);
    } catch (...) {
        std::fprintf(stderr, "%s", text.c_str());
    }
}

std::string TApplication::ExceptionText(const std::exception& error) {
    std::string text = error.what();
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return text;
}

std::string TApplication::ExceptionClassName(const std::exception& error) {
    if (const auto* own = dynamic_cast<const Exception*>(&error))
        return own->ClassName();
    const char* mangled = typeid(error).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = (status == 0 && demangled != nullptr) ? demangled : mangled;
    std::free(demangled);
    return name;
}

std::string TApplication::StartupErrorText(const std::exception& error, const void* address) {
    const std::string message = error.what();
    const std::string end = (!message.empty() && message.back() == '.') ? "" : ".";
    char offset[32];
    std::snprintf(offset, sizeof offset, "%08llX",
                  static_cast<unsigned long long>(ModuleOffset(address)));
    return Format("Exception %s in module %s at %s.\r\n%s%s\r\n",
                  {ExceptionClassName(error), ProgramFileName(), offset, message, end});
}

} // namespace k58
