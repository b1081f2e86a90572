// `zentsim serve` daemons for the benchmarks, each started by its PID and stopped by it: SIGTERM,
// a bounded wait, SIGKILL if it did not end. A daemon also gets SIGTERM from the kernel when the
// benchmark dies (PR_SET_PDEATHSIG), so none outlives it, however it ends.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace bench {

// What a daemon said it answered when it stopped: each is one round trip for its client.
struct Answered {
    unsigned long requests = 0, connections = 0, binds = 0, alterContexts = 0;
    bool known = false;
    unsigned long RoundTrips() const { return requests + connections + binds + alterContexts; }
};

inline std::string ReadWhole(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ServeDaemon {
public:
    // Starts `zentsim serve STATE --address ADDRESS --port PORT EXTRA...`; output goes to files
    // beside the state file. Ready() says whether it came up within 15 seconds.
    ServeDaemon(const std::string& zentsim, const std::string& state, const std::string& address, uint16_t port,
                const std::vector<std::string>& extra)
        : m_out(state + ".out"), m_err(state + ".err") {
        std::vector<std::string> args{zentsim, "serve", state, "--address", address, "--port", std::to_string(port)};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        // What an earlier daemon printed must not read as this one's readiness.
        unlink(m_out.c_str());
        unlink(m_err.c_str());
        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid == 0) {
            // Only async-signal-safe calls from here to exec.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(127);
            const int in = open("/dev/null", O_RDONLY);
            const int out = open(m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open(m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || out < 0 || err < 0) _exit(127);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        if (m_pid < 0) return;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < end && !Exited()) {
            if (ReadWhole(m_out).find("(objects on port ") != std::string::npos) {
                m_ready = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~ServeDaemon() { Stop(); }
    ServeDaemon(const ServeDaemon&) = delete;
    ServeDaemon& operator=(const ServeDaemon&) = delete;

    bool Ready() const { return m_ready; }
    std::string Err() const { return ReadWhole(m_err); }
    // The processor time the daemon has used so far (user and system, or system only), from /proc.
    double CpuSeconds(bool systemOnly = false) const {
        const std::string stat = ReadWhole("/proc/" + std::to_string(m_pid) + "/stat");
        const size_t end = stat.rfind(')');  // the command name may hold spaces
        if (end == std::string::npos) return 0;
        unsigned long utime = 0, stime = 0;
        // Fields 14 and 15, counted after the name (field 2).
        if (std::sscanf(stat.c_str() + end + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                        &stime) != 2)
            return 0;
        return double(systemOnly ? stime : utime + stime) / double(sysconf(_SC_CLK_TCK));
    }

    // Ends the daemon and reads what it answered.
    Answered Stop() {
        if (m_pid > 0 && !m_exited) {
            kill(m_pid, SIGTERM);
            if (!WaitFor(std::chrono::seconds(15))) {
                kill(m_pid, SIGKILL);
                WaitFor(std::chrono::seconds(5));
            }
        }
        Answered a;
        const std::string out = ReadWhole(m_out);
        const size_t at = out.find("zentsim: answered ");
        if (at != std::string::npos)
            a.known = std::sscanf(out.c_str() + at,
                                  "zentsim: answered %lu requests on %lu connections (%lu binds, %lu alter_contexts)",
                                  &a.requests, &a.connections, &a.binds, &a.alterContexts) == 4;
        return a;
    }

private:
    bool Exited() {
        if (m_pid <= 0 || m_exited) return true;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) m_exited = true;
        return m_exited;
    }
    bool WaitFor(std::chrono::seconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!Exited() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return m_exited;
    }

    std::string m_out, m_err;
    pid_t m_pid = -1;
    bool m_ready = false;
    bool m_exited = false;
};

}  // namespace bench
