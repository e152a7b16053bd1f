#include "platform/Handlers.h"

#include <atomic>
#include <cstdio>

namespace k58 {
namespace {
std::atomic<TExceptionReporter> gReporter{nullptr};
} // namespace

void SetExceptionReporter(TExceptionReporter reporter) noexcept {
    gReporter = reporter;
}

void ReportHandlerException(const std::exception& error) noexcept {
    if (TExceptionReporter reporter = gReporter.load()) {
        reporter(error);
        return;
    }
    std::fprintf(stderr, "%s\n", error.what());
}

} // namespace k58
