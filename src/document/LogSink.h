// The log's core, shared by every frame: a request of a level and a text goes to the log file with
// date and time, and (level 2 and up) to the window's line listener.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class CLogSink {
public:
    using LineListener = std::function<void(const std::string& line)>;

    // The file name, relative to the process's current directory unless absolute. Must not be empty.
    void SetLogFile(const std::string& name) { m_strLogFile = name; }
    const std::string& GetLogFile() const { return m_strLogFile; }
    // Where the lines meant for the window go (the log pane, the terminal); none by default.
    void SetLineListener(LineListener listener) { m_listener = std::move(listener); }

    // Handles one request: 0 when the line was written to the file, 1 when the file could not be opened.
    int OnLogMessage(uint32_t level, const std::string& text);

    // The file line for a text at a time: "%Y/%m/%d %H:%M:%S --> " + text + CR LF.
    static std::string FormatFileLine(const std::string& text, time_t when);

private:
    std::string m_strLogFile;
    LineListener m_listener;
};
