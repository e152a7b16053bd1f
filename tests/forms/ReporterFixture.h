// Collects exceptions that escape event handlers instead of printing them.
#pragma once

#include "platform/Handlers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace k58::test {

inline std::vector<std::string>& ReportedMessages() {
    static std::vector<std::string> messages;
    return messages;
}

class ReportingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ReportedMessages().clear();
        SetExceptionReporter(
            [](const std::exception& error) { ReportedMessages().emplace_back(error.what()); });
    }
    void TearDown() override { SetExceptionReporter(nullptr); }
};

} // namespace k58::test
