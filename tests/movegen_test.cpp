// Staged generators against brute force: the legal moves of the board's own
// generator, filtered by hand, over the perft suite and positions reached by
// random play from it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "search/movegen.h"
#include "search/movelist.h"
#include "search_support.h"

using namespace NEngine;
using namespace NEngine::SearchTests;

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

const std::vector<std::string>& Fens() { return VariedFens(); }

std::vector<Move> LegalOnly(const Board& board, const std::vector<Move>& moves) {
    std::vector<Move> legal;
    for (Move m : moves)
        if (IsLegalMove(board, m)) legal.push_back(m);
    return Sorted(legal);
}

}  // namespace

TEST(MoveGen, TacticalQuietAndChecksMatchBruteForce) {
    const auto history = ScatteredHistory();
    int positions = 0, withChecks = 0;
    ASSERT_GT(Fens().size(), 500u);
    for (const std::string& fen : Fens()) {
        auto record = NewBoard(fen);
        Board& b = record->board;
        if (b.InCheck() || (b.flags & FlagCheckmate)) continue;
        ++positions;
        std::vector<Move> wantTactical, wantQuiet, wantChecks;
        for (Move m : StagedLegal(b)) {
            if (IsCapture(b, m) || PromotionOf(m)) {
                wantTactical.push_back(m);
            } else {
                wantQuiet.push_back(m);
                if (!IsCastling(b, m) && GivesCheck(b, m)) wantChecks.push_back(m);
            }
        }
        FixedMoveList<TacticalCapacity> tactical;
        FixedMoveList<QuietCapacity> quiet;
        FixedMoveList<CheckCapacity> checks;
        GenerateTactical(b, tactical);
        GenerateQuiet(b, *history, quiet);
        GenerateQuietChecks(b, *history, checks);
        const auto t = Chain(tactical), q = Chain(quiet), c = Chain(checks);

        EXPECT_EQ(LegalOnly(b, t), Sorted(wantTactical)) << fen;
        EXPECT_EQ(LegalOnly(b, q), Sorted(wantQuiet)) << fen;
        EXPECT_EQ(LegalOnly(b, c), Sorted(wantChecks)) << fen;
        EXPECT_TRUE(NoDuplicates(t) && NoDuplicates(q) && NoDuplicates(c)) << fen;
        for (const auto* moves : {&t, &q, &c})
            for (Move m : *moves) EXPECT_TRUE(IsPseudoLegal(b, m)) << fen << " " << m;
        // Scores come from generation: MVV-LVA and History, chains sorted.
        EXPECT_TRUE(ScoresDescend(tactical) && ScoresDescend(quiet) && ScoresDescend(checks)) << fen;
        tactical.Rewind();
        while (MoveNode* n = tactical.Next()) EXPECT_EQ(n->score, CaptureScore(b, n->move)) << fen;
        quiet.Rewind();
        while (MoveNode* n = quiet.Next()) EXPECT_EQ(n->score, history->Of(b.sideToMove, n->move)) << fen;
        withChecks += !wantChecks.empty();
    }
    EXPECT_GT(positions, 400);
    EXPECT_GT(withChecks, 50);  // the check generator was really exercised
}

TEST(MoveGen, EvasionsMatchBruteForce) {
    const auto history = ScatteredHistory();
    int positions = 0, doubles = 0;
    for (const std::string& fen : Fens()) {
        auto record = NewBoard(fen);
        Board& b = record->board;
        if (!b.InCheck() || (b.flags & FlagCheckmate)) continue;
        ++positions;
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
            for (Move m : all) {
                EXPECT_EQ(FromSquare(m), b.kingSquare[b.sideToMove]) << fen;
            }
        }
    }
    EXPECT_GT(positions, 20);
    EXPECT_GT(doubles, 0);
}

TEST(MoveGen, FullListMatchesTheBoardGenerator) {
    for (const std::string& fen : Fens()) {
        auto record = NewBoard(fen);
        const Board& b = record->board;
        FixedMoveList<FullCapacity> all;
        GenerateAll(b, all);
        const auto mine = Chain(all);
        EXPECT_EQ(Sorted(mine), Sorted(Generated(b))) << fen;
        EXPECT_TRUE(NoDuplicates(mine)) << fen;
        if (b.flags & FlagDoubleCheck) {
            for (Move m : mine) EXPECT_EQ(FromSquare(m), b.kingSquare[b.sideToMove]) << fen;
        }
    }
}

TEST(MoveGen, PromotionsEnPassantAndCastlingEdges) {
    const auto history = std::make_unique<History>();
    {
        // Knights on b8 or e8 would not attack the king on h6: queens only.
        auto r = NewBoard("8/1P2P3/7k/8/8/8/8/4K3 w - - 0 1");
        FixedMoveList<TacticalCapacity> t;
        GenerateTactical(r->board, t);
        EXPECT_EQ(Sorted(Chain(t)), Sorted({Coord("b7b8q"), Coord("e7e8q")}));
    }
    {
        // A knight on d8 would check the king on c6: both promotions.
        auto r = NewBoard("8/3P4/2k5/8/8/8/8/4K3 w - - 0 1");
        FixedMoveList<TacticalCapacity> t;
        GenerateTactical(r->board, t);
        EXPECT_EQ(Sorted(Chain(t)), Sorted({Coord("d7d8q"), Coord("d7d8n")}));
        FixedMoveList<FullCapacity> all;
        GenerateAll(r->board, all);
        int promotions = 0;
        for (Move m : Chain(all)) promotions += PromotionOf(m) != 0;
        EXPECT_EQ(promotions, 4);  // rook and bishop promotions only in the full list
    }
    {
        // En passant scores -1 and sorts behind every real capture.
        auto r = NewBoard("4k3/8/8/2pP4/8/8/3n4/4K3 w - c6 0 1");
        FixedMoveList<TacticalCapacity> t;
        GenerateTactical(r->board, t);
        const auto moves = Chain(t);
        ASSERT_EQ(moves.size(), 2u);
        EXPECT_EQ(moves.back(), Coord("d5c6"));
        EXPECT_EQ(t.nodes[t.tail].score, -1);
    }
    {
        // Castling through an attacked square is still generated (f1 is
        // attacked by the rook on f8); only the legality test removes it.
        auto r = NewBoard("4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1");
        FixedMoveList<QuietCapacity> q;
        GenerateQuiet(r->board, *history, q);
        const auto moves = Chain(q);
        EXPECT_NE(std::find(moves.begin(), moves.end(), Coord("e1g1")), moves.end());
        EXPECT_NE(std::find(moves.begin(), moves.end(), Coord("e1c1")), moves.end());
        EXPECT_FALSE(IsLegal(r->board, Coord("e1g1")));
    }
}

TEST(MoveList, InsertSortedTiesAndCapacity) {
    FixedMoveList<4> list;
    EXPECT_TRUE(list.InsertSorted(1, 5));
    EXPECT_TRUE(list.InsertSorted(2, 5));  // ties with the tail: goes after it
    EXPECT_TRUE(list.InsertSorted(3, 9));  // new head
    EXPECT_TRUE(list.InsertSorted(4, 5));  // ties with the tail again
    EXPECT_EQ(Chain(list), (std::vector<Move>{3, 1, 2, 4}));
    EXPECT_FALSE(list.InsertSorted(5, 7));  // full: refused, nothing overwritten
    EXPECT_FALSE(list.Append(6));
    EXPECT_EQ(Chain(list), (std::vector<Move>{3, 1, 2, 4}));

    FixedMoveList<8> inner;
    inner.InsertSorted(1, 9);
    inner.InsertSorted(2, 1);
    inner.InsertSorted(3, 5);
    inner.InsertSorted(4, 5);  // inside the chain: in front of its equal
    EXPECT_EQ(Chain(inner), (std::vector<Move>{1, 4, 3, 2}));
    inner.Append(5, 100);  // Append ignores order
    EXPECT_EQ(Chain(inner).back(), 5);
}

TEST(MoveGen, ForcingChecks) {
    {
        // The back-rank mate is forcing: found whatever the flag says.
        auto r = NewBoard("6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1");
        FixedMoveList<CheckCapacity> l;
        FindForcingCheck(r->board, l, 0, false);
        EXPECT_EQ(Chain(l), (std::vector<Move>{Coord("a1a8")}));
    }
    {
        // A knight check forking the queen is no forcing check, but it is the
        // fallback candidate when nothing has been searched yet.
        auto r = NewBoard("4k3/8/8/1q6/4N3/8/8/4K3 w - - 0 1");
        FixedMoveList<CheckCapacity> l;
        FindForcingCheck(r->board, l, 0, false);
        EXPECT_TRUE(Chain(l).empty());
        FixedMoveList<CheckCapacity> l2;
        FindForcingCheck(r->board, l2, 0, true);
        EXPECT_EQ(Chain(l2), (std::vector<Move>{Coord("e4d6")}));
        // A threshold above the queen's value leaves no target.
        FixedMoveList<CheckCapacity> l3;
        FindForcingCheck(r->board, l3, 1091, true);
        EXPECT_TRUE(Chain(l3).empty());
    }
    // Anywhere: at most one move, a legal quiet check.
    for (const std::string& fen : Fens()) {
        auto record = NewBoard(fen);
        Board& b = record->board;
        if (b.InCheck() || (b.flags & FlagCheckmate)) continue;
        FixedMoveList<CheckCapacity> l;
        FindForcingCheck(b, l, 0, true);
        const auto moves = Chain(l);
        ASSERT_LE(moves.size(), 1u) << fen;
        for (Move m : moves) {
            EXPECT_TRUE(IsPseudoLegal(b, m) && IsLegalMove(b, m)) << fen;
            EXPECT_FALSE(IsCapture(b, m) || PromotionOf(m)) << fen;
            EXPECT_TRUE(GivesCheck(b, m)) << fen;
        }
    }
}
