// The xboard dialect of the command set: game moves and replies, force
// mode, analysis, edit mode, time controls, result lines and PGN files.
#pragma once

#include "board/types.h"
#include "engine/command.h"
#include "engine/engine.h"

namespace NEngine {

// What a user's move did: whether it was made (done), the game status
// after it (or the finished game's status when the game was over), and
// whether White made it.
struct UserMoveOutcome {
    StatusFlags status = 0;
    bool done = false;
    bool moverIsWhite = false;
};

// Applies the move text of a move command to the main board.
UserMoveOutcome UserMove(Engine& engine, const Command& command);

// Executes an xboard command; false when the code is none of them.
bool HandleXboardCommand(Engine& engine, const Command& command);

}  // namespace NEngine
