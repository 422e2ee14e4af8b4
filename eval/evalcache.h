// The evaluation cache shared by all search threads: one 64-bit word per
// entry (upper 32 bits of the position key, 16-bit score), read and written
// with relaxed atomics so that a reader sees an old or a new entry, never a
// mixture, and threads never race in the memory model.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace NEngine {

class EvalCache {
public:
    // Entries must be a power of two (0 leaves the cache unused).
    void Resize(uint64_t entries) {
        table_.reset(entries ? new std::atomic<uint64_t>[entries] : nullptr);
        for (uint64_t i = 0; i < entries; ++i) table_[i].store(0, std::memory_order_relaxed);
        count_ = entries;
        mask_ = entries ? entries - 1 : 0;
    }
    uint64_t Count() const { return count_; }
    bool HasEntries() const { return count_ != 0; }

    std::atomic<uint64_t>* Slot(uint64_t key) const { return &table_[key & mask_]; }
    void Prefetch(uint64_t key) const {
        if (count_) __builtin_prefetch(Slot(key));
    }
    static bool Probe(const std::atomic<uint64_t>* slot, uint64_t key, int16_t& score) {
        const uint64_t word = slot->load(std::memory_order_relaxed);
        if (uint32_t(word >> 32) != uint32_t(key >> 32)) return false;
        score = int16_t(uint16_t(word & 0xFFFF));
        return true;
    }
    static void Store(std::atomic<uint64_t>* slot, uint64_t key, int16_t score) {
        slot->store((key & 0xFFFFFFFF00000000ull) | uint16_t(score), std::memory_order_relaxed);
    }

private:
    std::unique_ptr<std::atomic<uint64_t>[]> table_;
    uint64_t count_ = 0;
    uint64_t mask_ = 0;
};

}  // namespace NEngine
