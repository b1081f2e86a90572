// Runs one of the project's programs from the build's bin directory and collects what it printed.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string BinDir() {
    const char* dir = std::getenv("QOB_TEST_BIN_DIR");
    return dir ? dir : ".";
}

// `scratch` is a directory for the captured output files. A program still running after `limit`
// is killed by its PID and reported with exit code -1 and a line saying so.
inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::string& scratch, std::chrono::seconds limit = std::chrono::seconds(120)) {
    ProgramResult result;
    const std::string path = program.front() == '/' ? program : BinDir() + "/" + program;
    const std::string outFile = scratch + "/.stdout", errFile = scratch + "/.stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    bool overran = false;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        const auto end = std::chrono::steady_clock::now() + limit;
        auto pause = std::chrono::milliseconds(1);
        int status = 0;
        bool running = true, ended = false;
        while (running && std::chrono::steady_clock::now() < end) {
            const pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid) {
                running = false;
                ended = true;
            } else if (r < 0 && errno != EINTR) {
                running = false;  // nothing left to wait for
            } else {
                std::this_thread::sleep_for(pause);
                pause = std::min(pause * 2, std::chrono::milliseconds(20));
            }
        }
        if (running) {
            overran = true;
            kill(pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        } else if (ended && WIFEXITED(status)) {
            result.exitCode = WEXITSTATUS(status);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    auto slurp = [](const std::string& f) {
        std::ifstream in(f, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    result.out = slurp(outFile);
    result.err = slurp(errFile);
    if (overran) result.err += "\n(" + program + " was killed: still running after " + std::to_string(limit.count()) + " s)\n";
    unlink(outFile.c_str());
    unlink(errFile.c_str());
    return result;
}
