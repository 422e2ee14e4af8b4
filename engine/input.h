// Line input from standard input: a blocking read for the command loop, a
// poll that never blocks for the running search, and the queue of commands
// that arrived during a search and wait for the loop.
#pragma once

#include <deque>
#include <string>
#include <utility>

#include "engine/command.h"

namespace NEngine {

class InputReader {
public:
    // Reads from the given descriptor (standard input by default); the
    // descriptor is not owned and never closed here.
    explicit InputReader(int fd = 0);
    InputReader(const InputReader&) = delete;
    InputReader& operator=(const InputReader&) = delete;

    // The oldest deferred command, else the next line parsed (blocking).
    // At end of input it returns CmdQuit, every time it is asked.
    Command NextCommand();

    // True when a complete line (or end of input) is waiting; never blocks.
    bool InputAvailable();

    // The next line parsed when InputAvailable, else a None command. Never
    // takes from the queue. End of input reads as CmdQuit here too.
    Command PollCommand();

    // Keeps a command for the command loop, after those already waiting.
    void Defer(Command command) { queue.push_back(std::move(command)); }

    bool AtEndOfInput() const { return endOfInput && start == buffer.size(); }

    std::deque<Command> queue;
    bool uciMode = false;

private:
    // Takes one line out of the buffer; false when none is complete (a
    // trailing partial line counts as complete once input has ended).
    bool TakeLine(std::string& line);
    bool HasCompleteLine() const;
    // One read(2) into the buffer. With block unset the caller has seen the
    // descriptor readable; returns whether data or end of input came.
    bool ReadChunk(bool block);
    Command ParseLine(const std::string& line) const;

    int fd;
    // All input goes through this buffer, so a second line that arrived with
    // the first is seen by the poll as well as by the blocking read.
    std::string buffer;
    size_t start = 0;  // first unconsumed byte of buffer
    bool endOfInput = false;
};

}  // namespace NEngine
