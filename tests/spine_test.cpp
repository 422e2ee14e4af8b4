// The input reader over a real pipe, and the engine process as a front end
// sees it: start, silence on junk, quit and end of input.
#include <gtest/gtest.h>

#include <chrono>
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

TEST(InputReader, LinesArrivingTogetherStayVisibleToThePoll) {
    InputPipe pipe;
    InputReader reader(pipe.fds[0]);

    // Nothing written: the poll answers at once.
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(reader.InputAvailable());
    EXPECT_EQ(reader.PollCommand().code, None);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));

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
    EXPECT_EQ(reader.PollCommand().code, None);
    pipe.Write("it\r\nucinewgame\n");
    EXPECT_EQ(reader.PollCommand().code, CmdQuit);
    EXPECT_EQ(reader.NextCommand().code, CmdUciNewGame);

    // The protocol flag reaches the parser.
    pipe.Write("go\n");
    reader.uciMode = true;
    EXPECT_EQ(reader.NextCommand().code, CmdGoUci);
}

TEST(InputReader, QueueAndEndOfInput) {
    InputPipe pipe;
    InputReader reader(pipe.fds[0]);

    // Deferred commands come first, oldest first; the poll leaves them alone.
    pipe.Write("Pe4\r\n");
    Command position;
    position.code = CmdPosition;
    Command go;
    go.code = CmdGoUci;
    reader.Defer(position);
    reader.Defer(go);
    const Command placed = reader.PollCommand();
    EXPECT_EQ(placed.code, CmdPlacePiece);
    EXPECT_EQ(placed.text, "Pe4");  // carriage return removed
    EXPECT_EQ(reader.queue.size(), 2u);
    EXPECT_EQ(reader.NextCommand().code, CmdPosition);
    EXPECT_EQ(reader.NextCommand().code, CmdGoUci);
    EXPECT_TRUE(reader.queue.empty());

    // A last line without a line feed still counts; then end of input reads
    // as quit for both the blocking read and the poll, every time.
    pipe.Write("  \nisready");
    pipe.CloseWriter();
    EXPECT_EQ(reader.NextCommand().code, None);
    EXPECT_FALSE(reader.AtEndOfInput());
    EXPECT_EQ(reader.NextCommand().code, CmdIsReady);
    EXPECT_EQ(reader.NextCommand().code, CmdQuit);
    EXPECT_TRUE(reader.AtEndOfInput());
    EXPECT_TRUE(reader.InputAvailable());
    EXPECT_EQ(reader.PollCommand().code, CmdQuit);
    EXPECT_EQ(reader.NextCommand().code, CmdQuit);
}

const std::string EnginePath = std::string(TARNOCK_BIN_DIR) + "/tarnock";

TEST(EngineProcess, QuitAndEndOfInputEndSilently) {
    {
        PipeProcess engine(EnginePath);
        ASSERT_TRUE(engine.Started());
        ASSERT_TRUE(engine.WriteLine("quit"));
        EXPECT_EQ(engine.Wait(10000), 0);
        EXPECT_EQ(engine.ReadAll(1000), "");
    }
    {
        PipeProcess engine(EnginePath);
        ASSERT_TRUE(engine.Started());
        engine.CloseInput();
        EXPECT_EQ(engine.Wait(10000), 0);
        EXPECT_EQ(engine.ReadAll(1000), "");
    }
    {
        // A final "quit" without its line feed, then end of input.
        PipeProcess engine(EnginePath);
        ASSERT_TRUE(engine.Write("quit"));
        engine.CloseInput();
        EXPECT_EQ(engine.Wait(10000), 0);
        EXPECT_EQ(engine.ReadAll(1000), "");
    }
}

TEST(EngineProcess, JunkIsIgnoredAndLinesInOneWriteAreAllHandled) {
    {
        PipeProcess engine(EnginePath);
        ASSERT_TRUE(engine.Started());
        // Blank lines, whitespace, unknown words, a malformed position and a
        // number-less ping: no reply, and the engine keeps running.
        ASSERT_TRUE(engine.Write("\n   \t \n\r\nhello\nxyzzy 1 2\nQUIT\nposition\nposition fen\nping\n"));
        std::string line;
        EXPECT_FALSE(engine.ReadLine(line, 300)) << "unexpected output: " << line;
        EXPECT_TRUE(engine.Running());
        ASSERT_TRUE(engine.WriteLine("quit"));
        EXPECT_EQ(engine.Wait(10000), 0);
        EXPECT_EQ(engine.ReadAll(1000), "");
    }
    {
        // Both lines of one write are handled, with input left open.
        PipeProcess engine(EnginePath);
        ASSERT_TRUE(engine.Write("foo\nquit\n"));
        EXPECT_EQ(engine.Wait(10000), 0);
        EXPECT_EQ(engine.ReadAll(1000), "");
    }
    {
        // A command split over two writes.
        PipeProcess engine(EnginePath);
        ASSERT_TRUE(engine.Write("qu"));
        EXPECT_TRUE(engine.Running());
        ASSERT_TRUE(engine.Write("it\r\n"));
        EXPECT_EQ(engine.Wait(10000), 0);
    }
}

}  // namespace
}  // namespace NEngine
