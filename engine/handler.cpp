// The command handler: what each parsed command does to the engine. The UCI
// commands live in uci.cpp, the xboard commands in xboard.cpp.
#include "engine/handler.h"

#include "engine/uci.h"
#include "engine/xboard.h"

namespace NEngine {

const char* const EngineName = "Tarnock";
const char* const EngineAuthor = "the Tarnock developers";

void HandleCommand(Engine& engine, const Command& command) {
    if (!HandleUciCommand(engine, command)) {
        switch (command.code) {
            case CmdStop:
            case CmdMoveNow:
                // Outside a search this leaves nothing behind: every search
                // clears the stop flags as it starts.
                engine.searcher.Stop();
                break;
            case CmdQuit:
                engine.quitRequested = 1;
                engine.searcher.Stop();
                break;
            default:
                HandleXboardCommand(engine, command);
                break;
        }
    }
}

}  // namespace NEngine
