// Iterative deepening on the main thread, worker threads for the duration of
// a search, the root move list, time checks and the callbacks.
#include "search/searcher.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "eval/evaluate.h"
#include "search/movegen.h"
#include "search/movelist.h"
#include "search/see.h"
#include "search/tt.h"

namespace NEngine {

namespace {

constexpr int32_t HashMoveScore = 2147483647;
constexpr int32_t SafeTacticalBonus = 10000000;
constexpr int32_t UnsafePenalty = 10000;

// The last move made (on the board after it) took back on the square where
// the move before it captured.
bool IsRecapture(const Board& b) {
    if (b.ply < 2) return false;
    const HistoryEntry& last = b.history[b.ply - 1];
    const HistoryEntry& before = b.history[b.ply - 2];
    return !(before.moveFlags & MoveNullFlag) && (before.moveFlags & MoveCapture) &&
           ToSquare(before.move) == ToSquare(last.move);
}

// A copy of the position fields for reports; its history is not ours to lend.
Board DetachedCopy(const Board& b) {
    Board copy = b;
    copy.history = nullptr;
    return copy;
}

bool IsMateScore(int score) { return score >= MateScore - MaxPly || score <= MaxPly - MateScore; }

}  // namespace

int64_t NowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

SearchRecord::SearchRecord() : eval(std::make_unique<EvalContext>()) {
    std::memset(static_cast<void*>(plies), 0, sizeof(plies));
    std::memset(static_cast<void*>(rootMoves), 0, sizeof(rootMoves));
}

SearchRecord::~SearchRecord() = default;

// ---------------------------------------------------------------- set-up

Searcher::Searcher(uint32_t hashMegabytes)
    : table_(std::make_unique<TranspositionTable>()), history_(std::make_unique<History>()) {
    records_.push_back(std::make_unique<SearchRecord>());
    AttachRecord(*records_[0], 0);
    // The main thread's evaluation tables are touched in the background with
    // the hash tables (clearing fresh zero pages is touching them).
    SearchRecord* main = records_[0].get();
    warmer_.AddTask(
        [main] {
            main->eval->pawnTable.Clear();
            main->eval->materialTable.Clear();
        },
        false);
    SetHashSize(hashMegabytes);
}

Searcher::~Searcher() { warmer_.Cancel(); }

void Searcher::AttachRecord(SearchRecord& record, int index) {
    record.owner = this;
    record.index = index;
    record.table = table_.get();
    record.history = history_.get();
    AttachBoard(*record.eval, record.board(), &cache_);
}

void Searcher::SetThreads(int n) {
    if (n < 1) return;
    warmer_.Finish();
    n = std::min(n, MaxThreads);
    records_.resize(size_t(n));
    for (int i = 0; i < n; ++i) {
        if (!records_[i]) records_[i] = std::make_unique<SearchRecord>();
        AttachRecord(*records_[i], i);
        ResetRecord(*records_[i], NowNanoseconds());
    }
}

void Searcher::SetHashSize(uint32_t megabytes) {
    // Work still going on the old tables is dropped with them.
    warmer_.Cancel();
    ::NEngine::SetHashSize(*table_, cache_, megabytes);
    // Fresh pages: touch them now, in the background, rather than in the
    // first search.
    warmer_.AddMemory(table_->Memory(), table_->Bytes(), false);
    warmer_.AddMemory(cache_.Memory(), cache_.Bytes(), false);
    warmer_.Start(Threads());
}

void Searcher::ClearTT() {
    // Nothing stored since the last clear: already empty (and the answer
    // to "uci" does not wait for the touching that start-up began).
    if (!table_->Dirty()) return;
    warmer_.Finish();
    warmer_.AddMemory(table_->Memory(), table_->Bytes(), true);
    table_->MarkEmpty();
    warmer_.Start(Threads());
}

uint64_t Searcher::TableEntries() const { return table_->Count(); }

double Searcher::Elapsed() const { return double(NowNanoseconds() - records_[0]->startTime) * 1e-9; }

void Searcher::ResetRecord(SearchRecord& record, int64_t now) {
    record.iterationNodes.Set(0);
    record.totalNodes.Set(0);
    record.iterationDepth.store(0, std::memory_order_relaxed);
    record.rootIndex = 0;
    record.startTime = now;
    record.lastIterationTime = now;
    record.bestMove = 0;
    record.bestScore = -MateScore;
    record.result = SearchResult{};
    record.eval->pawnTable.Forget();
    record.eval->materialTable.Forget();
    record.rootCount = 0;
    record.rootMoves[0] = RootMove{0, 0};
    std::memset(static_cast<void*>(record.plies), 0, sizeof(record.plies));
    record.stop.store(false, std::memory_order_relaxed);
    record.nextPollNodes = nodeLimit_ && nodeLimit_ < PollIntervalNodes ? nodeLimit_ : PollIntervalNodes;
    record.lastInputPoll = now;
}

void Searcher::NewSearchReset() {
    warmer_.Finish();
    timeExtended_ = false;
    const int64_t now = NowNanoseconds();
    for (auto& r : records_) ResetRecord(*r, now);
    history_->Clear();
}

bool Searcher::SetPosition(const std::string& fen) {
    for (auto& r : records_) r->stop.store(false, std::memory_order_relaxed);
    auto scratch = std::make_unique<BoardWithHistory>();
    if (!SetFromFen(fen, scratch->board)) return false;
    return SetPosition(scratch->board);
}

bool Searcher::SetPosition(const Board& position) {
    for (auto& r : records_) {
        r->stop.store(false, std::memory_order_relaxed);
        std::memset(static_cast<void*>(r->position.history), 0, sizeof(r->position.history));
    }
    history_->Clear();
    Board& main = records_[0]->board();
    if (&position != &main) CopyBoard(main, position);
    return true;
}

void Searcher::CopyRecord(SearchRecord& destination, const SearchRecord& source) {
    destination.position = source.position;  // the Board with its history
    std::memcpy(destination.rootMoves, source.rootMoves, sizeof(source.rootMoves));
    destination.rootCount = source.rootCount;
    destination.result.rootCount = source.result.rootCount;
    AttachBoard(*destination.eval, destination.board(), &cache_);
}

// ---------------------------------------------------------------- the search

bool Searcher::StartSearch() {
    // 1. Fresh counters, caches, lists and flags for every thread, once a
    // clear of the table is over (touching pages ahead is dropped: the
    // search would wait longer for it than the faults cost).
    warmer_.Finish();
    timeExtended_ = false;
    const int64_t now = NowNanoseconds();
    for (auto& r : records_) ResetRecord(*r, now);
    history_->Clear();

    // 2. Nothing to search without a legal move.
    SearchRecord& main = *records_[0];
    if (!BuildRootMoves(main)) return false;

    // 3-4. Every worker searches its own copy, starting one ply deeper than the last.
    std::vector<std::thread> workers;
    for (size_t i = 1; i < records_.size(); ++i) {
        CopyRecord(*records_[i], main);
        workers.emplace_back([this, i] { IterateWorker(*records_[i], int(i) + 1); });
    }
    // 5.
    const bool found = IterateMain(main);
    for (auto& w : workers) w.join();
    return found;
}

bool Searcher::BuildRootMoves(SearchRecord& record) {
    Board& b = record.board();
    // 1. A stored move from an earlier search goes first.
    Move hashMove = 0;
    bool mark = false;
    if (!LookupTTMove(*table_, b, hashMove, mark)) hashMove = 0;

    // 2. Every legal move, scored: safe captures first, then quiet moves by how
    // the position looks after them, unsafe moves last.
    FixedMoveList<FullCapacity> list;
    GenerateAll(b, list);
    // Only the moves asked for; all of them when none of those is legal.
    bool filtered = false;
    if (!rootFilter_.empty()) {
        list.Rewind();
        while (const MoveNode* node = list.Next())
            if (IsRootFilterMove(node->move) && IsLegalMove(b, node->move)) filtered = true;
    }
    int n = 0;
    list.Rewind();
    while (const MoveNode* node = list.Next()) {
        const Move m = node->move;
        if (filtered && !IsRootFilterMove(m)) continue;
        if (!IsLegalMove(b, m)) continue;  // in check the list holds non-evasions too
        const bool safe = SeeAtLeast(b, m, 0);
        const Move marked = safe ? Move(m | SafeMark) : m;
        int32_t score;
        if (hashMove && SameMove(m, hashMove)) {
            score = HashMoveScore;
        } else if (IsQuietMove(b, m)) {
            MakeMove(b, m);
            // Negated: the evaluation is the opponent's view after the move.
            score = b.InCheck() ? 0 : -Evaluate(*record.eval, MinusInfinity, PlusInfinity);
            UnmakeMove(b, m);
            if (!safe) score -= UnsafePenalty;
        } else {
            const int captured = TypeOf(b.mailbox[ToSquare(m)]);
            score = PieceValue[captured] - TypeOf(b.mailbox[FromSquare(m)]);
            score += safe ? SafeTacticalBonus : -UnsafePenalty;
        }
        if (n < MaxRootMoves) record.rootMoves[n++] = RootMove{marked, score};
    }
    // 3. Best first; equal scores keep generation order.
    std::stable_sort(record.rootMoves, record.rootMoves + n,
                     [](const RootMove& x, const RootMove& y) { return x.score > y.score; });
    record.rootMoves[n] = RootMove{0, 0};
    record.rootCount = n;
    record.result.rootCount = uint32_t(n);
    return n > 0;
}

bool Searcher::IterateMain(SearchRecord& record) {
    SearchResult& result = record.result;
    // 1.
    result.root = DetachedCopy(record.board());
    const int limit = EffectiveDepthLimit();
    int depth = 1;
    // 2.
    while (!record.Stopped()) {
        if (depth > limit) break;
        const int score = SearchIteration(record, depth);

        // 3. Keep an iteration that completed, or one whose partial result is
        // no worse than what we had: a cut-short worse line is not evidence.
        const bool complete = record.rootSearched == record.rootCount;
        if (record.bestMove && (complete || score >= result.score)) {
            record.lastIterationTime = NowNanoseconds();
            result.previousBestMove = result.bestMove;
            result.score = int16_t(score);
            result.bestMove = Move(record.bestMove & MoveMask);
            result.depth = uint32_t(depth);
            result.elapsed = double(record.lastIterationTime - record.startTime) * 1e-9;
            result.iterationNodes = record.iterationNodes.Get();
            result.totalNodes = SumTotalNodes();
            result.rootSearched = uint32_t(record.rootSearched);
            int length = 0;
            while (length < MaxPly && record.plies[0].pv[length]) {
                result.pv[length] = Move(record.plies[0].pv[length] & MoveMask);
                ++length;
            }
            if (length < MaxPly) result.pv[length] = 0;
            result.pvLength = uint32_t(length);
            result.hashfull = uint32_t(table_->UsagePermille());
            if (iterationCallback_) iterationCallback_(result);
            // Extra time was granted for an unstable root: this answer settles
            // it. A mate as short as asked for ends the search as well.
            if (!infinite_ && (timeExtended_ || result.score >= mateValue_)) {
                record.stop.store(true, std::memory_order_relaxed);
                break;
            }
        }
        // 4. No move, or a mate found deep enough to trust: nothing more to learn.
        if (!result.bestMove) break;
        if (IsMateScore(score) && !infinite_ && result.depth > 4) break;
        ++depth;
    }
    // 5. Stopped before one root move was searched (a node limit of a few
    // nodes, a stop at once): the first move of the ordered list is legal
    // and better than no move at all.
    if (!result.bestMove && !infinite_ && record.rootCount > 0) {
        result.bestMove = Move(record.rootMoves[0].move & MoveMask);
        result.pv[0] = result.bestMove;
        result.pv[1] = 0;
        result.pvLength = 1;
    }
    result.totalNodes = record.totalNodes.Get();
    result.elapsed = double(NowNanoseconds() - record.startTime) * 1e-9;
    if (infinite_ && resultCallback_) resultCallback_(result);
    for (auto& r : records_) r->stop.store(true, std::memory_order_relaxed);
    return result.bestMove != 0;
}

void Searcher::IterateWorker(SearchRecord& record, int startDepth) {
    record.result.root = DetachedCopy(record.board());
    const int limit = EffectiveDepthLimit();
    int depth = startDepth;
    while (depth <= limit && !record.Stopped()) {
        const int score = SearchIteration(record, depth);
        if (!record.bestMove) break;
        if (!record.Stopped()) record.result.depth = uint32_t(depth);
        if (IsMateScore(score) && !infinite_ && record.result.depth > 4) break;
        // Join the front: one deeper than the deepest iteration any thread runs.
        int deepest = 0;
        for (const auto& r : records_) deepest = std::max(deepest, r->iterationDepth.load(std::memory_order_relaxed));
        depth = deepest + 1;
    }
}

int Searcher::SearchIteration(SearchRecord& record, int depth) {
    record.plies[0].pv[0] = 0;
    record.bestScore = -MateScore;
    record.bestMove = 0;
    record.iterationNodes.Set(0);
    record.rootIndex = 0;
    record.iterationDepth.store(depth, std::memory_order_relaxed);
    return SearchRoot(record);
}

int Searcher::SearchRoot(SearchRecord& record) {
    Board& b = record.board();
    // 1.
    if (record.Stopped()) return Evaluate(*record.eval, MinusInfinity, PlusInfinity);
    if (record.rootCount == 0) {
        if (!(b.flags & GameOverFlags)) b.flags |= b.InCheck() ? FlagCheckmate : FlagStalemate;
        return Evaluate(*record.eval, MinusInfinity, PlusInfinity);
    }
    // 2.
    int best = MinusInfinity;
    record.rootSearched = 0;
    for (int i = 0; i < record.rootCount; ++i) {
        record.rootIndex = i;
        if (record.index == 0 && PollStop(record)) break;
        const Move move = record.rootMoves[i].move;
        const int score = SearchRootMove(record, move, best, i == 0);
        if (record.Stopped()) break;
        record.rootSearched = i + 1;
        if (score > best) {
            best = score;
            record.bestMove = move;
            record.bestScore = int16_t(score);
            Move* row = record.plies[0].pv;
            const Move* child = record.plies[1].pv;
            row[0] = move;
            int k = 1;
            while (k < MaxPly - 1 && child[k]) {
                row[k] = child[k];
                ++k;
            }
            row[k] = 0;
        }
        if (record.index == 0 && infinite_ && progressCallback_) progressCallback_(Snapshot(record));
    }
    // 3. A single legal move needs no deeper thought unless we are analysing.
    if (record.rootCount == 1) {
        if (record.index == 0 && !infinite_ && !record.Stopped()) record.stop.store(true, std::memory_order_relaxed);
        return best;
    }
    // 4. Reward the best move and let History order the quiet ones next time.
    if (record.bestMove) {
        history_->Add(b.sideToMove, FromSquare(record.bestMove), ToSquare(record.bestMove),
                      record.iterationDepth.load(std::memory_order_relaxed));
        ReorderRoot(record);
    }
    return best;
}

int Searcher::SearchRootMove(SearchRecord& record, Move move, int alpha, bool first) {
    Board& b = record.board();
    const int depth = OnePly * record.iterationDepth.load(std::memory_order_relaxed);
    MakeMove(b, move);
    record.iterationNodes.Bump();
    record.totalNodes.Bump();
    const bool safe = move & SafeMark;
    const bool givesCheck = b.InCheck();
    // Checks, safe promotions and safe recaptures are searched one ply deeper.
    const bool extend = givesCheck || (safe && (PromotionOf(move) || IsRecapture(b)));
    const int fullDepth = extend ? depth : depth - OnePly;
    int score = MinusInfinity;
    if (!record.Stopped()) {
        if (first) {
            score = -Search(record, fullDepth, 1, MinusInfinity, -alpha, true, true, 0);
        } else {
            const int zeroDepth = (safe && givesCheck) ? depth : depth - OnePly;
            score = -Search(record, zeroDepth, 1, -alpha - 1, -alpha, false, true, 0);
            if (!record.Stopped() && score > alpha)
                score = -Search(record, fullDepth, 1, MinusInfinity, -alpha, true, true, 0);
        }
    }
    UnmakeMove(b, move);
    return score;
}

void Searcher::ReorderRoot(SearchRecord& record) {
    const int n = record.rootCount;
    if (n < 3) return;
    RootMove* list = record.rootMoves;
    for (int i = 0; i < n; ++i) {
        if (SameMove(list[i].move, record.bestMove)) {
            std::swap(list[0], list[i]);
            break;
        }
    }
    const Board& b = record.board();
    for (int i = 1; i < n; ++i) {
        const Move m = list[i].move;
        if (IsQuietMove(b, m)) list[i].score = history_->Of(b.sideToMove, m);
    }
    std::stable_sort(list + 1, list + n, [](const RootMove& x, const RootMove& y) { return x.score > y.score; });
}

// ---------------------------------------------------------------- polling

bool Searcher::RootUnstable(const SearchRecord& record) const {
    const SearchResult& r = record.result;
    const bool lastTwoDiffer = !SameMove(r.bestMove, r.previousBestMove);
    if (!record.bestMove && lastTwoDiffer) return true;
    if (record.rootIndex < record.rootCount) {
        if (!SameMove(record.bestMove, r.bestMove) || lastTwoDiffer || record.bestScore < r.score - 10)
            return true;
    }
    return false;
}

void Searcher::PollMain(SearchRecord& record) {
    const uint64_t nodes = record.totalNodes.Get();
    uint64_t next = nodes + PollIntervalNodes;
    // a. Node limit: on one thread the poll falls on the limit itself, so the
    // search stops after exactly that many nodes; with more threads the sum
    // is checked at every poll.
    if (nodeLimit_) {
        const uint64_t all = records_.size() == 1 ? nodes : SumTotalNodes();
        if (all >= nodeLimit_) record.stop.store(true, std::memory_order_relaxed);
        next = std::min(next, std::max(nodeLimit_, nodes + 1));
    }
    record.nextPollNodes = next;
    // b. Out of time: ask for more only when the answer is still in doubt.
    // Not before a first root move has been searched: a move found by the
    // search beats the first one of the list.
    const int64_t now = NowNanoseconds();
    const bool haveMove = record.bestMove || record.result.bestMove;
    if (timeBudget_ > 0 && haveMove && double(now - record.startTime) * 1e-9 > timeBudget_) {
        bool extended = false;
        if (!infinite_ && extraTimeCallback_ && RootUnstable(record)) {
            const double seconds = extraTimeCallback_();
            if (int64_t(seconds * 1000) > 0) {
                timeBudget_ += seconds;
                timeExtended_ = true;
                extended = true;
            }
        }
        if (!extended) record.stop.store(true, std::memory_order_relaxed);
    }
    // c. Input, and a progress line when one was asked for.
    if (now - record.lastInputPoll < InputPollNanoseconds) return;
    record.lastInputPoll = now;
    if (pollCallback_) pollCallback_();
    if (reportRequest_.exchange(false, std::memory_order_relaxed) && progressCallback_)
        progressCallback_(Snapshot(record));
}

uint64_t Searcher::SumIterationNodes() const {
    uint64_t sum = 0;
    for (const auto& r : records_) sum += r->iterationNodes.Get();
    return sum;
}

uint64_t Searcher::SumTotalNodes() const {
    uint64_t sum = 0;
    for (const auto& r : records_) sum += r->totalNodes.Get();
    return sum;
}

SearchData Searcher::Snapshot(const SearchRecord& record) const {
    SearchData d;
    d.root = record.result.root;
    d.rootIndex = uint32_t(record.rootIndex);
    d.rootCount = uint32_t(record.rootCount);
    d.depth = uint32_t(record.iterationDepth.load(std::memory_order_relaxed));
    d.iterationNodes = SumIterationNodes();
    d.totalNodes = record.totalNodes.Get();
    d.startTime = record.startTime;
    d.lastIterationTime = record.lastIterationTime;
    d.bestMove = Move(record.bestMove & MoveMask);
    d.bestScore = record.bestScore;
    return d;
}

}  // namespace NEngine
