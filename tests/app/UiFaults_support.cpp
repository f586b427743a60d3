// In these tests an unexpected box, dialog or chooser fails the test that showed it
// instead of ending the whole program.

#include <gtest/gtest.h>

#include "platform/DialogHost.h"

namespace {
const bool installed = [] {
    CUiScript::SetFaultReporter([](const std::string& message) { ADD_FAILURE() << message; });
    return true;
}();
}  // namespace
