// The terminal as the document's frame. Standard output carries only what a command was asked to
// show, so the log window's lines go to standard error with the messages; every line also goes to
// the log file of the working directory. What runs and how far it got is one line on standard
// error, rewritten in place, when the progress line is on. The engine thread calls it during a
// command while the main thread waits; it is safe from any thread.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "document/Frame.h"
#include "document/LogSink.h"

class CCliFrame : public IQOBFrame {
public:
    explicit CCliFrame(const std::string& logFile);

    void Log(uint32_t level, const std::string& text) override;
    int MessageBox(const std::string& text, unsigned type, const std::string& caption) override;
    // The progress line's text and count (when the line is on).
    void SetStatusText(const std::string& text) override;
    void ShowProgress(int done, int total) override;
    void UpdateViews(int, const std::string&) override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void RequestMapEdit() override { m_bMapEditRequested = true; }
    // Shows the question and the choice made beforehand (SetDeleteScope); none made cancels.
    bool AskDeleteScope(DeleteScopePrompt& prompt) override;

    // The answer given to Yes/No questions (there is nobody to ask).
    void SetQuestionAnswer(int answer) { m_nAnswer = answer; }
    // The scope a deletion's question is answered with: 0 virtual only, 1 everything, -1 cancel.
    void SetDeleteScope(int choice) { m_nDeleteScope = choice; }
    bool MapEditRequested() const { return m_bMapEditRequested; }
    // The error lines logged so far (level LOG_ERROR), as logged.
    const std::vector<std::string>& ErrorLines() const { return m_errorLines; }
    int MessagesShown() const { return m_nMessages; }

private:
    mutable std::mutex m_mutex;
    CLogSink m_log;
    int m_nAnswer = IDNO;
    int m_nDeleteScope = -1;
    bool m_bMapEditRequested = false;
    int m_nMessages = 0;
    std::vector<std::string> m_errorLines;
    std::string m_lastLogged;  // the text of the last line logged
};

// Text in the system code page to the terminal's UTF-8, one line each.
void PrintOut(const std::string& codePageText);
void PrintErr(const std::string& codePageText);
// The progress line on standard error: "what runs (done of total)", redrawn after every line
// printed and wiped before standard output is written to. Off unless switched on.
void EnableProgressLine(bool on);
void SetProgressStatus(const std::string& codePageText);
// total 0 ends the count; the text stays until EndProgressLine.
void SetProgressCount(int done, int total);
// Wipes the line; the next status starts a new one.
void EndProgressLine();

// Where PrintOut and PrintErr write; standard output and error unless a test runs commands in
// its own process. Null restores the default.
void SetPrintStreams(std::FILE* out, std::FILE* err);
