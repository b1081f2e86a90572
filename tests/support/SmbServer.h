// A real SMB server for tests: smbd from Debian's samba with a private configuration in the test's
// own directory, on one loopback address and the port QOB_SMB_PORT names, sharing a directory as
// a site's mailbox share. Accounts are Samba accounts mapped onto an existing system account
// ("nobody"), so nothing of the machine's own users changes; they work on the share as root (admin
// users), so the share may lie below folders that only the test's own user can enter (a private
// home). Every step of the set-up is checked, a login to the share last; Ready() is false and
// Log() says why when one fails. Started and stopped by its PID.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

class SmbServer {
public:
    static constexpr uint16_t kPort = 1445;

    struct Options {
        std::string address;                            // 127.0.x.y
        std::string shareName = "Tarn_ZentMailBox";     // another name: the site has no mailbox share
        bool readOnly = false;
        std::map<std::string, std::string> accounts;    // account name -> password
    };

    static bool Available() { return std::filesystem::exists("/usr/sbin/smbd") && std::filesystem::exists("/usr/bin/smbpasswd"); }

    explicit SmbServer(Options o) : m_options(std::move(o)) {
        setenv("QOB_SMB_PORT", std::to_string(kPort).c_str(), 1);
        for (const char* d : {"private", "lock", "state", "cache", "pid", "ncalrpc", "log", "share"})
            std::filesystem::create_directories(m_dir.file(d));
        // smbd works as the mapped account below the share; the test reads and writes as itself.
        for (const std::string& d : {m_dir.path(), m_dir.file("share")}) ::chmod(d.c_str(), 0777);
        WriteConfig();
        bool ok = true;
        for (const auto& [account, password] : m_options.accounts) ok = ok && AddAccount(account, password);
        m_ready = ok && Start() && LogIn();
    }
    ~SmbServer() { Stop(); }
    SmbServer(const SmbServer&) = delete;
    SmbServer& operator=(const SmbServer&) = delete;

    bool Ready() const { return m_ready; }
    // What went wrong in the set-up (empty when nothing did), then what smbd said.
    std::string Log() const {
        return (m_error.empty() ? "" : "SMB test server: " + m_error + "\n") + Slurp(m_dir.file("smbd.out"));
    }
    // The directory behind the share, as this machine sees it.
    std::string ShareDir() const { return m_dir.file("share"); }
    // The logins smbd was asked for, in order, as "DOMAIN\account" with the domain as smbd names
    // it; waits up to five seconds for at least `atLeast` of them to be written out.
    std::vector<std::string> Logins(size_t atLeast = 0) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            std::vector<std::string> logins;
            std::istringstream in(Slurp(m_dir.file("smbd.out")));
            for (std::string line; std::getline(in, line);) {
                const size_t auth = line.find("Auth: [");
                const size_t user = auth == std::string::npos ? auth : line.find(" user [", auth);
                const size_t split = user == std::string::npos ? user : line.find("]\\[", user);
                const size_t close = split == std::string::npos ? split : line.find(']', split + 3);
                if (close == std::string::npos) continue;
                logins.push_back(line.substr(user + 7, split - user - 7) + "\\" + line.substr(split + 3, close - split - 3));
            }
            if (logins.size() >= atLeast || std::chrono::steady_clock::now() >= end) return logins;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    void Stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            for (int i = 0; i < 100 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (::waitpid(m_pid, &status, WNOHANG) == 0) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
            }
            m_pid = -1;
        }
        // smbd starts samba-dcerpcd on demand; it leaves its PID where our configuration says.
        const std::string pidFile = m_dir.file("pid/samba-dcerpcd.pid");
        std::ifstream in(pidFile);
        pid_t helper = 0;
        if (in >> helper && helper > 0) ::kill(helper, SIGTERM);
    }

private:
    // Runs a shell command with a bounded time, returning its exit status and its output.
    static int Capture(const std::string& command, std::string& output) {
        output.clear();
        FILE* p = ::popen(("timeout 30 " + command + " 2>&1").c_str(), "r");
        if (!p) return -1;
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
        const int status = ::pclose(p);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::string Slurp(const std::string& file) {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    void WriteConfig() {
        std::ofstream c(m_dir.file("smb.conf"));
        const std::string d = m_dir.path();
        c << "[global]\n"
          << "  interfaces = " << m_options.address << "/8\n"
          << "  bind interfaces only = yes\n"
          << "  smb ports = " << kPort << "\n"
          << "  disable netbios = yes\n"
          << "  server role = standalone server\n"
          << "  private dir = " << d << "/private\n  lock directory = " << d << "/lock\n"
          << "  state directory = " << d << "/state\n  cache directory = " << d << "/cache\n"
          << "  pid directory = " << d << "/pid\n  ncalrpc dir = " << d << "/ncalrpc\n"
          << "  log file = " << d << "/log/smbd.log\n  log level = 1 auth_audit:3\n"
          << "  passdb backend = tdbsam:" << d << "/private/passdb.tdb\n"
          << "  username map = " << d << "/users.map\n"
          << "  admin users = " << AdminUsers() << "\n"
          << "  load printers = no\n  printing = bsd\n  printcap name = /dev/null\n  disable spoolss = yes\n"
          << "[" << m_options.shareName << "]\n"
          << "  path = " << d << "/share\n"
          << "  read only = " << (m_options.readOnly ? "yes" : "no") << "\n"
          << "  create mask = 0666\n  directory mask = 0777\n";
    }

    // One system account can hold only one Samba password, so each account gets one of its own.
    static constexpr const char* kSystemAccounts[] = {"nobody", "daemon", "bin", "sys"};
    static std::string AdminUsers() {
        std::string list;
        for (const char* a : kSystemAccounts) list += std::string(list.empty() ? "" : " ") + a;
        return list;
    }
    bool AddAccount(const std::string& account, const std::string& password) {
        if (m_next >= std::size(kSystemAccounts)) {
            m_error = "more accounts than system accounts to map them onto";
            return false;
        }
        const std::string system = kSystemAccounts[m_next++];
        std::ofstream(m_dir.file("users.map"), std::ios::app) << system << " = " << account << "\n";
        const std::string input = password + "\n" + password + "\n";
        const std::string command = "sh -c \"printf '%s' '" + input + "' | /usr/bin/smbpasswd -c '" +
                                    m_dir.file("smb.conf") + "' -s -a " + system + "\"";
        std::string output;
        const int status = Capture(command, output);
        if (status != 0) m_error = "smbpasswd for " + account + " (as " + system + ") exited " + std::to_string(status) + ": " + output;
        return status == 0;
    }

    // A login to the share with the first account, listing its root: smbd must reach the folder.
    bool LogIn() {
        if (m_options.accounts.empty()) return true;
        const auto& [account, password] = *m_options.accounts.begin();
        const std::string command = "/usr/bin/smbclient -s /dev/null -p " + std::to_string(kPort) + " '//" +
                                    m_options.address + "/" + m_options.shareName + "' -U '" + account + "%" +
                                    password + "' -c ls";
        std::string output;
        const int status = Capture(command, output);
        if (status != 0) m_error = "login to the share as " + account + " failed (" + std::to_string(status) + "): " + output;
        return status == 0;
    }

    bool Start() {
        const std::string conf = m_dir.file("smb.conf"), out = m_dir.file("smbd.out");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<std::string> args{"/usr/sbin/smbd", "-F", "-s", conf, "--debug-stdout"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            m_pid = -1;
            m_error = std::string("cannot start smbd: ") + std::strerror(rc);
            return false;
        }
        // Ready once it accepts connections.
        for (int i = 0; i < 200; ++i) {
            if (Accepts()) return true;
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                m_error = "smbd ended at start";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        m_error = "smbd did not accept connections within 10 s";
        return false;
    }

    bool Accepts() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(kPort);
        inet_pton(AF_INET, m_options.address.c_str(), &sa.sin_addr);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
        ::close(fd);
        return ok;
    }

    Options m_options;
    TempDir m_dir;
    pid_t m_pid = -1;
    bool m_ready = false;
    size_t m_next = 0;
    std::string m_error;
};
