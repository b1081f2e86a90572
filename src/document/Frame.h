// What the document needs from the window it works in. The GUI's main frame, the command-line front
// end and the tests' recorder implement it, so the document never depends on a toolkit.
#pragma once

#include <cstdint>
#include <string>

// Log levels: below LOG_INFO the line goes to the log file only.
constexpr uint32_t LOG_DETAIL = 1;
constexpr uint32_t LOG_INFO = 2;
constexpr uint32_t LOG_WARNING = 3;
constexpr uint32_t LOG_ERROR = 4;

// Document-to-view update codes.
constexpr int UPDATE_ROW_ADDED = 10;
constexpr int UPDATE_ROW_REFRESH = 11;
constexpr int UPDATE_ROW_TEXT = 12;

// Message box buttons and answers, numbered as the platform's own.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_YESNOCANCEL = 0x3;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// A deletion's question and its two scopes, as the Delete Extension dialog shows them; the
// window's dialog and the command line ask the same (MakeDeleteScopePrompt builds it).
struct DeleteScopePrompt {
    std::string number;
    int type = 0;              // the extension's type code; 2 is a group
    std::string question;      // 44212
    std::string virtualOnly;   // the first choice: delete where the number is a virtual extension
    std::string everything;    // the second: 44210 for a group, 44211 otherwise
    int choice = 0;            // 0 virtual only, 1 everything; the answer comes back here
};

class IQOBFrame {
public:
    virtual ~IQOBFrame() = default;

    // One log request; text in the system code page. Never fails towards the caller.
    virtual void Log(uint32_t level, const std::string& text) = 0;
    // A modal message; returns the answer (IDOK, IDYES, IDNO, ...). Caption "QOB" unless given.
    virtual int MessageBox(const std::string& text, unsigned type = MB_OK, const std::string& caption = "QOB") = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Tells the views about a change of the merged list; `hint` names the row (its number) or is empty.
    virtual void UpdateViews(int code, const std::string& hint) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    // The configuration could not be used as it is: open the map table editor when next idle.
    virtual void RequestMapEdit() = 0;
    // Asks whether and how far to delete; false when the user cancels.
    virtual bool AskDeleteScope(DeleteScopePrompt& prompt) = 0;
    // How far a long operation over several sites has got (`done` of `total`); total 0 ends it.
    virtual void ShowProgress(int done, int total) {}
};
