#include "cli/CliFrame.h"

#include <cstdio>

#include "platform/CodePage.h"

void PrintOut(const std::string& text) {
    std::string utf8 = platform::CodePageToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
}

void PrintErr(const std::string& text) {
    std::fflush(stdout);
    std::string utf8 = platform::CodePageToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fputc('\n', stderr);
}

CCliFrame::CCliFrame(const std::string& logFile) {
    m_log.SetLogFile(logFile);
    m_log.SetLineListener([](const std::string& line) { PrintOut(line); });
}

void CCliFrame::Log(uint32_t level, const std::string& text) { m_log.OnLogMessage(level, text); }

int CCliFrame::MessageBox(const std::string& text, unsigned type, const std::string&) {
    ++m_nMessages;
    PrintErr(text);
    switch (type & 0xF) {
        case MB_YESNO:
        case MB_YESNOCANCEL: return m_nAnswer;
        case MB_OKCANCEL: return m_nAnswer == IDYES ? IDOK : IDCANCEL;
        default: return IDOK;
    }
}
