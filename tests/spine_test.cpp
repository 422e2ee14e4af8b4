// The line parser (lenient numbers, command words, the sub-parsers), the
// input reader over a real pipe, and the engine process as a front end sees
// it: silence on junk, quit and end of input.
#include <gtest/gtest.h>

#include <string>

#include <unistd.h>

#include "engine/command.h"
#include "engine/input.h"
#include "tests/pipe_process.h"

namespace NEngine {
namespace {

using NEngineTest::PipeProcess;

using Params = std::map<std::string, int32_t>;
using Words = std::vector<std::string>;

TEST(ParseInt, NumbersSignsAndWords) {
    const std::pair<const char*, int32_t> cases[] = {
        {"42", 42}, {"+17", 17}, {"-300", -300},
        // Only the leading number counts.
        {"64mb", 64}, {"1.9", 1}, {"12 34", 12},
        // The 32-bit limits are accepted; one beyond falls back to 0.
        {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"2147483648", 0}, {"-2147483649", 0},
        {"99999999999999999999999999", 0},
        // Boolean words in any case.
        {"true", 1}, {"TRUE", 1}, {"True", 1}, {"false", 0}, {"FaLsE", 0},
        // Nothing readable.
        {"", 0}, {"-", 0}, {"abc", 0}, {"x12", 0}, {" 5", 0},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseInt(text), value) << '"' << text << '"';
}

TEST(ParseCommand, WordsNumbersAndMoves) {
    EXPECT_EQ(ParseCommand(" \t \r", false).code, None);
    EXPECT_EQ(ParseCommand("QUIT", false).code, None);  // case-sensitive
    EXPECT_EQ(ParseCommand("  \tquit  \r", true).code, CmdQuit);
    EXPECT_EQ(ParseCommand("saveboard  games.pgn\textra", false).args, (Words{"games.pgn", "extra"}));

    // Numeric commands need their number; junk reads as 0.
    EXPECT_EQ(ParseCommand("level 40 5 0", false).number, 40);
    EXPECT_EQ(ParseCommand("time -250", false).number, -250);
    EXPECT_EQ(ParseCommand("st abc", false).code, CmdSt);
    EXPECT_EQ(ParseCommand("ping", false).code, None);

    const Command setBoard = ParseCommand("setb 8/8/8/8/8/8/8/K6k  w - - 0 1", false);
    EXPECT_EQ(setBoard.code, CmdSetBoard);
    EXPECT_EQ(setBoard.text, "8/8/8/8/8/8/8/K6k w - - 0 1");
    EXPECT_EQ(ParseCommand("setboard 8/8/8/8/8/8/8/K6k", false).code, None);

    // Three characters of a piece letter and a square are a placement first;
    // other move text is a move.
    EXPECT_EQ(ParseCommand("Nf3", false).code, CmdPlacePiece);
    EXPECT_EQ(ParseCommand("Nxf3", true).text, "Nxf3");
    EXPECT_EQ(ParseCommand("O-O", false).code, CmdMove);
    EXPECT_EQ(ParseCommand("xyzzy", false).code, None);
}

TEST(ParseCommand, PositionSetOptionAndGo) {
    // The FEN text runs up to "moves", missing fields and all; a position
    // without one is dropped.
    const Command fen = ParseCommand("position fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1 moves e2e4", true);
    EXPECT_EQ(fen.text, "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    EXPECT_EQ(fen.args, (Words{"e2e4"}));
    EXPECT_EQ(ParseCommand("position fen 4k3/8/8/8/8/8/4P3/4K3 w - -", true).text, "4k3/8/8/8/8/8/4P3/4K3 w - -");

    EXPECT_EQ(ParseCommand("position", true).code, None);
    EXPECT_EQ(ParseCommand("position fen moves e2e4", true).code, None);

    EXPECT_EQ(ParseCommand("setoption name Hash value 64 name Threads value 3", true).params,
              (Params{{"Hash", 64}, {"Threads", 3}}));
    // Groups of four from the start: a broken group is skipped, the next one
    // still counts; an incomplete tail is ignored; a two-word name shifts
    // the groups so that nothing is set.
    EXPECT_EQ(ParseCommand("setoption nom Hash value 64 name Threads value TRUE name Hash", true).params,
              (Params{{"Threads", 1}}));
    EXPECT_TRUE(ParseCommand("setoption name Move Overhead value 10", true).params.empty());

    // The protocol decides the meaning of "go".
    EXPECT_EQ(ParseCommand("go", false).code, CmdGo);
    const Command timed = ParseCommand("go wtime 60000 btime 59000 movestogo 20", true);
    EXPECT_EQ(timed.code, CmdGoUci);
    EXPECT_EQ(timed.params, (Params{{"wtime", 60000}, {"btime", 59000}, {"movestogo", 20}}));
    // First value of a repeated key is kept; an unpaired last word is dropped.
    EXPECT_EQ(ParseCommand("go depth 5 Depth 7 depth 9 nodes", true).params, (Params{{"depth", 5}, {"Depth", 7}}));
}

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

    // A partial line is not input yet; its completion is. The second line of
    // that write, already read from the pipe, must still count as waiting.
    pipe.Write("qu");
    EXPECT_FALSE(reader.InputAvailable());
    pipe.Write("it\r\nPe4\r\n");
    EXPECT_EQ(reader.PollCommand().code, CmdQuit);
    EXPECT_TRUE(reader.InputAvailable());

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
    std::string line;
    {
        // "quit" first: a clean exit without a word.
        PipeProcess engine(EnginePath);
        ASSERT_TRUE(engine.Started());
        ASSERT_TRUE(engine.WriteLine("quit"));
        EXPECT_EQ(engine.Wait(10000), 0);
        EXPECT_FALSE(engine.ReadLine(line, 1000));
    }
    // Blank lines, whitespace, unknown words, a malformed position and a
    // number-less ping get no reply; all lines of one write are handled, so
    // the first output is the answer to the last of them. End of input then
    // ends the engine silently.
    PipeProcess engine(EnginePath);
    ASSERT_TRUE(engine.Write("\n   \t \n\r\nhello\nxyzzy 1 2\nQUIT\nposition\nposition fen\nping\nisready\n"));
    ASSERT_TRUE(engine.ReadLine(line, 10000));
    EXPECT_EQ(line, "readyok");
    engine.CloseInput();
    EXPECT_EQ(engine.Wait(10000), 0);
    EXPECT_FALSE(engine.ReadLine(line, 1000));
}

}  // namespace
}  // namespace NEngine
