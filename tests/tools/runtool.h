// Runs one of the command-line tools as built, in a scratch folder that is
// also its HOME (so that no user formats take part), and collects what it
// writes and how it ends.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../kxlib/table_fixtures.h"

struct ToolResult {
    int status = -1;
    std::string out;
    std::string err;
};

// timeoutMs: when above 0, a run still going after so long is killed, and
// is a failure.
inline ToolResult RunTool(const char* program, std::vector<std::string> args, const TempDir& dir,
                          int timeoutMs = 0)
{
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string home = "HOME=" + dir.Dir();
    std::vector<char*> env = {const_cast<char*>(home.c_str()), nullptr};
    const std::string out = dir.Path("out"), err = dir.Path("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.Dir().c_str());
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ToolResult result;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << program;
    int status = 0;
    pid_t ended = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool killed = false;
    while (spawned == 0 && (ended = waitpid(pid, &status, timeoutMs > 0 ? WNOHANG : 0)) == 0) {
        if (!killed && std::chrono::steady_clock::now() >= deadline) {
            ADD_FAILURE() << program << " still ran after " << timeoutMs << " ms";
            killed = kill(pid, SIGKILL) == 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (ended == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    return result;
}
