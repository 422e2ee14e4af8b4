// Pawn geometry seen from one colour, shared by the pawn-structure and the
// passed-pawn terms.
#pragma once

#include "board/types.h"

namespace NEngine {

constexpr int PawnStep(Colour c) { return c == White ? 8 : -8; }
constexpr int PromotionSquare(Colour c, int sq) { return c == White ? 56 + FileOf(sq) : FileOf(sq); }

// Whole ranks at relative rank r and beyond, for colour c (r in 0..8).
constexpr BitMask RanksFrom(Colour c, int r) {
    if (r >= 8) return 0;
    return c == White ? ~BitMask(0) << (8 * r) : ~BitMask(0) >> (8 * r);
}

// The square of the set nearest to colour c's first rank, or farthest from it.
inline int NearestToHome(Colour c, BitMask set) { return c == White ? __builtin_ctzll(set) : 63 - __builtin_clzll(set); }
inline int FarthestFromHome(Colour c, BitMask set) { return c == White ? 63 - __builtin_clzll(set) : __builtin_ctzll(set); }

}  // namespace NEngine
