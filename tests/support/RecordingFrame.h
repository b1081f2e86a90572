// A frame that records what the document shows, for tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "document/Frame.h"

class RecordingFrame : public IQOBFrame {
public:
    void Log(uint32_t level, const std::string& text) override { logs.emplace_back(level, text); }
    int MessageBox(const std::string& text, unsigned type, const std::string& caption) override {
        messages.push_back(text);
        captions.push_back(caption);
        return answer;
    }
    void SetStatusText(const std::string& text) override { status = text; }
    void UpdateViews(int code, const std::string& hint) override { updates.emplace_back(code, hint); }
    void BeginWaitCursor() override { ++waits; }
    void EndWaitCursor() override { --waits; }
    void RequestMapEdit() override { ++mapEditRequests; }
    bool AskDeleteScope(DeleteScopePrompt& prompt) override {
        prompts.push_back(prompt);
        if (deleteScope < 0) return false;
        prompt.choice = deleteScope;
        return true;
    }

    std::vector<std::pair<uint32_t, std::string>> logs;
    std::vector<std::string> messages;
    std::vector<std::string> captions;
    std::vector<std::pair<int, std::string>> updates;
    std::string status;
    int waits = 0;
    int mapEditRequests = 0;
    int answer = IDOK;
    std::vector<DeleteScopePrompt> prompts;
    int deleteScope = 1;  // -1 cancels
};
