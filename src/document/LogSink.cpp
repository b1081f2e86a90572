#include "document/LogSink.h"

#include <fcntl.h>
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

int CLogSink::OnLogMessage(uint32_t level, const std::string& text) {
    const std::string copy = OneLine(TrimRight(text));
    if (level >= 2 && m_listener) m_listener(copy);

    // Open, write, flush and close for every line: each line is on disk when the call returns and
    // other processes may read the file at any time.
    int fd = ::open(m_strLogFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (m_listener) m_listener("Failed to open the log file.");
        return 1;
    }
    const std::string line = FormatFileLine(copy, std::time(nullptr));
    platform::WriteAll(fd, line.data(), line.size());  // a failed write is not reported
    ::close(fd);
    return 0;
}
