// Making and unmaking moves: the search's innermost loop. Everything is
// incremental; unmaking restores keys and the positional sum from history.
#include <cstring>

#include "board/attacks.h"
#include "board/board.h"
#include "board/primitives.h"

namespace NEngine {

namespace {

inline StateWord SaveState(const Board& board) {
    StateWord state;
    std::memcpy(state.bytes, &board, sizeof(state.bytes));
    return state;
}

inline void RestoreState(Board& board, const StateWord& state) {
    std::memcpy(static_cast<void*>(&board), state.bytes, sizeof(state.bytes));
}

// Unmake's piece changes: bitboards, counts, material and phase only; keys
// and the positional sum come back from the history entry.
inline void RestorePiece(Board& board, Colour c, PieceType t, int sq) {
    ColourBlock& side = board.colour[c];
    side.pieces[t] |= Bit(sq);
    side.all |= Bit(sq);
    side.count[t] += 1;
    side.material += MaterialValue[t];
    if (t != Pawn) side.nonPawnMaterial += PieceValue[t];
    board.mailbox[sq] = MakeCode(c, t);
}

inline void RemovePiece(Board& board, Colour c, PieceType t, int sq) {
    ColourBlock& side = board.colour[c];
    side.pieces[t] ^= Bit(sq);
    side.all ^= Bit(sq);
    side.count[t] -= 1;
    side.material -= MaterialValue[t];
    if (t != Pawn) side.nonPawnMaterial -= PieceValue[t];
}

inline void ShiftPiece(Board& board, Colour c, PieceType t, int from, int to) {
    const BitMask both = Bit(from) | Bit(to);
    board.colour[c].pieces[t] ^= both;
    board.colour[c].all ^= both;
}

// A rook leaving or being captured on its home square loses that wing's right.
inline void DropRookRight(Board& board, Colour c, int sq) {
    const int kingSide = 2 * c;
    if (sq == RookHome[kingSide]) {
        if (board.castling & (1 << kingSide)) DropCastlingRight(board, kingSide);
    } else if (sq == RookHome[kingSide + 1]) {
        if (board.castling & (1 << (kingSide + 1))) DropCastlingRight(board, kingSide + 1);
    }
}

}  // namespace

void MakeMove(Board& board, Move move) {
    const Colour us = board.sideToMove;
    const Colour them = Opponent(us);
    const int from = FromSquare(move);
    const int to = ToSquare(move);
    const PieceCode piece = board.mailbox[from];
    const PieceType type = TypeOf(piece);

    // Push: everything unmake cannot cheaply recompute is saved here.
    HistoryEntry& entry = board.history[board.ply];
    board.ply += 1;
    entry.key = board.key;
    entry.pawnKey = board.pawnKey;
    entry.materialKey = board.materialKey;
    entry.state = SaveState(board);
    entry.move = move;
    entry.psqSum = board.psqSum;
    uint8_t moveFlags = 0;
    uint8_t capturedType = 0;

    // Status bits describe the new position; they are rebuilt at the end.
    board.flags = FlagBase;

    // Castling rights and the castling rook.
    if (type == King) {
        if (to - from == 2 || from - to == 2) {
            moveFlags |= MoveCastling | MoveIrreversible;
            const int rookFrom = to > from ? from + 3 : from - 4;
            const int rookTo = to > from ? from + 1 : from - 1;
            board.mailbox[rookFrom] = 0;
            MovePiece(board, us, Rook, rookFrom, rookTo);
            board.mailbox[rookTo] = MakeCode(us, Rook);
        }
        const int kingSide = 2 * us;
        if (board.castling & (1 << kingSide)) DropCastlingRight(board, kingSide);
        if (board.castling & (2 << kingSide)) DropCastlingRight(board, kingSide + 1);
        board.kingSquare[us] = Square(to);
    } else if (type == Rook && (board.castling & (3 << (2 * us)))) {
        DropRookRight(board, us, from);
    }

    // Captures; a rook taken on its home square takes its right with it.
    const PieceCode captured = board.mailbox[to];
    if (captured) {
        capturedType = TypeOf(captured);
        if (capturedType == Rook && (board.castling & (3 << (2 * them)))) DropRookRight(board, them, to);
        TakePiece(board, them, capturedType, to);
        moveFlags |= MoveCapture | MoveIrreversible;
    } else if (type == Pawn && board.epSquare > 0 && to == board.epSquare) {
        const int victim = us == White ? to - 8 : to + 8;
        TakePiece(board, them, Pawn, victim);
        board.mailbox[victim] = 0;
        moveFlags |= MoveEnPassant | MoveCapture | MoveIrreversible;
    }

    // The old en-passant square lapses whatever the move.
    if (board.epSquare > 0) board.key ^= PieceKeyOf(board.epSquare, them, 0);
    board.epSquare = -1;

    const PieceType promotion = PromotionOf(move);
    if (promotion) {
        TakePiece(board, us, Pawn, from);
        PutPiece(board, us, promotion, to);
        board.mailbox[to] = MakeCode(us, promotion);
        moveFlags |= MoveIrreversible;
    } else {
        if (type == Pawn) {
            // Set after every double push, even with no pawn to take.
            if (!(moveFlags & MoveCapture) && (to - from == 16 || from - to == 16)) {
                board.epSquare = int8_t((from + to) / 2);
                board.key ^= PieceKeyOf(board.epSquare, us, 0);
            }
            moveFlags |= MoveIrreversible;
        }
        MovePiece(board, us, type, from, to);
        board.mailbox[to] = piece;
    }
    board.mailbox[from] = 0;

    if (moveFlags & MoveIrreversible) {
        board.halfmoveClock = 0;
        board.repetitionCount = 1;
    } else if (board.halfmoveClock != 255) {
        // Saturates instead of wrapping, so a long reversible stretch stays a draw.
        board.halfmoveClock += 1;
    }
    if (us == Black) board.fullmoveNumber += 1;
    board.key ^= SideKey;
    board.sideToMove = them;

    // An irreversible move cannot repeat anything, so the search is skipped.
    UpdateCheckAfterMove(board, move);
    UpdateDrawFlags(board, moveFlags & MoveIrreversible);
    if (board.flags & FlagCheck) moveFlags |= MoveGaveCheck;
    entry.moveFlags = moveFlags;
    entry.capturedType = capturedType;
}

void UnmakeMove(Board& board, Move move) {
    const Colour us = Opponent(board.sideToMove);  // the side that made the move
    const Colour them = board.sideToMove;
    board.ply -= 1;
    const HistoryEntry& entry = board.history[board.ply];
    // The state word brings back the old en-passant square, used below.
    RestoreState(board, entry.state);
    if (them == White) board.fullmoveNumber -= 1;
    board.psqSum = entry.psqSum;

    const int from = FromSquare(move);
    const int to = ToSquare(move);
    const PieceCode piece = board.mailbox[to];
    if (PromotionOf(move)) {
        RemovePiece(board, us, TypeOf(piece), to);
        RestorePiece(board, us, Pawn, from);
    } else {
        const PieceType type = TypeOf(piece);
        ShiftPiece(board, us, type, to, from);
        board.mailbox[from] = piece;
        if (type == King) board.kingSquare[us] = Square(from);
    }
    board.mailbox[to] = 0;

    // Put back what was taken: the pawn behind the target, or the piece on it.
    if (entry.moveFlags & MoveEnPassant) {
        RestorePiece(board, them, Pawn, us == White ? board.epSquare - 8 : board.epSquare + 8);
    } else if (entry.capturedType) {
        RestorePiece(board, them, entry.capturedType, to);
    }
    if (entry.moveFlags & MoveCastling) {
        const int rookHome = to > from ? from + 3 : from - 4;
        const int rookNow = to > from ? from + 1 : from - 1;
        ShiftPiece(board, us, Rook, rookNow, rookHome);
        board.mailbox[rookNow] = 0;
        board.mailbox[rookHome] = MakeCode(us, Rook);
    }
    board.key = entry.key;
    board.pawnKey = entry.pawnKey;
    board.materialKey = entry.materialKey;
}

// Passing touches only the state word, the key and one entry; the clock
// and the status flags stay (it is never made in check).
void MakeNullMove(Board& board) {
    HistoryEntry& entry = board.history[board.ply];
    board.ply += 1;
    entry.key = board.key;
    entry.state = SaveState(board);
    entry.move = NullMove;
    entry.moveFlags = MoveNullFlag;
    if (board.epSquare > 0) board.key ^= PieceKeyOf(board.epSquare, Opponent(board.sideToMove), 0);
    board.epSquare = -1;
    board.key ^= SideKey;
    board.sideToMove = Opponent(board.sideToMove);
}

void UnmakeNullMove(Board& board) {
    board.ply -= 1;
    const HistoryEntry& entry = board.history[board.ply];
    RestoreState(board, entry.state);
    board.key = entry.key;
}

}  // namespace NEngine
