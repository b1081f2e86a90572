// A frame that shows and keeps nothing, from any thread: the benchmarks measure the work, not
// the log or the window.
#pragma once

#include <string>

#include "document/Frame.h"

class QuietFrame : public IQOBFrame {
public:
    void Log(uint32_t, const std::string&) override {}
    int MessageBox(const std::string&, unsigned, const std::string&) override { return IDYES; }
    void SetStatusText(const std::string&) override {}
    void UpdateViews(int, const std::string&) override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void RequestMapEdit() override {}
    bool AskDeleteScope(DeleteScopePrompt&) override { return false; }
};
