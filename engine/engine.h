// The one object behind both protocols: it owns the searcher, the time
// controls and the input reader, plays and analyses positions, and supplies
// the callbacks through which a running search reaches the protocol side.
#pragma once

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "board/types.h"
#include "engine/input.h"
#include "search/searcher.h"

namespace NEngine {

// One line of the "uci" reply's option list.
struct OptionRecord {
    std::string name;
    std::string type;
    std::string min;
    std::string max;
    std::string defaultValue;
    std::vector<std::string> choices;
};

// Built afresh for every "uci": the live values are only in the searcher.
std::vector<OptionRecord> BuildOptionTable();

// What Think did: the board's status after the move, the move (0 for none),
// its coordinate text (with the "move " prefix when asked; empty for none),
// and whether White was the side to move when it started.
struct ThinkOutcome {
    StatusFlags status = 0;
    Move move = 0;
    std::string text;
    bool done = false;
    bool moverIsWhite = false;
};

// Hash sizes the engine accepts, in megabytes; larger requests are clamped.
constexpr int MinHashMegabytes = 1;
constexpr int MaxHashMegabytes = 1024;
constexpr int DefaultHashMegabytes = 256;

// Time kept back from the own clock and from a fixed move time for what the
// search does not measure: the pipes, the process being scheduled, the
// front end's own delays ("Move Overhead" option, milliseconds).
constexpr int DefaultMoveOverheadMs = 50;
constexpr int MaxMoveOverheadMs = 5000;
// Smallest budget on a clock: 0 would mean no limit at all.
constexpr double MinimumBudgetSeconds = 0.001;

// From this game ply on the history array keeps only the stretch the rules
// still need (see KeepHistoryRoom), so that a search always has room for
// its own plies.
constexpr int MaxGamePly = HistorySize - 2 * MaxPly;

class Engine {
public:
    // Input from the descriptor (standard input by default), protocol lines
    // to out; tests may start with a smaller table. The callbacks hold this
    // object's address: it never moves.
    explicit Engine(std::ostream& output = std::cout, int inputFd = 0,
                    int hashMegabytes = DefaultHashMegabytes);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Empty text is the start position; false (position unchanged) for an
    // illegal FEN.
    bool SetPosition(const std::string& fen);
    void SetHashSize(int megabytes);
    void SetThreads(int n);
    void ClearTT();

    // Searches the main position within the time controls and plays the
    // move found on the main board.
    ThinkOutcome Think(bool movePrefix);
    // Searches without limit until stopped (or depth 32); plays nothing.
    bool Analyze();
    // Recomputes the searcher's time budget from the time-control fields.
    void TimeBudget();
    // Most a move may take on the own clock, extra time included: half of
    // the clock left after the overhead. Unlimited without a clock.
    double ClockCap() const;
    double MoveOverhead() const { return moveOverheadMs / 1000.0; }

    // Time-control setters; each leaves the fields it does not name alone.
    void SetClock(double seconds);      // own remaining clock
    void SetMovesToGo(int moves);       // moves to the next time control
    void SetMoveTime(double seconds);   // fixed time per move
    void SetFixedDepth(int plies);      // fixed search depth
    void SetSession(int moves);         // moves per session (xboard "level")
    void SetIncrement(double seconds);  // own increment per move; 0 = none
    // No time limit and no fixed depth: the search runs until another limit
    // (nodes, a mate) or a stop ends it.
    void ClearTimeControls();

    // A very long game keeps only the end of its history that the rules
    // still read (repetitions back to the last irreversible move), so that
    // the search gets its room whatever the game's length.
    void KeepHistoryRoom();

    // Applies a move text from a "position" move list to the main board;
    // false when it was skipped.
    bool ApplyPositionMove(const std::string& text);

    // Writes one protocol line, its line feed and a flush.
    void WriteLine(const std::string& line);

    // A pondering search turns into an ordinary one: its budget runs from now.
    void PonderHit();

    Board& MainBoard() { return searcher.MainBoard(); }
    bool UciMode() const { return reader.uciMode; }

    // The five callback bodies installed in the searcher.
    bool PollCallback();
    double ExtraTimeCallback();
    void IterationCallback(const SearchResult& result);
    void ResultCallback(const SearchResult& result);
    void ProgressCallback(const SearchData& data);

    uint8_t editSavedSide = 0;
    uint8_t editColour = 0;
    Searcher searcher;
    int32_t movesPerSession = 0;
    int32_t movesToGo = 0;
    int32_t fixedDepth = 0;
    double clockSeconds = 0;
    double moveSeconds = 0;
    uint8_t postFlag = 0;
    uint8_t searching = 0;
    uint32_t extensionCount = 0;
    InputReader reader;
    uint8_t quitRequested = 0;
    uint8_t forceMode = 0;
    uint8_t positionValid = 1;
    std::ostream& out;
    // The clock as the front end gave it (clockSeconds has a 0.1 s floor).
    double clockGivenSeconds = 0;
    double incrementSeconds = 0;
    int moveOverheadMs = DefaultMoveOverheadMs;
    bool ponderOption = false;  // the "Ponder" option; the front end decides when
    // Set by "go ponder": the search runs without a time limit until
    // "ponderhit" gives it ponderBudget seconds from then (budgetOffset is
    // the time already spent by then).
    bool pondering = false;
    double ponderBudget = 0;
    double budgetOffset = 0;
    // The current search was ended by a command ("stop", "quit", or one that
    // waits in the queue), not by itself.
    bool searchInterrupted = false;
    // Set when the current search wrote its own "bestmove" line.
    bool bestMoveReported = false;
    // xboard edit mode: pieces are placed on a board of its own, which
    // becomes the position at "." when it is a legal one.
    bool editing = false;
    std::unique_ptr<BoardWithHistory> editBoard;
    // xboard "st" (seconds) and "sd" (plies): the front end sends the clock
    // before every move under them too, and they stay in force beside it.
    double stSeconds = 0;
    int sdPlies = 0;
};

}  // namespace NEngine
