// The transposition table shared by all search threads, and the sizing of
// both it and the evaluation cache from one memory budget.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/types.h"
#include "eval/evalcache.h"
#include "util/zeroed.h"

namespace NEngine {

// Entry sizes for a budget of `megabytes` (at least 1; computed in 64 bits,
// so any value fits): the table takes the largest power of two of 12-byte
// entries that fits, the evaluation cache the largest power of two of 8-byte
// entries that fits in the rest.
struct HashSizes {
    uint64_t tableEntries;
    uint64_t cacheEntries;
};
HashSizes ComputeHashSizes(uint32_t megabytes);

// Bounds kept in an entry.
enum TTBound : int { BoundNone = 0, BoundUpper = 1, BoundExact = 2, BoundLower = 3 };

// ProbeTT's verdicts.
enum TTProbeResult : int { TTMiss = 0, TTCutUpper = 1, TTHashMove = 2, TTCutLower = 3 };

// One entry, unpacked: lock (upper key half XOR data), score, info (depth in
// bits 0-10 signed, bound in 11-12, extension mark bit 14, PV flag bit 15),
// data (best move in the low 16 bits).
struct TTEntry {
    uint32_t lock = 0;
    int16_t score = 0;
    uint16_t info = 0;
    uint32_t data = 0;

    int Depth() const { return int(int16_t(uint16_t(info << 5))) >> 5; }
    int Bound() const { return (info >> 11) & 3; }
    bool ExtensionMark() const { return (info >> 14) & 1; }
    bool PvNode() const { return (info >> 15) & 1; }
    Move BestMove() const { return Move(data & 0xFFFF); }
    bool Matches(uint64_t key) const { return (lock ^ data) == uint32_t(key >> 32); }
};

// One entry per slot, a power-of-two count, slot = key AND (count - 1).
//
// Threads probe and store without locks. Each entry is 12 bytes: an 8-byte
// word (lock, score, info) and a 4-byte data word, written as one 8-byte
// store followed by one 4-byte store, so a reader can see one thread's word
// with another's data; the lock (key XOR data) rejects such a torn pair
// unless both data words are equal. To keep those accesses race-free in the
// C++ memory model both words are read and written as relaxed atomics
// (std::atomic_ref over plain integers, so the table can start as untouched
// zero pages). An 8-byte atomic needs 8-byte alignment, which every second
// entry of a plain 12-byte array lacks, so entries come in 24-byte pairs
// laid out as
//     word0 | data0 | data1 | word1
// Both entries still occupy 12 adjacent bytes (the odd one with its data
// word first) and both 8-byte words are aligned.
class TranspositionTable {
public:
    TranspositionTable() = default;
    TranspositionTable(const TranspositionTable&) = delete;
    TranspositionTable& operator=(const TranspositionTable&) = delete;

    // Entries must be a power of two, at least 2. Returns the count that was
    // allocated: halved until the allocation succeeds. The new table is empty.
    uint64_t Resize(uint64_t entries);
    uint64_t Count() const { return count_; }
    // Empties the table in place; free when nothing was written since the
    // last clear. Not while a search runs.
    void Clear();
    // Whether anything was written since the table was last empty.
    bool Dirty() const { return written_.load(std::memory_order_relaxed); }
    // The entries' memory, for clearing it in parts on several threads;
    // whoever zeroes all of it then calls MarkEmpty.
    void* Memory() const { return pairs_.Data(); }
    uint64_t Bytes() const { return pairs_.Bytes(); }
    void MarkEmpty() { written_.store(false, std::memory_order_relaxed); }
    // Permille of the entries in use, from a sample of the first thousand
    // (positions spread over the slots evenly, so the start is as good a
    // sample as any). Safe while threads store.
    int UsagePermille() const;

    TTEntry Read(uint64_t key) const {
        const Slot s = SlotOf(key);
        const uint64_t word = WordRef(*s.word).load(std::memory_order_relaxed);
        TTEntry e;
        e.lock = uint32_t(word);
        e.score = int16_t(uint16_t(word >> 32));
        e.info = uint16_t(word >> 48);
        e.data = DataRef(*s.data).load(std::memory_order_relaxed);
        return e;
    }
    void Write(uint64_t key, const TTEntry& e) {
        // Tested first so that the flag's cache line stays shared between
        // threads once set.
        if (!written_.load(std::memory_order_relaxed)) written_.store(true, std::memory_order_relaxed);
        const Slot s = SlotOf(key);
        const uint64_t word =
            uint64_t(e.lock) | uint64_t(uint16_t(e.score)) << 32 | uint64_t(e.info) << 48;
        WordRef(*s.word).store(word, std::memory_order_relaxed);
        DataRef(*s.data).store(e.data, std::memory_order_relaxed);
    }
    void Prefetch(uint64_t key) const {
        if (count_) __builtin_prefetch(&pairs_[(key & mask_) >> 1]);
    }

private:
    struct alignas(8) Pair {
        uint64_t word0;
        uint32_t data0;
        uint32_t data1;
        uint64_t word1;
    };
    static_assert(sizeof(Pair) == 24, "two 12-byte entries");
    using WordRef = std::atomic_ref<uint64_t>;
    using DataRef = std::atomic_ref<uint32_t>;
    static_assert(WordRef::is_always_lock_free && DataRef::is_always_lock_free, "lockless table");
    static_assert(alignof(Pair) >= WordRef::required_alignment, "aligned 8-byte words");

    struct Slot {
        uint64_t* word;
        uint32_t* data;
    };
    Slot SlotOf(uint64_t key) const {
        const uint64_t index = key & mask_;
        Pair& p = pairs_[index >> 1];
        return (index & 1) ? Slot{&p.word1, &p.data1} : Slot{&p.word0, &p.data0};
    }

    ZeroedArray<Pair> pairs_;
    uint64_t count_ = 0;
    uint64_t mask_ = 0;
    std::atomic<bool> written_{false};  // any store since the table was last empty
};

// Sizes the table and the evaluation cache for `megabytes` (values below 1
// count as 1). Both start empty.
void SetHashSize(TranspositionTable& table, EvalCache& cache, uint32_t megabytes);
// Empties the table; the evaluation cache is kept.
void ClearTT(TranspositionTable& table);

// The hash-move test: the origin holds a piece of the side to move, the
// destination is in that piece's empty-board reach (pawn pushes and captures,
// castling targets included) and is empty or holds an opponent piece.
bool PassesHashMoveTest(const Board& board, Move move);

// Depth d in whole plies, ply p from the root. Gives back the hash move (0
// when none), the score (mate scores made root-relative) and the entry's
// extension mark. Cut-offs need a non-PV node at p >= 1, material on both
// sides, a bound, and a stored depth of at least d.
int ProbeTT(const TranspositionTable& table, const Board& board, int depth, int ply, int alpha, int beta,
            bool pvNode, Move& hashMove, int& score, bool& extensionMark);
// `alpha` is the node's alpha at entry. A deeper non-exact entry of the same
// position is kept; anything else is overwritten.
void StoreTT(TranspositionTable& table, const Board& board, Move bestMove, int alpha, int beta, int score,
             int depth, int ply, bool extensionMark, bool pvNode);
// The entry of this position, if any, with a move that passes the hash-move
// test (internal deepening and the root list).
bool LookupTTMove(const TranspositionTable& table, const Board& board, Move& move, bool& extensionMark);

}  // namespace NEngine
