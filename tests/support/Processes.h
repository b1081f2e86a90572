// The project's programs as separate processes: zentsim daemons that serve a site until the test
// ends them (by their PID), programs run in the background while the test acts on a daemon, and
// any child a test forks, owned so that it is ended on every path.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/RunProgram.h"

inline std::string Slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The state letter /proc shows for a process: 'R', 'S', 'T' (stopped), 't' (stopped while traced),
// 'Z' ...; 0 when there is no such process.
inline char ProcessState(pid_t pid) {
    const std::string stat = Slurp("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');  // the command name may hold spaces and parentheses
    return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

inline bool IsStoppedState(char state) { return state == 'T' || state == 't'; }

// A signal's effect is not there when kill() returns: polls until the process shows as stopped
// (or, with `stopped` false, as no longer stopped). False when that does not come within `timeout`.
inline bool WaitForStopState(pid_t pid, bool stopped, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (IsStoppedState(ProcessState(pid)) != stopped) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A child process owned by its PID: on every way out of its owner it is killed (that PID only)
// and reaped, each wait bounded.
class Child {
public:
    Child() = default;
    explicit Child(pid_t pid) : m_pid(pid) {}
    ~Child() { Kill(SIGKILL); }
    Child(Child&& other) noexcept
        : m_pid(std::exchange(other.m_pid, -1)),
          m_exited(other.m_exited),
          m_signalled(other.m_signalled),
          m_exitCode(other.m_exitCode) {}
    Child& operator=(Child&&) = delete;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return m_pid; }
    bool Running() {
        Reap();
        return m_pid > 0 && !m_exited;
    }
    // Reaped: it ended and its exit was collected.
    bool Ended() const { return m_exited; }
    // Killed by a signal rather than exiting.
    bool Signalled() const { return m_signalled; }
    void Signal(int sig) {
        if (m_pid > 0 && !m_exited) kill(m_pid, sig);
    }
    // SIGSTOP, true once the kernel shows it stopped.
    ::testing::AssertionResult Pause() { return SignalAndWait(SIGSTOP, true); }
    // SIGCONT, true once it no longer shows as stopped.
    ::testing::AssertionResult Resume() { return SignalAndWait(SIGCONT, false); }
    // The exit code, or -1 when it did not exit within timeout (or died of a signal).
    int Wait(std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!Reap() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return m_exited ? m_exitCode : -1;
    }
    void Kill(int sig) {
        if (m_pid <= 0 || m_exited) return;
        kill(m_pid, sig);
        Wait(std::chrono::seconds(10));
    }

protected:
    pid_t m_pid = -1;

private:
    bool Reap() {
        if (m_pid <= 0 || m_exited) return true;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
        m_exited = true;
        m_signalled = WIFSIGNALED(status);
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return true;
    }
    ::testing::AssertionResult SignalAndWait(int sig, bool stopped) {
        if (m_pid <= 0 || !Running()) return ::testing::AssertionFailure() << "process " << m_pid << " is not running";
        Signal(sig);
        if (WaitForStopState(m_pid, stopped)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "process " << m_pid << (stopped ? " did not stop" : " did not continue")
                                             << " within 5 s (state '" << ProcessState(m_pid) << "')";
    }

    bool m_exited = false;
    bool m_signalled = false;
    int m_exitCode = -1;
};

// A program started without waiting; its output goes to files in `scratch`.
class Background : public Child {
public:
    Background(const std::string& program, const std::vector<std::string>& args, const std::string& scratch,
               const std::string& tag)
        : m_out(scratch + "/" + tag + ".out"), m_err(scratch + "/" + tag + ".err") {
        const std::string path = program.find('/') == std::string::npos ? BinDir() + "/" + program : program;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    std::string Out() const { return Slurp(m_out); }
    std::string Err() const { return Slurp(m_err); }

private:
    std::string m_out, m_err;
};

// `zentsim serve` on an address, ready once it printed its line; SIGTERM ends it at the end.
class Daemon {
public:
    Daemon(const std::string& state, const std::string& address, uint16_t port, const std::string& scratch,
           std::vector<std::string> extra = {})
        : m_process("zentsim", Args(state, address, port, extra), scratch, "zentsim-" + address) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < end && m_process.Running()) {
            const std::string out = m_process.Out();
            const size_t at = out.find("(objects on port ");
            if (at != std::string::npos && out.find('\n', at) != std::string::npos) {
                m_objectPort = uint16_t(std::stoi(out.substr(at + 17)));
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~Daemon() { Stop(); }

    bool Ready() const { return m_objectPort != 0; }
    uint16_t ObjectPort() const { return m_objectPort; }
    Background& Process() { return m_process; }
    // SIGTERM and the exit code (0 for a clean stop).
    int Stop() {
        m_process.Signal(SIGTERM);
        return m_process.Wait(std::chrono::seconds(15));
    }

private:
    static std::vector<std::string> Args(const std::string& state, const std::string& address, uint16_t port,
                                         const std::vector<std::string>& extra) {
        std::vector<std::string> a{"serve", state, "--address", address, "--port", std::to_string(port)};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }

    Background m_process;
    uint16_t m_objectPort = 0;
};

