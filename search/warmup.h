// Table memory prepared in the background: the big tables are cleared or
// first touched on helper threads between searches (after start-up, a new
// table size or a new game), so that no search pays for page faults or a
// clear, and the protocol answers at once meanwhile. Whoever is about to use
// the tables ends the work first.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace NEngine {

class TableWarmer {
public:
    TableWarmer() = default;
    TableWarmer(const TableWarmer&) = delete;
    TableWarmer& operator=(const TableWarmer&) = delete;
    ~TableWarmer() { Cancel(); }

    // Work to be shared out. Memory is cut into pieces of a few megabytes:
    // zeroed in full when it holds data (work that must be done), otherwise
    // only touched, one write per page, which is what makes the system map
    // it (work that only saves time later, and may be skipped).
    void AddMemory(void* data, uint64_t bytes, bool zero);
    void AddTask(std::function<void()> task, bool needed);
    // Runs the work added so far on `threads` helper threads (at least one)
    // and returns at once; earlier work is completed first.
    void Start(int threads);
    // Returns once all started work is done.
    void Wait();
    // Skips the started work that may be skipped, and returns once the rest
    // is done: for a search that is about to start and cannot wait.
    void Finish();
    // Skips all started work not yet begun and returns once the rest is
    // done: only for memory that is about to be released, since it may be
    // left half cleared. Work added but not started stays for the next start.
    void Cancel();
    bool Busy() const { return !threads_.empty(); }

private:
    struct Task {
        std::function<void()> run;
        bool needed;
    };
    void RunPieces();  // takes pieces of the started work until none is left
    void Join();

    std::vector<Task> pending_;  // added, not started
    std::vector<Task> running_;  // shared out by the threads
    std::vector<std::thread> threads_;
    std::atomic<size_t> next_{0};
    std::atomic<int> skip_{0};  // 0 run all, 1 skip what may be skipped, 2 skip all
};

}  // namespace NEngine
