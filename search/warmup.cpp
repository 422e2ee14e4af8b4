#include "search/warmup.h"

#include <cstring>

namespace NEngine {

namespace {

// Large enough that handing out a piece costs nothing next to doing it,
// small enough that several threads share even a small table.
constexpr uint64_t PieceBytes = uint64_t(2) << 20;
constexpr uint64_t PageBytes = 4096;

}  // namespace

void TableWarmer::AddMemory(void* data, uint64_t bytes, bool zero) {
    char* const base = static_cast<char*>(data);
    if (!base) return;
    for (uint64_t offset = 0; offset < bytes; offset += PieceBytes) {
        const uint64_t length = bytes - offset < PieceBytes ? bytes - offset : PieceBytes;
        char* const piece = base + offset;
        if (zero) {
            pending_.push_back({[piece, length] { std::memset(piece, 0, length); }, true});
        } else {
            pending_.push_back({[piece, length] {
                                    // The pages are zero already: writing a zero
                                    // maps them without changing anything.
                                    for (uint64_t at = 0; at < length; at += PageBytes)
                                        *static_cast<volatile char*>(piece + at) = 0;
                                },
                                false});
        }
    }
}

void TableWarmer::AddTask(std::function<void()> task, bool needed) { pending_.push_back({std::move(task), needed}); }

void TableWarmer::Start(int threads) {
    Wait();
    if (pending_.empty()) return;
    running_.swap(pending_);
    next_.store(0, std::memory_order_relaxed);
    skip_.store(0, std::memory_order_relaxed);
    const size_t count = running_.size();
    if (threads < 1) threads = 1;
    if (size_t(threads) > count) threads = int(count);
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { RunPieces(); });
}

void TableWarmer::RunPieces() {
    const size_t count = running_.size();
    for (size_t k; (k = next_.fetch_add(1, std::memory_order_relaxed)) < count;) {
        const int skip = skip_.load(std::memory_order_relaxed);
        if (skip == 2 || (skip == 1 && !running_[k].needed)) continue;
        running_[k].run();
    }
}

void TableWarmer::Join() {
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    running_.clear();
}

// Whoever waits takes pieces too rather than sit idle: the work ends no
// later than if it were done on the spot, even when the helpers have not
// been given a core yet.
void TableWarmer::Wait() {
    if (!threads_.empty()) RunPieces();
    Join();
}

void TableWarmer::Finish() {
    skip_.store(1, std::memory_order_relaxed);
    if (!threads_.empty()) RunPieces();
    Join();
}

void TableWarmer::Cancel() {
    skip_.store(2, std::memory_order_relaxed);
    Join();
}

}  // namespace NEngine
