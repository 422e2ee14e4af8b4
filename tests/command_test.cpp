// The line parser: command words, lenient numbers and the sub-parsers for
// position, setoption and UCI go.
#include <gtest/gtest.h>

#include "engine/command.h"

namespace NEngine {
namespace {

TEST(ParseInt, NumbersSignsAndWords) {
    EXPECT_EQ(ParseInt("42"), 42);
    EXPECT_EQ(ParseInt("+17"), 17);
    EXPECT_EQ(ParseInt("-300"), -300);
    EXPECT_EQ(ParseInt("-0"), 0);
    // Only the leading number counts.
    EXPECT_EQ(ParseInt("64mb"), 64);
    EXPECT_EQ(ParseInt("1.9"), 1);
    EXPECT_EQ(ParseInt("12 34"), 12);
    // The 32-bit limits are accepted; one beyond falls back to 0.
    EXPECT_EQ(ParseInt("2147483647"), 2147483647);
    EXPECT_EQ(ParseInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseInt("2147483648"), 0);
    EXPECT_EQ(ParseInt("-2147483649"), 0);
    EXPECT_EQ(ParseInt("99999999999999999999999999"), 0);
    // Boolean words in any case.
    EXPECT_EQ(ParseInt("true"), 1);
    EXPECT_EQ(ParseInt("TRUE"), 1);
    EXPECT_EQ(ParseInt("True"), 1);
    EXPECT_EQ(ParseInt("false"), 0);
    EXPECT_EQ(ParseInt("FaLsE"), 0);
    // Nothing readable.
    EXPECT_EQ(ParseInt(""), 0);
    EXPECT_EQ(ParseInt("-"), 0);
    EXPECT_EQ(ParseInt("+"), 0);
    EXPECT_EQ(ParseInt("abc"), 0);
    EXPECT_EQ(ParseInt("x12"), 0);
    EXPECT_EQ(ParseInt(" 5"), 0);
}

TEST(CommandTable, WordsAndCodes) {
    const CommandTable& table = GetCommandTable();
    EXPECT_EQ(table.size(), 35u);
    EXPECT_EQ(&table, &GetCommandTable());  // built once
    EXPECT_EQ(table.at("exit"), CmdStop);
    EXPECT_EQ(table.at("stop"), CmdStop);
    EXPECT_EQ(table.at("setb"), CmdSetBoard);
    EXPECT_EQ(table.at("setboard"), CmdSetBoard);
    EXPECT_EQ(table.at("#"), CmdEditClear);
    EXPECT_EQ(table.at("c"), CmdEditColour);
    EXPECT_EQ(table.at("."), CmdEditDone);
    EXPECT_EQ(table.at("?"), CmdMoveNow);
    EXPECT_EQ(table.at("go"), CmdGo);
    // The numbering is fixed.
    EXPECT_EQ(int(CmdOption), 1);
    EXPECT_EQ(int(CmdGo), 8);
    EXPECT_EQ(int(CmdPlacePiece), 26);
    EXPECT_EQ(int(CmdGoUci), 35);
    EXPECT_EQ(int(CmdQuit), 36);
}

TEST(ParseCommand, WordsBlanksAndCase) {
    EXPECT_EQ(ParseCommand("", false).code, None);
    EXPECT_EQ(ParseCommand(" \t \r", false).code, None);
    EXPECT_EQ(ParseCommand("hello", false).code, None);
    EXPECT_EQ(ParseCommand("QUIT", false).code, None);  // case-sensitive
    EXPECT_EQ(ParseCommand("quit", false).code, CmdQuit);
    EXPECT_EQ(ParseCommand("  \tquit  \r", true).code, CmdQuit);

    const Command isReady = ParseCommand("isready", true);
    EXPECT_EQ(isReady.code, CmdIsReady);
    EXPECT_TRUE(isReady.args.empty());
    EXPECT_TRUE(isReady.text.empty());

    const Command edit = ParseCommand("saveboard  games.pgn\textra", false);
    EXPECT_EQ(edit.code, CmdSaveBoard);
    EXPECT_EQ(edit.args, (std::vector<std::string>{"games.pgn", "extra"}));

    // xboard "option" carries nothing.
    const Command option = ParseCommand("option Hash=64", false);
    EXPECT_EQ(option.code, CmdOption);
    EXPECT_TRUE(option.args.empty());
    EXPECT_TRUE(option.params.empty());
}

TEST(ParseCommand, NumericCommands) {
    const Command level = ParseCommand("level 40 5 0", false);
    EXPECT_EQ(level.code, CmdLevel);
    EXPECT_EQ(level.number, 40);
    EXPECT_TRUE(level.args.empty());

    EXPECT_EQ(ParseCommand("ping 7", false).number, 7);
    EXPECT_EQ(ParseCommand("time -250", false).number, -250);
    EXPECT_EQ(ParseCommand("sd true", false).number, 1);
    const Command junk = ParseCommand("st abc", false);
    EXPECT_EQ(junk.code, CmdSt);
    EXPECT_EQ(junk.number, 0);
    // A number is required.
    for (const char* word : {"ping", "memory", "protover", "st", "sd", "time", "otim", "level"}) {
        EXPECT_EQ(ParseCommand(word, false).code, None) << word;
    }
}

TEST(ParseCommand, SetBoardPlacementAndMoves) {
    const Command setBoard = ParseCommand("setb 8/8/8/8/8/8/8/K6k  w - - 0 1", false);
    EXPECT_EQ(setBoard.code, CmdSetBoard);
    EXPECT_EQ(setBoard.text, "8/8/8/8/8/8/8/K6k w - - 0 1");
    EXPECT_EQ(ParseCommand("setboard 8/8/8/8/8/8/8/K6k", false).code, None);

    const Command place = ParseCommand("Pe4", false);
    EXPECT_EQ(place.code, CmdPlacePiece);
    EXPECT_EQ(place.text, "Pe4");
    EXPECT_EQ(ParseCommand("xa1", false).code, CmdPlacePiece);
    EXPECT_NE(ParseCommand("Pe4 ", false).code, CmdPlacePiece);  // exactly three characters

    const Command move = ParseCommand("e2e4", false);
    EXPECT_EQ(move.code, CmdMove);
    EXPECT_EQ(move.text, "e2e4");
    const Command san = ParseCommand("Nxf3", true);
    EXPECT_EQ(san.code, CmdMove);
    EXPECT_EQ(san.text, "Nxf3");
    EXPECT_EQ(ParseCommand("O-O", false).code, CmdMove);
    // Three-character text of two letters and a digit is a placement first.
    EXPECT_EQ(ParseCommand("Nf3", false).code, CmdPlacePiece);
    EXPECT_EQ(ParseCommand("xyzzy", false).code, None);
}

TEST(ParseCommand, Position) {
    const Command moves = ParseCommand("position startpos moves e2e4 e7e5", true);
    EXPECT_EQ(moves.code, CmdPosition);
    EXPECT_TRUE(moves.text.empty());
    EXPECT_EQ(moves.args, (std::vector<std::string>{"e2e4", "e7e5"}));

    // The word after "startpos" is skipped whatever it is.
    const Command skipped = ParseCommand("position startpos e2e4 e7e5", true);
    EXPECT_EQ(skipped.code, CmdPosition);
    EXPECT_EQ(skipped.args, (std::vector<std::string>{"e7e5"}));

    const Command fen = ParseCommand("position fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1 moves e2e4", true);
    EXPECT_EQ(fen.code, CmdPosition);
    EXPECT_EQ(fen.text, "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    EXPECT_EQ(fen.args, (std::vector<std::string>{"e2e4"}));

    const Command fenOnly = ParseCommand("position fen 4k3/8/8/8/8/8/4P3/4K3 w - -", true);
    EXPECT_EQ(fenOnly.code, CmdPosition);
    EXPECT_EQ(fenOnly.text, "4k3/8/8/8/8/8/4P3/4K3 w - -");
    EXPECT_TRUE(fenOnly.args.empty());

    // Another first word stands where "moves" would.
    const Command bare = ParseCommand("position moves d2d4", true);
    EXPECT_EQ(bare.code, CmdPosition);
    EXPECT_TRUE(bare.text.empty());
    EXPECT_EQ(bare.args, (std::vector<std::string>{"d2d4"}));

    EXPECT_EQ(ParseCommand("position", true).code, None);
    EXPECT_EQ(ParseCommand("position fen", true).code, None);
    // "fen" with no position before "moves" does not fall back to the start.
    EXPECT_EQ(ParseCommand("position fen moves e2e4", true).code, None);
    // One word that is no move text drops the whole line.
    EXPECT_EQ(ParseCommand("position startpos moves e2e4 hello", true).code, None);
    EXPECT_EQ(ParseCommand("position startpos moves hello e2e4", true).code, None);
}

TEST(ParseCommand, SetOption) {
    const Command both = ParseCommand("setoption name Hash value 64 name Threads value 3", true);
    EXPECT_EQ(both.code, CmdSetOption);
    EXPECT_EQ(both.params, (std::map<std::string, int32_t>{{"Hash", 64}, {"Threads", 3}}));

    // Groups of four from the start: a broken group is skipped, the next one
    // still counts; an incomplete tail is ignored.
    const Command skip = ParseCommand("setoption nom Hash value 64 name Threads value TRUE name Hash", true);
    EXPECT_EQ(skip.params, (std::map<std::string, int32_t>{{"Threads", 1}}));

    // A name of two words shifts the groups: nothing is set.
    const Command twoWords = ParseCommand("setoption name Move Overhead value 10", true);
    EXPECT_EQ(twoWords.code, CmdSetOption);
    EXPECT_TRUE(twoWords.params.empty());

    EXPECT_EQ(ParseCommand("setoption", true).code, CmdSetOption);
}

TEST(ParseCommand, Go) {
    // The protocol decides the meaning of "go".
    const Command xboard = ParseCommand("go", false);
    EXPECT_EQ(xboard.code, CmdGo);
    EXPECT_EQ(ParseCommand("go", true).code, CmdGoUci);

    const Command timed = ParseCommand("go wtime 60000 btime 59000 movestogo 20", true);
    EXPECT_EQ(timed.code, CmdGoUci);
    EXPECT_FALSE(timed.infinite);
    EXPECT_EQ(timed.params,
              (std::map<std::string, int32_t>{{"wtime", 60000}, {"btime", 59000}, {"movestogo", 20}}));

    // First value of a repeated key is kept; an unpaired last word is dropped;
    // keys are case-sensitive.
    const Command repeated = ParseCommand("go depth 5 Depth 7 depth 9 nodes", true);
    EXPECT_EQ(repeated.params, (std::map<std::string, int32_t>{{"depth", 5}, {"Depth", 7}}));

    // "infinite" at an even place ends the parse and clears earlier pairs.
    const Command first = ParseCommand("go infinite depth 5", true);
    EXPECT_TRUE(first.infinite);
    EXPECT_TRUE(first.params.empty());
    const Command afterPair = ParseCommand("go depth 5 infinite", true);
    EXPECT_TRUE(afterPair.infinite);
    EXPECT_TRUE(afterPair.params.empty());
    // In a value's place it is only a value.
    const Command asValue = ParseCommand("go depth infinite", true);
    EXPECT_FALSE(asValue.infinite);
    EXPECT_EQ(asValue.params, (std::map<std::string, int32_t>{{"depth", 0}}));
    const Command late = ParseCommand("go depth 3 movetime infinite", true);
    EXPECT_FALSE(late.infinite);
    EXPECT_EQ(late.params, (std::map<std::string, int32_t>{{"depth", 3}, {"movetime", 0}}));
}

}  // namespace
}  // namespace NEngine
