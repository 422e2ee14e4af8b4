// One parsed input line, for both protocols, and the parser that makes it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace NEngine {

// The numbering is part of the protocol handling (codes are compared and
// stored as plain integers), so the values are fixed.
enum CommandCode : int32_t {
    None = 0,
    CmdOption = 1,
    CmdPing = 2,
    CmdXboard = 3,
    CmdMemory = 4,
    CmdNew = 5,
    CmdMove = 6,
    CmdProtover = 7,
    CmdGo = 8,
    CmdSt = 9,
    CmdSd = 10,
    CmdUndo = 11,
    CmdRemove = 12,
    CmdForce = 13,
    CmdEdit = 14,
    CmdPost = 15,
    CmdNoPost = 16,
    CmdAnalyze = 17,
    CmdStop = 18,
    CmdTime = 19,
    CmdOtim = 20,
    CmdLevel = 21,
    CmdEditDone = 22,
    CmdMoveNow = 23,
    CmdEditColour = 24,
    CmdEditClear = 25,
    CmdPlacePiece = 26,
    CmdSaveBoard = 27,
    CmdLoadBoard = 28,
    CmdSetBoard = 29,
    CmdUci = 30,
    CmdSetOption = 31,
    CmdIsReady = 32,
    CmdUciNewGame = 33,
    CmdPosition = 34,
    CmdGoUci = 35,
    CmdQuit = 36,
    CmdPonderHit = 37,
};

struct Command {
    CommandCode code = None;
    // FEN for "position" and "setboard"; the whole line for moves and
    // piece placements; otherwise empty.
    std::string text;
    // Argument tokens; for "position" the move texts.
    std::vector<std::string> args;
    // "setoption" values by option name, UCI "go" values by key.
    std::map<std::string, int32_t> params;
    // First numeric argument of ping, memory, protover, st, sd, time, otim, level.
    int32_t number = 0;
    // UCI "go" with "infinite".
    bool infinite = false;
    // UCI "go" with "ponder".
    bool ponder = false;
};

// Command words of both protocols; exact, case-sensitive matching.
using CommandTable = std::map<std::string, CommandCode>;

// Built on first use under a one-time guard, read-only afterwards.
const CommandTable& GetCommandTable();

// Turns one input line (without its line feed) into a Command; None when
// the line is empty, unknown or malformed. uciMode decides what "go" means.
Command ParseCommand(const std::string& line, bool uciMode);

// Lenient number: optional sign and digits at the start of the token
// (the rest ignored) fitting in 32 bits, else "true" 1 / "false" 0 in any
// case, else 0.
int32_t ParseInt(const std::string& token);

// Splits at runs of space, tab, carriage return and line feed.
std::vector<std::string> SplitTokens(const std::string& line);

// Sub-parsers over the arguments that follow the command word.
// Position: false when the arguments do not form a valid command.
bool ParsePositionArgs(const std::vector<std::string>& args, Command& command);
// "name N... value V", repeatable: the name is every word up to "value"
// (joined with single spaces), the value the word after it.
Command ParseSetOptionArgs(const std::vector<std::string>& args);
// UCI "go": keys in any order; a key with a value takes the next word as it
// (kept only when it is a number); "infinite" and "ponder" are flags;
// "searchmoves" takes the move texts up to the next key (into args); an
// unknown word is skipped with everything up to the next key.
Command ParseGoUciArgs(const std::vector<std::string>& args);

}  // namespace NEngine
