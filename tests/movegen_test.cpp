// Staged generators against brute force: the legal moves of the board's own
// generator, classified by hand, over the perft suite and positions reached
// by random play from it.
#include "support.h"

using namespace NEngine;
using namespace NEngine::Tests;

namespace {

bool ScoresDescend(MoveList& list) {
    list.Rewind();
    int32_t last = INT32_MAX;
    while (MoveNode* n = list.Next()) {
        if (n->score > last) return false;
        last = n->score;
    }
    return true;
}

std::vector<Move> LegalOnly(const Board& board, const std::vector<Move>& moves) {
    std::vector<Move> legal;
    for (Move m : moves)
        if (IsLegalMove(board, m)) legal.push_back(m);
    return Sorted(legal);
}

}  // namespace

TEST(MoveGen, StagedListsMatchBruteForce) {
    const auto history = ScatteredHistory();
    int quiet = 0, withChecks = 0, evasions = 0, doubles = 0;
    for (const std::string& fen : VariedFens()) {
        auto record = NewBoard(fen);
        Board& b = record->board;
        // The full list is the board generator's, in check or not.
        FixedMoveList<FullCapacity> full;
        GenerateAll(b, full);
        EXPECT_EQ(Sorted(Chain(full)), Sorted(Generated(b))) << fen;
        EXPECT_TRUE(NoDuplicates(Chain(full))) << fen;
        if (b.flags & FlagCheckmate) continue;

        if (b.InCheck()) {
            ++evasions;
            FixedMoveList<EvasionCapacity> captures, quiets;
            GenerateCheckerCaptures(b, captures);
            GenerateKingCaptures(b, captures);
            GenerateKingSteps(b, *history, quiets);
            GenerateBlocks(b, *history, quiets);
            std::vector<Move> all = Chain(captures);
            const std::vector<Move> q = Chain(quiets);
            all.insert(all.end(), q.begin(), q.end());
            EXPECT_EQ(LegalOnly(b, all), StagedLegal(b)) << fen;
            EXPECT_TRUE(NoDuplicates(all)) << fen;
            EXPECT_TRUE(ScoresDescend(captures) && ScoresDescend(quiets)) << fen;
            for (Move m : q) EXPECT_FALSE(IsCapture(b, m)) << fen;
            if (b.flags & FlagDoubleCheck) {
                ++doubles;
                for (Move m : all) EXPECT_EQ(FromSquare(m), b.kingSquare[b.sideToMove]) << fen;
            }
            continue;
        }

        ++quiet;
        const MoveClasses want = Classify(b);
        FixedMoveList<TacticalCapacity> tactical;
        FixedMoveList<QuietCapacity> quiets;
        FixedMoveList<CheckCapacity> checks;
        GenerateTactical(b, tactical);
        GenerateQuiet(b, *history, quiets);
        GenerateQuietChecks(b, *history, checks);
        const auto t = Chain(tactical), q = Chain(quiets), c = Chain(checks);
        EXPECT_EQ(LegalOnly(b, t), want.tactical) << fen;
        EXPECT_EQ(LegalOnly(b, q), want.quiet) << fen;
        EXPECT_EQ(LegalOnly(b, c), want.checks) << fen;
        EXPECT_TRUE(NoDuplicates(t) && NoDuplicates(q) && NoDuplicates(c)) << fen;
        for (const auto* moves : {&t, &q, &c})
            for (Move m : *moves) EXPECT_TRUE(IsPseudoLegal(b, m)) << fen << " " << m;
        // Ordering: MVV-LVA for captures, History for quiet moves.
        EXPECT_TRUE(ScoresDescend(tactical) && ScoresDescend(quiets) && ScoresDescend(checks)) << fen;
        tactical.Rewind();
        while (MoveNode* n = tactical.Next()) EXPECT_EQ(n->score, CaptureScore(b, n->move)) << fen;
        withChecks += !want.checks.empty();

        // A forcing check is at most one legal quiet checking move.
        FixedMoveList<CheckCapacity> forcing;
        FindForcingCheck(b, forcing, 0, true);
        const auto f = Chain(forcing);
        ASSERT_LE(f.size(), 1u) << fen;
        for (Move m : f) EXPECT_TRUE(std::binary_search(want.checks.begin(), want.checks.end(), m)) << fen;
    }
    // Each branch was really exercised.
    EXPECT_GT(quiet, 400);
    EXPECT_GT(withChecks, 50);
    EXPECT_GT(evasions, 20);
    EXPECT_GT(doubles, 0);
}

TEST(MoveGen, ForcingChecks) {
    // The back-rank mate is forcing whatever the flag says; a knight check
    // forking the queen is only the fallback when nothing was searched, and
    // not above the queen's value.
    auto mate = NewBoard("6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1");
    FixedMoveList<CheckCapacity> l1, l2, l3, l4;
    FindForcingCheck(mate->board, l1, 0, false);
    EXPECT_EQ(Chain(l1), (std::vector<Move>{Coord("a1a8")}));
    auto fork = NewBoard("4k3/8/8/1q6/4N3/8/8/4K3 w - - 0 1");
    FindForcingCheck(fork->board, l2, 0, false);
    EXPECT_TRUE(Chain(l2).empty());
    FindForcingCheck(fork->board, l3, 0, true);
    EXPECT_EQ(Chain(l3), (std::vector<Move>{Coord("e4d6")}));
    FindForcingCheck(fork->board, l4, 1091, true);
    EXPECT_TRUE(Chain(l4).empty());
}

// Every insert is bound-checked: a full list refuses moves and keeps its own.
TEST(MoveList, FullListRefusesMoves) {
    FixedMoveList<3> list;
    EXPECT_TRUE(list.InsertSorted(1, 5) && list.InsertSorted(2, 9) && list.Append(3));
    EXPECT_FALSE(list.InsertSorted(4, 7));
    EXPECT_FALSE(list.Append(5));
    EXPECT_EQ(Chain(list), (std::vector<Move>{2, 1, 3}));
}
