// The command handler: what each parsed command does to the engine. The UCI
// commands live in uci.cpp.
#include "engine/handler.h"

#include <string>

#include "engine/uci.h"

namespace NEngine {

const char* const EngineName = "Tarnock";
const char* const EngineAuthor = "the Tarnock developers";

void HandleCommand(Engine& engine, const Command& command) {
    if (HandleUciCommand(engine, command)) return;
    switch (command.code) {
        case CmdNew:
            engine.ClearTT();
            engine.SetPosition(std::string());
            break;
        case CmdStop:
        case CmdMoveNow:
            engine.searcher.Stop();
            break;
        case CmdQuit:
            engine.quitRequested = 1;
            engine.searcher.Stop();
            break;
        default:
            // The xboard commands are parsed but not acted upon yet.
            break;
    }
}

}  // namespace NEngine
