// The engine: the one thread a long command (download, synchronise, delete) runs on, so that the
// front end's own thread never waits on a site. One command at a time; a cancel is a stop request
// the command's document sees through its stop token.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

class CEngine {
public:
    // The command's work; it hands the token to the document (CQOBDoc::SetStopToken).
    using Command = std::function<void(std::stop_token)>;
    // Told on the engine thread once the command returned; it must not start another command.
    using Completion = std::function<void()>;

    CEngine() = default;
    // Requests a stop and waits for the command to end.
    ~CEngine();
    CEngine(const CEngine&) = delete;
    CEngine& operator=(const CEngine&) = delete;

    // Starts the command on a thread of its own; false (and nothing started) while one runs.
    bool Start(Command command, Completion done = {});
    // Asks the running command to stop; nothing when none runs. Callable from any thread (not
    // from a signal handler).
    void Cancel();
    // True from Start until the command and its completion have returned.
    bool Busy() const;
    // Waits until no command runs, at most `timeout`; true when none does.
    bool Wait(std::chrono::milliseconds timeout);
    // Waits without a limit.
    void Wait();

private:
    void Run(std::stop_token token, Command command, Completion done);

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    bool m_bBusy = false;
    std::jthread m_thread;
};

// How many sites a command works on at once as the user set it (the value "Jobs" of the
// application's profile); the document's default when unset or outside 1 to CQOBDoc::kMaxJobs.
int LoadJobsSetting();
// False when the user's profile cannot be written.
bool SaveJobsSetting(int jobs);
