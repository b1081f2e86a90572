// Ctrl+C for a command that runs on the engine: the first SIGINT only asks the command to stop
// (the handler writes one byte to a pipe, a thread of its own reads it and does the asking), the
// second ends the process as the default action does.
#pragma once

#include <functional>
#include <thread>

class CInterruptWatcher {
public:
    // `onInterrupt` is called on the watcher's thread, not in the signal handler.
    explicit CInterruptWatcher(std::function<void()> onInterrupt);
    // Gives SIGINT its earlier action back.
    ~CInterruptWatcher();
    CInterruptWatcher(const CInterruptWatcher&) = delete;
    CInterruptWatcher& operator=(const CInterruptWatcher&) = delete;

    bool Installed() const { return m_bInstalled; }

private:
    std::function<void()> m_fnInterrupt;
    bool m_bInstalled = false;
    std::jthread m_thread;
};
