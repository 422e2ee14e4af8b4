// The engine as the protocol tests drive it: a process through pipes, as a
// front end drives it, or the engine object in the test's own process.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "board/attacks.h"
#include "board/board.h"
#include "engine/command.h"
#include "engine/engine.h"
#include "engine/handler.h"

namespace NEngine::Tests {

using Clock = std::chrono::steady_clock;

// Generous: sanitizer builds are several times slower than release builds.
constexpr int LongWaitMs = 30000;

using Lines = std::vector<std::string>;

inline bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// Which side made a move from the start position's ranks.
inline bool WhiteMove(const std::string& move) { return move.size() >= 4 && (move[1] == '1' || move[1] == '2'); }
inline bool BlackMove(const std::string& move) { return move.size() >= 4 && (move[1] == '7' || move[1] == '8'); }

inline long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A move in coordinate notation, promotions included.
inline bool IsCoordinateMove(const std::string& t) {
    return (t.size() == 4 || (t.size() == 5 && std::string("qrbn").find(t[4]) != std::string::npos)) && t[0] >= 'a' &&
           t[0] <= 'h' && t[1] >= '1' && t[1] <= '8' && t[2] >= 'a' && t[2] <= 'h' && t[3] >= '1' && t[3] <= '8';
}

// One engine process with pipes on its standard input and output, read line
// by line; the handshake is left to the test. Standard error is inherited,
// so sanitizer reports land in the test log.
class EngineSession {
public:
    EngineSession() {
        // A child that exits early must not kill the test with SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
        // argv is prepared before fork: the child only calls exec-safe functions.
        std::string path = TARNOCK_BIN_DIR "/tarnock";
        char* argv[] = {path.data(), nullptr};
        int toChild[2] = {-1, -1}, fromChild[2] = {-1, -1};
        if (pipe2(toChild, O_CLOEXEC) == 0 && pipe2(fromChild, O_CLOEXEC) == 0) pid = fork();
        if (pid == 0) {
            // Whatever started the tests may ignore SIGINT (a background
            // job does); the engine must meet it with its own disposition.
            signal(SIGINT, SIG_DFL);
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

    ~EngineSession() {
        CloseInput();
        if (pid > 0 && !exited) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (output >= 0) close(output);
    }

    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

    bool Started() const { return pid > 0; }

    // Sends a signal to the engine process; false when it is gone.
    bool Signal(int number) { return pid > 0 && !exited && kill(pid, number) == 0; }

    // Writes the bytes as given, in a single write where the pipe allows.
    bool Write(const std::string& data) {
        for (size_t done = 0; done < data.size();) {
            const ssize_t n = input < 0 ? -1 : write(input, data.data() + done, data.size() - done);
            if (n <= 0) return false;
            done += size_t(n);
        }
        return true;
    }
    void Send(const std::string& line) { EXPECT_TRUE(Write(line + "\n")) << line; }

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

    // Lines up to and including the first that starts with prefix; empty
    // when none came in time.
    std::vector<std::string> ReadUntil(const std::string& prefix, int timeoutMs = LongWaitMs) {
        const auto start = Clock::now();
        std::vector<std::string> seen;
        for (std::string line; ReadLine(line, int(std::max(0LL, timeoutMs - MillisecondsSince(start))));) {
            seen.push_back(line);
            if (StartsWith(line, prefix)) return seen;
        }
        return {};
    }

    // "isready" and its answer: the lines that came before it.
    std::vector<std::string> Sync() {
        Send("isready");
        std::vector<std::string> lines = ReadUntil("readyok");
        EXPECT_FALSE(lines.empty()) << "no readyok";
        if (!lines.empty()) lines.pop_back();
        return lines;
    }

    // Runs one search: the "bestmove" line's move; the lines before it in
    // seen, the move to ponder on (empty when none) in ponder.
    std::string Go(const std::string& go, std::vector<std::string>* seen = nullptr, std::string* ponder = nullptr) {
        Send(go);
        std::vector<std::string> lines = ReadUntil("bestmove ");
        EXPECT_FALSE(lines.empty()) << "no bestmove after " << go;
        if (lines.empty()) return {};
        std::istringstream words(lines.back().substr(9));
        std::string move, keyword, reply;
        words >> move >> keyword >> reply;
        EXPECT_TRUE(keyword.empty() || (keyword == "ponder" && IsCoordinateMove(reply))) << lines.back();
        lines.pop_back();
        if (seen) *seen = lines;
        if (ponder) *ponder = reply;
        return move;
    }

    std::string BestAfter(const std::string& position, const std::string& go = "go depth 4") {
        Send(position);
        return Go(go);
    }

private:
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

// The engine object with its input a pipe the test holds (nothing arrives
// unless the test writes it) and its output collected in a string.
class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        InitEngineTables();
        ASSERT_EQ(pipe(fds), 0);
        engine = std::make_unique<Engine>(output, fds[0], 2);
    }
    void TearDown() override {
        engine.reset();
        close(fds[0]);
        close(fds[1]);
    }
    // The replies to one command.
    std::string Handle(const std::string& line) {
        output.str("");
        HandleCommand(*engine, ParseCommand(line, engine->UciMode()));
        return output.str();
    }
    void HandleAll(const Lines& lines) {
        for (const std::string& line : lines) Handle(line);
    }
    std::string Fen() { return ToFen(engine->MainBoard()); }
    double Budget() {
        engine->TimeBudget();
        return engine->searcher.TimeBudget();
    }

    int fds[2] = {-1, -1};
    std::ostringstream output;
    std::unique_ptr<Engine> engine;
};

}  // namespace NEngine::Tests
