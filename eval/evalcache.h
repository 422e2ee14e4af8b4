// The evaluation cache shared by all search threads: one 64-bit word per
// entry (upper 32 bits of the position key, 16-bit score), read and written
// with relaxed atomics so that a reader sees an old or a new entry, never a
// mixture, and threads never race in the memory model. The words are plain
// integers reached through std::atomic_ref so that the cache can start as
// untouched zero pages.
#pragma once

#include <atomic>
#include <cstdint>

#include "util/zeroed.h"

namespace NEngine {

class EvalCache {
public:
    // Entries must be a power of two (0 leaves the cache unused, as does a
    // shortage of memory). The new cache is empty.
    void Resize(uint64_t entries) {
        table_.Release();
        if (!table_.Allocate(entries)) entries = 0;
        count_ = entries;
        mask_ = entries ? entries - 1 : 0;
    }
    uint64_t Count() const { return count_; }
    bool HasEntries() const { return count_ != 0; }
    // The entries' memory, for touching it ahead of the first search.
    void* Memory() const { return table_.Data(); }
    uint64_t Bytes() const { return table_.Bytes(); }

    uint64_t* Slot(uint64_t key) const { return &table_[key & mask_]; }
    void Prefetch(uint64_t key) const {
        if (count_) __builtin_prefetch(Slot(key));
    }
    static bool Probe(uint64_t* slot, uint64_t key, int16_t& score) {
        const uint64_t word = std::atomic_ref<uint64_t>(*slot).load(std::memory_order_relaxed);
        if (uint32_t(word >> 32) != uint32_t(key >> 32)) return false;
        score = int16_t(uint16_t(word & 0xFFFF));
        return true;
    }
    static void Store(uint64_t* slot, uint64_t key, int16_t score) {
        const uint64_t word = (key & 0xFFFFFFFF00000000ull) | uint16_t(score);
        std::atomic_ref<uint64_t>(*slot).store(word, std::memory_order_relaxed);
    }

private:
    ZeroedArray<uint64_t> table_;
    uint64_t count_ = 0;
    uint64_t mask_ = 0;
};

}  // namespace NEngine
