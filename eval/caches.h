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
    uint32_t check;             // upper 32 bits of the pawn key
    PackedScore structure;      // pawn-structure score, White minus Black
    PackedScore kingScore[2];   // by colour: mg = shelter, eg = pawn-distance term
    BitMask passed;             // passed and candidate passed pawns of both colours
};
static_assert(sizeof(PawnHashEntry) == 24, "pawn hash entry is 24 bytes");

// Material imbalance and endgame rule of one material key: a rule depends on
// the material alone, so it is looked up once per key, not per evaluation.
struct MaterialHashEntry {
    uint32_t check;                  // upper 32 bits of the material key
    PackedScore imbalance;           // White minus Black
    const SpecialCaseEntry* rule;    // null when the material has none
};
static_assert(sizeof(MaterialHashEntry) == 16, "material hash entry is 16 bytes");

// A fixed power-of-two array of entries on the heap, zeroed at construction
// (by fresh zero pages, so an unused table costs no memory). Heap-owned so
// that an evaluation context stays small enough to live anywhere, and
// deep-copied so that each thread's copy is its own.
template <class Entry, int Bits>
class EvalHashTable {
public:
    static constexpr uint64_t Entries = uint64_t(1) << Bits;
    static constexpr uint64_t Mask = Entries - 1;

    EvalHashTable() { Allocate(); }
    EvalHashTable(const EvalHashTable& other) {
        Allocate();
        std::memcpy(entries_.Data(), other.entries_.Data(), Entries * sizeof(Entry));
    }
    EvalHashTable& operator=(const EvalHashTable& other) {
        if (this != &other) std::memcpy(entries_.Data(), other.entries_.Data(), Entries * sizeof(Entry));
        return *this;
    }
    // No move operations: a moved-from table would have no entries, so
    // rvalues take the copy above and every table stays usable.

    Entry& operator[](uint64_t index) { return entries_[index & Mask]; }
    const Entry& operator[](uint64_t index) const { return entries_[index & Mask]; }
    void Prefetch(uint64_t index) const { __builtin_prefetch(&entries_[index & Mask]); }
    void Clear() { std::memset(static_cast<void*>(entries_.Data()), 0, Entries * sizeof(Entry)); }

    // A stored entry is trusted when its check equals the key's upper half.
    static bool Matches(const Entry& entry, uint64_t key) { return entry.check == uint32_t(key >> 32); }

private:
    // A table that cannot exist leaves nothing sensible to do: fail like new.
    void Allocate() {
        if (!entries_.Allocate(Entries)) throw std::bad_alloc();
    }

    ZeroedArray<Entry> entries_;
};

using PawnHashTable = EvalHashTable<PawnHashEntry, 18>;
using MaterialHashTable = EvalHashTable<MaterialHashEntry, 18>;

}  // namespace NEngine
