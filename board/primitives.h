// The three piece primitives behind every change of the Board's pieces.
// They keep bitboards, counts, material, phase weight, positional sum and
// the three keys in step; the mailbox and king squares are the caller's.
#pragma once

#include "board/board.h"
#include "board/psq.h"

namespace NEngine {

inline void PutPiece(Board& board, Colour c, PieceType t, int sq) {
    ColourBlock& side = board.colour[c];
    const BitMask bit = Bit(sq);
    if (side.count[t] > 0) board.materialKey ^= PieceKeyOf(side.count[t], c, t);
    side.count[t] += 1;
    board.materialKey ^= PieceKeyOf(side.count[t], c, t);
    side.material += MaterialValue[t];
    if (t != Pawn) side.nonPawnMaterial += PieceValue[t];
    side.pieces[t] |= bit;
    side.all |= bit;
    const uint64_t k = PieceKeyOf(sq, c, t);
    board.key ^= k;
    if (t == Pawn || t == King) board.pawnKey ^= k;
    board.psqSum -= PsqTable[c][t][sq];
}

inline void TakePiece(Board& board, Colour c, PieceType t, int sq) {
    ColourBlock& side = board.colour[c];
    const BitMask bit = Bit(sq);
    board.materialKey ^= PieceKeyOf(side.count[t], c, t);
    side.count[t] -= 1;
    if (side.count[t] != 0) board.materialKey ^= PieceKeyOf(side.count[t], c, t);
    side.material -= MaterialValue[t];
    if (t != Pawn) side.nonPawnMaterial -= PieceValue[t];
    side.pieces[t] ^= bit;
    side.all ^= bit;
    const uint64_t k = PieceKeyOf(sq, c, t);
    board.key ^= k;
    if (t == Pawn || t == King) board.pawnKey ^= k;
    board.psqSum += PsqTable[c][t][sq];
}

inline void MovePiece(Board& board, Colour c, PieceType t, int from, int to) {
    ColourBlock& side = board.colour[c];
    const BitMask both = Bit(from) | Bit(to);
    side.pieces[t] ^= both;
    side.all ^= both;
    const uint64_t k = PieceKeyOf(from, c, t) ^ PieceKeyOf(to, c, t);
    board.key ^= k;
    if (t == Pawn || t == King) board.pawnKey ^= k;
    board.psqSum += PsqTable[c][t][from] - PsqTable[c][t][to];
}

// Toggles a castling right off with its key (the right must be held).
inline void DropCastlingRight(Board& board, int bit) {
    board.castling &= CastlingRights(~(1 << bit));
    board.key ^= CastlingKey[bit];
    board.pawnKey ^= CastlingKey[bit];
}

}  // namespace NEngine
