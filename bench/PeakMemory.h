// The peak resident memory of a program, for the benchmarks. The kernel counts a child's peak from
// the memory of the process it was started from, so the program is started by a fresh copy of the
// benchmark (its `--peak-of` mode, RunForPeak), not by the benchmark with its data in memory.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

// Runs `args` (the program's path first) and returns its peak resident memory in bytes; 0 when it
// could not run or failed.
inline long PeakMemoryOf(const std::vector<std::string>& args) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::string> all = {self, "--peak-of"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = 0;
    long peak = 0;
    if (posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        close(out[1]);
        char text[32] = {};
        const ssize_t n = read(out[0], text, sizeof text - 1);
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && n > 0)
            peak = std::atol(text);
    } else {
        close(out[1]);
    }
    close(out[0]);
    posix_spawn_file_actions_destroy(&actions);
    return peak;
}

// `BENCHMARK --peak-of PROGRAM ARGS...`: runs the program with its output discarded and prints its
// peak resident memory in bytes; fails when the program does.
inline int RunForPeak(char** argv) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
    std::printf("%ld\n", usage.ru_maxrss * 1024L);
    return 0;
}

}  // namespace bench
