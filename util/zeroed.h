// Zero-filled heap arrays for the big hash tables. The memory comes from
// calloc: a large block arrives as fresh pages that the operating system
// zeroes lazily on first touch, so a table costs neither time nor resident
// memory until a search uses it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <type_traits>

namespace NEngine {

template <class T>
class ZeroedArray {
    // Plain records only: calloc creates them, free ends them.
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "zeroed arrays hold plain records");

public:
    // A new zero-filled block of `count` entries; false (and the old block
    // kept) when memory is short or count is 0.
    bool Allocate(uint64_t count) {
        if (count == 0 || count > SIZE_MAX / sizeof(T)) return false;
        T* fresh = static_cast<T*>(std::calloc(size_t(count), sizeof(T)));
        if (!fresh) return false;
        block_.reset(fresh);
        return true;
    }
    void Release() { block_.reset(); }

    T* Data() const { return block_.get(); }
    T& operator[](uint64_t i) const { return block_[i]; }
    explicit operator bool() const { return bool(block_); }

private:
    struct Free {
        void operator()(T* p) const { std::free(p); }
    };
    std::unique_ptr<T[], Free> block_;
};

}  // namespace NEngine
