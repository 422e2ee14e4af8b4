// The searcher: per-thread search records, iterative deepening on the main
// thread with worker threads that live only during a search, time checks,
// and the five callbacks through which a running search reaches the engine.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "board/board.h"
#include "board/types.h"
#include "eval/evalcache.h"
#include "search/warmup.h"

namespace NEngine {

struct EvalContext;
class TranspositionTable;
class History;
class Searcher;

constexpr int MaxPly = 64;          // plies 0..63 are searched
constexpr int MaxRootMoves = 256;
constexpr int MaxThreads = 4;
constexpr int MaxDepthLimit = 32;   // deepest iteration, in plies
constexpr int OnePly = 16;          // depth is counted in sixteenths of a ply
constexpr int DrawScore = 0;
constexpr int ReductionFloor = -32064;
// The main thread reads the clock (and checks the node limit against all
// threads) every this many of its nodes: often enough that a budget is
// overshot by a fraction of a millisecond even with a slow evaluation, and
// seldom enough that the reading costs nothing measurable.
constexpr uint64_t PollIntervalNodes = 256;
// Input is looked at no more often than this (a system call each time).
constexpr int64_t InputPollNanoseconds = 1'000'000;

// Nanoseconds of the monotonic clock.
int64_t NowNanoseconds();

// A counter written by one thread only and read by others: relaxed load and
// store (no read-modify-write), so bumping it costs what a plain increment
// costs while readers on other threads stay race-free.
class NodeCounter {
public:
    void Bump() { value_.store(value_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }
    uint64_t Get() const { return value_.load(std::memory_order_relaxed); }
    void Set(uint64_t v) { value_.store(v, std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> value_{0};
};

// Progress of the current iteration, sent through ProgressCallback. The root
// position's history pointer is not usable: copy it into a board with its own
// history (CopyBoard) before making moves on it.
struct SearchData {
    Board root{};
    uint32_t rootIndex = 0;       // root move just searched or being searched
    uint32_t rootCount = 0;
    uint32_t depth = 0;           // current iteration, plies
    uint64_t iterationNodes = 0;  // summed over all threads in progress reports
    uint64_t totalNodes = 0;      // main thread
    int64_t startTime = 0;        // nanoseconds, NowNanoseconds()
    int64_t lastIterationTime = 0;
    Move bestMove = 0;            // best so far in this iteration
    int16_t bestScore = -MateScore;
};

// Outcome of the last accepted iteration (IterationCallback, ResultCallback).
// The root position's history pointer is not usable, as in SearchData.
struct SearchResult {
    double elapsed = 0;           // seconds since the search started
    uint64_t iterationNodes = 0;  // last accepted iteration, main thread
    uint64_t totalNodes = 0;      // all threads in iteration reports, main thread at the end
    uint32_t pvLength = 0;
    uint32_t rootCount = 0;
    uint32_t rootSearched = 0;    // root moves searched in the last accepted iteration
    Board root{};
    Move bestMove = 0;
    Move previousBestMove = 0;    // best move of the accepted iteration before
    uint32_t depth = 0;
    int16_t score = -MateScore;
    Move pv[MaxPly] = {};         // ended by 0 when shorter
    uint32_t hashfull = 0;        // permille of the table in use, at the last accepted iteration
};

using PollCallback = std::function<bool()>;
using ExtraTimeCallback = std::function<double()>;  // seconds to add
using IterationCallback = std::function<void(const SearchResult&)>;
using ResultCallback = std::function<void(const SearchResult&)>;
using ProgressCallback = std::function<void(const SearchData&)>;

// Killer and principal-variation row of one ply. The row holds the best line
// from this ply on at positions ply, ply + 1, ..., ended by a 0 move.
struct PlyRecord {
    Move killer;
    Move pv[MaxPly];
};

struct RootMove {
    Move move;
    int32_t score;
};

// Everything one search thread owns. Large (the history array alone is 160
// KB): always allocated on the heap.
struct SearchRecord {
    SearchRecord();
    ~SearchRecord();
    SearchRecord(const SearchRecord&) = delete;
    SearchRecord& operator=(const SearchRecord&) = delete;

    Board& board() { return position.board; }
    const Board& board() const { return position.board; }

    BoardWithHistory position;          // the working Board and its history array
    std::unique_ptr<EvalContext> eval;  // own pawn and material tables, shared cache
    PlyRecord plies[MaxPly];
    RootMove rootMoves[MaxRootMoves + 1];  // ended by a zero entry
    int rootCount = 0;

    // Live search data; counters and depth are read by other threads.
    int rootIndex = 0;
    int rootSearched = 0;  // root moves completed in this iteration
    std::atomic<int> iterationDepth{0};
    NodeCounter iterationNodes;
    NodeCounter totalNodes;
    int64_t startTime = 0;
    int64_t lastIterationTime = 0;
    Move bestMove = 0;
    int16_t bestScore = -MateScore;

    SearchResult result;
    std::atomic<bool> stop{false};

    // Links set by the Searcher.
    Searcher* owner = nullptr;
    TranspositionTable* table = nullptr;
    History* history = nullptr;  // shared by all threads
    int index = 0;               // thread index, 0 = main thread
    uint64_t nextPollNodes = 0;  // node count of the next poll (thread 0)
    int64_t lastInputPoll = 0;   // clock reading of the last input poll (thread 0)

    bool Stopped() const { return stop.load(std::memory_order_relaxed); }
};

// The node search (thread's record, depth in sixteenths, distance from the
// root, window, node kind, number of single-move extensions on the path).
int Search(SearchRecord& record, int depth, int ply, int alpha, int beta, bool pvNode,
           bool nullAllowed, int extensions);
// staticEval is MinusInfinity when the caller has none.
int Quiescence(SearchRecord& record, int depth, int ply, int alpha, int beta, bool pvNode,
               int staticEval);
// 16 (one ply) or 0 for the move just picked (with its SafeMark), read on the
// board after the move was made (check and recapture show there).
int ExtensionFor(const Board& board, Move move, bool pvNode, bool permission);

class Searcher {
public:
    // One thread; the table and evaluation cache share the given budget.
    explicit Searcher(uint32_t hashMegabytes = 256);
    ~Searcher();
    Searcher(const Searcher&) = delete;
    Searcher& operator=(const Searcher&) = delete;

    // Searches record 0's position with the current limits on the calling
    // thread; returns true when a best move was found (Result().bestMove).
    bool StartSearch();

    // Limits. A depth limit of 0 means no limit (the deepest iteration).
    void SetTimeBudget(double seconds) { timeBudget_ = seconds; }
    double TimeBudget() const { return timeBudget_; }
    void SetDepthLimit(int plies) {
        if (plies >= 0 && plies <= MaxDepthLimit) depthLimit_ = plies;
    }
    int DepthLimit() const { return depthLimit_; }
    void SetInfinite(bool on) { infinite_ = on; }
    bool Infinite() const { return infinite_; }
    void ResetMateValue() { mateValue_ = MateScore; }
    int MateValue() const { return mateValue_; }
    // Ends a search (not an infinite one) once a mate in `moves` or fewer
    // is proven for the side to move; ResetMateValue lifts it. Mates beyond
    // the deepest ply are mates all the same.
    void SetMateLimit(int moves) {
        mateValue_ = moves >= 1 ? std::max(MateScore - (2 * std::min(moves, MaxPly) - 1), MateBound) : MateScore;
    }
    // Nodes of all threads after which the search stops; 0 = no limit.
    // Exact on one thread: the main thread checks it before every move.
    void SetNodeLimit(uint64_t nodes) { nodeLimit_ = nodes; }
    uint64_t NodeLimit() const { return nodeLimit_; }
    // The root searches only these moves (the legal ones among them; all
    // moves when none is legal). An empty list lifts the restriction.
    void SetRootFilter(std::vector<Move> moves) { rootFilter_ = std::move(moves); }
    // Seconds since the current (or last) search started.
    double Elapsed() const;

    // Stop: sets the main record's flag (callbacks call it during a search).
    void Stop() { records_[0]->stop.store(true, std::memory_order_relaxed); }
    bool StopRequested() const { return records_[0]->Stopped(); }
    // The next poll of the main thread sends a progress report.
    void RequestReport() { reportRequest_.store(true, std::memory_order_relaxed); }

    void SetPollCallback(PollCallback f) { pollCallback_ = std::move(f); }
    void SetExtraTimeCallback(ExtraTimeCallback f) { extraTimeCallback_ = std::move(f); }
    void SetIterationCallback(IterationCallback f) { iterationCallback_ = std::move(f); }
    void SetResultCallback(ResultCallback f) { resultCallback_ = std::move(f); }
    void SetProgressCallback(ProgressCallback f) { progressCallback_ = std::move(f); }

    // 1..3 threads as given, 4 for anything larger, nothing below 1.
    void SetThreads(int n);
    int Threads() const { return int(records_.size()); }
    // Sizes the transposition table and the evaluation cache together.
    void SetHashSize(uint32_t megabytes);
    void ClearTT();
    // Both end the background work on the tables first.
    TranspositionTable& Table() { return warmer_.Finish(), *table_; }
    EvalCache& Cache() { return warmer_.Finish(), cache_; }
    uint64_t TableEntries() const;
    // Returns once the tables are cleared and touched (see TableWarmer).
    void WaitForTables() { warmer_.Wait(); }
    History& HistoryTable() { return *history_; }

    // Clears the time-extended flag, every record's search fields and History.
    void NewSearchReset();
    // Loads a position into record 0 with an empty game history; clears the
    // stop flags and History. False (nothing else changed) for bad FEN text.
    bool SetPosition(const Board& position);
    bool SetPosition(const std::string& fen);

    // The main position: the engine plays game moves on it.
    Board& MainBoard() { return records_[0]->board(); }
    const SearchResult& Result() const { return records_[0]->result; }
    SearchRecord& Record(int i) { return *records_[i]; }
    bool TimeExtended() const { return timeExtended_; }

    // Called by the node search before every move: the stop test (node
    // limit, time, input and reports on the main thread).
    bool PollStop(SearchRecord& record) {
        if (record.index == 0 && record.totalNodes.Get() >= record.nextPollNodes) PollMain(record);
        return record.Stopped();
    }

private:
    void PollMain(SearchRecord& record);
    void ResetRecord(SearchRecord& record, int64_t now);
    void AttachRecord(SearchRecord& record, int index);
    void CopyRecord(SearchRecord& destination, const SearchRecord& source);
    bool BuildRootMoves(SearchRecord& record);
    bool IsRootFilterMove(Move move) const {
        for (Move m : rootFilter_)
            if (SameMove(m, move)) return true;
        return false;
    }
    bool IterateMain(SearchRecord& record);
    void IterateWorker(SearchRecord& record, int startDepth);
    // One iteration at `depth` from fresh root fields; the root search's score.
    int SearchIteration(SearchRecord& record, int depth);
    int SearchRoot(SearchRecord& record);
    int SearchRootMove(SearchRecord& record, Move move, int alpha, bool first);
    void ReorderRoot(SearchRecord& record);
    bool RootUnstable(const SearchRecord& record) const;
    uint64_t SumIterationNodes() const;
    uint64_t SumTotalNodes() const;
    SearchData Snapshot(const SearchRecord& record) const;
    int EffectiveDepthLimit() const { return depthLimit_ == 0 ? MaxDepthLimit : depthLimit_; }

    std::atomic<bool> reportRequest_{false};
    PollCallback pollCallback_;
    ExtraTimeCallback extraTimeCallback_;
    IterationCallback iterationCallback_;
    ResultCallback resultCallback_;
    ProgressCallback progressCallback_;
    std::vector<std::unique_ptr<SearchRecord>> records_;
    double timeBudget_ = 0;   // seconds, 0 = no limit
    int depthLimit_ = 0;      // plies, 0 = no limit
    bool infinite_ = false;
    bool timeExtended_ = false;
    int mateValue_ = MateScore;
    uint64_t nodeLimit_ = 0;
    std::vector<Move> rootFilter_;
    std::unique_ptr<TranspositionTable> table_;
    EvalCache cache_;
    std::unique_ptr<History> history_;  // quiet-move ordering, shared by all threads
    // Last: it is destroyed first, so its threads end before the memory
    // they work on goes.
    TableWarmer warmer_;
};

}  // namespace NEngine
