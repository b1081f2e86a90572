// The log's core, shared by every frame: a request of a level and a text goes to the log file with
// date and time, and (level 2 and up) to the window's line listener. The file stays open between
// lines (one write each, appended whole) and is opened again when it was moved or removed. Used
// from one thread at a time.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <ctime>
#include <cstdint>
#include <functional>
#include <string>

class CLogSink {
public:
    using LineListener = std::function<void(const std::string& line)>;

    CLogSink() = default;
    ~CLogSink();
    CLogSink(const CLogSink&) = delete;
    CLogSink& operator=(const CLogSink&) = delete;

    // The file name, relative to the process's current directory unless absolute. Must not be empty.
    void SetLogFile(const std::string& name);
    const std::string& GetLogFile() const { return m_strLogFile; }
    // Where the lines meant for the window go (the log pane, the terminal); none by default.
    void SetLineListener(LineListener listener) { m_listener = std::move(listener); }

    // Handles one request: 0 when the line was written to the file, 1 when the file could not be
    // opened. A file that cannot be opened is said to the listener once per command.
    int OnLogMessage(uint32_t level, const std::string& text);
    // A new command begins: the file is looked at again, and a failure to open it is said again.
    void BeginCommand();

    // The file line for a text at a time: "%Y/%m/%d %H:%M:%S --> " + text + CR LF.
    static std::string FormatFileLine(const std::string& text, time_t when);

private:
    bool EnsureOpen();
    void Close();

    std::string m_strLogFile;
    LineListener m_listener;
    int m_fd = -1;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    std::chrono::steady_clock::time_point m_looked;  // when the name was last seen to be the open file
    bool m_bFailureSaid = false;
    time_t m_stampTime = 0;
    std::string m_stamp;  // "%Y/%m/%d %H:%M:%S --> " of m_stampTime
    std::string m_line;   // the line being written, its buffer kept
};
