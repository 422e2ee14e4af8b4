// The UCI commands: the handshake and options, positions, searches with
// their limits, and the readiness check.
#pragma once

#include "engine/command.h"
#include "engine/engine.h"

namespace NEngine {

// Runs one UCI command to completion (a search returns when it is over);
// false, with nothing done, for a command that is not one of them.
bool HandleUciCommand(Engine& engine, const Command& command);

}  // namespace NEngine
