// Material imbalance by piece counts. Tables are indexed by the pawn count
// (0..8) of the side named at each use; the exchange table by the pawns of
// the side with the extra rook (row) and of the side with the extra minor
// piece (column).
#include "eval/material.h"

#include <algorithm>

namespace NEngine {

namespace {

// Two bishops, two knights (each side on its own).
constexpr PackedScore BishopPair[9] = {S(0, 0),   S(10, 10), S(12, 12), S(15, 15), S(15, 15),
                                       S(15, 15), S(15, 15), S(15, 15), S(15, 15)};
constexpr PackedScore KnightPair[9] = {S(0, 0), S(3, 3), S(5, 5), S(5, 5), S(5, 5),
                                       S(5, 5), S(5, 5), S(5, 5), S(5, 5)};
// Two or more bishops, knights, minor pieces more than the opponent.
constexpr PackedScore BishopSurplus[9] = {S(5, 5),   S(25, 25), S(35, 35), S(35, 35), S(35, 35),
                                          S(35, 35), S(35, 35), S(35, 35), S(35, 35)};
constexpr PackedScore KnightSurplus[9] = {S(0, 0),  S(10, 5), S(15, 5), S(20, 5), S(20, 5),
                                          S(20, 5), S(20, 5), S(20, 5), S(20, 5)};
constexpr PackedScore MinorSurplus[9] = {S(0, 0),   S(25, 10), S(35, 20), S(40, 20), S(40, 20),
                                         S(40, 20), S(40, 20), S(40, 20), S(40, 20)};
// A minor piece (and pawns) against a rook: the minor side's compensation.
constexpr PackedScore Exchange[9][9] = {
    {S(60, 30), S(58, 30), S(57, 30), S(56, 30), S(56, 30), S(55, 30), S(55, 30), S(55, 30), S(55, 30)},
    {S(55, 26), S(54, 26), S(53, 26), S(52, 26), S(51, 26), S(51, 26), S(50, 26), S(50, 26), S(50, 26)},
    {S(51, 23), S(50, 23), S(49, 23), S(48, 23), S(47, 23), S(46, 23), S(46, 23), S(46, 23), S(46, 23)},
    {S(47, 20), S(46, 20), S(45, 20), S(44, 20), S(44, 20), S(43, 20), S(43, 20), S(42, 20), S(42, 20)},
    {S(45, 18), S(43, 18), S(42, 18), S(41, 18), S(41, 18), S(40, 18), S(40, 18), S(40, 18), S(40, 18)},
    {S(42, 17), S(41, 17), S(40, 17), S(39, 17), S(39, 17), S(38, 17), S(38, 17), S(37, 17), S(37, 17)},
    {S(41, 15), S(40, 15), S(39, 15), S(38, 15), S(37, 15), S(36, 15), S(36, 15), S(36, 15), S(36, 15)},
    {S(40, 15), S(39, 15), S(38, 15), S(37, 15), S(36, 15), S(36, 15), S(35, 15), S(35, 15), S(35, 15)},
    {S(40, 15), S(38, 15), S(37, 15), S(36, 15), S(36, 15), S(35, 15), S(35, 15), S(35, 15), S(35, 15)},
};
// Two minor pieces against a rook: the minor side's bonus, with a bishop
// among its extra minors or with knights only.
constexpr PackedScore TwoMinorsWithBishop[9] = {S(0, 0),   S(30, 20), S(50, 40), S(60, 50), S(60, 50),
                                                S(60, 50), S(60, 50), S(60, 50), S(60, 50)};
constexpr PackedScore TwoKnights[9] = {S(0, 0),   S(12, 12), S(25, 20), S(25, 20), S(25, 20),
                                       S(25, 20), S(25, 20), S(25, 20), S(25, 20)};

// Set-up positions may hold more pawns than a game can; they read the last
// column rather than memory beyond the tables.
int PawnIndex(const Board& board, Colour c) { return std::min<int>(board.colour[c].count[Pawn], 8); }

// The side a positive difference favours.
constexpr Colour Leader(int difference) { return difference > 0 ? White : Black; }

}  // namespace

Imbalance ComputeImbalance(const Board& board) {
    Imbalance result = {{0, 0}};
    const auto count = [&](Colour c, PieceType t) { return int(board.colour[c].count[t]); };
    const int dKnight = count(White, Knight) - count(Black, Knight);
    const int dBishop = count(White, Bishop) - count(Black, Bishop);
    const int dQueen = count(White, Queen) - count(Black, Queen);
    int dRook = count(White, Rook) - count(Black, Rook);

    for (Colour c : {Black, White}) {
        if (count(c, Bishop) >= 2) result.side[c] += BishopPair[PawnIndex(board, c)];
        if (count(c, Knight) >= 2) result.side[c] += KnightPair[PawnIndex(board, c)];
    }

    const bool bishopSurplus = dBishop >= 2 || dBishop <= -2;
    if (bishopSurplus) {
        const Colour more = Leader(dBishop);
        result.side[more] += BishopSurplus[PawnIndex(board, more)];
    }
    if (dKnight >= 2 || dKnight <= -2) {
        const Colour more = Leader(dKnight);
        result.side[more] += KnightSurplus[PawnIndex(board, more)];
    }

    // More minor pieces with the rooks even: unless the bishop surplus
    // already counted a lead that the minor count shares.
    const int dMinor = dKnight + dBishop;
    if (dRook == 0 && (!bishopSurplus || dMinor * dBishop < 1) && dMinor != 0) {
        const Colour more = Leader(dMinor);
        result.side[more] += MinorSurplus[PawnIndex(board, more)];
    }

    // A queen more on one side and a rook more on the other: count the
    // queen as two rooks.
    if (dQueen * dRook < 0) dRook += 2 * dQueen;

    if (dRook * dMinor == -1 && dBishop != 2 * dMinor) {
        // The exchange: the minor side is compensated.
        const Colour rookSide = Leader(dRook);
        const Colour minorSide = Opponent(rookSide);
        result.side[minorSide] += Exchange[PawnIndex(board, rookSide)][PawnIndex(board, minorSide)];
    } else if ((dRook == 1 || dRook == -1) && dRook * dMinor <= -2) {
        // A rook against two minor pieces.
        const Colour minorSide = Opponent(Leader(dRook));
        const int m = PawnIndex(board, minorSide);
        result.side[minorSide] += dBishop != 0 ? TwoMinorsWithBishop[m] : TwoKnights[m];
        if (count(minorSide, Bishop) >= 2) result.side[minorSide] += BishopPair[m];
    }
    return result;
}

}  // namespace NEngine
