// Evaluation framework: status shortcuts, endgame hook, lazy exit, phase and
// taper, 16-bit arithmetic, the caches and the eval tool.
#include <random>
#include <vector>

#include "eval_support.h"

using namespace NEngine;

namespace {

constexpr int FullAlpha = MinusInfinity;
constexpr int FullBeta = PlusInfinity;

const char* const QueenUp = "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const QueenUpBlackToMove = "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1";

using Tests::FlipFen;

class EvalTest : public Tests::EvalFixture {};

}  // namespace

TEST_F(EvalTest, StartPositionColourTwinsAndGameOver) {
    EXPECT_EQ(Eval(StartFen), 5);  // only the tempo
    // The full evaluation's colour twins are the trace tests'; the lazy
    // exit must be just as symmetric.
    for (const std::string fen : {QueenUp, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"})
        EXPECT_EQ(Eval(fen, 2500, 2501), Eval(FlipFen(fen), 2500, 2501)) << fen;
    // The side to move matters: a queen up is good for White, bad for Black.
    EXPECT_GT(Eval(QueenUp), 900);
    EXPECT_LT(Eval(QueenUpBlackToMove), -900);

    // Fool's mate: White is mated, whatever the material says; stalemate
    // and the other draw flags score 0.
    EXPECT_EQ(Eval("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3"), -MateScore);
    EXPECT_EQ(Eval("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"), 0);
    for (StatusFlags flag : {FlagRepetition, FlagInsufficient, FlagFiftyMoves}) {
        Set(QueenUp).flags = FlagBase | flag;
        EXPECT_EQ(Evaluate(*context_, FullAlpha, FullBeta), 0) << flag;
    }
}

TEST_F(EvalTest, PhaseBoundariesAndTaper) {
    EXPECT_EQ(PhaseOf(6490).mode, PhaseMode::MiddleGameOnly);
    EXPECT_EQ(PhaseOf(6489).mode, PhaseMode::Tapered);
    EXPECT_EQ(PhaseOf(1801).mode, PhaseMode::Tapered);
    EXPECT_EQ(PhaseOf(1801).weight, 1);
    EXPECT_EQ(PhaseOf(1800).mode, PhaseMode::EndGameOnly);
    // The weight a board carries: exactly 6490 here.
    EXPECT_EQ(PhaseOf(Set("r2q1rk1/pp2bppp/2n1pn2/3p4/3P4/2NBPN2/PP3PPP/R2Q1RK1 b - - 0 10")).mode,
              PhaseMode::MiddleGameOnly);

    // Each pure mode reads one half; the blend truncates toward zero.
    EXPECT_EQ(TaperScore(S(100, 200), PhaseOf(7200)), 100);
    EXPECT_EQ(TaperScore(S(100, 200), PhaseOf(1090)), 200);
    EXPECT_EQ(TaperScore(S(100, 200), PhaseOf(1801)), 199);  // 937900 / 4690 = 199.98
    EXPECT_EQ(TaperScore(S(-100, -200), PhaseOf(1801)), -199);
}

TEST_F(EvalTest, LazyBoundsAtTheWindowEdges) {
    EXPECT_EQ(LazyLowBound(-32000), -32767);
    EXPECT_EQ(LazyLowBound(-31999), -33199);
    EXPECT_EQ(LazyLowBound(0), -1200);
    EXPECT_EQ(LazyHighBound(32000), 32767);
    EXPECT_EQ(LazyHighBound(31999), 33199);

    // The start position's lazy score is 0: exactly on a bound the full
    // evaluation runs (with tempo), one beyond it the lazy value is returned.
    EXPECT_EQ(Eval(StartFen, 1200, 1201), 5);
    EXPECT_EQ(Eval(StartFen, 1201, 1202), 0);
    EXPECT_EQ(Eval(StartFen, -1201, -1200), 5);
    EXPECT_EQ(Eval(StartFen, -1202, -1201), 0);
}

TEST_F(EvalTest, ScalingAndWrapAround) {
    EXPECT_EQ(AddTempo(ScaleScore(101, ScaleFactorOf(ThreeQuarters))), 80);
    EXPECT_EQ(AddTempo(ScaleScore(-101, ScaleFactorOf(ThreeQuarters))), -71);  // -303 >> 2 = -76

    // The hook inside Evaluate: a substitute table with rules for this
    // material. The unscaled score is the full one without its tempo.
    const Board& board = Set(QueenUp);
    const int x = Evaluate(*context_, FullAlpha, FullBeta) - Tempo;
    ASSERT_GT(x, 900);
    SpecialCaseTable rules;
    SpecialCaseResult verdict = NoRule;
    rules[board.materialKey] = [&verdict](const Board&) { return SpecialCaseOutcome{verdict, 0}; };
    UseSpecialCases(*context_, rules);
    const std::pair<SpecialCaseResult, int> expected[] = {
        {NoRule, x + 5},           {DivideBy32, (x >> 5) + 5},           {DivideBy8, (x >> 3) + 5},
        {DivideBy4, (x >> 2) + 5}, {DivideBy2, (x >> 1) + 5}, {ThreeQuarters, ((3 * x) >> 2) + 5}};
    for (const auto& [result, score] : expected) {
        verdict = result;
        EXPECT_EQ(Evaluate(*context_, FullAlpha, FullBeta), score) << int(result);
    }
    // A scaled ending is never cut short by the lazy exit.
    verdict = DivideBy2;
    EXPECT_EQ(Evaluate(*context_, 20000, 20001), (x >> 1) + 5);
    // An exact score is White's view, negated for Black, without tempo.
    rules[board.materialKey] = [](const Board&) { return SpecialCaseOutcome{ExactScore, 420}; };
    EXPECT_EQ(Evaluate(*context_, FullAlpha, FullBeta), 420);
    Set(QueenUpBlackToMove);
    EXPECT_EQ(Evaluate(*context_, FullAlpha, FullBeta), -420);

    // Scores are 16-bit: they wrap, and the multiplier applies before the shift.
    EXPECT_EQ(Wrap16(32768), -32768);
    EXPECT_EQ(Negate16(-32768), -32768);
    EXPECT_EQ(AddTempo(32765), -32766);
    EXPECT_EQ(ScaleScore(20000, ScaleFactorOf(ThreeQuarters)), -1384);  // 60000 -> -5536
    // Packed halves borrow from each other and still read back exactly.
    EXPECT_EQ(MgOf(S(-5, 10) + S(3, -20)), -2);
    EXPECT_EQ(EgOf(S(-5, 10) + S(3, -20)), -10);
    EXPECT_EQ(TaperScore(S(-32768, 32767), PhaseOf(1801)), 32753);
}

TEST_F(EvalTest, CachesHoldTheFullEvaluation) {
    EvalCache cache;
    cache.Resize(4096);
    auto second = std::make_unique<EvalContext>();
    for (const char* fen : {StartFen.c_str(), QueenUp, QueenUpBlackToMove}) {
        const Board& board = Set(fen);
        AttachBoard(*context_, board, &cache);
        const int full = Evaluate(*context_, FullAlpha, FullBeta);
        int16_t stored = 0;
        ASSERT_TRUE(EvalCache::Probe(cache.Slot(board.key), board.key, stored)) << fen;
        EXPECT_EQ(stored, full) << fen;
        // Another thread's context with empty tables finds the same value.
        AttachBoard(*second, board, &cache);
        EXPECT_EQ(Evaluate(*second, FullAlpha, FullBeta), full) << fen;
    }
    // A hit is returned as stored; a lazy exit neither reads nor writes it.
    const Board& board = Set(QueenUp);
    AttachBoard(*context_, board, &cache);
    EvalCache::Store(cache.Slot(board.key), board.key, -1234);
    EXPECT_EQ(Evaluate(*context_, FullAlpha, FullBeta), -1234);
    EXPECT_NE(Evaluate(*context_, 5000, 5001), -1234);
    // A different check in the slot is a miss and is overwritten.
    EvalCache::Store(cache.Slot(board.key), board.key ^ (uint64_t(1) << 40), -1234);
    const int fresh = Evaluate(*context_, FullAlpha, FullBeta);
    EXPECT_GT(fresh, 900);
    int16_t stored = 0;
    ASSERT_TRUE(EvalCache::Probe(cache.Slot(board.key), board.key, stored));
    EXPECT_EQ(stored, fresh);

    // A copied context owns its own material and pawn tables.
    EvalContext copy = *context_;
    const uint64_t slot = board.materialKey & copy.materialMask;
    EXPECT_NE(&copy.materialTable[slot], &context_->materialTable[slot]);
    copy.materialTable[slot].check ^= 1;
    EXPECT_TRUE(context_->materialTable.Matches(context_->materialTable[slot], board.materialKey));
    AttachBoard(copy, board, nullptr);
    EXPECT_EQ(Evaluate(copy, FullAlpha, FullBeta), fresh);
}

// A search starts from empty pawn and material tables by forgetting their
// entries rather than zeroing them: nothing written before may match after,
// everything written after must, and a copy keeps the table's state.
TEST(EvalHashTableTest, ForgottenEntriesNoLongerMatch) {
    using SmallTable = EvalHashTable<PawnHashEntry, 4>;
    SmallTable table;
    std::mt19937_64 rng(99);
    std::vector<uint64_t> keys;
    for (int i = 0; i < int(SmallTable::Entries); ++i) keys.push_back((rng() & ~SmallTable::Mask) | uint64_t(i));
    const auto fill = [&](SmallTable& t) {
        for (const uint64_t key : keys) t[key].check = t.CheckOf(key);
    };
    const auto matching = [&](const SmallTable& t) {
        int n = 0;
        for (const uint64_t key : keys) n += t.Matches(t[key], key);
        return n;
    };
    fill(table);
    EXPECT_EQ(matching(table), int(keys.size()));
    for (int round = 0; round < 3; ++round) {
        table.Forget();
        EXPECT_EQ(matching(table), 0) << round;
        fill(table);
        EXPECT_EQ(matching(table), int(keys.size())) << round;
    }
    SmallTable copy = table;
    EXPECT_EQ(matching(copy), int(keys.size()));
    copy.Forget();
    EXPECT_EQ(matching(copy), 0);
    EXPECT_EQ(matching(table), int(keys.size()));  // the original keeps its own
    table = copy;
    EXPECT_EQ(matching(table), 0);
    // A real clear empties the table as well; zeroed entries match only a key
    // whose upper half is zero.
    fill(table);
    table.Clear();
    EXPECT_EQ(matching(table), 0);
}

TEST_F(EvalTest, EvalToolOutput) {
    EXPECT_EQ(Tests::RunTool("eval '" + StartFen + "'"), "5\n");
    // EPD: comments and blank lines skipped; a line too short to be a
    // position is reported on the error stream and skipped; the FEN comes
    // back with its counters.
    const std::string path = ::testing::TempDir() + "tarnock_eval_tool.epd";
    const std::string epdLine = "r2q1rk1/pp2bppp/4pn2/3p4/3P4/3BPN2/PP3PPP/R2Q1RK1 b - -";
    std::ofstream(path) << "# comment\n" << QueenUp << "\n\nnot a position\n" << epdLine << " bm Nd7; id \"x\";\n";
    const std::string out = Tests::RunTool("eval --epd '" + path + "' 2>/dev/null");
    std::remove(path.c_str());
    EXPECT_EQ(out, std::to_string(Eval(QueenUp)) + " " + QueenUp + "\n" + std::to_string(Eval(epdLine + " 0 1")) + " " +
                       epdLine + " 0 1\n");
}

// The search's evaluation leaves out work that cannot change its result
// (terms with nothing to weigh, sets that are empty); a traced evaluation
// always does all of it. On many kinds of position, and their colour twins,
// the two must agree.
TEST_F(EvalTest, ShortcutsAgreeWithTheFullEvaluation) {
    int full = 0;
    for (const std::string& start : Tests::VariedFens())
        for (const std::string& fen : {start, FlipFen(start)}) {
            Set(fen);
            EvalTrace trace;
            const int traced = EvaluateTraced(*context_, trace);
            EXPECT_EQ(Evaluate(*context_, FullAlpha, FullBeta), traced) << fen;
            full += trace.outcome == TraceOutcome::Full;
        }
    EXPECT_GT(full, int(Tests::VariedFens().size()));
}
