#include "cli/CliFrame.h"

#include "platform/CodePage.h"
#include "platform/Strings.h"

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

// The progress line and everything printed, so that lines and the line in place never mix.
struct ProgressLine {
    std::mutex mutex;
    bool enabled = false;
    bool shown = false;
    std::string status;  // code page
    int done = 0, total = 0;
};

ProgressLine& Progress() {
    static ProgressLine p;
    return p;
}

// Back to the start of the line and the rest of it wiped.
constexpr const char* kWipe = "\r\033[K";

void Wipe(ProgressLine& p) {
    if (!p.shown) return;
    std::fputs(kWipe, Err());
    std::fflush(Err());
    p.shown = false;
}

void Draw(ProgressLine& p) {
    if (!p.enabled || (p.status.empty() && p.total <= 0)) return;
    std::string line = p.status;
    if (p.total > 0) {
        const std::string count = platform::FormatString(46253, p.done, p.total);
        line = line.empty() ? count : line + " (" + count + ")";
    }
    // Kept to one line: no line ends or tabs of a status text reach the terminal.
    for (char& c : line)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    const std::string utf8 = kWipe + platform::CodePageToUtf8(line);
    std::fwrite(utf8.data(), 1, utf8.size(), Err());
    std::fflush(Err());
    p.shown = true;
}

}  // namespace

void SetPrintStreams(std::FILE* out, std::FILE* err) {
    g_out = out;
    g_err = err;
}

void PrintOut(const std::string& text) {
    ProgressLine& p = Progress();
    std::lock_guard lock(p.mutex);
    Wipe(p);
    PrintLine(Out(), text);
}

void PrintErr(const std::string& text) {
    ProgressLine& p = Progress();
    std::lock_guard lock(p.mutex);
    // Keeps the two streams in order when both go to one terminal.
    std::fflush(Out());
    Wipe(p);
    PrintLine(Err(), text);
    std::fflush(Err());
    Draw(p);
}

void EnableProgressLine(bool on) {
    ProgressLine& p = Progress();
    std::lock_guard lock(p.mutex);
    if (!on) Wipe(p);
    p.enabled = on;
}

void SetProgressStatus(const std::string& text) {
    ProgressLine& p = Progress();
    std::lock_guard lock(p.mutex);
    p.status = text;
    Draw(p);
}

void SetProgressCount(int done, int total) {
    ProgressLine& p = Progress();
    std::lock_guard lock(p.mutex);
    p.done = done;
    p.total = total > 0 ? total : 0;
    if (p.total == 0 && p.status.empty()) Wipe(p);
    Draw(p);
}

void EndProgressLine() {
    ProgressLine& p = Progress();
    std::lock_guard lock(p.mutex);
    Wipe(p);
    p.status.clear();
    p.done = p.total = 0;
}

CCliFrame::CCliFrame(const std::string& logFile) {
    m_log.SetLogFile(logFile);
    m_log.SetLineListener([](const std::string& line) { PrintErr(line); });
}

void CCliFrame::Log(uint32_t level, const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (level >= LOG_ERROR) m_errorLines.push_back(text);
    m_lastLogged = text;
    m_log.OnLogMessage(level, text);
}

namespace {

std::string_view WithoutTrailingSpace(std::string_view s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.remove_suffix(1);
    return s;
}

}  // namespace

void CCliFrame::SetStatusText(const std::string& text) { SetProgressStatus(text); }

void CCliFrame::ShowProgress(int done, int total) { SetProgressCount(done, total); }

int CCliFrame::MessageBox(const std::string& text, unsigned type, const std::string&) {
    std::lock_guard lock(m_mutex);
    ++m_nMessages;
    // The window shows a box beside the log line; here both would be the same line twice.
    const bool justLogged = (type & 0xF) == MB_OK && WithoutTrailingSpace(text) == WithoutTrailingSpace(m_lastLogged);
    if (!justLogged) PrintErr(text);
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
    std::lock_guard lock(m_mutex);
    PrintErr(prompt.question);
    if (m_nDeleteScope < 0) {
        PrintErr("(answered Cancel)");
        return false;
    }
    prompt.choice = m_nDeleteScope;
    PrintErr("(answered " + (m_nDeleteScope == 0 ? prompt.virtualOnly : prompt.everything) + ")");
    return true;
}
