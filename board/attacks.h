// Read-only geometric and attack tables, built once at start-up and then
// shared by every thread through one pointer each.
#pragma once

#include "board/types.h"

namespace NEngine {

// ---------------------------------------------------------------- magics
struct MagicEntry {
    BitMask magic;
    BitMask mask;
    const BitMask* attacks;  // this square's block: 4096 (rook) or 512 (bishop)
};

extern const MagicEntry* RookMagics;
extern const MagicEntry* BishopMagics;

// Fixed index widths: every square gets a full block, whatever its mask size.
constexpr int RookShift = 52;
constexpr int BishopShift = 55;
constexpr int RookBlockSize = 1 << (64 - RookShift);
constexpr int BishopBlockSize = 1 << (64 - BishopShift);

// The 64 + 64 magic numbers the tables are built from (see tools/magics.cpp).
extern const BitMask StoredRookMagics[64];
extern const BitMask StoredBishopMagics[64];

// Slow references for table building and checking: attacks of a Rook or
// Bishop by walking its rays (first blocker included), and the relevance mask
// (empty-board rays without their last square).
BitMask SliderAttacksSlow(PieceType slider, int sq, BitMask occ);
BitMask SliderRelevanceMask(PieceType slider, int sq);

inline BitMask RookAttacks(int sq, BitMask occ) {
    const MagicEntry& e = RookMagics[sq];
    return e.attacks[((occ & e.mask) * e.magic) >> 52];
}
inline BitMask BishopAttacks(int sq, BitMask occ) {
    const MagicEntry& e = BishopMagics[sq];
    return e.attacks[((occ & e.mask) * e.magic) >> 55];
}
inline BitMask QueenAttacks(int sq, BitMask occ) { return RookAttacks(sq, occ) | BishopAttacks(sq, occ); }

// ---------------------------------------------------------------- lines
// Indexed [a * 64 + b]; zero when a == b or a, b share no line.
struct LineTables {
    BitMask between[64 * 64];       // strictly between a and b
    BitMask ray[64 * 64];           // from a (excl.) through b to the edge
    BitMask directionRay[8 * 64];   // [d * 64 + s], d in (-1,1),(0,1),(1,1),(1,0),(1,-1),(0,-1),(-1,-1),(-1,0)
    BitMask beyond[64 * 64];        // past b (excl.) away from a, to the edge
    BitMask line[64 * 64];          // the whole line through a and b
};
extern const LineTables* Lines;

inline BitMask Between(int a, int b) { return Lines->between[a * 64 + b]; }
inline BitMask LineThrough(int a, int b) { return Lines->line[a * 64 + b]; }
inline BitMask RayFrom(int a, int b) { return Lines->ray[a * 64 + b]; }
inline BitMask Beyond(int a, int b) { return Lines->beyond[a * 64 + b]; }

// [a * 64 + b]: unit step from b towards a as (rank step << 8) | (file step & 0xFF).
extern const uint16_t* StepTable;
// [a * 64 + b]: king distance.
extern const uint32_t* DistanceTable;
inline int Distance(int a, int b) { return int(DistanceTable[a * 64 + b]); }

// ---------------------------------------------------------------- leapers, patterns
struct AttackTables {
    int8_t pawnTargets[2][64][6];    // capture a-side, capture h-side, push, double push, -1 ...
    int8_t knightTargets[64][10];    // ends with -1
    int8_t kingTargets[64][10];      // ends with -1
    uint16_t bishopRayList[64][10];  // (square step << 8) | length, 0-terminated
    uint16_t rookRayList[64][10];
    uint16_t queenRayList[64][10];
    BitMask pawnAttacks[2][64];
    BitMask pawnPushes[2][64];
    BitMask pawnPushSources[2][64];  // one back (two onto the start rank); promotion squares have none
    BitMask knightAttacks[64];
    BitMask bishopRays[64];
    BitMask rookRays[64];
    BitMask queenRays[64];
    BitMask kingAttacks[64];
    BitMask prePromotionRank[2];     // rank 2 for Black, rank 7 for White
    BitMask pseudoAttacks[2][8][64]; // by colour and type on an empty board (king: castling targets too)
    BitMask adjacentOrthogonal[64];
    BitMask distanceTwoRing[2][64];
    BitMask castlingPath[4];         // by castling bit: squares that must be empty
};
extern const AttackTables* Attacks;

inline BitMask PawnAttacks(Colour c, int sq) { return Attacks->pawnAttacks[c][sq]; }
inline BitMask KnightAttacks(int sq) { return Attacks->knightAttacks[sq]; }
inline BitMask KingAttacks(int sq) { return Attacks->kingAttacks[sq]; }

// ---------------------------------------------------------------- move kinds
// kind[(code << 12) | (to << 6) | from]: -1 when the piece cannot go from
// from to to on an empty board; otherwise the kind (pawn 0..3, knight step
// 0..7, slider direction, king 0..7 and 8/9 for castling).
struct MoveKindTable {
    int32_t kind[16 * 4096];
    uint8_t direction[64 * 64];  // [to * 64 + from]: 1..8, 0 when not on a line
    uint8_t lineType[64 * 64];   // [to * 64 + from]: 0 none, 1 rank/file, 2 diagonal
};
extern const MoveKindTable* MoveKinds;

inline int MoveKind(PieceCode code, Move m) { return MoveKinds->kind[(code << 12) | (m & 0xFFF)]; }
inline int LineType(int a, int b) { return MoveKinds->lineType[a * 64 + b]; }

// ---------------------------------------------------------------- pawn structure masks
struct PawnMaskTables {
    BitMask fileMask[8];
    BitMask adjacentFiles[8];
    BitMask rankMask[2][64];
    BitMask frontSpan[2][64];
    BitMask fileFromHere[2][64];
    BitMask attackSpan[2][64];
    BitMask passedSpan[2][64];
    BitMask neighbours[2][64];
    BitMask supportArea[2][64];
    BitMask rearSpan[2][64];
};
extern const PawnMaskTables* PawnMasks;

// Builds the magic tables (first thing at start-up) and the global table set
// (guarded: a second call does nothing). Both are safe to call repeatedly.
void BuildMagicTables();
void BuildGlobalTables();

// Everything the board, search and evaluation need before the first Board
// exists: population count choice, attack tables, positional tables.
void InitEngineTables();

}  // namespace NEngine
