// Per-colour attack information gathered once per full evaluation and read
// by every piece, pawn, king and threat term. The builders are in
// attack_maps.cpp; this header fixes the record so that the builders, the
// terms and the evaluation context agree on it.
//
// In the comments "we" is the block's colour and "they" the opponent.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace NEngine {

struct AttackBlock {
    BitMask pawnAttacks;        // squares our pawns attack
    BitMask pawnAttackSpan;     // squares our pawns attack now or could after advancing
    BitMask knightAttacks;      // unions of the attacks of our pieces of one kind
    BitMask bishopAttacks;      //   (a pinned piece only along its pin line)
    BitMask rookAttacks;
    BitMask queenAttacks;
    BitMask fileSupport;        // ahead of our rooks and queens on their files, through our pawns
    BitMask fileRear;           // behind our rooks and queens on their files, through their pawns
    BitMask kingAttacks;        // squares our king attacks
    BitMask allAttacks;         // everything we attack
    BitMask doubleAttacks;      // attacked at least twice (x-rays through our own sliders count)
    BitMask strongSquares;      // attacked by more than our king alone, or twice
    BitMask mobilityArea;       // where our pieces' moves count: not our king or pawns, not
                                //   attacked by their pawns; finally not attacked by them
                                //   unless we attack it twice
    BitMask noQB;               // the occupancy without our queens and bishops (diagonal x-rays)
    BitMask noQR;               // the occupancy without our queens and rooks (line x-rays)
    BitMask minorAttacks;       // knightAttacks | bishopAttacks
    BitMask bishopRookAttacks;  // bishopAttacks | rookAttacks
    BitMask queenDiagonal;      // queenAttacks along diagonals
    BitMask queenOrthogonal;    // queenAttacks along ranks and files
    BitMask kingZone;           // our king's squares and those one rank further forward
    BitMask kingZoneUncovered;  // kingZone not covered by our pawns
    BitMask sliders;            // our queens, rooks and bishops
    BitMask pieces;             // sliders plus knights
    BitMask heavies;            // our queens and rooks
    BitMask safePushes;         // empty squares our pawns reach by a push, not attacked by their pawns
    BitMask snipers;            // their sliders that would attack our king with one blocker removed
    BitMask kingBlockers;       // those single blockers: our pieces (not pawns), and theirs that
                                //   cannot move along that line themselves
    BitMask forkTargets;        // squares from which a knight hits our heavy pieces or an
                                //   undefended bishop of ours
    BitMask pinned;             // our pieces pinned to our king
    BitMask pinnedPawns;        // our pawns that stand alone between our king and one of the snipers
    BitMask restricted;         // our pieces with no mobility, or tied to shielding a queen or rook
    BitMask attackedOnce;       // running sets of the builder, with x-rays through our own
    BitMask attackedTwice;      //   sliders: attacked at least once, at least twice
    BitMask kingDiagonals;      // bishop attacks from our king's square
    BitMask kingLines;          // rook attacks from our king's square
    BitMask discoveredSquares;  // moves of our pieces (and pushes of our pawns) that would
                                //   uncover an attack on their king
    PackedScore score;          // per-piece bonuses summed as the terms find them
    uint32_t kingAttackers;     // our pieces attacking their king zone (with adjustments)
    uint32_t kingAttackWeight;  // weighted sum of those attacks
    uint8_t queenHitsZone;      // a queen of ours attacks their king zone
    uint8_t discoveredCheck;    // a piece of ours would uncover check by moving
    uint8_t hasPieceAttacks;    // some knight, bishop, rook or queen of ours attacks a square
    // Not cleared as a whole per evaluation: a field added here must be
    // assigned in the builders or cleared in ClearGatheredFields.
};

}  // namespace NEngine
