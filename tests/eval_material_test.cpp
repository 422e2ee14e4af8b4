// Material imbalance through the trace, and the trace itself: rows that add
// up (also against cached material entries), colour twins, the tool's table.
#include "eval_support.h"

using namespace NEngine;

namespace {

class MaterialTest : public Tests::EvalFixture {};

}  // namespace

// Each case: a position and the imbalance shares of White and Black. The
// queens and rooks that stand around keep the endgame rules out of the way.
TEST_F(MaterialTest, ImbalanceByPieceCounts) {
    CheckTerms({
        // Pairs count for each side by its own pawns.
        {"bishop pair, eight pawns", "2b1kn2/pppppppp/8/8/8/8/PPPPPPPP/2B1KB2 w - - 0 1", TermImbalance, S(15, 15), 0},
        {"bishop pair, one pawn", "q1b1kn1r/8/8/8/8/8/P7/Q1B1KB1R w - - 0 1", TermImbalance, S(10, 10), 0},
        {"bishop pair, no pawns", "q1b1kn1r/8/8/8/8/8/8/Q1B1KB1R w - - 0 1", TermImbalance, 0, 0},
        {"knight pairs, three pawns against none", "qn2k1nr/8/8/8/8/8/PPP5/QN2K1NR b - - 0 1",
         TermImbalance, S(5, 5), 0},
        {"both pairs for both sides", "r1bqkb1r/p1n2n2/8/8/8/8/PP1N1N2/R1BQKB1R w - - 0 1",
         TermImbalance, S(12, 12) + S(5, 5), S(10, 10) + S(3, 3)},
        // Two bishops against two knights, 2 and 5 pawns: the pairs, both
        // surpluses, and no minor surplus since the minors are even.
        {"bishop surplus against knight surplus", "qn2k1nr/ppppp3/8/8/8/8/PP6/Q1B1KB1R w - - 0 1",
         TermImbalance, S(12, 12) + S(35, 35), S(5, 5) + S(20, 5)},
        // Two extra minor pieces with the rooks even (no bishop surplus).
        {"minor surplus", "q3k2r/pp6/8/8/8/8/PPP5/QNB1K2R w - - 0 1", TermImbalance, S(40, 20), 0},
        // A bishop surplus that is also the minor lead blocks the minor
        // surplus; two extra bishops against three extra knights do not.
        {"bishop surplus is the minor lead", "q3k2r/8/8/8/8/8/8/Q1B1KB1R w - - 0 1",
         TermImbalance, S(0, 0) + S(5, 5), 0},
        {"bishop surplus against three knights", "qnn1kn1r/pppp4/8/8/8/8/PPP5/Q1B1KB1R w - - 0 1",
         TermImbalance, S(15, 15) + S(35, 35), S(5, 5) + S(20, 5) + S(40, 20)},
        // The exchange: the minor side gets the table entry by (rook side's
        // pawns, minor side's pawns).
        {"rook against knight, 3 and 5 pawns", "q2nk3/ppppp3/8/8/8/8/PPP5/Q2RK3 w - - 0 1",
         TermImbalance, 0, S(43, 20)},
        {"rook against bishop, 8 and 0 pawns", "4kb1q/8/8/8/8/8/PPPPPPPP/3QK2R b - - 0 1", TermImbalance, 0, S(40, 15)},
        // Two extra bishops against rook and knight: not the exchange.
        {"rook and knight against two bishops", "q1b1kb2/8/8/8/8/8/8/Q2NK2R w - - 0 1",
         TermImbalance, 0, S(0, 0) + S(5, 5)},
        // A rook against two minors, equal pawns: with a bishop among them,
        // knights only, and two bishops (their pair counted twice).
        {"rook against knight and bishop", "q1b1kn2/pppp4/8/8/8/8/PPPP4/Q3K2R w - - 0 1", TermImbalance, 0, S(60, 50)},
        {"rook against two knights", "qn2kn2/pp6/8/8/8/8/PP6/Q3K2R w - - 0 1",
         TermImbalance, 0, S(5, 5) + S(15, 5) + S(25, 20)},
        {"rook against two bishops", "q1b1kb2/p7/8/8/8/8/P7/Q3K2R w - - 0 1", TermImbalance, 0,
         S(10, 10) + S(25, 25) + S(30, 20) + S(10, 10)},
        // A queen against a rook and two knights: the queen counts as two
        // rooks, so the two knights face one rook.
        {"queen against rook and two knights", "rn2kn2/pp6/8/8/8/8/PPP5/Q3K3 w - - 0 1", TermImbalance, 0,
         S(5, 5) + S(15, 5) + S(25, 20)},
    });
}

TEST_F(MaterialTest, TraceRowsAndTwins) {
    // The start position: every term even, only the tempo remains.
    const EvalTrace start = Trace(StartFen);
    for (int t = 0; t < TermCount; ++t) EXPECT_EQ(start.Net(EvalTerm(t)), 0) << TermNames[t];
    EXPECT_EQ(start.score, 5);

    // Colour twins: every row trades sides, the score stays. (Trace checks
    // on each call that the rows add up to what Evaluate returns; here
    // Evaluate reads material entries that earlier positions with the same
    // counts filled, the traced evaluation computes them afresh.)
    for (const std::string& fen : Tests::VariedFens()) {
        const EvalTrace trace = Trace(fen);
        const EvalTrace twin = Trace(Tests::FlipFen(fen));
        // Exact endgame scores may differ by the king table's rank asymmetry
        // (the mating rules read it at the defending king's own square for
        // either colour); the endgame tests check that difference.
        if (trace.outcome == TraceOutcome::ExactScore) continue;
        EXPECT_EQ(trace.score, twin.score) << fen;
        if (trace.outcome != TraceOutcome::Full) continue;
        for (int t = 0; t < TermCount; ++t) {
            EXPECT_EQ(trace.term[t][White], twin.term[t][Black]) << TermNames[t] << " " << fen;
            EXPECT_EQ(trace.term[t][Black], twin.term[t][White]) << TermNames[t] << " " << fen;
        }
    }

    // Game-over positions stop before the terms.
    EXPECT_EQ(Trace("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1").outcome, TraceOutcome::Draw);
    EXPECT_EQ(Trace("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3").outcome, TraceOutcome::Checkmate);
}

TEST_F(MaterialTest, TraceTool) {
    const std::string out = Tests::RunTool("eval --trace '" + StartFen + "'");
    for (int t = 0; t < TermCount; ++t) EXPECT_NE(out.find(TermNames[t]), std::string::npos) << TermNames[t];
    EXPECT_NE(out.find("middle game only"), std::string::npos) << out;
    EXPECT_NE(out.find("Score (side to move): 5\n"), std::string::npos) << out;
    int status = 0;
    Tests::RunTool("eval --trace 2>/dev/null", &status);
    EXPECT_NE(status, 0);
}
