// Transposition table: sizing, probing with cut-off rules, and the
// depth-preferred store.
#include "search/tt.h"

#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "eval/endgame.h"

namespace NEngine {

namespace {

constexpr uint64_t EntryBytes = 12;
constexpr uint64_t CacheEntryBytes = 8;
// When the budget leaves no room for an evaluation cache (a budget of 3 x 2^k
// MB fills the table exactly) the cache still gets this many entries, so the
// evaluation never runs without one.
constexpr uint64_t MinimumCacheEntries = 1 << 15;

uint64_t FloorPowerOfTwo(uint64_t n) { return n ? uint64_t(1) << (63 - __builtin_clzll(n)) : 0; }

// Mate scores are kept relative to the node that stored them; the result is
// kept within the 16-bit field.
int ToStored(int score, int ply) {
    if (score >= MateBound) score += ply;
    if (score <= -MateBound) score -= ply;
    return score > PlusInfinity ? PlusInfinity : score < -PlusInfinity ? -PlusInfinity : score;
}

int FromStored(int score, int ply) {
    if (score >= MateBound) return score - ply;
    if (score <= -MateBound) return score + ply;
    return score;
}

// The bare-king mates score one less for the stronger side with every
// reversible ply, so a score found a few moves ago (or through a longer path)
// would be stale by the plies between. Kept relative to the node's clock, as
// mate scores are kept relative to its ply, a stored score means the same
// whenever the position comes back: what it counts is the plies below the
// node. Returns the amount added when storing (subtracted when probing).
// Only when one side has nothing left but its king do the table's scores
// need the special handling below.
inline bool BothSidesHaveMaterial(const Board& board) {
    return board.colour[0].material && board.colour[1].material;
}

int ClockOffset(const Board& board, int side) {
    if (side < 0) return 0;
    return board.sideToMove == side ? board.halfmoveClock : -board.halfmoveClock;
}

}  // namespace

HashSizes ComputeHashSizes(uint32_t megabytes) {
    const uint64_t bytes = uint64_t(megabytes < 1 ? 1 : megabytes) << 20;
    HashSizes sizes;
    sizes.tableEntries = FloorPowerOfTwo(bytes / EntryBytes);
    const uint64_t rest = bytes - EntryBytes * sizes.tableEntries;
    sizes.cacheEntries = rest / CacheEntryBytes >= 2 ? FloorPowerOfTwo(rest / CacheEntryBytes) : MinimumCacheEntries;
    return sizes;
}

uint64_t TranspositionTable::Resize(uint64_t entries) {
    pairs_.Release();
    count_ = mask_ = 0;
    written_.store(false, std::memory_order_relaxed);
    entries = entries < 2 ? 2 : FloorPowerOfTwo(entries);
    // Zeroed memory is an empty table. Halve the request until memory is
    // found rather than fail.
    for (; entries >= 2; entries >>= 1)
        if (pairs_.Allocate(entries / 2)) break;
    if (!pairs_) return 0;
    count_ = entries;
    mask_ = entries - 1;
    return count_;
}

void TranspositionTable::Clear() {
    if (!written_.load(std::memory_order_relaxed)) return;
    // In place: the pages stay mapped, so the next search does not pay for
    // touching them again.
    std::memset(static_cast<void*>(pairs_.Data()), 0, pairs_.Bytes());
    written_.store(false, std::memory_order_relaxed);
}

int TranspositionTable::UsagePermille() const {
    const uint64_t sample = count_ < 1000 ? count_ : 1000;
    if (sample == 0) return 0;
    uint64_t used = 0;
    for (uint64_t i = 0; i < sample; ++i) {
        Pair& p = pairs_[i >> 1];
        // An empty entry is all zero; a stored one has a lock or a move.
        const uint64_t word = WordRef((i & 1) ? p.word1 : p.word0).load(std::memory_order_relaxed);
        const uint32_t data = DataRef((i & 1) ? p.data1 : p.data0).load(std::memory_order_relaxed);
        if (word != 0 || data != 0) ++used;
    }
    return int(used * 1000 / sample);
}

void SetHashSize(TranspositionTable& table, EvalCache& cache, uint32_t megabytes) {
    const HashSizes sizes = ComputeHashSizes(megabytes);
    table.Resize(sizes.tableEntries);
    cache.Resize(sizes.cacheEntries);
}

void ClearTT(TranspositionTable& table) { table.Clear(); }

bool PassesHashMoveTest(const Board& board, Move move) {
    const int from = FromSquare(move), to = ToSquare(move);
    const PieceCode code = board.mailbox[from];
    if (!code || ColourOf(code) != board.sideToMove) return false;
    if (!(Attacks->pseudoAttacks[board.sideToMove][TypeOf(code)][from] & Bit(to))) return false;
    const PieceCode target = board.mailbox[to];
    return !target || ColourOf(target) != board.sideToMove;
}

int ProbeTT(const TranspositionTable& table, const Board& board, int depth, int ply, int alpha, int beta,
            bool pvNode, Move& hashMove, int& score, bool& extensionMark) {
    hashMove = 0;
    if (!table.Count()) return TTMiss;
    const TTEntry e = table.Read(board.key);
    if (!e.Matches(board.key)) return TTMiss;
    extensionMark = e.ExtensionMark();

    // Without material on both sides the table may hide a stalemate or a
    // lone king's fate: no cut-offs there, but for the mates against the bare
    // king, which the search must see deep to finish within fifty moves and
    // whose stored scores are made independent of the path.
    const bool bothSides = BothSidesHaveMaterial(board);
    const int clockSide = bothSides ? -1 : ClockCountingSide(board);
    if (!pvNode && (bothSides || clockSide >= 0) && e.Bound() != BoundNone && e.Depth() >= depth && ply >= 1) {
        score = FromStored(e.score, ply);
        if (std::abs(score) < MateBound) score -= ClockOffset(board, clockSide);
        if (score >= beta && e.Bound() == BoundLower) return TTCutLower;
        if (score < alpha && e.Bound() == BoundUpper) return TTCutUpper;
    }

    const Move move = e.BestMove();
    if (!move || !PassesHashMoveTest(board, move)) return TTMiss;
    hashMove = move;
    return TTHashMove;
}

void StoreTT(TranspositionTable& table, const Board& board, Move bestMove, int alpha, int beta, int score,
             int depth, int ply, bool extensionMark, bool pvNode) {
    if (!table.Count()) return;
    int bound;
    if (score == 0)
        bound = BoundNone;
    else if (score >= beta)
        bound = BoundLower;
    else if (!(bestMove & MoveMask))
        bound = BoundUpper;
    else
        bound = score > alpha ? BoundExact : BoundUpper;

    const TTEntry old = table.Read(board.key);
    if (old.Matches(board.key) && old.Depth() >= depth && bound != BoundExact) return;

    // With material on both sides no rule counts the clock; nearly every
    // store takes that road, so the test comes before the rule look-up.
    if (std::abs(score) < MateBound && !BothSidesHaveMaterial(board))
        score += ClockOffset(board, ClockCountingSide(board));
    TTEntry e;
    e.score = int16_t(ToStored(score, ply));
    e.info = uint16_t((pvNode ? 1u : 0u) << 15 | (extensionMark ? 1u : 0u) << 14 | unsigned(bound) << 11 |
                      (unsigned(depth) & 0x7FF));
    e.data = bestMove & MoveMask;
    e.lock = uint32_t(board.key >> 32) ^ e.data;
    table.Write(board.key, e);
}

bool LookupTTMove(const TranspositionTable& table, const Board& board, Move& move, bool& extensionMark) {
    move = 0;
    if (!table.Count()) return false;
    const TTEntry e = table.Read(board.key);
    if (!e.Matches(board.key)) return false;
    extensionMark = e.ExtensionMark();
    if (!e.BestMove() || !PassesHashMoveTest(board, e.BestMove())) return false;
    move = e.BestMove();
    return true;
}

}  // namespace NEngine
