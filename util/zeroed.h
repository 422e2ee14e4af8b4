// Zero-filled heap arrays for the big hash tables. A block arrives as fresh
// anonymous pages that the operating system zeroes on first touch, so a
// table costs neither time nor resident memory until something touches it
// (the searcher touches its tables ahead of the first search). Blocks of a
// few megabytes and more are aligned to 2 MB and offered to the system as
// candidates for huge pages: one page-table entry then covers 2 MB instead
// of 4 KB, which spares the hash probes most of their TLB misses and the
// first touch most of its page faults.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <utility>

#include <sys/mman.h>

namespace NEngine {

constexpr uint64_t HugePageBytes = uint64_t(2) << 20;

template <class T>
class ZeroedArray {
    // Plain records only: the pages create them, unmapping ends them.
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "zeroed arrays hold plain records");

public:
    ZeroedArray() = default;
    ZeroedArray(const ZeroedArray&) = delete;
    ZeroedArray& operator=(const ZeroedArray&) = delete;
    ~ZeroedArray() { Release(); }

    // A new zero-filled block of `count` entries; false (and the old block
    // kept) when memory is short or count is 0.
    bool Allocate(uint64_t count) {
        if (count == 0 || count > SIZE_MAX / sizeof(T)) return false;
        const uint64_t bytes = count * sizeof(T);
        void* fresh = nullptr;
        uint64_t mapped = 0;
        if (bytes < 2 * HugePageBytes) {
            fresh = std::calloc(size_t(count), sizeof(T));
            if (!fresh) return false;
        } else {
            fresh = MapAligned(bytes, mapped);
            if (!fresh) return false;
        }
        Release();
        data_ = static_cast<T*>(fresh);
        bytes_ = bytes;
        mapped_ = mapped;
        return true;
    }
    void Release() {
        if (mapped_) munmap(data_, mapped_);
        else std::free(data_);
        data_ = nullptr;
        bytes_ = mapped_ = 0;
    }

    T* Data() const { return data_; }
    uint64_t Bytes() const { return bytes_; }
    T& operator[](uint64_t i) const { return data_[i]; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    // Maps a little more than asked, keeps the 2 MB aligned part and advises
    // huge pages for it (where the system does not offer them, the advice
    // changes nothing). `mapped` receives the length to unmap.
    static void* MapAligned(uint64_t bytes, uint64_t& mapped) {
        const uint64_t length = (bytes + HugePageBytes - 1) / HugePageBytes * HugePageBytes;
        void* raw = mmap(nullptr, length + HugePageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) return nullptr;
        const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
        const uintptr_t aligned = (start + HugePageBytes - 1) / HugePageBytes * HugePageBytes;
        // Give back the unaligned head and the unused tail.
        if (aligned > start) munmap(raw, aligned - start);
        const uintptr_t end = aligned + length;
        const uintptr_t rawEnd = start + length + HugePageBytes;
        if (rawEnd > end) munmap(reinterpret_cast<void*>(end), rawEnd - end);
#ifdef MADV_HUGEPAGE
        madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
#endif
        mapped = length;
        return reinterpret_cast<void*>(aligned);
    }

    T* data_ = nullptr;
    uint64_t bytes_ = 0;
    uint64_t mapped_ = 0;  // length of the mapping; 0 for a calloc block
};

}  // namespace NEngine
