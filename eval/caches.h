// Per-thread hash tables of the evaluation: pawn structure by pawn key and
// material imbalance by material key. Each search thread owns one of each,
// so they need no synchronisation; copying a table copies its contents.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>

#include "board/types.h"
#include "eval/endgame.h"
#include "util/zeroed.h"

namespace NEngine {

// Pawn structure, king shelter and passed set of one pawn key.
struct PawnHashEntry {
    uint32_t check;             // the table's check of the pawn key
    PackedScore structure;      // pawn-structure score, White minus Black
    PackedScore kingScore[2];   // by colour: mg = shelter, eg = pawn-distance term
    BitMask passed;             // passed and candidate passed pawns of both colours
};
static_assert(sizeof(PawnHashEntry) == 24, "pawn hash entry is 24 bytes");

// Material imbalance and endgame rule of one material key: a rule depends on
// the material alone, so it is looked up once per key, not per evaluation.
struct MaterialHashEntry {
    uint32_t check;                  // the table's check of the material key
    PackedScore imbalance;           // White minus Black
    const SpecialCaseEntry* rule;    // null when the material has none
};
static_assert(sizeof(MaterialHashEntry) == 16, "material hash entry is 16 bytes");

// A fixed power-of-two array of entries on the heap, zeroed at construction
// (by fresh zero pages, so an unused table costs no memory). Heap-owned so
// that an evaluation context stays small enough to live anywhere, and
// deep-copied so that each thread's copy is its own.
//
// An entry's check is the key's upper half mixed with the table's stamp.
// Forget changes the stamp: every entry written before then stops matching
// (but for the same one-in-2^32 chance by which any stray key matches), so
// a search starts from an empty table without writing megabytes of zeros.
template <class Entry, int Bits>
class EvalHashTable {
public:
    static constexpr uint64_t Entries = uint64_t(1) << Bits;
    static constexpr uint64_t Mask = Entries - 1;

    EvalHashTable() { Allocate(); }
    EvalHashTable(const EvalHashTable& other) : generation_(other.generation_), stamp_(other.stamp_) {
        Allocate();
        std::memcpy(entries_.Data(), other.entries_.Data(), Entries * sizeof(Entry));
    }
    EvalHashTable& operator=(const EvalHashTable& other) {
        if (this == &other) return *this;
        std::memcpy(entries_.Data(), other.entries_.Data(), Entries * sizeof(Entry));
        generation_ = other.generation_;
        stamp_ = other.stamp_;
        return *this;
    }
    // No move operations: a moved-from table would have no entries, so
    // rvalues take the copy above and every table stays usable.

    Entry& operator[](uint64_t index) { return entries_[index & Mask]; }
    const Entry& operator[](uint64_t index) const { return entries_[index & Mask]; }
    void Prefetch(uint64_t index) const { __builtin_prefetch(&entries_[index & Mask]); }
    // Zeroes every entry (and the stamp): for entries that must never be
    // read again, not even by a stray match.
    void Clear() {
        std::memset(static_cast<void*>(entries_.Data()), 0, Entries * sizeof(Entry));
        generation_ = stamp_ = 0;
    }
    // Empties the table at no cost (see above); a real clear once the
    // stamps run out.
    void Forget() {
        if (++generation_ == 0) return Clear();
        stamp_ = generation_ * 0x9E3779B9u;  // odd: distinct for every generation
    }

    // A stored entry is trusted when its check is the key's.
    bool Matches(const Entry& entry, uint64_t key) const { return entry.check == CheckOf(key); }
    uint32_t CheckOf(uint64_t key) const { return uint32_t(key >> 32) ^ stamp_; }

private:
    // A table that cannot exist leaves nothing sensible to do: fail like new.
    void Allocate() {
        if (!entries_.Allocate(Entries)) throw std::bad_alloc();
    }

    ZeroedArray<Entry> entries_;
    uint32_t generation_ = 0;
    uint32_t stamp_ = 0;
};

using PawnHashTable = EvalHashTable<PawnHashEntry, 18>;
using MaterialHashTable = EvalHashTable<MaterialHashEntry, 18>;

}  // namespace NEngine
