// Per-colour attack information gathered once per full evaluation and read
// by every piece, pawn, king and threat term. The builders that fill it and
// the terms that read it live in their own files; this header only fixes the
// record so that those files and the evaluation context agree on it.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace NEngine {

struct AttackBlock {
    BitMask pawnAttacks;      // squares attacked by this colour's pawns
    BitMask pawnAttackSpan;   // pawnAttacks filled forward to the last rank
    BitMask knightAttacks;    // unions by piece type; pinned pieces only
    BitMask bishopAttacks;    //   along their pin line
    BitMask rookAttacks;
    BitMask queenAttacks;
    BitMask fileSupport;      // in front of own rooks/queens, through own pawns
    BitMask fileRear;         // behind own rooks/queens, through enemy pawns
    BitMask kingAttacks;
    BitMask allAttacks;
    BitMask doubleAttacks;    // attacked twice, x-rays through own sliders count
    BitMask strongSquares;
    BitMask mobilityArea;
    BitMask noQB;             // occupancy without own queens and bishops
    BitMask noQR;             // occupancy without own queens and rooks
    BitMask minorAttacks;
    BitMask bishopRookAttacks;
    BitMask queenDiagonal;
    BitMask queenOrthogonal;
    BitMask kingZone;
    BitMask kingZoneUncovered;
    BitMask sliders;          // queens, rooks, bishops
    BitMask pieces;           // sliders plus knights
    BitMask heavies;          // queens, rooks
    BitMask safePushes;
    BitMask snipers;          // enemy sliders aiming at this king behind one blocker
    BitMask kingBlockers;
    BitMask forkTargets;
    BitMask pinned;
    BitMask restricted;
    BitMask attackedOnce;     // running sets while doubleAttacks is built
    BitMask attackedTwice;
    BitMask kingDiagonals;    // bishop and rook attacks from the own king square
    BitMask kingLines;
    BitMask discoveredSquares;
    PackedScore score;        // accumulated per-piece bonuses (mobility and the like)
    uint32_t kingAttackers;   // own pieces attacking the enemy king zone
    uint32_t kingAttackWeight;
    uint8_t queenHitsZone;
    uint8_t discoveredCheck;
    uint8_t hasPieceAttacks;
};

}  // namespace NEngine
