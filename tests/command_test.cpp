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
        {"TRUE", 1}, {"True", 1}, {"FaLsE", 0},
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

    // Several options in one line; names of several words; words outside a
    // "name ... value V" group, a name without a value and an empty name
    // set nothing.
    const std::pair<const char*, Params> options[] = {
        {"setoption name Hash value 64 name Threads value 3", {{"Hash", 64}, {"Threads", 3}}},
        {"setoption nom Hash value 64 name Threads value TRUE name Hash", {{"Threads", 1}}},
        {"setoption name Move  Overhead value 10 extra name Ponder value true", {{"Move Overhead", 10}, {"Ponder", 1}}},
        {"setoption name value 5 name Hash", {}},
    };
    for (const auto& [line, params] : options) EXPECT_EQ(ParseCommand(line, true).params, params) << line;

    // The protocol decides the meaning of "go".
    EXPECT_EQ(ParseCommand("go", false).code, CmdGo);
    EXPECT_EQ(ParseCommand("go wtime 60000", true).code, CmdGoUci);
    // Keys in any order, flags anywhere, the move list up to the next key,
    // unknown keys skipped with their values; the first value of a repeated
    // key is kept, and a value that is no number leaves its key out.
    const struct {
        const char* line;
        Params params;
        Words moves;
        bool infinite, ponder;
    } gos[] = {
        {"go ponder btime 10 winc 5 wtime 20 binc 6", {{"btime", 10}, {"winc", 5}, {"wtime", 20}, {"binc", 6}}, {}, false, true},
        {"go searchmoves e2e4 d2d4 wtime 100 btime 90", {{"wtime", 100}, {"btime", 90}}, {"e2e4", "d2d4"}, false, false},
        {"go nodes 5000 searchmoves g1f3 hello e7e8q infinite", {{"nodes", 5000}}, {"g1f3", "e7e8q"}, true, false},
        {"go wtime 100 foo 3 bar btime 200 mate 4", {{"wtime", 100}, {"btime", 200}, {"mate", 4}}, {}, false, false},
        {"go depth 5 Depth 7 depth 9 nodes", {{"depth", 5}}, {}, false, false},
        {"go wtime infinite depth x movetime -5", {{"movetime", -5}}, {}, false, false},
        {"go wtime 0 nodes 99999999999", {{"wtime", 0}, {"nodes", INT32_MAX}}, {}, false, false},
        {"go infinite ponder", {}, {}, true, true},
    };
    for (const auto& g : gos) {
        const Command go = ParseCommand(g.line, true);
        EXPECT_EQ(go.params, g.params) << g.line;
        EXPECT_EQ(go.args, g.moves) << g.line;
        EXPECT_EQ(go.infinite, g.infinite) << g.line;
        EXPECT_EQ(go.ponder, g.ponder) << g.line;
    }
    EXPECT_EQ(ParseCommand("ponderhit", true).code, CmdPonderHit);
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
