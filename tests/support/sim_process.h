// vnk-sim as a child process for system tests: started with its arguments, stopped with
// SIGTERM (killed if it has not gone a minute later: a hang, not a slow machine), never left
// running after the test.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

// Starts args[0] with args, its output and errors to outputPath (appended to, or replaced);
// the child's pid, or -1.
inline pid_t SpawnProcess(std::vector<std::string> args, const std::string& outputPath,
                          bool append = false) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

class SimProcess {
  public:
    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() { stop(); }

    bool start(const std::string& program, const std::vector<std::string>& args,
               const std::string& logPath) {
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        pid_ = SpawnProcess(all, logPath);
        return pid_ > 0;
    }

    // SIGTERM, then the exit status (-1 when it had to be killed).
    int stop() {
        if (pid_ <= 0) return -1;
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 6000; ++i) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::usleep(10000);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
    }

    pid_t pid() const { return pid_; }
    // The caller has waited for the process itself: nothing is left to stop.
    void forget() { pid_ = -1; }

  private:
    pid_t pid_ = -1;
};
