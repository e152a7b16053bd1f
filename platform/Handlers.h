// Runs event handlers so that no exception ever crosses the toolkit's event
// dispatch: an exception that escapes a handler goes to the reporter that the
// application object installs (a message box), and the program goes on.
#pragma once

#include <exception>
#include <stdexcept>
#include <utility>

namespace k58 {

using TExceptionReporter = void (*)(const std::exception& error);

// Installs the reporter; nullptr restores the default, which writes the
// message to standard error.
void SetExceptionReporter(TExceptionReporter reporter) noexcept;
void ReportHandlerException(const std::exception& error) noexcept;

template <class Handler> void RunHandler(Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        ReportHandlerException(error);
    } catch (...) {
        ReportHandlerException(std::runtime_error("Unknown exception"));
    }
}

} // namespace k58
