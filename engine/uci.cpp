// The UCI commands: what each does to the engine.
#include "engine/uci.h"

#include <algorithm>
#include <map>
#include <string>

#include "board/board.h"
#include "board/notation.h"
#include "engine/handler.h"

namespace NEngine {

namespace {

// A "go" value, or nothing when the key is absent.
bool FindParam(const std::map<std::string, int32_t>& params, const char* key, int32_t& value) {
    const auto it = params.find(key);
    if (it == params.end()) return false;
    value = it->second;
    return true;
}

void HandleUci(Engine& engine) {
    engine.reader.uciMode = true;
    engine.ClearTT();
    engine.WriteLine(std::string("id name ") + EngineName);
    engine.WriteLine(std::string("id author ") + EngineAuthor);
    for (const OptionRecord& option : BuildOptionTable()) {
        std::string line = "option name " + option.name + " type " + option.type;
        if (!option.defaultValue.empty()) line += " default " + option.defaultValue;
        if (!option.min.empty()) line += " min " + option.min;
        if (!option.max.empty()) line += " max " + option.max;
        engine.WriteLine(line);
    }
    engine.WriteLine("uciok");
}

std::string Lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

void HandleSetOption(Engine& engine, const Command& command) {
    // Option names are not case-sensitive.
    for (const auto& [name, value] : command.params) {
        const std::string key = Lowered(name);
        if (key == "hash") {
            // A one-megabyte table is refused; above the maximum it is clamped.
            if (value >= 2) engine.SetHashSize(value);
        } else if (key == "threads") {
            if (value >= 1) engine.SetThreads(value);
        } else if (key == "ponder") {
            engine.ponderOption = value != 0;
        } else if (key == "move overhead") {
            engine.moveOverheadMs = std::clamp(value, 0, MaxMoveOverheadMs);
        }
    }
}

void HandlePosition(Engine& engine, const Command& command) {
    if (!engine.SetPosition(command.text)) return;
    // Moves that do not fit are skipped one by one; the rest still apply.
    for (const std::string& text : command.args) engine.ApplyPositionMove(text);
}

// Applies the limits of a timed "go" in a fixed order, so that a later
// kind of limit overrides an earlier one given on the same line. Time
// controls not given keep their earlier values; the node, mate and root
// move limits hold for this search only.
void ApplyGoLimits(Engine& engine, const Command& command) {
    const std::map<std::string, int32_t>& params = command.params;
    const bool whiteToMove = engine.MainBoard().sideToMove == White;
    int32_t clock = 0;
    const bool clockGiven = FindParam(params, whiteToMove ? "wtime" : "btime", clock);
    int32_t movesToGo = 0;
    const bool movesToGoGiven = FindParam(params, "movestogo", movesToGo) && movesToGo > 0;
    if (clockGiven) {
        // An empty or overdrawn clock: think as briefly as the smallest clock
        // allows rather than keep the time of an earlier command.
        engine.SetClock(clock > 0 ? clock / 1000.0 : 0.0);
        int32_t increment = 0;
        FindParam(params, whiteToMove ? "winc" : "binc", increment);
        engine.SetIncrement(increment > 0 ? increment / 1000.0 : 0.0);
    }
    if (movesToGoGiven) {
        engine.SetMovesToGo(movesToGo);
    } else if (clockGiven) {
        // A clock without moves to go is sudden death: a count left over
        // from an earlier time control would spend the clock far too fast.
        engine.SetMovesToGo(0);
    }
    int32_t value = 0;
    const bool moveTimeGiven = FindParam(params, "movetime", value) && value > 0;
    if (moveTimeGiven) engine.SetMoveTime(value / 1000.0);
    const bool depthGiven = FindParam(params, "depth", value) && value > 0;
    if (depthGiven) engine.SetFixedDepth(value);

    int32_t nodes = 0, mate = 0;
    FindParam(params, "nodes", nodes);
    FindParam(params, "mate", mate);
    engine.searcher.SetNodeLimit(nodes > 0 ? uint64_t(nodes) : 0);
    engine.searcher.SetMateLimit(mate);
    // A node or mate limit alone is the whole limit: a clock or depth of an
    // earlier command would cut it short.
    if ((nodes > 0 || mate > 0) && !clockGiven && !moveTimeGiven && !depthGiven) engine.ClearTimeControls();
}

// The moves of "searchmoves" that fit the position; the searcher keeps the
// legal ones among them.
std::vector<Move> RootMovesOf(Engine& engine, const std::vector<std::string>& texts) {
    std::vector<Move> moves;
    Board& board = engine.MainBoard();
    for (const std::string& text : texts) {
        const Move move = TextToMove(board, text);
        if (move != 0 && IsPseudoLegal(board, move)) moves.push_back(move);
    }
    return moves;
}

// "bestmove", the move, and the move to ponder on when the principal
// variation has a second move that fits: the reply the search expects.
std::string BestMoveLine(const SearchResult& result, Move played) {
    if (played == 0) return "bestmove " + NullMoveText;
    std::string line = "bestmove " + MoveToText(played);
    const Move reply = Move(result.pv[1] & MoveMask);
    if (!SameMove(result.pv[0], played) || reply == 0) return line;
    BoardWithHistory after;
    CopyBoard(after.board, result.root);
    if (!IsPseudoLegal(after.board, played) || !IsLegalMove(after.board, played)) return line;
    MakeMove(after.board, played);
    if (IsPseudoLegal(after.board, reply) && IsLegalMove(after.board, reply)) line += " ponder " + MoveToText(reply);
    return line;
}

// A search that ended by itself while the front end still thinks it runs
// (analysis, or pondering before the ponderhit): the best move waits until
// the front end asks for it. "isready" is answered meanwhile; any other
// command ends the wait as it would have ended the search.
void WaitForRelease(Engine& engine, bool ponder) {
    if (engine.searchInterrupted || !engine.reader.queue.empty()) return;
    for (;;) {
        Command command = engine.reader.NextCommand();
        switch (command.code) {
            case None:
            case CmdEditDone:
                break;
            case CmdIsReady:
                engine.WriteLine("readyok");
                break;
            case CmdPonderHit:
                if (ponder) return;
                break;
            case CmdStop:
            case CmdMoveNow:
                return;
            case CmdQuit:
                engine.quitRequested = 1;
                return;
            default:
                engine.reader.Defer(std::move(command));
                return;
        }
    }
}

void HandleGoUci(Engine& engine, const Command& command) {
    engine.searcher.SetRootFilter(RootMovesOf(engine, command.args));
    if (command.infinite) {
        // Analysis knows no limit but the moves to search.
        engine.searcher.SetNodeLimit(0);
        engine.searcher.ResetMateValue();
        engine.Analyze();
        WaitForRelease(engine, false);
        const SearchResult& result = engine.searcher.Result();
        engine.WriteLine(BestMoveLine(result, Move(result.bestMove & MoveMask)));
    } else {
        ApplyGoLimits(engine, command);
        engine.pondering = command.ponder;
        const ThinkOutcome outcome = engine.Think(false);
        if (engine.pondering) WaitForRelease(engine, true);
        engine.pondering = false;
        engine.WriteLine(BestMoveLine(engine.searcher.Result(), outcome.move));
    }
    // Limits of one "go" only.
    engine.searcher.SetRootFilter({});
    engine.searcher.SetNodeLimit(0);
    engine.searcher.ResetMateValue();
}

}  // namespace

bool HandleUciCommand(Engine& engine, const Command& command) {
    switch (command.code) {
        case CmdUci:
            HandleUci(engine);
            return true;
        case CmdIsReady:
            // Ready once the tables are: a clear may still be under way.
            engine.searcher.WaitForTables();
            engine.WriteLine("readyok");
            return true;
        case CmdPonderHit:
            // Too late: the search it was meant for is over.
            return true;
        case CmdUciNewGame:
            engine.ClearTT();
            engine.SetPosition(std::string());
            return true;
        case CmdSetOption:
            HandleSetOption(engine, command);
            return true;
        case CmdPosition:
            HandlePosition(engine, command);
            return true;
        case CmdGoUci:
            HandleGoUci(engine, command);
            return true;
        default:
            return false;
    }
}

}  // namespace NEngine
