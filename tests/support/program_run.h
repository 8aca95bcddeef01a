// Runs a program of this build (the game binary) as a child process, as if
// on a fresh machine: a home and settings folders of its own, no display,
// no ad service; its exit status, or -1 when it did not end within the
// time given and was stopped.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace testsupport {

// stdout and stderr go to `log` when it is given.
inline int runProgram(const std::string& home, const std::vector<std::string>& args, int seconds,
                      const std::string& log = "") {
    std::vector<std::string> env;
    auto dropped = [](const std::string& v) {
        for (const char* name : {"ADKASA_SERVICE_ORIGIN=", "XDG_CONFIG_HOME=", "XDG_DATA_HOME=", "XDG_CACHE_HOME=",
                                 "HOME=", "DISPLAY=", "WAYLAND_DISPLAY="}) {
            if (v.rfind(name, 0) == 0) return true;
        }
        return false;
    };
    for (char** e = environ; *e; ++e) {
        if (!dropped(*e)) env.push_back(*e);
    }
    // The ad client's request counters and caches start afresh.
    env.push_back("HOME=" + home);
    env.push_back("XDG_CONFIG_HOME=" + home + "/config");
    env.push_back("XDG_DATA_HOME=" + home + "/data");
    env.push_back("XDG_CACHE_HOME=" + home + "/cache");
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!log.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    for (int waited = 0; waited < seconds * 10; ++waited) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        usleep(100 * 1000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

}  // namespace testsupport
