// Move lists of the search (fixed arrays of nodes chained by index), the
// quiet-move test, and the shared History table.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/types.h"

namespace NEngine {

// No capture, no promotion, not en passant: the moves that killers and the
// History table rank, and that the search treats as quiet.
inline bool IsQuietMove(const Board& board, Move move) {
    const int to = ToSquare(move);
    if (board.mailbox[to] || PromotionOf(move)) return false;
    return !(board.epSquare > 0 && to == board.epSquare && TypeOf(board.mailbox[FromSquare(move)]) == Pawn);
}

// One list entry. Field order keeps the node at 8 bytes.
struct MoveNode {
    int32_t score;
    Move move;
    uint16_t next;  // EndOfChain ends the chain
};
static_assert(sizeof(MoveNode) == 8, "move node is 8 bytes");

constexpr uint16_t EndOfChain = 0xFFFF;

// Capacities. Every insert is bound-checked, so no position can overrun a
// list; the sizes are chosen so that nothing is ever dropped for a position
// with at most 16 men per side (any legal game position, including FEN
// oddities such as nine queens or fifteen queens):
//   tactical: every non-king man captures at most 8 pieces (a pawn on the
//     seventh: 2 pushes/captures x queen+knight = 6), 16 x 8 = 128;
//   quiet, quiet checks, full list: a queen reaches at most 27 squares
//     (a promoting pawn emits at most 3 x 4), king 8 steps + 2 castlings:
//     15 x 27 + 10 = 415;
//   evasion captures: a man takes the checker at most once, a pawn at most
//     4 times (capture and push, queen and knight), king 8: 15 x 4 + 8 = 68;
//   evasion quiets: a man reaches the king-checker line in at most 4 squares
//     (queen: one per line through it), king 8: 15 x 4 + 8 = 68.
// Deferred lists hold a subset of the list they are drawn from and get the
// same capacity. A position with more men (impossible in a game) loses the
// moves beyond capacity rather than memory.
constexpr int TacticalCapacity = 128;
constexpr int QuietCapacity = 416;
constexpr int CheckCapacity = 416;
constexpr int EvasionCapacity = 80;
constexpr int FullCapacity = 416;

// A chain of nodes in a caller-owned array. Nodes are allocated in array
// order and never freed; the chain gives the visiting order. The cursor
// walks the chain: `cursor` is the node to visit next, `current` the node
// visited last (EndOfChain when none).
class MoveList {
public:
    MoveList(const MoveList&) = delete;
    MoveList& operator=(const MoveList&) = delete;

    void Clear() {
        head = tail = -1;
        count = 0;
        cursor = current = EndOfChain;
    }
    bool Empty() const { return count == 0; }
    int Count() const { return count; }
    int Capacity() const { return capacity; }

    // Keeps the chain in descending score order; a move tying with the tail
    // goes after it, a move tying elsewhere goes in front of its equals.
    bool InsertSorted(Move move, int32_t score) {
        if (count >= capacity) return false;
        const uint16_t n = count++;
        nodes[n].move = move;
        nodes[n].score = score;
        if (head < 0) {
            nodes[n].next = EndOfChain;
            head = tail = int16_t(n);
        } else if (score <= nodes[tail].score) {
            nodes[n].next = EndOfChain;
            nodes[tail].next = n;
            tail = int16_t(n);
        } else if (nodes[head].score <= score) {
            nodes[n].next = uint16_t(head);
            head = int16_t(n);
        } else {
            // The head is greater and the tail is smaller, so a place exists
            // strictly inside the chain.
            uint16_t prev = uint16_t(head);
            while (nodes[nodes[prev].next].score > score) prev = nodes[prev].next;
            nodes[n].next = nodes[prev].next;
            nodes[prev].next = n;
        }
        return true;
    }

    // Links the move at the tail.
    bool Append(Move move, int32_t score = 0) {
        if (count >= capacity) return false;
        const uint16_t n = count++;
        nodes[n].move = move;
        nodes[n].score = score;
        nodes[n].next = EndOfChain;
        if (head < 0)
            head = int16_t(n);
        else
            nodes[tail].next = n;
        tail = int16_t(n);
        return true;
    }

    void Rewind() {
        cursor = head < 0 ? EndOfChain : uint16_t(head);
        current = EndOfChain;
    }
    // Next node in chain order, nullptr when the walk is done.
    MoveNode* Next() {
        if (cursor == EndOfChain) return nullptr;
        current = cursor;
        cursor = nodes[cursor].next;
        return &nodes[current];
    }
    bool Contains(Move move) const {
        for (int i = head; i >= 0 && i != EndOfChain; i = nodes[i].next)
            if (SameMove(nodes[i].move, move)) return true;
        return false;
    }

    MoveNode* nodes;
    uint16_t capacity;
    int16_t head;
    int16_t tail;
    uint16_t count;
    uint16_t cursor;
    uint16_t current;

protected:
    MoveList(MoveNode* storage, uint16_t cap) : nodes(storage), capacity(cap) { Clear(); }
};

// A list with its own storage; lives inside the pickers on the stack.
// The storage is left uninitialised: only nodes below `count` are read.
template <int N>
class FixedMoveList : public MoveList {
    static_assert(N > 0 && N < 0x7FFF, "index range");

public:
    FixedMoveList() : MoveList(storage_, N) {}

private:
    MoveNode storage_[N];
};

// Counters [side to move][from][to] for ordering quiet moves, one table for
// all search threads. Updates are plain relaxed load + store: a lost or mixed
// update is harmless, and relaxed atomics keep the sharing race-free.
class History {
public:
    History() { Clear(); }
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    int32_t Get(Colour side, int from, int to) const {
        return table_[side][from][to].load(std::memory_order_relaxed);
    }
    void Set(Colour side, int from, int to, int32_t value) {
        table_[side][from][to].store(value, std::memory_order_relaxed);
    }
    // Saturates instead of overflowing: a long analysis can pile up bonuses.
    void Add(Colour side, int from, int to, int32_t delta) {
        auto& cell = table_[side][from][to];
        int64_t value = int64_t(cell.load(std::memory_order_relaxed)) + delta;
        if (value > INT32_MAX) value = INT32_MAX;
        if (value < INT32_MIN) value = INT32_MIN;
        cell.store(int32_t(value), std::memory_order_relaxed);
    }
    int32_t Of(Colour side, Move move) const { return Get(side, FromSquare(move), ToSquare(move)); }
    void Clear() {
        for (auto& bySide : table_)
            for (auto& byFrom : bySide)
                for (auto& cell : byFrom) cell.store(0, std::memory_order_relaxed);
    }

private:
    std::atomic<int32_t> table_[2][64][64];
};

}  // namespace NEngine
