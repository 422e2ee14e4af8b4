// King and pawn against king: which positions the pawn side wins, for every
// placement of the three men and either side to move, solved at start-up.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace NEngine {

// [White king][Black king * 2 + (1 when White is to move)]: bit n set when
// White, with its pawn on square n, wins. Positions that cannot arise (pawn
// on the first or last rank, two men on one square, adjacent kings, the side
// not to move in check) are 0.
using KpkTable = uint64_t[64][128];
extern KpkTable KpkBitbase;

// Solves the ending into `table` by working back from the won promotions:
// a White move that reaches a win wins, a Black position all of whose moves
// reach wins is lost. Returns the number of passes the solution took.
int BuildKpkBitbase(KpkTable& table);

inline bool KpkWins(const KpkTable& table, int whiteKing, int blackKing, int whitePawn, bool whiteToMove) {
    return (table[whiteKing][blackKing * 2 + (whiteToMove ? 1 : 0)] >> whitePawn) & 1;
}

// Whether colour c, whose king and lowest pawn are on the board together with
// the other king, wins the king-and-pawn ending; other men are ignored. A
// Black pawn side is looked up in the table turned top to bottom.
inline bool ProbeKpk(const Board& board, Colour c) {
    int strong = board.kingSquare[c];
    int weak = board.kingSquare[Opponent(c)];
    int pawn = LowestSquare(board.colour[c].pieces[Pawn]);
    bool strongToMove = board.sideToMove == c;
    if (c == Black) {
        strong ^= 56;
        weak ^= 56;
        pawn ^= 56;
    }
    return KpkWins(KpkBitbase, strong, weak, pawn, strongToMove);
}

}  // namespace NEngine
