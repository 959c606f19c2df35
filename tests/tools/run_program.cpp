#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

extern char** environ;

namespace kv::test {
namespace {

// Starts argv[0] with the file actions; its pid, or -1 when it could not be started.
pid_t Spawn(const std::vector<std::string>& argv, const posix_spawn_file_actions_t* actions) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, args[0], actions, nullptr, args.data(), environ) == 0 ? pid : -1;
}

}  // namespace

ProgramRun RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
    ProgramRun run;
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0) return run;
    if (::pipe(errPipe) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    const pid_t pid = Spawn(argv, &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (pid < 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            run.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
    return run;
}

BackgroundProgram StartProgram(const std::vector<std::string>& argv,
                               std::chrono::milliseconds limit) {
    BackgroundProgram program;
    int outPipe[2];
    if (::pipe(outPipe) != 0) return program;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    const pid_t pid = Spawn(argv, &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    if (pid > 0) {
        program.pid = pid;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        pollfd fd = {outPipe[0], POLLIN, 0};
        for (char c = 0; c != '\n';) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
            if (::read(outPipe[0], &c, 1) != 1) break;
            if (c != '\n') program.firstLine += c;
        }
    }
    ::close(outPipe[0]);
    return program;
}

BackgroundProgram StartProgramWithOutput(const std::vector<std::string>& argv,
                                         const std::string& outPath, const std::string& errPath) {
    BackgroundProgram program;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    program.pid = Spawn(argv, &actions);
    posix_spawn_file_actions_destroy(&actions);
    return program;
}

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

int StopProgram(BackgroundProgram& program) {
    if (program.pid <= 0) return -1;
    ::kill(program.pid, SIGTERM);
    int wstatus = 0;
    const pid_t ended = ::waitpid(program.pid, &wstatus, 0);
    program.pid = -1;
    return ended > 0 && WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

}  // namespace kv::test
