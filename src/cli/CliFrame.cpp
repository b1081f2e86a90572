#include "cli/CliFrame.h"

#include "platform/CodePage.h"

namespace {

std::FILE* g_out = nullptr;
std::FILE* g_err = nullptr;

std::FILE* Out() { return g_out ? g_out : stdout; }
std::FILE* Err() { return g_err ? g_err : stderr; }

void PrintLine(std::FILE* to, const std::string& text) {
    std::string utf8 = platform::CodePageToUtf8(text);
    utf8 += '\n';
    std::fwrite(utf8.data(), 1, utf8.size(), to);
}

}  // namespace

void SetPrintStreams(std::FILE* out, std::FILE* err) {
    g_out = out;
    g_err = err;
}

void PrintOut(const std::string& text) { PrintLine(Out(), text); }

void PrintErr(const std::string& text) {
    // Keeps the two streams in order when both go to one terminal.
    std::fflush(Out());
    PrintLine(Err(), text);
    std::fflush(Err());
}

CCliFrame::CCliFrame(const std::string& logFile) {
    m_log.SetLogFile(logFile);
    m_log.SetLineListener([](const std::string& line) { PrintErr(line); });
}

void CCliFrame::Log(uint32_t level, const std::string& text) {
    if (level >= LOG_ERROR) m_errorLines.push_back(text);
    m_log.OnLogMessage(level, text);
}

int CCliFrame::MessageBox(const std::string& text, unsigned type, const std::string&) {
    ++m_nMessages;
    PrintErr(text);
    switch (type & 0xF) {
        case MB_YESNO:
        case MB_YESNOCANCEL:
            PrintErr(m_nAnswer == IDYES ? "(answered Yes)" : m_nAnswer == IDCANCEL ? "(answered Cancel)" : "(answered No)");
            return m_nAnswer;
        case MB_OKCANCEL: return m_nAnswer == IDYES ? IDOK : IDCANCEL;
        default: return IDOK;
    }
}

bool CCliFrame::AskDeleteScope(DeleteScopePrompt& prompt) {
    PrintErr(prompt.question);
    if (m_nDeleteScope < 0) {
        PrintErr("(answered Cancel)");
        return false;
    }
    prompt.choice = m_nDeleteScope;
    PrintErr("(answered " + (m_nDeleteScope == 0 ? prompt.virtualOnly : prompt.everything) + ")");
    return true;
}
