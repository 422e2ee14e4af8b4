// Test helper: runs a program with pipes on its standard input and output,
// so protocol tests can talk to the real binaries line by line.
//
//   PipeProcess engine(TARNOCK_BIN_DIR "/tarnock");
//   engine.WriteLine("uci");
//   std::string line;
//   while (engine.ReadLine(line, 5000) && line != "uciok") {}
//   engine.CloseInput();
//   EXPECT_EQ(engine.Wait(5000), 0);
//
// Standard error is inherited, so sanitizer reports land in the test log.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace NEngineTest {

class PipeProcess {
public:
    explicit PipeProcess(const std::string& path, const std::vector<std::string>& args = {}) {
        // A child that exits early must not kill the test with SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);

        // argv is prepared before fork: the child only calls exec-safe functions.
        std::vector<std::string> words{path};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);

        int toChild[2], fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0) return;
        if (pipe2(fromChild, O_CLOEXEC) != 0) {
            close(toChild[0]);
            close(toChild[1]);
            return;
        }
        pid = fork();
        if (pid == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        if (pid < 0) {
            close(toChild[1]);
            close(fromChild[0]);
            return;
        }
        input = toChild[1];
        output = fromChild[0];
    }

    ~PipeProcess() {
        CloseInput();
        if (pid > 0 && !exited) {
            kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);
        }
        if (output >= 0) close(output);
    }

    PipeProcess(const PipeProcess&) = delete;
    PipeProcess& operator=(const PipeProcess&) = delete;

    bool Started() const { return pid > 0; }

    // Writes the bytes as given, in a single write where the pipe allows.
    bool Write(const std::string& data) {
        size_t done = 0;
        while (done < data.size()) {
            if (input < 0) return false;
            const ssize_t n = write(input, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += size_t(n);
        }
        return true;
    }
    bool WriteLine(const std::string& line) { return Write(line + "\n"); }

    // Next output line without its line feed; false on timeout or when the
    // output ended with no further complete line (a partial rest is kept).
    bool ReadLine(std::string& line, int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const size_t end = pending.find('\n');
            if (end != std::string::npos) {
                line = pending.substr(0, end);
                pending.erase(0, end + 1);
                return true;
            }
            if (!Fill(deadline)) return false;
        }
    }

    // Reads until a line satisfies the predicate; every line read is appended
    // to seen when given. False on timeout or end of output.
    template <typename Predicate>
    bool ReadUntil(Predicate predicate, int timeoutMs, std::vector<std::string>* seen = nullptr) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string line;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (!ReadLine(line, int(std::max<long long>(left.count(), 0)))) return false;
            if (seen) seen->push_back(line);
            if (predicate(line)) return true;
        }
    }

    // Everything written until the output closes (or the timeout passes).
    std::string ReadAll(int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Fill(deadline)) {
        }
        std::string all;
        all.swap(pending);
        return all;
    }

    // Sends end of input.
    void CloseInput() {
        if (input >= 0) close(input);
        input = -1;
    }

    // True while the process has not exited.
    bool Running() {
        if (pid <= 0 || exited) return false;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) Record(status);
        return !exited;
    }

    // The exit status; 128 + signal when killed by a signal; -1 when it did
    // not end in time (it is then killed).
    int Wait(int timeoutMs) {
        if (pid <= 0) return -1;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Running()) {
            if (Clock::now() >= deadline) {
                kill(pid, SIGKILL);
                int status = 0;
                waitpid(pid, &status, 0);
                exited = true;
                exitStatus = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return exitStatus;
    }

private:
    using Clock = std::chrono::steady_clock;

    // Reads one chunk of output; false on timeout or end of output.
    bool Fill(Clock::time_point deadline) {
        if (output < 0) return false;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd entry{output, POLLIN, 0};
            const int ready = poll(&entry, 1, int(std::max<long long>(left.count(), 0)));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) return false;
            char chunk[4096];
            const ssize_t n = read(output, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            pending.append(chunk, size_t(n));
            return true;
        }
    }

    void Record(int status) {
        exited = true;
        if (WIFEXITED(status)) exitStatus = WEXITSTATUS(status);
        else if (WIFSIGNALED(status)) exitStatus = 128 + WTERMSIG(status);
        else exitStatus = -1;
    }

    pid_t pid = -1;
    int input = -1;
    int output = -1;
    bool exited = false;
    int exitStatus = -1;
    std::string pending;
};

}  // namespace NEngineTest
