// Static exchange test: does the exchange of pieces on a move's destination
// gain at least a threshold for the side making the move?
#pragma once

#include "board/types.h"

namespace NEngine {

// True when the exchange started by the move (a pseudo-legal move of the side
// to move; the SafeMark is ignored) wins at least `threshold` for the mover,
// in PieceValue units. Moves that uncover a check on the opponent's king
// always pass; a checking move is tested against threshold 0.
bool SeeAtLeast(const Board& board, Move move, int threshold);

}  // namespace NEngine
