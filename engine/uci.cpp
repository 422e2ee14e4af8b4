// The UCI commands: what each does to the engine.
#include "engine/uci.h"

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

void HandleSetOption(Engine& engine, const Command& command) {
    int32_t value = 0;
    // A one-megabyte table is refused; above the maximum it is clamped.
    if (FindParam(command.params, "Hash", value) && value >= 2) engine.SetHashSize(value);
    if (FindParam(command.params, "Threads", value) && value >= 1) engine.SetThreads(value);
}

void HandlePosition(Engine& engine, const Command& command) {
    if (!engine.SetPosition(command.text)) return;
    // Moves that do not fit are skipped one by one; the rest still apply.
    for (const std::string& text : command.args) engine.ApplyPositionMove(text);
}

// Applies the limits of a timed "go" in a fixed order, so that a later
// kind of limit overrides an earlier one given on the same line.
void ApplyGoLimits(Engine& engine, const std::map<std::string, int32_t>& params) {
    const bool whiteToMove = engine.MainBoard().sideToMove == White;
    int32_t clock = 0;
    const bool clockGiven = FindParam(params, whiteToMove ? "wtime" : "btime", clock);
    int32_t movesToGo = 0;
    const bool movesToGoGiven = FindParam(params, "movestogo", movesToGo) && movesToGo > 0;
    if (clockGiven && clock > 0) {
        engine.SetClock(clock / 1000.0);
    } else if (clockGiven && clock < 0) {
        // An overdrawn clock: think as briefly as the smallest clock allows
        // rather than keep the time of an earlier command.
        engine.SetClock(0);
    }
    if (movesToGoGiven) {
        engine.SetMovesToGo(movesToGo);
    } else if (clockGiven && clock != 0) {
        // A clock without moves to go is sudden death: a count left over
        // from an earlier time control would spend the clock far too fast.
        engine.SetMovesToGo(0);
    }
    int32_t value = 0;
    if (FindParam(params, "movetime", value) && value > 0) engine.SetMoveTime(value / 1000.0);
    if (FindParam(params, "depth", value) && value > 0) engine.SetFixedDepth(value);
    // Other keys (nodes, mate, increments, ...) are ignored.
}

void HandleGoUci(Engine& engine, const Command& command) {
    if (command.infinite) {
        engine.Analyze();
        // The front end waits for a best move after every "go"; when the
        // search ended without finding one, say so rather than stay silent.
        if (engine.UciMode() && !engine.bestMoveReported) engine.WriteLine("bestmove " + NullMoveText);
        return;
    }
    ApplyGoLimits(engine, command.params);
    const ThinkOutcome outcome = engine.Think(false);
    engine.WriteLine("bestmove " + (outcome.text.empty() ? NullMoveText : outcome.text));
}

}  // namespace

bool HandleUciCommand(Engine& engine, const Command& command) {
    switch (command.code) {
        case CmdUci:
            HandleUci(engine);
            return true;
        case CmdIsReady:
            engine.WriteLine("readyok");
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
