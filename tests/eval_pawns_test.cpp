// Pawn structure, the passed set, king shelter and storm, and passed pawns,
// read from the trace on positions built for each term; the pawn table
// against a fresh computation; colour twins.
#include "eval/pawns.h"
#include "eval/terms.h"
#include "eval_support.h"

using namespace NEngine;

namespace {

std::string Pair(PackedScore s) { return std::to_string(MgOf(s)) + "/" + std::to_string(EgOf(s)); }

BitMask SquaresOf(std::initializer_list<const char*> names) {
    BitMask set = 0;
    for (const char* name : names) set |= Bit(MakeSquare(name[0] - 'a', name[1] - '1'));
    return set;
}

class PawnTest : public Tests::EvalFixture {
protected:
    // The pawn entry computed afresh with its terms traced (no endgame rule
    // can cut it short).
    EvalTrace EntryTrace(const std::string& fen, PawnHashEntry& entry) {
        const Board& board = Set(fen);
        EvalTrace trace;
        context_->trace = &trace;
        ComputePawnEntry<true>(*context_, board, entry);
        context_->trace = nullptr;
        return trace;
    }
};

constexpr EvalTerm StructureTerms[] = {TermIsolatedPawns,  TermBackwardPawns, TermUndefendedPawns,
                                       TermSupportedPawns, TermDoubledPawns,  TermPawnLevers};

}  // namespace

TEST_F(PawnTest, StructureTermsAndPassedSet) {
    const struct {
        const char* fen;
        Colour colour;
        EvalTerm term;
        PackedScore value;
        BitMask passed;
    } cases[] = {
        // Isolated, unopposed and opposed (by an enemy pawn, or an own one).
        {"4k3/8/8/8/3P4/8/8/4K3 w - - 0 1", White, TermIsolatedPawns, S(-17, -12), SquaresOf({"d4"})},
        {"4k3/8/3p4/8/3P4/8/8/4K3 w - - 0 1", Black, TermIsolatedPawns, S(-12, -10), 0},
        {"4k3/8/8/8/3P4/8/3P4/4K3 w - - 0 1", White, TermIsolatedPawns, S(-12 - 17, -10 - 12), SquaresOf({"d4"})},
        // Doubled: the front pawn only, unless a pawn defends it.
        {"4k3/8/8/8/3P4/8/3P4/4K3 w - - 0 1", White, TermDoubledPawns, S(-10, -8), SquaresOf({"d4"})},
        {"4k3/8/8/8/4P3/3PP3/8/4K3 w - - 0 1", White, TermDoubledPawns, 0, SquaresOf({"d3", "e4"})},
        // e5 defended by d4, which is neither backward nor defended itself.
        {"4k3/8/8/4P3/3P4/8/8/4K3 w - - 0 1", White, TermSupportedPawns, S(4, 4), SquaresOf({"d4", "e5"})},
        {"4k3/8/8/4P3/3P4/8/8/4K3 w - - 0 1", White, TermUndefendedPawns, S(-6, -4), SquaresOf({"d4", "e5"})},
        // Side by side: both supported, neither defended.
        {"4k3/8/8/8/3PP3/8/8/4K3 w - - 0 1", White, TermSupportedPawns, S(8, 8), SquaresOf({"d4", "e4"})},
        {"4k3/8/8/8/3PP3/8/8/4K3 w - - 0 1", White, TermUndefendedPawns, S(-12, -8), SquaresOf({"d4", "e4"})},
        // A lever on the lever's relative rank (e5: 4).
        {"4k3/8/3p4/4P3/8/8/8/4K3 w - - 0 1", White, TermPawnLevers, S(8, 10), 0},
        // Backward: d3 cannot reach d4 (guarded by e5) to stand beside c4.
        {"4k3/8/8/4p3/2P5/3P4/8/4K3 w - - 0 1", White, TermBackwardPawns, S(-17, -12), SquaresOf({"c4"})},
        // The walk starts on the pawn's own square: d3, which e4 attacks and
        // nothing can defend, is backward though d4 is free.
        {"4k3/8/8/8/2P1p3/3P4/8/4K3 w - - 0 1", White, TermBackwardPawns, S(-17, -12), SquaresOf({"c4"})},
        // A clear way up to b5: not backward; c5 a candidate (b4 against b6).
        {"4k3/8/1p6/2P5/1P6/8/8/4K3 w - - 0 1", White, TermBackwardPawns, 0, SquaresOf({"c5"})},
        // Held by an own pawn that an enemy pawn stops, one rank short of
        // its neighbour: backward up to relative rank 5 for White (e5 here),
        // only up to 3 for Black (not e4, but e5).
        {"4k3/4p3/3PP3/4P3/8/8/8/4K3 w - - 0 1", White, TermBackwardPawns, S(-12, -10), SquaresOf({"d6"})},
        {"4k3/8/8/8/4p3/3pp3/4P3/4K3 b - - 0 1", Black, TermBackwardPawns, 0, SquaresOf({"d3"})},
        {"4k3/8/8/4p3/3pp3/4P3/8/4K3 w - - 0 1", Black, TermBackwardPawns, S(-12, -10), SquaresOf({"d4"})},
        // The passed set: pawns beside the path count against own pawns
        // behind or level on the adjacent files; a pawn ahead rules it out.
        // (A pawn with two levers counts one.)
        {"4k3/8/1p1p4/2P5/1P6/8/8/4K3 w - - 0 1", White, TermPawnLevers, S(8, 10), 0},
        {"4k3/8/1p1p4/2P5/1P1P4/8/8/4K3 w - - 0 1", White, TermPawnLevers, S(8, 10), SquaresOf({"c5"})},
        {"4k3/8/8/1pp5/8/1P6/8/4K3 w - - 0 1", Black, TermPawnLevers, 0, SquaresOf({"c5"})},
        {"4k3/2p5/8/2P5/8/8/8/4K3 w - - 0 1", White, TermIsolatedPawns, S(-12, -10), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        PawnHashEntry entry{};
        const EvalTrace trace = EntryTrace(c.fen, entry);
        EXPECT_EQ(Pair(trace.term[c.term][c.colour]), Pair(c.value)) << TermNames[c.term];
        EXPECT_EQ(entry.passed, c.passed);
        PackedScore net = 0;
        for (EvalTerm term : StructureTerms) net += trace.Net(term);
        EXPECT_EQ(Pair(entry.structure), Pair(net));
    }
}

TEST_F(PawnTest, KingShelterStormAndDistance) {
    const struct {
        const char* fen;
        Colour colour;
        int shelter, storm, distance;
    } cases[] = {
        // Castling kept: the better of e1 (-10 - 10 + 32) and g1 (32 + 35 + 32).
        {"4k3/8/8/8/8/8/5PPP/4K2R w K - 0 1", White, 99, 0, -3},
        {"4k3/8/8/8/8/8/5PPP/4K2R w - - 0 1", White, 12, 0, -3},
        {"4k3/8/8/8/8/8/PPP5/R3K3 w Q - 0 1", White, 99, 0, -6},
        {"4k3/8/8/8/8/8/5PPP/4K2R w K - 0 1", Black, -30, 0, 0},  // f2-h2 are too far to storm
        {"7k/8/8/8/8/8/6PP/7K w - - 0 1", White, 57, 0, 0},       // files f-h
        // A king on its opponent's first rank has no shelter, only distance.
        {"4K3/8/8/8/8/8/5PPP/k7 w - - 0 1", White, 0, 0, -15},
        {"4K3/8/8/8/8/8/5PPP/k7 w - - 0 1", Black, 0, 0, 0},
        // g4 can walk to g3, which f2 and h2 guard: 7 + 18 x 32 / 32; held
        // up by a pawn on g3: 7 + 3.
        {"6k1/8/8/8/6p1/8/5PPP/6K1 w - - 0 1", White, 99, -25, 0},
        {"6k1/8/8/8/6p1/6P1/5P1P/6K1 w - - 0 1", White, 94, -10, -1},
        // Black's side: f2 and h2 two squares from what g4 guards (18 x 4 / 32
        // each); g3 counts only its base.
        {"6k1/8/8/8/6p1/8/5PPP/6K1 w - - 0 1", Black, -45, -4, -3},
        {"6k1/8/8/8/6p1/6P1/5P1P/6K1 w - - 0 1", Black, -45, -5, -3},
        // An enemy pawn right in front of the king, not guarded by own
        // pawns: 32 - 20 + 32 + 40, storm base 20.
        {"6k1/8/8/8/8/8/5PpP/6K1 w - - 0 1", White, 84, -20, 0},
        // The storming pawn already on the guarded square: 15 + 30; g2 just
        // past that square is not in its way.
        {"6k1/8/8/8/8/6p1/5P1P/6K1 w - - 0 1", White, 44, -45, 0},
        {"6k1/8/8/8/8/6p1/5PPP/6K1 w - - 0 1", White, 99, -45, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + (c.colour == White ? " White" : " Black"));
        PawnHashEntry entry{};
        const EvalTrace trace = EntryTrace(c.fen, entry);
        EXPECT_EQ(Pair(trace.term[TermKingShelter][c.colour]), Pair(S(c.shelter, 0)));
        EXPECT_EQ(Pair(trace.term[TermPawnStorm][c.colour]), Pair(S(c.storm, 0)));
        EXPECT_EQ(Pair(trace.term[TermKingPawnDistance][c.colour]), Pair(S(0, c.distance)));
        EXPECT_EQ(Pair(entry.kingScore[c.colour]), Pair(S(c.shelter + c.storm, c.distance)));
    }
}

TEST_F(PawnTest, PassedPawns) {
    // White's rows; the colour twin must give Black the same. Blocked pawns
    // on the h-file keep the endgame rules out of the way. Base: Passed +
    // (Connected) - OwnKing x own king distance + EnemyKing x enemy's.
    const struct {
        const char* what;
        const char* fen;
        PackedScore base, blocked, race, path, candidate;
    } cases[] = {
        // a7: unstoppable one step from promotion (Free), nothing ahead (FullyFree).
        {"seventh rank", "7k/P7/7p/7P/8/8/8/4K3 w - - 0 1", S(90, 100 - 15 * 7 + 35 * 7), 0, S(100, 170), S(112, 140), 0},
        // Two steps to go: unstoppable with its side to move; with the
        // defender to move a lone king's side is not counted so.
        {"two to go", "7k/8/P6p/7P/8/8/8/4K3 w - - 0 1", S(54, 60 - 9 * 6 + 22 * 7), 0, S(50, 85), S(48, 60), 0},
        {"two to go, defender to move", "7k/8/P6p/7P/8/8/8/4K3 b - - 0 1", S(54, 60 - 9 * 6 + 22 * 7), 0, 0, S(48, 60), 0},
        {"own blocker", "k7/8/3N4/3P3p/7P/8/8/7K w - - 0 1", S(27, 30 - 5 * 5 + 13 * 3), S(5, 6), 0, 0, 0},
        {"enemy blocker", "k7/8/3n4/3P3p/7P/8/8/7K w - - 0 1", S(27, 30 - 5 * 5 + 13 * 3), 0, 0, 0, 0},
        {"candidate", "4k3/8/1p6/2P5/1P6/8/8/4K3 w - - 0 1", 0, 0, 0, 0, S(13, 15 - 2 * 5 + 6 * 2)},
        // Connected: c5 runs free; d5's second square is the king's
        // (PathFree[4][2]), its first one covered by c5.
        {"connected", "4k3/8/8/2PP4/8/8/8/4K3 w - - 0 1",
         S(2 * 32, 2 * 37 - 2 * 25 + 13 * 2 + 13 * 1), 0, 0, S(20 + 13, 25 + 16), 0},
        // The enemy king holds the stop square; defended by the own king it is
        // passable, e8 still not (PathFree[5][2]).
        {"stop attacked", "3k4/8/4P3/7p/7P/8/8/K7 w - - 0 1", S(54, 60 - 9 * 6 + 22 * 1), 0, 0, 0, 0},
        {"stop defended", "3k4/8/4PK2/7p/7P/8/8/8 w - - 0 1", S(54, 60 - 9 * 1 + 22 * 1), 0, 0, S(36, 45), 0},
        // Rooks behind the passer: an own one holds the path against the
        // king, an enemy one denies it.
        {"own rook behind", "8/4k3/8/3P3p/7P/8/8/3R3K w - - 0 1", S(27, 30 - 5 * 5 + 13 * 1), 0, 0, S(20, 25), 0},
        {"enemy rook behind", "k7/8/8/3P3p/7P/8/7K/3r4 w - - 0 1", S(27, 30 - 5 * 4 + 13 * 3), 0, 0, 0, 0},
        // Knights and bishops against b7: one that can safely reach a square
        // covering b8 (c6; g3 or a7) stops it, one that cannot does not.
        {"knight in reach", "7k/1P6/8/4n2p/7P/8/8/7K w - - 0 1", S(90, 100 - 15 * 7 + 35 * 6), 0, 0, S(112, 140), 0},
        {"knight out of reach", "7k/1P6/8/7p/7P/8/n7/7K w - - 0 1", S(90, 100 - 15 * 7 + 35 * 6), 0, S(100, 170), S(112, 140), 0},
        {"bishop in reach", "7k/1P6/8/7p/7P/8/5b2/7K w - - 0 1", S(90, 100 - 15 * 7 + 35 * 6), 0, 0, S(112, 140), 0},
        {"bishop of the other colour", "7k/1P6/8/7p/4b2P/8/8/7K w - - 0 1", S(90, 100 - 15 * 7 + 35 * 6), 0, S(100, 170), S(112, 140), 0},
        // A knight pinned to its king cannot go to c6 or d7. A bishop covers
        // b8 through the own king, which will step aside, though every
        // square between is guarded (only the king escort is left).
        {"pinned knight", "4k3/1P6/8/4n2p/7P/8/8/4R2K w - - 0 1", S(90, 100 - 15 * 7 + 35 * 3), 0, S(100, 170), S(112, 140), 0},
        {"bishop through the king", "7k/1PK5/1P6/4b2p/7P/8/8/8 w - - 0 1", S(90, 100 - 15 * 1 + 35 * 6), 0, S(90, 100), S(112, 140), 0},
        // Two to go, defender to move: a lone knight more than four squares
        // from b8 is too slow, one four squares away is not.
        {"far knight", "7k/8/1P6/7p/7P/8/8/K6n b - - 0 1", S(54, 60 - 9 * 6 + 22 * 6), 0, S(50, 85), S(48, 60), 0},
        {"near knight", "7k/8/1P6/7p/5n1P/8/8/K7 b - - 0 1", S(54, 60 - 9 * 6 + 22 * 6), 0, 0, S(48, 60), 0},
        // Stoppable, but the own king guards b8 and the defending king is
        // three squares away: Passed again. A step nearer when it is to move.
        {"king escort", "8/KP2k3/8/4n2p/7P/8/8/8 w - - 0 1", S(90, 100 - 15 * 1 + 35 * 3), 0, S(90, 100), S(112, 140), 0},
        {"king escort, defender to move", "8/KP2k3/8/4n2p/7P/8/8/8 b - - 0 1", S(90, 100 - 15 * 1 + 35 * 3), 0, 0, S(112, 140), 0},
    };
    const EvalTerm rows[] = {TermPassedPawns, TermPasserBlocked, TermPasserRace, TermPasserPath, TermCandidatePassers};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PackedScore want[] = {c.base, c.blocked, c.race, c.path, c.candidate};
        const EvalTrace trace = Trace(c.fen);
        const EvalTrace twin = Trace(Tests::FlipFen(c.fen));
        ASSERT_EQ(trace.outcome, TraceOutcome::Full);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(Pair(trace.term[rows[i]][White]), Pair(want[i])) << TermNames[rows[i]];
            EXPECT_EQ(Pair(trace.term[rows[i]][Black]), "0/0") << TermNames[rows[i]];
            EXPECT_EQ(Pair(twin.term[rows[i]][Black]), Pair(want[i])) << TermNames[rows[i]];
        }
    }
}

TEST_F(PawnTest, TableHitsMatchFreshEntries) {
    int probed = 0;
    for (const std::string& fen : Tests::VariedFens()) {
        SCOPED_TRACE(fen);
        const Board& board = Set(fen);
        PawnHashEntry fresh{};
        ComputePawnEntry<false>(*context_, board, fresh);

        // Evaluating twice: a miss that fills the entry, then a hit. Both
        // must agree, and the stored entry with a fresh computation.
        context_->pawnTable[board.pawnKey & context_->pawnMask].check ^= 1;
        const int first = Evaluate(*context_, MinusInfinity, PlusInfinity);
        EXPECT_EQ(Evaluate(*context_, MinusInfinity, PlusInfinity), first);
        const PawnHashEntry& stored = context_->pawnTable[board.pawnKey & context_->pawnMask];
        if (context_->pawnTable.Matches(stored, board.pawnKey)) {
            ++probed;
            EXPECT_EQ(stored.structure, fresh.structure);
            EXPECT_EQ(stored.kingScore[Black], fresh.kingScore[Black]);
            EXPECT_EQ(stored.kingScore[White], fresh.kingScore[White]);
            EXPECT_EQ(stored.passed, fresh.passed);
        }
    }
    // Most positions reach the pawn probe (game ends and exact endgame
    // rules do not).
    EXPECT_GT(probed, int(Tests::VariedFens().size()) / 2);
}
