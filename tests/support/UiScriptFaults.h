#pragma once
// Collects the faults of user-interface scripts instead of aborting, for tests that
// provoke them on purpose. Declare it before the script: the script reports unused
// answers when it is destroyed.

#include <string>
#include <vector>

#include "platform/DialogHost.h"

class ScopedFaultLog {
public:
    ScopedFaultLog() {
        m_previous = CUiScript::SetFaultReporter([this](const std::string& m) { faults.push_back(m); });
    }
    ~ScopedFaultLog() { CUiScript::SetFaultReporter(m_previous); }
    ScopedFaultLog(const ScopedFaultLog&) = delete;
    ScopedFaultLog& operator=(const ScopedFaultLog&) = delete;

    std::vector<std::string> faults;

private:
    CUiScript::FaultReporter m_previous;
};
