// Board record basics: reset, copy, putting pieces, and the from-scratch
// sums that the incremental updates are checked against.
#include "board/board.h"

#include <cstring>

#include "board/primitives.h"
#include "board/psq.h"

namespace NEngine {

void ResetBoard(Board& board) {
    HistoryEntry* const history = board.history;
    // Clearing every byte (padding included) lets tests compare whole records.
    std::memset(static_cast<void*>(&board), 0, sizeof(Board));
    board.history = history;
}

// The history array belongs to the enclosing record, so the pointer stays.
void CopyBoard(Board& destination, const Board& source) {
    HistoryEntry* const history = destination.history;
    std::memcpy(static_cast<void*>(&destination), &source, sizeof(Board));
    destination.history = history;
}

void AddPiece(Board& board, Colour c, PieceType t, int sq) {
    if (t == NoPiece || t > King || sq < 0 || sq >= 64 || c > White || board.mailbox[sq] != 0) return;
    // The material key has rows for counts up to 63 only.
    if (board.colour[c].count[t] >= 63) return;
    PutPiece(board, c, t, sq);
    board.mailbox[sq] = MakeCode(c, t);
    if (t == King) board.kingSquare[c] = Square(sq);
}

// A fresh record: zeroed history (no stale keys for the repetition search).
BoardWithHistory::BoardWithHistory() {
    std::memset(static_cast<void*>(history), 0, sizeof(history));
    board.history = history;
    ResetBoard(board);
}

// Copies carry the game's entries and point at their own array.
BoardWithHistory::BoardWithHistory(const BoardWithHistory& other) {
    std::memcpy(static_cast<void*>(history), other.history, sizeof(history));
    board.history = history;
    CopyBoard(board, other.board);
}

BoardWithHistory& BoardWithHistory::operator=(const BoardWithHistory& other) {
    if (this != &other) {
        std::memcpy(static_cast<void*>(history), other.history, sizeof(history));
        CopyBoard(board, other.board);
    }
    return *this;
}

// Everything the primitives keep incrementally, from the mailbox alone.
BoardSums ComputeBoardSums(const Board& board) {
    BoardSums sums{};
    for (int sq = 0; sq < 64; ++sq) {
        const PieceCode code = board.mailbox[sq];
        if (!code) continue;
        const Colour c = ColourOf(code);
        const PieceType t = TypeOf(code);
        sums.key ^= PieceKeyOf(sq, c, t);
        if (t == Pawn || t == King) sums.pawnKey ^= PieceKeyOf(sq, c, t);
        sums.material[c] += MaterialValue[t];
        if (t != Pawn) sums.nonPawnMaterial[c] += PieceValue[t];
        sums.psqSum -= PsqTable[c][t][sq];
    }
    // The material key depends only on the counts, taken from the mailbox.
    int counts[2][8] = {};
    for (int sq = 0; sq < 64; ++sq)
        if (board.mailbox[sq]) counts[ColourOf(board.mailbox[sq])][TypeOf(board.mailbox[sq])] += 1;
    for (int c = 0; c < 2; ++c)
        for (int t = Pawn; t <= King; ++t)
            if (counts[c][t] > 0) sums.materialKey ^= PieceKeyOf(counts[c][t], Colour(c), t);
    for (int bit = 0; bit < 4; ++bit)
        if (board.castling & (1 << bit)) {
            sums.key ^= CastlingKey[bit];
            sums.pawnKey ^= CastlingKey[bit];
        }
    if (board.epSquare > 0) sums.key ^= PieceKeyOf(board.epSquare, Opponent(board.sideToMove), 0);
    if (board.sideToMove == Black) sums.key ^= SideKey;
    return sums;
}

}  // namespace NEngine
