#include "document/LogSink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/AtomicFile.h"

namespace {

std::string TrimRight(const std::string& text) {
    size_t end = text.find_last_not_of(" \t\r\n");
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

// One entry, one line, whatever the caller sent: the line breaks inside (and any other control
// character but the tab that indents) become single spaces, so every line of the file has its date.
std::string OneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    bool gap = false;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t') {
            gap = true;
            continue;
        }
        if (gap && !out.empty() && out.back() != ' ') out += ' ';
        gap = false;
        out += c;
    }
    return out;
}

}  // namespace

std::string CLogSink::FormatFileLine(const std::string& text, time_t when) {
    struct tm local {};
    localtime_r(&when, &local);
    char stamp[64];
    size_t n = std::strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S --> ", &local);
    std::string line(stamp, n);
    line += text;
    line += "\r\n";
    return line;
}

CLogSink::~CLogSink() { Close(); }

void CLogSink::SetLogFile(const std::string& name) {
    if (name != m_strLogFile) Close();
    m_strLogFile = name;
}

void CLogSink::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

void CLogSink::BeginCommand() {
    m_bFailureSaid = false;
    m_looked = {};
}

bool CLogSink::EnsureOpen() {
    // Someone may move or remove the file while the program runs (to keep it short): the name is
    // looked at again now and then, and at each command, rather than for every line.
    constexpr auto kLookEvery = std::chrono::milliseconds(500);
    const auto now = std::chrono::steady_clock::now();
    if (m_fd >= 0 && now - m_looked < kLookEvery) return true;
    if (m_fd >= 0) {
        struct stat st {};
        if (::stat(m_strLogFile.c_str(), &st) == 0 && st.st_dev == m_dev && st.st_ino == m_ino) {
            m_looked = now;
            return true;
        }
        Close();
    }
    m_fd = ::open(m_strLogFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (m_fd < 0) return false;
    struct stat st {};
    if (::fstat(m_fd, &st) == 0) {
        m_dev = st.st_dev;
        m_ino = st.st_ino;
    }
    m_looked = now;
    return true;
}

int CLogSink::OnLogMessage(uint32_t level, const std::string& text) {
    const std::string copy = OneLine(TrimRight(text));
    if (level >= 2 && m_listener) m_listener(copy);

    if (!EnsureOpen()) {
        // Once per command: said for every line, it would bury the messages it follows.
        if (m_listener && !m_bFailureSaid) m_listener("Failed to open the log file.");
        m_bFailureSaid = true;
        return 1;
    }
    // One write of the whole line to a file opened for appending: other processes may read the file
    // at any time and never see part of a line, nor does a crash leave one.
    // The date prefix is made once a second, not once a line.
    const time_t now = std::time(nullptr);
    if (now != m_stampTime || m_stamp.empty()) {
        m_stamp = FormatFileLine("", now);
        m_stamp.resize(m_stamp.size() - 2);  // without its CR LF
        m_stampTime = now;
    }
    m_line.assign(m_stamp).append(copy).append("\r\n");
    platform::WriteAll(m_fd, m_line.data(), m_line.size());  // a failed write is not reported
    return 0;
}
