// Executes one parsed command on the engine, for both protocols.
#pragma once

#include "engine/command.h"
#include "engine/engine.h"

namespace NEngine {

// Runs to completion; a command that searches returns when the search is
// over. Replies go to the engine's output, one flushed line each.
void HandleCommand(Engine& engine, const Command& command);

// The "uci" reply's identification.
extern const char* const EngineName;
extern const char* const EngineAuthor;

}  // namespace NEngine
