// The engine object: positions, options, time control, thinking and the
// callbacks the searcher calls while it runs.
#include "engine/engine.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "board/attacks.h"
#include "board/board.h"
#include "board/notation.h"
#include "engine/report.h"

namespace NEngine {

std::vector<OptionRecord> BuildOptionTable() {
    return {
        {"Hash", "spin", "1", "1024", "256", {}},
        {"Threads", "spin", "1", "4", "1", {}},
        {"Ponder", "check", "", "", "false", {}},
        {"Move Overhead", "spin", "0", std::to_string(MaxMoveOverheadMs), std::to_string(DefaultMoveOverheadMs), {}},
    };
}

Engine::Engine(std::ostream& output, int inputFd, int hashMegabytes)
    : searcher(uint32_t(std::clamp(hashMegabytes, MinHashMegabytes, MaxHashMegabytes))),
      reader(inputFd),
      out(output) {
    // The searcher starts with one thread and the table sized; the
    // program-wide tables are built here when a caller has not done so.
    searcher.ResetMateValue();
    InitEngineTables();
    // A "go" before any "position" searches the start position, not an
    // empty board.
    SetPosition(std::string());
    searcher.SetPollCallback([this] { return PollCallback(); });
    searcher.SetExtraTimeCallback([this] { return ExtraTimeCallback(); });
    searcher.SetIterationCallback([this](const SearchResult& r) { IterationCallback(r); });
    searcher.SetResultCallback([this](const SearchResult& r) { ResultCallback(r); });
    searcher.SetProgressCallback([this](const SearchData& d) { ProgressCallback(d); });
}

void Engine::WriteLine(const std::string& line) {
    out << line << '\n';
    out.flush();
}

bool Engine::SetPosition(const std::string& fen) {
    return searcher.SetPosition(fen.empty() ? StartFen : fen);
}

void Engine::SetHashSize(int megabytes) {
    // The table sizing is defined up to 1024 MB; more is clamped to it.
    searcher.SetHashSize(uint32_t(std::clamp(megabytes, MinHashMegabytes, MaxHashMegabytes)));
}

void Engine::SetThreads(int n) {
    if (n >= 1) searcher.SetThreads(n);
}

void Engine::ClearTT() { searcher.ClearTT(); }

// ---------------------------------------------------------------- time control

void Engine::TimeBudget() {
    double budget;
    if (fixedDepth >= 1) {
        budget = 0;
    } else if (moveSeconds > 0) {
        budget = moveSeconds;
    } else if (movesPerSession < 1 && movesToGo < 1) {
        budget = clockSeconds > 0 ? clockSeconds / 40 + incrementSeconds : clockSeconds / 2;
    } else {
        int k = movesToGo;
        if (movesPerSession >= 1) {
            // A FEN may give move number 0; count it as the first move.
            const uint32_t fullmove = std::max(MainBoard().fullmoveNumber, 1u);
            const int played = int((fullmove - 1) % uint32_t(movesPerSession));
            k = movesPerSession - played;
        }
        budget = clockSeconds / std::max(k, 2);
        // The increment comes back after the move: it can be spent on it.
        if (clockSeconds > 0) budget += incrementSeconds;
    }
    if (fixedDepth < 1 && moveSeconds > 0) {
        // The front end measures the move time from its side of the pipes.
        budget = std::max(moveSeconds - MoveOverhead(), MinimumBudgetSeconds);
    } else if (fixedDepth < 1 && clockSeconds > 0) {
        // On a clock, never plan past the cap, and never 0 (no limit).
        budget = std::max(std::min(budget, ClockCap()), MinimumBudgetSeconds);
    }
    searcher.SetTimeBudget(budget);
}

double Engine::ClockCap() const {
    if (fixedDepth >= 1 || moveSeconds > 0 || clockSeconds <= 0) return std::numeric_limits<double>::infinity();
    return std::max(clockGivenSeconds - MoveOverhead(), 0.0) / 2;
}

double Engine::ExtraTimeCallback() {
    if (moveSeconds > 0 || clockSeconds <= 0.5 || extensionCount > 2) return 0;
    int m = 40;
    if (movesPerSession < 1 && movesToGo >= 1) m = movesToGo;
    ++extensionCount;
    if (m < 2) return 0;
    const double base = clockSeconds / m;
    double grant = base / 6;
    if (m > 20) grant = base;
    else if (m >= 14) grant = base * 0.5;
    else if (m >= 8) grant = base / 3;
    // Grants add up: together with the budget they stay within the cap (the
    // budget of a pondering search counts from the ponderhit).
    return std::max(std::min(grant, ClockCap() - (searcher.TimeBudget() - budgetOffset)), 0.0);
}

void Engine::SetClock(double seconds) {
    fixedDepth = -1;
    clockGivenSeconds = std::max(seconds, 0.0);
    clockSeconds = std::max(seconds, 0.1);
    moveSeconds = 0;
    searcher.SetDepthLimit(MaxDepthLimit);
    searcher.ResetMateValue();
}

void Engine::SetMovesToGo(int moves) {
    fixedDepth = -1;
    movesPerSession = 0;
    movesToGo = moves;
    moveSeconds = 0;
    searcher.SetDepthLimit(MaxDepthLimit);
    searcher.ResetMateValue();
}

void Engine::SetIncrement(double seconds) { incrementSeconds = std::max(seconds, 0.0); }

void Engine::ClearTimeControls() {
    fixedDepth = -1;
    clockSeconds = 0;
    clockGivenSeconds = 0;
    incrementSeconds = 0;
    moveSeconds = 0;
    movesPerSession = 0;
    movesToGo = 0;
    searcher.SetTimeBudget(0);
    searcher.SetDepthLimit(MaxDepthLimit);
}

void Engine::SetMoveTime(double seconds) {
    fixedDepth = -1;
    clockSeconds = 0;
    clockGivenSeconds = 0;
    movesPerSession = 0;
    movesToGo = 0;
    moveSeconds = std::max(seconds, 0.1);
    searcher.SetTimeBudget(moveSeconds);
    searcher.SetDepthLimit(MaxDepthLimit);
}

void Engine::SetFixedDepth(int plies) {
    clockSeconds = 0;
    clockGivenSeconds = 0;
    moveSeconds = 0;
    movesPerSession = 0;
    movesToGo = 0;
    fixedDepth = std::max(plies, 2);
    // Deeper than the search goes is as deep as it goes.
    searcher.SetDepthLimit(std::min(fixedDepth, MaxDepthLimit));
    searcher.SetTimeBudget(0);
}

void Engine::SetSession(int moves) {
    fixedDepth = -1;
    movesPerSession = moves;
    movesToGo = 0;
    moveSeconds = 0;
    searcher.SetDepthLimit(MaxDepthLimit);
    searcher.ResetMateValue();
}

// ---------------------------------------------------------------- moves and searches

void Engine::KeepHistoryRoom() {
    Board& board = MainBoard();
    if (board.ply < MaxGamePly) return;
    // The repetition test reads back to the last irreversible move, the
    // search's recapture and en-passant tests one or two moves: keep those
    // entries, at the start of the array.
    const int kept = std::min(board.ply, int(board.halfmoveClock) + 2);
    std::memmove(static_cast<void*>(board.history), board.history + (board.ply - kept), sizeof(HistoryEntry) * size_t(kept));
    board.ply = kept;
}

bool Engine::ApplyPositionMove(const std::string& text) {
    if (text.empty()) return false;
    Board& board = MainBoard();
    KeepHistoryRoom();
    Move move = 0;
    switch (ClassifyMoveText(text)) {
        case 2:
            move = SanToMove(board, text);
            break;
        case 1:
            if (text.size() < 4) return false;
            // Only a pseudo-legal move of the side to move comes back.
            move = TextToMove(board, text);
            if (move == 0 || !IsPseudoLegal(board, move)) return false;
            break;
        default:
            return false;
    }
    if (move == 0 || !IsLegalMove(board, move)) return false;
    MakeMove(board, move);
    UpdateMateFlags(board);
    TimeBudget();
    return true;
}

ThinkOutcome Engine::Think(bool movePrefix) {
    TimeBudget();
    Board& board = MainBoard();
    ThinkOutcome outcome;
    outcome.done = true;
    outcome.moverIsWhite = board.sideToMove == White;
    if (board.flags & FlagCheckmate) {
        outcome.status = board.flags;
        return outcome;
    }
    KeepHistoryRoom();
    // A pondering search keeps its budget for the ponderhit.
    budgetOffset = 0;
    ponderBudget = 0;
    if (pondering) {
        ponderBudget = searcher.TimeBudget();
        searcher.SetTimeBudget(0);
    }
    searcher.SetInfinite(false);
    searching = 1;
    extensionCount = 0;
    bestMoveReported = false;
    searchInterrupted = false;
    if (searcher.StartSearch()) {
        const Move best = Move(searcher.Result().bestMove & MoveMask);
        if (best != 0 && IsLegalMove(board, best)) {
            MakeMove(board, best);
            UpdateMateFlags(board);
            outcome.move = best;
        }
    }
    searching = 0;
    outcome.status = board.flags;
    if (outcome.move != 0) outcome.text = MoveToText(outcome.move, movePrefix);
    return outcome;
}

bool Engine::Analyze() {
    KeepHistoryRoom();
    searching = 1;
    bestMoveReported = false;
    searchInterrupted = false;
    searcher.SetTimeBudget(0);
    searcher.SetInfinite(true);
    searcher.SetDepthLimit(MaxDepthLimit);
    searcher.StartSearch();
    searcher.ResetMateValue();
    searcher.SetInfinite(false);
    searcher.SetTimeBudget(moveSeconds);
    searcher.SetDepthLimit(fixedDepth >= 1 && fixedDepth <= MaxDepthLimit ? fixedDepth : MaxDepthLimit);
    searching = 0;
    return true;
}

// ---------------------------------------------------------------- callbacks

bool Engine::PollCallback() {
    Command command = reader.PollCommand();
    switch (command.code) {
        case None:
            break;
        case CmdEditDone:
            // "." asks a running search for a status line; otherwise it ends
            // edit mode.
            if (searching) searcher.RequestReport();
            else ComputeStatus(MainBoard());
            break;
        case CmdIsReady:
            // The front end asks whether we are alive: yes, and still thinking.
            WriteLine("readyok");
            break;
        case CmdPonderHit:
            if (pondering) PonderHit();
            break;
        case CmdStop:
        case CmdMoveNow:
            searchInterrupted = true;
            searcher.Stop();
            break;
        case CmdQuit:
            quitRequested = 1;
            searchInterrupted = true;
            searcher.Stop();
            break;
        default:
            // Anything else ends the search and runs after it, in order.
            searchInterrupted = true;
            searcher.Stop();
            reader.Defer(std::move(command));
            break;
    }
    return !quitRequested;
}

void Engine::PonderHit() {
    pondering = false;
    // The opponent played the expected move: from now on our clock runs.
    if (ponderBudget > 0) {
        budgetOffset = searcher.Elapsed();
        searcher.SetTimeBudget(budgetOffset + ponderBudget);
    }
}

void Engine::IterationCallback(const SearchResult& result) {
    const std::string line = IterationReport(result, UciMode());
    if (!line.empty()) WriteLine(line);
}

void Engine::ResultCallback(const SearchResult& result) {
    // UCI writes the best move of an analysis only once "stop" asked for it
    // (the handler does, with the move to ponder on).
    if (UciMode()) return;
    const std::string line = ResultReport(result);
    if (line.empty()) return;
    WriteLine(line);
    bestMoveReported = true;
}

void Engine::ProgressCallback(const SearchData& data) {
    const std::string line = ProgressReport(data, UciMode(), NowNanoseconds());
    if (!line.empty()) WriteLine(line);
}

}  // namespace NEngine
