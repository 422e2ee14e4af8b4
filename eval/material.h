// Material imbalance: what the piece counts are worth beyond the sum of the
// piece values (pairs, surpluses of one kind, the exchange, a rook against
// two minor pieces). It depends on the counts alone, so it is cached per
// material key.
#pragma once

#include "board/types.h"

namespace NEngine {

// Each side's share of the imbalance, in its own view: the evaluation adds
// White's and subtracts Black's.
struct Imbalance {
    PackedScore side[2];  // Black, White
    PackedScore Net() const { return side[White] - side[Black]; }
};

Imbalance ComputeImbalance(const Board& board);

}  // namespace NEngine
