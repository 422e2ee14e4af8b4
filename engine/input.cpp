#include "engine/input.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace NEngine {

namespace {

Command QuitCommand() {
    Command command;
    command.code = CmdQuit;
    return command;
}

// Waits until the descriptor can be read (for descriptors left non-blocking
// by whoever started us).
void WaitReadable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    while (poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
}

}  // namespace

InputReader::InputReader(int fd) : fd(fd) {}

bool InputReader::HasCompleteLine() const {
    return buffer.find('\n', start) != std::string::npos;
}

bool InputReader::ReadChunk(bool block) {
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            // Drop consumed bytes before growing, so the buffer stays small.
            if (start == buffer.size()) {
                buffer.clear();
                start = 0;
            } else if (start >= sizeof chunk) {
                buffer.erase(0, start);
                start = 0;
            }
            buffer.append(chunk, size_t(n));
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!block) return false;
            WaitReadable(fd);
            continue;
        }
        // End of input, or an error after which nothing more can come.
        endOfInput = true;
        return true;
    }
}

bool InputReader::TakeLine(std::string& line) {
    size_t end = buffer.find('\n', start);
    size_t next = end + 1;
    if (end == std::string::npos) {
        if (!endOfInput || start == buffer.size()) return false;
        end = next = buffer.size();  // last line without its line feed
    }
    line.assign(buffer, start, end - start);
    start = next;
    // Lines ending in CR LF read the same as lines ending in LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

Command InputReader::ParseLine(const std::string& line) const {
    return ParseCommand(line, uciMode);
}

Command InputReader::NextCommand() {
    if (!queue.empty()) {
        Command command = std::move(queue.front());
        queue.pop_front();
        return command;
    }
    std::string line;
    while (!TakeLine(line)) {
        if (endOfInput) return QuitCommand();
        ReadChunk(true);
    }
    return ParseLine(line);
}

bool InputReader::InputAvailable() {
    for (;;) {
        if (endOfInput || HasCompleteLine()) return true;
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, 0);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        if (entry.revents & POLLNVAL) {
            // No usable input descriptor at all: nothing can ever arrive.
            endOfInput = true;
            return true;
        }
        // Readable (data, hang-up or error): the read returns at once. Keep
        // reading while a partial line grows, so only whole lines count.
        if (!ReadChunk(false)) return false;
    }
}

Command InputReader::PollCommand() {
    if (!InputAvailable()) return Command{};
    std::string line;
    if (!TakeLine(line)) return QuitCommand();  // end of input
    return ParseLine(line);
}

}  // namespace NEngine
