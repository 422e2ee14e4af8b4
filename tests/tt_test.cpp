// Transposition table: sizes, cut-off and replacement rules, mate score
// conversion, unfit moves, torn entries and clearing.
#include <gtest/gtest.h>

#include "support.h"
#include "search/tt.h"

using namespace NEngine;
using namespace NEngine::Tests;

namespace {

const char* const Middlegame = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3";

struct Probe {
    int result;
    Move move = 0;
    int score = 12345;
    bool mark = false;
};

Probe Ask(const TranspositionTable& tt, const Board& b, int depth, int ply, int alpha, int beta, bool pv = false) {
    Probe p{0};
    p.result = ProbeTT(tt, b, depth, ply, alpha, beta, pv, p.move, p.score, p.mark);
    return p;
}

}  // namespace

TEST(TranspositionTable, SizesFromTheBudget) {
    const struct {
        uint32_t megabytes;
        uint64_t table, cache;
    } expected[] = {{1, 65536, 32768}, {2, 131072, 65536}, {256, 16777216, 8388608}, {1024, 67108864, 33554432}};
    TranspositionTable tt;
    EvalCache cache;
    for (const auto& e : expected) {
        const HashSizes s = ComputeHashSizes(e.megabytes);
        EXPECT_EQ(s.tableEntries, e.table) << e.megabytes;
        EXPECT_EQ(s.cacheEntries, e.cache) << e.megabytes;
        if (e.megabytes > 2) continue;  // the big tables are not allocated here
        SetHashSize(tt, cache, e.megabytes);
        EXPECT_EQ(tt.Count(), e.table);
        EXPECT_EQ(cache.Count(), e.cache);
    }
}

TEST(TranspositionTable, BoundsAndCutOffs) {
    TranspositionTable tt;
    tt.Resize(1 << 12);
    auto r = NewBoard(Middlegame);
    const Board& b = r->board;
    const Move move = Coord("f1b5");
    // Each case stores one entry with window (-100, 100) at depth 5, ply 3,
    // then probes it.
    const struct {
        Move stored;
        int score;
        bool pvStore;
        int depth, ply, alpha, beta;
        bool pvProbe;
        int expected;
    } cases[] = {
        {move, 0, false, 1, 1, 10, 20, false, TTHashMove},  // a zero score has no bound: never a cut-off
        // Lower bound: cuts at or above beta only, with enough depth, below
        // the root and outside PV nodes.
        {move, 150, false, 5, 2, 0, 150, false, TTCutLower},
        {move, 150, false, 5, 2, 0, 151, false, TTHashMove},
        {move, 150, false, 6, 2, 0, 150, false, TTHashMove},
        {move, 150, false, 5, 0, 0, 150, false, TTHashMove},
        {move, 150, false, 5, 2, 0, 150, true, TTHashMove},
        // Upper bound: a fail low cuts at or below alpha; no move to offer.
        {0, -150, false, 5, 2, -149, 0, false, TTCutUpper},
        {0, -150, false, 5, 2, -150, 0, false, TTMiss},
        {move, 50, true, 1, 2, 60, 70, false, TTHashMove},  // exact scores never cut here
    };
    for (const auto& c : cases) {
        ClearTT(tt);
        StoreTT(tt, b, c.stored, -100, 100, c.score, 5, 3, false, c.pvStore);
        const Probe p = Ask(tt, b, c.depth, c.ply, c.alpha, c.beta, c.pvProbe);
        EXPECT_EQ(p.result, c.expected) << c.score << " probed at " << c.depth << " " << c.ply << " " << c.alpha;
        if (p.result == TTHashMove) { EXPECT_EQ(p.move, c.stored); }
        if (p.result == TTCutLower || p.result == TTCutUpper) { EXPECT_EQ(p.score, c.score); }
    }
    // The extension mark comes back with the move.
    ClearTT(tt);
    StoreTT(tt, b, move | SafeMark, -100, 100, 150, 5, 3, true, false);
    EXPECT_EQ(tt.Read(b.key).BestMove(), move);
    EXPECT_TRUE(Ask(tt, b, 5, 2, 0, 150).mark);

    // No cut-offs while one side has a bare king (here against a pawn)...
    auto bare = NewBoard("4k3/8/8/8/8/8/3P4/4K3 w - - 0 1");
    StoreTT(tt, bare->board, Coord("d2d4"), -100, 100, 500, 5, 3, false, false);
    EXPECT_EQ(Ask(tt, bare->board, 1, 2, 0, 100).result, TTHashMove);
}

TEST(TranspositionTable, BareKingMatesCutOffRelativeToTheClock) {
    // ...but for the mates whose scores fall with the halfmove clock: a score
    // stored at clock 20 comes back at clock 24 as four plies' worth lower
    // for the stronger side (higher for the bare king), as a fresh search
    // there would score it.
    TranspositionTable tt;
    tt.Resize(1 << 10);
    const struct {
        const char* fen;  // at clock 20
        int stored, bound;
        int expected;  // at clock 24
    } cases[] = {
        {"8/8/3k4/8/8/8/8/4KBN1 w - - 20 40", 500, TTCutLower, 496},  // the stronger side to move
        {"8/8/3k4/8/8/8/8/4KBN1 b - - 20 40", -500, TTCutUpper, -496},  // the bare king to move
        {"3qk3/8/8/8/8/8/8/4K3 w - - 20 40", -900, TTCutUpper, -896},   // Black the stronger side
    };
    for (const auto& c : cases) {
        auto r = NewBoard(c.fen);
        Board& b = r->board;
        ClearTT(tt);
        const bool lower = c.bound == TTCutLower;
        StoreTT(tt, b, lower ? Coord(b.sideToMove == White ? "e1d2" : "d6d5") : 0, lower ? -1000 : c.stored + 1,
                lower ? c.stored : 1000, c.stored, 5, 3, false, false);
        // The narrowest window in which the score decides the cut-off.
        const auto cut = [&](int score) {
            const Probe p = lower ? Ask(tt, b, 5, 2, score - 1, score) : Ask(tt, b, 5, 2, score + 1, score + 2);
            return p.result == c.bound ? p.score : 0;
        };
        EXPECT_EQ(cut(c.stored), c.stored) << c.fen;
        b.halfmoveClock = 24;  // the same position (and key) two moves later
        EXPECT_EQ(cut(c.expected), c.expected) << c.fen;
        EXPECT_EQ(cut(c.stored), 0) << c.fen;  // the stale score would cut where the fresh one does not
    }
}

TEST(TranspositionTable, ReplacementMatesUnfitMovesAndTornEntries) {
    TranspositionTable tt;
    tt.Resize(1 << 10);
    auto r = NewBoard(Middlegame);
    const Board& b = r->board;
    const Move deep = Coord("f1b5"), shallow = Coord("f1c4");

    // The same position: only a deeper or an exact result replaces.
    StoreTT(tt, b, deep, -100, 100, 150, 8, 3, false, false);
    StoreTT(tt, b, shallow, -100, 100, 150, 8, 3, false, false);
    EXPECT_EQ(tt.Read(b.key).BestMove(), deep);
    StoreTT(tt, b, shallow, -100, 100, 50, 2, 3, false, false);
    EXPECT_EQ(tt.Read(b.key).BestMove(), shallow);
    EXPECT_EQ(tt.Read(b.key).Depth(), 2);

    // Another position in the same slot always replaces.
    const uint64_t otherKey = b.key ^ (uint64_t(1) << 40);
    TTEntry other;
    other.data = deep;
    other.lock = uint32_t(otherKey >> 32) ^ other.data;
    other.info = 30;
    tt.Write(otherKey, other);
    StoreTT(tt, b, shallow, -100, 100, 150, 1, 3, false, false);
    EXPECT_TRUE(tt.Read(b.key).Matches(b.key));

    // Quiescence depth -1 survives the depth field.
    ClearTT(tt);
    StoreTT(tt, b, shallow, -100, 100, 150, -1, 3, false, false);
    EXPECT_EQ(tt.Read(b.key).Depth(), -1);

    // Mate scores are stored relative to the node and come back relative to
    // the root at the probing ply.
    ClearTT(tt);
    StoreTT(tt, b, shallow, -100, 100, MateScore - 5, 6, 3, false, false);
    Probe p = Ask(tt, b, 6, 7, -100, 100);
    EXPECT_EQ(p.result, TTCutLower);
    EXPECT_EQ(p.score, MateScore - 9);
    ClearTT(tt);
    StoreTT(tt, b, 0, -100, 100, -MateScore + 4, 6, 4, false, false);
    p = Ask(tt, b, 6, 2, -100, 100);
    EXPECT_EQ(p.result, TTCutUpper);
    EXPECT_EQ(p.score, -MateScore + 2);

    // The hash-move test.
    EXPECT_TRUE(PassesHashMoveTest(b, Coord("d1d3")));   // reach, not blockers, is tested
    EXPECT_FALSE(PassesHashMoveTest(b, Coord("d1d2")));  // own piece on the destination
    EXPECT_FALSE(PassesHashMoveTest(b, Coord("e5e4")));  // not the side to move

    // A stored move that fails the test gives no hash move.
    ClearTT(tt);
    Move move = 0;
    bool mark = true;
    StoreTT(tt, b, Coord("f3f5"), -100, 100, 10, 3, 3, false, false);
    EXPECT_EQ(Ask(tt, b, 1, 1, -100, 100).result, TTMiss);
    EXPECT_FALSE(LookupTTMove(tt, b, move, mark));

    // A word of one entry with the data of another fails the lock.
    StoreTT(tt, b, Coord("f1b5"), -100, 100, 10, 3, 3, true, false);
    ASSERT_TRUE(LookupTTMove(tt, b, move, mark));
    EXPECT_EQ(move, Coord("f1b5"));
    TTEntry torn = tt.Read(b.key);
    torn.data = Coord("f1c4");
    tt.Write(b.key, torn);
    EXPECT_EQ(Ask(tt, b, 1, 1, -100, 100).result, TTMiss);
    EXPECT_FALSE(LookupTTMove(tt, b, move, mark));
}

// A clear empties the table whether it wipes it in place (small tables) or
// swaps in fresh zero pages (large ones), keeps the size, and a clear with
// nothing stored since leaves the table empty and usable.
TEST(TranspositionTable, ClearEmptiesSmallAndLargeTables) {
    for (const uint64_t entries : {uint64_t(1) << 10, uint64_t(1) << 22}) {
        TranspositionTable tt;
        ASSERT_EQ(tt.Resize(entries), entries);
        Random random(entries);
        for (int round = 0; round < 2; ++round) {
            ClearTT(tt);
            uint64_t keys[16];
            for (uint64_t& key : keys) {
                key = random.Next();
                TTEntry e;
                e.data = 0x123;
                e.lock = uint32_t(key >> 32) ^ e.data;
                tt.Write(key, e);
                ASSERT_TRUE(tt.Read(key).Matches(key));
            }
            ClearTT(tt);
            EXPECT_EQ(tt.Count(), entries);
            for (const uint64_t key : keys) EXPECT_FALSE(tt.Read(key).Matches(key)) << entries;
        }
    }
}
