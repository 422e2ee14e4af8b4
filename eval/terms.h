// The steps of Evaluate that live in their own files, one file per chess
// idea. Only evaluate.cpp calls them, in the order written here. Terms are
// templates on `Traced` (see trace.h): the search uses the false instance.
// Every term is computed for one colour c in c's own view; Evaluate adds
// White's value and subtracts Black's.
#pragma once

#include "eval/evaluate.h"
#include "eval/trace.h"

namespace NEngine {

// ---------------------------------------------------------------- geometry
constexpr BitMask FileABits = 0x0101010101010101ull;
constexpr BitMask FileHBits = FileABits << 7;

// One rank toward the opponent's side (White: up, Black: down).
constexpr BitMask ShiftForward(Colour c, BitMask b) { return c == White ? b << 8 : b >> 8; }
// Every square from b onward toward the opponent's last rank.
constexpr BitMask FillForward(Colour c, BitMask b) {
    if (c == White) {
        b |= b << 8;
        b |= b << 16;
        return b | (b << 32);
    }
    b |= b >> 8;
    b |= b >> 16;
    return b | (b >> 32);
}
// Squares the pawns in the set attack.
constexpr BitMask PawnCaptureSet(Colour c, BitMask pawns) {
    return c == White ? ((pawns & ~FileABits) << 7) | ((pawns & ~FileHBits) << 9)
                      : ((pawns & ~FileABits) >> 9) | ((pawns & ~FileHBits) >> 7);
}
// Rank counted from colour c's first rank (0) to the opponent's (7).
constexpr int RelRank(Colour c, int sq) { return c == White ? RankOf(sq) : 7 - RankOf(sq); }
// Whole ranks by their index counted from colour c's first rank.
// Two shifts rather than a loop over the ranks: with constant ranks and a
// colour known only at run time it comes down to a choice of two constants.
constexpr BitMask RelRanks(Colour c, int from, int to) {
    const BitMask span = ~BitMask(0) >> (64 - 8 * (to - from + 1));
    return span << (8 * (c == White ? from : 7 - to));
}

// attack_maps.cpp: the attack information all later terms read. The first
// part (pawns, kings, king zones, mobility areas, pins) comes before the
// pawn-table probe, the second (knights, bishops, rooks, queens, with their
// x-rays and pressure on the enemy king zone) after it.
void BuildAttackMapsBeforePawns(EvalContext& context);
void BuildAttackMapsAfterPawns(EvalContext& context);

// pawns.cpp: the pawn-table entry of the board's pawn key: pawn structure of
// both colours (White minus Black), each king's shelter and storm (mg) and
// pawn distance (eg), and the passed and candidate pawns of both colours.
template <bool Traced>
void ComputePawnEntry(EvalContext& context, const Board& board, PawnHashEntry& entry);

// pieces.cpp: knights, bishops, rooks and queens of colour c (outposts,
// tropism, discovered attacks, relative pins, mobility, rook files, trapped
// rooks). Fills the rest of c's attack block as it goes.
template <bool Traced>
PackedScore PieceTerms(EvalContext& context, Colour c);

// king.cpp: the danger attacker a makes for the other side's king, given
// that king's pawn shelter (middle-game points, to be subtracted from the
// defender's king score). Adds the pawn and king adjustments to a's king
// attackers and a pawn's discovering push to a's discoveredSquares.
template <bool Traced>
int KingDanger(EvalContext& context, Colour a, int shelter);

// threats.cpp: colour c's threats against the other side's pieces, and its
// attacks on the other side's weak pawns.
template <bool Traced>
PackedScore Threats(EvalContext& context, Colour c);
template <bool Traced>
PackedScore WeakPawns(EvalContext& context, Colour c);

// passed.cpp: colour c's passed and candidate pawns (from the pawn entry's
// set) against the kings and pieces; reads the finished attack maps.
template <bool Traced>
PackedScore PassedPawns(EvalContext& context, const PawnHashEntry& pawns, Colour c);

}  // namespace NEngine
