// Move-tree counts that check the staged pickers against the rules: the
// staged count walks the tree with the moves MovePicker hands out (evasion
// stages when in check), fed with varying hash moves and killers; the
// reference count walks the legal moves the pickers are meant to produce.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace NEngine {

// The moves the pickers hand out: every legal move except rook and bishop
// promotions and the knight promotions whose knight does not attack the
// opponent's king.
bool IsStagedMove(const Board& board, Move move);

// Leaves at `depth` below the position, legal moves filtered as above.
uint64_t ReferencePerft(Board& board, int depth);

struct StagedPerftResult {
    uint64_t leaves = 0;    // leaves reached through the pickers (a move that
                            // should not be handed out counts as one leaf)
    uint64_t badNodes = 0;  // nodes whose picked moves differ from the legal set
};

// The same count through MovePicker. At every node the hash move and the
// killer are drawn (pseudo-randomly, from `seed`) among none, the legal moves
// and a sibling's move, so the hash, killer, deferral and duplicate paths all
// run; the History scores are pseudo-random as well.
StagedPerftResult StagedPerft(Board& board, int depth, uint64_t seed);
// The staged leaf count alone, seeded from the position and depth.
uint64_t StagedPerftLeaves(Board& board, int depth);

}  // namespace NEngine
