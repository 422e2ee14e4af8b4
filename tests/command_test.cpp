// The line parser (lenient numbers, command words, the sub-parsers for
// position, setoption and go) and what the protocol tests cannot see of the
// input reader.
#include <gtest/gtest.h>

#include <unistd.h>

#include "engine/command.h"
#include "engine/input.h"

namespace NEngine {
namespace {

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

// A partial line is no input yet: a poll that said otherwise would leave the
// search blocked in the read. End of input reads as quit, for the poll too.
TEST(InputReader, PartialLinesAndEndOfInput) {
    int fds[2] = {-1, -1};
    ASSERT_EQ(pipe(fds), 0);
    InputReader reader(fds[0]);
    EXPECT_FALSE(reader.InputAvailable());
    EXPECT_EQ(write(fds[1], "qu", 2), 2);
    EXPECT_FALSE(reader.InputAvailable());
    EXPECT_EQ(write(fds[1], "it\n", 3), 3);
    EXPECT_EQ(reader.PollCommand().code, CmdQuit);
    close(fds[1]);
    EXPECT_EQ(reader.PollCommand().code, CmdQuit);
    EXPECT_TRUE(reader.AtEndOfInput());
    close(fds[0]);
}

}  // namespace
}  // namespace NEngine
