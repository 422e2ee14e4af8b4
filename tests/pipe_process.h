// Test helper: runs a program with pipes on its standard input and output,
// so protocol tests can talk to the real binaries line by line. Standard
// error is inherited, so sanitizer reports land in the test log.
#pragma once

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace NEngineTest {

class PipeProcess {
public:
    explicit PipeProcess(std::string path) {
        // A child that exits early must not kill the test with SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
        // argv is prepared before fork: the child only calls exec-safe functions.
        char* argv[] = {path.data(), nullptr};
        int toChild[2] = {-1, -1}, fromChild[2] = {-1, -1};
        if (pipe2(toChild, O_CLOEXEC) == 0 && pipe2(fromChild, O_CLOEXEC) == 0) pid = fork();
        if (pid == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            execv(argv[0], argv);
            _exit(127);
        }
        for (int fd : {toChild[0], fromChild[1]})
            if (fd >= 0) close(fd);
        // Closed by the destructor, also when the start failed.
        input = toChild[1];
        output = fromChild[0];
    }

    ~PipeProcess() {
        CloseInput();
        if (pid > 0 && !exited) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (output >= 0) close(output);
    }

    PipeProcess(const PipeProcess&) = delete;
    PipeProcess& operator=(const PipeProcess&) = delete;

    bool Started() const { return pid > 0; }

    // Writes the bytes as given, in a single write where the pipe allows.
    bool Write(const std::string& data) {
        for (size_t done = 0; done < data.size();) {
            const ssize_t n = input < 0 ? -1 : write(input, data.data() + done, data.size() - done);
            if (n <= 0) return false;
            done += size_t(n);
        }
        return true;
    }
    bool WriteLine(const std::string& line) { return Write(line + "\n"); }

    // Next output line without its line feed; false on timeout or end of
    // output (a partial rest is kept).
    bool ReadLine(std::string& line, int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        size_t end;
        while ((end = pending.find('\n')) == std::string::npos)
            if (!Fill(deadline)) return false;
        line = pending.substr(0, end);
        pending.erase(0, end + 1);
        return true;
    }

    // Sends end of input.
    void CloseInput() {
        if (input >= 0) close(input);
        input = -1;
    }

    // The exit status; 128 + signal when killed by a signal; -1 when it did
    // not end in time (it is then killed).
    int Wait(int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (int status = 0; pid > 0 && !exited; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else if (Clock::now() >= deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
                exited = true;
            }
        }
        return exitStatus;
    }

private:
    using Clock = std::chrono::steady_clock;

    // Reads one chunk of output; false on timeout or end of output.
    bool Fill(Clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{output, POLLIN, 0};
        if (output < 0 || poll(&entry, 1, int(std::max<long long>(left.count(), 0))) <= 0) return false;
        char chunk[4096];
        const ssize_t n = read(output, chunk, sizeof chunk);
        if (n <= 0) return false;
        pending.append(chunk, size_t(n));
        return true;
    }

    pid_t pid = -1;
    int input = -1, output = -1;
    bool exited = false;
    int exitStatus = -1;
    std::string pending;
};

}  // namespace NEngineTest
