// Positional tables: Black's rows are constants, White's are mirrored at start-up.
#pragma once

#include "board/types.h"

namespace NEngine {

// [colour][type][square], packed scores.
extern PackedScore PsqTable[2][8][64];
void InitPsqTables();

}  // namespace NEngine
