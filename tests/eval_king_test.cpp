// King danger, threats, weak pawns and the stalemate trap, read through the
// trace on positions built for each term. King danger depends on the
// defender's pawn shelter, which comes from the pawn entry; expectations
// that pass through it take the shelter from the trace.
#include "eval_support.h"

using namespace NEngine;
using Tests::At;
using Tests::Squares;

namespace {

class KingTest : public Tests::EvalFixture {
protected:
    // The danger to Black's king, checked against the term row.
    KingDangerTrace DangerToBlack(const std::string& fen) {
        const EvalTrace trace = Trace(fen);
        const KingDangerTrace& k = trace.kingDanger[Black];
        EXPECT_TRUE(k.computed) << fen;
        EXPECT_EQ(trace.term[TermKingDanger][Black], -k.result) << fen;
        // The colour twin puts the same danger on White's king.
        const EvalTrace twin = Trace(Tests::FlipFen(fen));
        EXPECT_EQ(twin.kingDanger[White].result, k.result) << fen;
        EXPECT_EQ(twin.kingDanger[White].safeChecks, k.safeChecks) << fen;
        return k;
    }
};

// Shelter points come off in sixteenths, never below zero.
int AfterShelter(int danger, int shelter) { return std::max(danger - (shelter >> 4), 0); }

// A few men far from the action keep the phase out of the pure end game
// (where king danger is not computed): White's a1 rook is shut in by the b1
// knight and the a2 pawn where the test needs no rook.

}  // namespace

TEST_F(KingTest, DangerWithoutAttackersAndMatingNet) {
    // A rook check on a8, nothing near the king: the 16 of one safe check
    // is divided by 8.
    KingDangerTrace k = DangerToBlack("6k1/1p6/8/8/1n1n4/8/1P6/RNN3K1 w - - 0 1");
    EXPECT_EQ(k.attackers, 0u);
    EXPECT_EQ(k.safeChecks, RookCheck);
    EXPECT_EQ(k.checkWeight, 85);
    EXPECT_EQ(k.base, 0);
    EXPECT_EQ(k.danger, 16 >> 3);
    EXPECT_FALSE(k.matingNet);
    EXPECT_EQ(k.flank, 0);
    EXPECT_EQ(k.result, (AfterShelter(2, k.shelter) * 85) >> 5);

    // Behind three pawns the same check is mate: the net adds 100 with
    // White to move, 50 with Black to move.
    k = DangerToBlack("6k1/5ppp/8/8/1n1n4/8/1P6/RNN3K1 w - - 0 1");
    EXPECT_TRUE(k.matingNet);
    EXPECT_EQ(k.result, ((AfterShelter(2, k.shelter) + 100) * 85) >> 5);
    k = DangerToBlack("6k1/5ppp/8/8/1n1n4/8/1P6/RNN3K1 b - - 0 1");
    EXPECT_TRUE(k.matingNet);
    EXPECT_EQ(k.result, ((AfterShelter(2, k.shelter) + 50) * 85) >> 5);
}

TEST_F(KingTest, SafeAndUnsafeChecks) {
    struct Case {
        const char* what;
        const char* fen;
        uint8_t safe;
        bool unsafe;
        int checkWeight;
    };
    const Case cases[] = {
        {"knight check on f6", "6k1/5p1p/8/8/1n1nN3/8/PP4PP/RNN3K1 w - - 0 1", KnightCheck, false, 70},
        {"knight check under a bishop", "3b2k1/5p1p/8/8/1n1nN3/8/PP4PP/RNN3K1 w - - 0 1", 0, true, 9},
        {"bishop check on c4", "6k1/6pp/8/8/1n1n4/8/PP2B1PP/RNN3K1 w - - 0 1", BishopCheck, false, 30},
        {"rook check on a8", "6k1/1p6/8/8/1n1n4/8/1P6/RNN3K1 w - - 0 1", RookCheck, false, 85},
        {"queen check on d8", "6k1/5ppp/8/nn6/8/8/PP4PP/RNNQ2K1 w - - 0 1", QueenCheck, false, 85},
        // Only the king guards f7, and the queen alone attacks it.
        {"queen check on f7", "6k1/5ppp/8/nn6/8/8/PP4PP/RNN2QK1 w - - 0 1", 0, true, 9},
    };
    for (const Case& c : cases) {
        const KingDangerTrace k = DangerToBlack(c.fen);
        EXPECT_EQ(k.safeChecks, c.safe) << c.what;
        EXPECT_EQ(k.unsafeChecks, c.unsafe) << c.what;
        EXPECT_EQ(k.checkWeight, c.checkWeight) << c.what;
    }
    // Unsafe checks only: a quarter of the base and 16. The knight on e4
    // reaches the zone (f6), which the bishop defends (+4).
    const KingDangerTrace k = DangerToBlack("3b2k1/5p1p/8/8/1n1nN3/8/PP4PP/RNN3K1 w - - 0 1");
    EXPECT_EQ(k.attackers, 1u);
    EXPECT_EQ(k.base, 0 + 4);
    EXPECT_EQ(k.danger, 0 / 4 + 16 + 4);
}

TEST_F(KingTest, DiscoveredChecks) {
    // A knight, a pawn push and the king itself uncover a slider.
    EXPECT_TRUE(DangerToBlack("4k3/pp6/8/nn6/4N3/8/PP6/RN2R1K1 w - - 0 1").discovered);
    EXPECT_TRUE(DangerToBlack("8/n6p/n7/8/R2K3k/8/PN5P/6N1 w - - 0 1").discovered);
    EXPECT_FALSE(DangerToBlack("6k1/1p6/8/8/1n1n4/8/1P6/RNN3K1 w - - 0 1").discovered);

    // A lone pawn between a slider and the king uncovers it only by
    // stepping off the line: off a diagonal or a rank, never along a file.
    struct Case {
        const char* what;
        const char* fen;
        BitMask pushes;
    };
    const Case pawns[] = {
        {"pawn on the diagonal", "7k/7p/6p1/nn6/3P4/8/PB4PP/RN4K1 w - - 0 1", Squares("d5")},
        {"pawn on the rank", "8/pp6/8/R1P4k/nn6/8/PP6/RN4K1 w - - 0 1", Squares("c6")},
        {"pawn on the file", "3k4/pp6/8/nn6/3P4/8/PP6/RN1R2K1 w - - 0 1", 0},
        {"pawn on the file, rook ahead", "3R3R/pp6/8/nn6/3P4/8/PP6/1N1k2K1 b - - 0 1", 0},
    };
    for (const Case& c : pawns) {
        const KingDangerTrace k = DangerToBlack(c.fen);
        EXPECT_EQ(k.discovered, c.pushes != 0) << c.what;
        Trace(c.fen);
        EXPECT_EQ(Side(White).discoveredSquares, c.pushes) << c.what;
    }
}

TEST_F(KingTest, ThreatsAndWeakPawns) {
    CheckTerms({
        // The e4 pawn, safe (f3 guards it where it is attacked), hits a
        // minor piece or the queen alike, then two at once.
        {"pawn hits a knight", "6k1/7p/8/3n4/4P3/5P2/7P/4K3 w - - 0 1", TermThreats, S(60, 60), 0},
        {"pawn hits a queen", "6k1/7p/8/3q4/4P3/5P2/7P/4K3 w - - 0 1", TermThreats, S(60, 60), 0},
        {"pawn hits two pieces", "6k1/7p/8/3n1r2/4P3/5P2/7P/4K3 w - - 0 1", TermThreats, S(145, 145), 0},
        {"unsafe pawn", "6k1/7p/8/3b4/4P3/8/7P/4K3 w - - 0 1", TermThreats, S(15, 15), 0},
        {"pawn push", "6k1/7p/5n2/8/4P3/8/7P/4K3 w - - 0 1", TermThreats, S(12, 12), 0},
        // Minor pieces and rooks on pieces.
        {"knight on a rook", "6k1/5ppp/8/3r4/8/4N3/5PPP/6K1 w - - 0 1", TermThreats, S(40, 40), 0},
        {"knight on a loose bishop", "6k1/5ppp/8/3b4/8/4N3/5PPP/6K1 w - - 0 1", TermThreats, S(30, 30), 0},
        {"knight on a guarded bishop", "6k1/5ppp/4p3/3b4/8/4N3/5PPP/6K1 w - - 0 1", TermThreats, S(15, 15), 0},
        {"rook on a loose knight", "6k1/5ppp/8/8/8/8/3n1PPP/3R2K1 w - - 0 1", TermThreats, S(30, 30), 0},
        {"rook on a guarded knight", "3r2k1/5ppp/8/8/8/8/3n1PPP/3R2K1 w - - 0 1", TermThreats, S(7, 7), 0},
        {"queen on a loose rook", "6k1/5p1p/5r2/8/3Q4/8/5PPP/6K1 w - - 0 1", TermThreats, S(30, 30), 0},
        {"rook on the queen", "6k1/5ppp/8/3q4/8/8/5PPP/3R2K1 w - - 0 1", TermThreats, S(20, 20), 0},
        // The king on a piece nothing defends, and on one only its king does.
        {"king on a loose knight", "6k1/7p/8/3n4/4K3/8/7P/8 w - - 0 1", TermThreats, S(20, 20), 0},
        {"king on a guarded knight", "8/7p/2k5/3n4/4K3/8/7P/8 w - - 0 1", TermThreats, S(5, 5), 0},
        // Knight forks from c7: two rooks, two rooks and a queen, rook and
        // king; halved when the knight is all that holds the a3 bishop
        // (which the a8 rook attacks: 7 for Black).
        {"fork of two", "r3r1k1/5ppp/8/1N6/8/8/5PPP/6K1 w - - 0 1", TermThreats, S(30, 30), 0},
        {"fork of three", "r3r1k1/5ppp/4q3/1N6/8/8/5PPP/6K1 w - - 0 1", TermThreats, S(40, 40), 0},
        {"fork with check", "r3k3/5ppp/8/1N6/8/8/5PPP/6K1 w - - 0 1", TermThreats, S(8 + 30, 8 + 30), 0},
        {"fork by a busy knight", "r3r1k1/5ppp/8/1N6/8/B7/5PPP/6K1 w - - 0 1", TermThreats, S(15, 15), S(7, 7)},
        // A knight that uncovers the rook and hits a loose bishop.
        {"discovered hit", "4k3/pp6/3b4/8/4N3/8/PP6/4R1K1 w - - 0 1", TermThreats, S(30 + 20, 30 + 20), 0},
        {"loose pawn", "6k1/8/8/3p4/8/8/6PP/3R2K1 w - - 0 1", TermWeakPawns, S(13, 22), 0},
        // d5 attacked by rook and knight: defended twice, once, by the rook only.
        {"two against two", "3r2k1/8/5n2/3p4/8/2N5/6PP/3R2K1 w - - 0 1", TermWeakPawns, S(2, 5), 0},
        {"two against one", "3r2k1/8/8/3p4/8/2N5/6PP/3R2K1 w - - 0 1", TermWeakPawns, S(13, 22), 0},
        {"one against one", "3r2k1/8/8/3p4/8/8/6PP/3R2K1 w - - 0 1", TermWeakPawns, S(1, 3), 0},
        // A light-squared bishop against three loose pawns on light squares
        // (e5 is dark).
        {"pawns on the bishop's colour", "6k1/7p/p1p5/4p3/8/7B/8/6K1 w - - 0 1", TermWeakPawns, S(0, 9), 0},
    });
}

TEST_F(KingTest, StalemateTrap) {
    // Black's king has no safe square, its pawns are stuck and it has no
    // pieces: its one move (c6-c5) runs into the d4 pawn.
    const char* trapped = "7k/5K1p/2p4P/8/3P4/8/8/R7 b - - 0 1";
    // With the pawn on d3 the push is safe.
    const char* free = "7k/5K1p/2p4P/8/8/3P4/8/R7 b - - 0 1";
    // A lone rook that can harass the king keeps the trap.
    const char* rook = "7k/5K1p/r6P/8/8/8/8/R7 b - - 0 1";
    for (const char* fen : {trapped, rook}) {
        const EvalTrace t = Trace(fen);
        EXPECT_TRUE(t.stalemateTrap) << fen;
        EXPECT_EQ(t.scale.shift, 5) << fen;
        EXPECT_EQ(t.score, (ToSideToMove(t.whiteScore, Black) >> 5) + Tempo) << fen;
        EXPECT_TRUE(Trace(Tests::FlipFen(fen)).stalemateTrap) << fen;
    }
    const EvalTrace t = Trace(free);
    EXPECT_FALSE(t.stalemateTrap);
    EXPECT_EQ(t.scale.shift, 0);
}
