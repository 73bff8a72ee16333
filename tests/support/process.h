#pragma once
// Runs a program as a child process for end-to-end tests: arguments, extra environment, standard
// output and error captured to files, signals, and a bounded wait.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/temp_dir.h"

namespace kel {

class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env, const std::string& outFile, const std::string& errFile,
            const std::string& cwd = "")
        : out_(outFile), err_(errFile) {
        pid_ = fork();
        if (pid_ != 0)
            return;
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(126);
        for (const auto& e : env)
            putenv(const_cast<char*>(e.c_str()));
        int o = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int n = ::open("/dev/null", O_RDONLY);
        dup2(n, 0);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ~Process() {
        if (pid_ > 0 && !done_) {
            kill(pid_, SIGKILL);
            Wait(std::chrono::seconds(10));
        }
    }

    void Signal(int sig) { kill(pid_, sig); }
    pid_t Pid() const { return pid_; }
    // The exit status, or -1 when the process did not end in time, or 128 + signal.
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!done_) {
            int status = 0;
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                done_ = true;
                code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() > end)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return code_;
    }
    bool Running() {
        if (done_)
            return false;
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            done_ = true;
            code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return !done_;
    }
    std::string Out() const { return ReadFile(out_); }
    std::string Err() const { return ReadFile(err_); }

private:
    pid_t pid_ = -1;
    bool done_ = false;
    int code_ = -1;
    std::string out_, err_;
};

}  // namespace kel
