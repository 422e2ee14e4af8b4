// The input reader over a real pipe, and the engine process as a front end
// sees it: silence on junk, quit and end of input.
#include <gtest/gtest.h>

#include <string>

#include <unistd.h>

#include "engine/input.h"
#include "tests/pipe_process.h"

namespace NEngine {
namespace {

using NEngineTest::PipeProcess;

// A pipe whose read end feeds an InputReader.
struct InputPipe {
    int fds[2] = {-1, -1};
    InputPipe() { EXPECT_EQ(pipe(fds), 0); }
    ~InputPipe() {
        CloseWriter();
        close(fds[0]);
    }
    void Write(const std::string& data) {
        ASSERT_EQ(write(fds[1], data.data(), data.size()), ssize_t(data.size()));
    }
    void CloseWriter() {
        if (fds[1] >= 0) close(fds[1]);
        fds[1] = -1;
    }
};

TEST(InputReader, PollQueueAndEndOfInput) {
    InputPipe pipe;
    InputReader reader(pipe.fds[0]);
    // Nothing written: the poll answers at once.
    EXPECT_FALSE(reader.InputAvailable());
    EXPECT_EQ(reader.PollCommand().code, None);

    // Two commands in one write: the blocking read takes the first, and the
    // second, already read from the pipe, must still count as waiting.
    pipe.Write("isready\nstop\n");
    EXPECT_EQ(reader.NextCommand().code, CmdIsReady);
    EXPECT_TRUE(reader.InputAvailable());
    EXPECT_EQ(reader.PollCommand().code, CmdStop);
    EXPECT_FALSE(reader.InputAvailable());

    // A partial line is not input yet; its completion is.
    pipe.Write("qu");
    EXPECT_FALSE(reader.InputAvailable());
    pipe.Write("it\r\nPe4\r\n");
    EXPECT_EQ(reader.PollCommand().code, CmdQuit);

    // Deferred commands come first, oldest first; the poll leaves them alone.
    Command position, go;
    position.code = CmdPosition;
    go.code = CmdGoUci;
    reader.Defer(position);
    reader.Defer(go);
    const Command placed = reader.PollCommand();
    EXPECT_EQ(placed.code, CmdPlacePiece);
    EXPECT_EQ(placed.text, "Pe4");  // carriage return removed
    EXPECT_EQ(reader.NextCommand().code, CmdPosition);
    EXPECT_EQ(reader.NextCommand().code, CmdGoUci);

    // A last line without a line feed still counts; then end of input reads
    // as quit for both the blocking read and the poll, every time.
    pipe.Write("isready");
    pipe.CloseWriter();
    EXPECT_EQ(reader.NextCommand().code, CmdIsReady);
    EXPECT_EQ(reader.NextCommand().code, CmdQuit);
    EXPECT_TRUE(reader.AtEndOfInput());
    EXPECT_EQ(reader.PollCommand().code, CmdQuit);
    EXPECT_EQ(reader.NextCommand().code, CmdQuit);
}

const std::string EnginePath = std::string(TARNOCK_BIN_DIR) + "/tarnock";

TEST(EngineProcess, QuitJunkAndEndOfInput) {
    {
        // "quit" first: a clean exit without a word.
        PipeProcess engine(EnginePath);
        ASSERT_TRUE(engine.Started());
        ASSERT_TRUE(engine.WriteLine("quit"));
        EXPECT_EQ(engine.Wait(10000), 0);
        EXPECT_EQ(engine.ReadAll(1000), "");
    }
    // Blank lines, whitespace, unknown words, a malformed position and a
    // number-less ping get no reply; all lines of one write are handled, so
    // the first output is the answer to the last of them. End of input then
    // ends the engine silently.
    PipeProcess engine(EnginePath);
    ASSERT_TRUE(engine.Write("\n   \t \n\r\nhello\nxyzzy 1 2\nQUIT\nposition\nposition fen\nping\nisready\n"));
    std::string line;
    ASSERT_TRUE(engine.ReadLine(line, 10000));
    EXPECT_EQ(line, "readyok");
    engine.CloseInput();
    EXPECT_EQ(engine.Wait(10000), 0);
    EXPECT_EQ(engine.ReadAll(1000), "");
}

}  // namespace
}  // namespace NEngine
