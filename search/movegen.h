// Staged move generators. Each adds one class of pseudo-legal moves of the
// side to move to a list (two generators may fill one list), already scored
// for ordering, and leaves the list's cursor at the head. None tests whether the mover's king is left in
// attack: the pickers apply the legality test to each move they hand out.
#pragma once

#include "board/attacks.h"
#include "board/types.h"
#include "search/movelist.h"

namespace NEngine {

// MVV-LVA ordering score: value of the piece taken minus the mover's type.
inline int32_t CaptureScore(const Board& board, Move move) {
    return PieceValue[TypeOf(board.mailbox[ToSquare(move)])] - TypeOf(board.mailbox[FromSquare(move)]);
}

// Captures of non-king pieces, en passant, queen promotions and the knight
// promotions that give check (MVV-LVA, sorted).
void GenerateTactical(const Board& board, MoveList& list);
// Pawn pushes (no promotions), piece moves to empty squares, castling and
// king steps away from the opponent's king (History, sorted).
void GenerateQuiet(const Board& board, const History& history, MoveList& list);
// The quiet moves that give check, directly or by uncovering a slider
// (History, sorted). Castling is not included.
void GenerateQuietChecks(const Board& board, const History& history, MoveList& list);
// At most one quiet check: the first forcing one, else (when nothing has been
// searched at the node) the best one that also attacks a piece worth at least
// the threshold. Only legal moves are appended.
void FindForcingCheck(const Board& board, MoveList& list, int threshold, bool nothingSearched);

// Evasions; the side to move is in check by the piece on board.checkerSquare.
// Captures of the checker and checker-line promotions (none in double check).
void GenerateCheckerCaptures(const Board& board, MoveList& list);
// King captures of adjacent pieces (MVV-LVA).
void GenerateKingCaptures(const Board& board, MoveList& list);
// King steps to empty squares not next to the opponent's king (History).
void GenerateKingSteps(const Board& board, const History& history, MoveList& list);
// Quiet moves onto the squares between king and a sliding checker (History).
void GenerateBlocks(const Board& board, const History& history, MoveList& list);

// Every pseudo-legal move in generation order, unscored (root list):
// includes rook and bishop promotions; in double check only king steps.
void GenerateAll(const Board& board, MoveList& list);

// Whether a knight on the square would attack the opponent's king: the test
// that decides which knight promotions the staged generators emit.
inline bool KnightWouldCheck(const Board& board, int sq) {
    return (KnightAttacks(sq) & Bit(board.kingSquare[Opponent(board.sideToMove)])) != 0;
}

}  // namespace NEngine
