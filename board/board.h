// The Board's operations: piece primitives, keys, making and unmaking moves,
// check and legality tests, draw rules and FEN.
#pragma once

#include <string>

#include "board/types.h"

namespace NEngine {

// ---------------------------------------------------------------- keys
// [square or count][colour][type] at (index * 2 + colour) * 8 + type.
// Type 0 is the en-passant key (square, colour of the double-pushing side).
extern const uint64_t PieceKey[1024];
extern const uint64_t CastlingKey[4];
extern const uint64_t SideKey;
inline uint64_t PieceKeyOf(int index, Colour c, int type) { return PieceKey[(index * 2 + c) * 8 + type]; }

// Forecast of the position key after an ordinary move (for prefetching).
// Inline: the search asks for it before every move it makes.
inline uint64_t KeyAfterMove(const Board& board, Move move) {
    const int from = FromSquare(move);
    const int to = ToSquare(move);
    const Colour us = board.sideToMove;
    const PieceCode piece = board.mailbox[from];
    uint64_t key = board.key ^ SideKey;
    if (board.epSquare > 0) key ^= PieceKeyOf(board.epSquare, Opponent(us), 0);
    const PieceCode captured = board.mailbox[to];
    if (captured) key ^= PieceKeyOf(to, ColourOf(captured), TypeOf(captured));
    key ^= PieceKeyOf(from, us, TypeOf(piece));
    const PieceType promotion = PromotionOf(move);
    key ^= PieceKeyOf(to, us, promotion ? promotion : TypeOf(piece));
    return key;
}

// Keys, material, phase and positional sum computed from scratch (tests and
// consistency checks; the Board keeps them incrementally).
struct BoardSums {
    uint64_t key, pawnKey, materialKey;
    PackedScore material[2];
    uint16_t nonPawnMaterial[2];
    PackedScore psqSum;
};
BoardSums ComputeBoardSums(const Board& board);

// ---------------------------------------------------------------- set-up
// A record holding a Board together with the history array it points into.
struct BoardWithHistory {
    Board board;
    HistoryEntry history[HistorySize];
    BoardWithHistory();
    BoardWithHistory(const BoardWithHistory& other);
    BoardWithHistory& operator=(const BoardWithHistory& other);
};

void ResetBoard(Board& board);
void CopyBoard(Board& destination, const Board& source);  // keeps destination's history pointer
void AddPiece(Board& board, Colour c, PieceType t, int sq);

// ---------------------------------------------------------------- make / unmake
void MakeMove(Board& board, Move move);
void UnmakeMove(Board& board, Move move);
void MakeNullMove(Board& board);
void UnmakeNullMove(Board& board);
// Refuse moves once the history is full.
inline bool HistoryFull(const Board& board) { return board.ply >= HistorySize - 1; }

// ---------------------------------------------------------------- rules
// Attacked by attacker's king, pawns/knights standing on occupancy, sliders
// through occupancy. The attacker must be the side not to move.
bool IsAttacked(const Board& board, int sq, BitMask occupancy, Colour attacker);
bool IsAttackedThrough(const Board& board, Colour attacker, int sq, BitMask emptySquares);
void UpdateCheckAfterMove(Board& board, Move move);
bool ComputeStatus(Board& board);
void UpdateDrawFlags(Board& board, bool skipRepetition);
void UpdateMateFlags(Board& board);
bool IsPseudoLegal(const Board& board, Move move);
bool IsLegal(const Board& board, Move move);      // pseudo-legal generator moves
bool IsLegalMove(const Board& board, Move move);  // any move of correct shape

// Moves linked by indices, in generation order (notation and protocols).
struct NotationMoveList {
    struct Node {
        Move move;
        uint16_t next;
    };
    Node nodes[256];
    uint16_t head = 65535;
    uint16_t tail = 65535;
    uint16_t count = 0;
    void Add(Move m);
};
void GenerateAllMoves(const Board& board, NotationMoveList& list);

// Calls visit(move) for every legal move in generation order; stops early,
// returning true, when visit returns true. The walk is bounded by the node
// count so that a damaged chain cannot loop.
template <typename Visit>
bool ForEachLegalMove(const Board& board, Visit visit) {
    NotationMoveList list;
    GenerateAllMoves(board, list);
    uint16_t index = list.head;
    for (int steps = 0; steps < list.count && index < 256; ++steps) {
        const Move move = list.nodes[index].move;
        if (IsLegalMove(board, move) && visit(move)) return true;
        index = list.nodes[index].next;
    }
    return false;
}

// Leaves of the legal move tree `depth` plies below the position (perft);
// 1 at depth 0 or less. The board's history must have room for `depth` more
// plies.
uint64_t CountLegalLeaves(Board& board, int depth);

// ---------------------------------------------------------------- FEN
extern const std::string StartFen;
bool SetFromFen(const std::string& text, Board& board);
std::string ToFen(const Board& board);

}  // namespace NEngine
