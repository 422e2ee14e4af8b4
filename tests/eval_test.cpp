// Evaluation framework: status shortcuts, endgame hook, lazy exit, phase and
// taper, 16-bit arithmetic, the caches and the eval tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"
#include "eval/evaluate.h"

using namespace NEngine;

namespace {

constexpr int FullAlpha = MinusInfinity;
constexpr int FullBeta = PlusInfinity;

const char* const QueenUp = "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const QueenUpBlackToMove = "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1";

// The same position seen from the other side: ranks mirrored top to bottom,
// colours swapped, side to move, castling and en passant likewise.
std::string FlipFen(const std::string& fen) {
    std::istringstream in(fen);
    std::string placement, side, castling, ep, halfmove = "0", fullmove = "1";
    in >> placement >> side >> castling >> ep >> halfmove >> fullmove;

    std::vector<std::string> ranks;
    std::stringstream rows(placement);
    for (std::string rank; std::getline(rows, rank, '/');) ranks.push_back(rank);
    std::reverse(ranks.begin(), ranks.end());
    std::string flipped;
    for (const std::string& rank : ranks) {
        if (!flipped.empty()) flipped += '/';
        for (char ch : rank)
            flipped += std::isupper(ch) ? char(std::tolower(ch)) : char(std::toupper(ch));
    }

    std::string rights;
    for (char right : std::string("KQkq")) {
        const char from = std::isupper(right) ? char(std::tolower(right)) : char(std::toupper(right));
        if (castling.find(from) != std::string::npos) rights += right;
    }
    if (rights.empty()) rights = "-";
    if (ep != "-") ep[1] = char('1' + ('8' - ep[1]));
    return flipped + " " + (side == "w" ? "b" : "w") + " " + rights + " " + ep + " " + halfmove + " " +
           fullmove;
}

class EvalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitEngineTables();
        context_ = new EvalContext();
    }
    static void TearDownTestSuite() {
        delete context_;
        context_ = nullptr;
    }
    void SetUp() override {
        position_ = std::make_unique<BoardWithHistory>();
        context_->specialCases = &GlobalSpecialCaseTable();
    }

    Board& Set(const std::string& fen) {
        EXPECT_TRUE(SetFromFen(fen, position_->board)) << fen;
        AttachBoard(*context_, position_->board, nullptr);
        return position_->board;
    }
    int Eval(const std::string& fen, int alpha = FullAlpha, int beta = FullBeta) {
        Set(fen);
        return Evaluate(*context_, alpha, beta);
    }

    // Shared between tests: each context owns two large tables.
    static EvalContext* context_;
    std::unique_ptr<BoardWithHistory> position_;
};
EvalContext* EvalTest::context_ = nullptr;

}  // namespace

TEST_F(EvalTest, StartPositionScoresOnlyTheTempo) {
    EXPECT_EQ(Eval(StartFen), 5);
    EXPECT_EQ(Eval(FlipFen(StartFen)), 5);
}

TEST_F(EvalTest, ColourFlippedTwinsScoreTheSame) {
    const std::vector<std::string> positions = {
        StartFen,
        QueenUp,
        "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
        "r2q1rk1/pp2bppp/2n1pn2/3p4/3P4/2NBPN2/PP3PPP/R2Q1RK1 b - - 0 10",
        "r2q1rk1/pp2bppp/4pn2/3p4/3P4/3BPN2/PP3PPP/R2Q1RK1 w - - 0 12",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "6k1/5ppp/8/8/8/8/5PPP/3R2K1 b - - 0 30",
        "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1",
        "2r3k1/1q3ppp/p3p3/1p1nP3/3P4/P4N2/1B3PPP/2Q3K1 w - - 0 25",
    };
    for (const std::string& fen : positions) {
        const std::string twin = FlipFen(fen);
        EXPECT_EQ(Eval(fen), Eval(twin)) << fen << " / " << twin;
        // The lazy exit must be just as symmetric.
        EXPECT_EQ(Eval(fen, 2500, 2501), Eval(twin, 2500, 2501)) << fen;
        EXPECT_EQ(Eval(fen, -2501, -2500), Eval(twin, -2501, -2500)) << fen;
    }
    // The side to move matters: a queen up is good for White, bad for Black.
    EXPECT_GT(Eval(QueenUp), 900);
    EXPECT_LT(Eval(QueenUpBlackToMove), -900);
}

TEST_F(EvalTest, GameOverFlagsShortcutTheScore) {
    // Fool's mate: White is mated, whatever the material says.
    EXPECT_EQ(Eval("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3"), -MateScore);
    EXPECT_EQ(Eval("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"), 0);  // stalemate, a queen down
    for (StatusFlags flag : {FlagStalemate, FlagRepetition, FlagInsufficient, FlagFiftyMoves}) {
        Board& board = Set(QueenUp);
        board.flags = FlagBase | flag;
        EXPECT_EQ(Evaluate(*context_, FullAlpha, FullBeta), 0) << flag;
    }
    Board& board = Set(QueenUp);
    board.flags = FlagBase | FlagCheck | FlagCheckmate;
    EXPECT_EQ(Evaluate(*context_, FullAlpha, FullBeta), -MateScore);
}

TEST_F(EvalTest, PhaseBoundaries) {
    EXPECT_EQ(PhaseOf(7200).mode, PhaseMode::MiddleGameOnly);
    EXPECT_EQ(PhaseOf(6490).mode, PhaseMode::MiddleGameOnly);
    EXPECT_EQ(PhaseOf(6489).mode, PhaseMode::Tapered);
    EXPECT_EQ(PhaseOf(6489).weight, 4689);
    EXPECT_EQ(PhaseOf(1801).mode, PhaseMode::Tapered);
    EXPECT_EQ(PhaseOf(1801).weight, 1);
    EXPECT_EQ(PhaseOf(1800).mode, PhaseMode::EndGameOnly);
    EXPECT_EQ(PhaseOf(0).mode, PhaseMode::EndGameOnly);

    // The weights the boards carry select the same modes.
    EXPECT_EQ(PhaseOf(Set(StartFen)).mode, PhaseMode::MiddleGameOnly);
    EXPECT_EQ(PhaseOf(Set("r2q1rk1/pp2bppp/2n1pn2/3p4/3P4/2NBPN2/PP3PPP/R2Q1RK1 b - - 0 10")).mode,
              PhaseMode::MiddleGameOnly);  // exactly 6490
    EXPECT_EQ(PhaseOf(Set("r2q1rk1/pp2bppp/4pn2/3p4/3P4/3BPN2/PP3PPP/R2Q1RK1 w - - 0 12")).mode,
              PhaseMode::Tapered);
    EXPECT_EQ(PhaseOf(Set("6k1/5ppp/8/8/8/8/5PPP/3R2K1 b - - 0 30")).mode, PhaseMode::EndGameOnly);

    // Taper: each pure mode reads one half; the blend truncates toward zero.
    const PackedScore s = S(100, 200);
    EXPECT_EQ(TaperScore(s, PhaseOf(7200)), 100);
    EXPECT_EQ(TaperScore(s, PhaseOf(1090)), 200);
    EXPECT_EQ(TaperScore(s, PhaseOf(1801)), 199);   // 937900 / 4690 = 199.98
    EXPECT_EQ(TaperScore(S(-100, -200), PhaseOf(1801)), -199);
    EXPECT_EQ(TaperScore(S(-300, 200), PhaseOf(1800 + 2345)), -50);
    EXPECT_EQ(TaperScore(S(100, 200), PhaseOf(6489)), 100);  // 469100 / 4690 = 100.02
}

TEST_F(EvalTest, LazyBoundsAtTheWindowEdges) {
    EXPECT_EQ(LazyLowBound(-32000), -32767);
    EXPECT_EQ(LazyLowBound(-31999), -33199);
    EXPECT_EQ(LazyLowBound(0), -1200);
    EXPECT_EQ(LazyHighBound(32000), 32767);
    EXPECT_EQ(LazyHighBound(31999), 33199);
    EXPECT_EQ(LazyHighBound(-50), 1150);

    Eval(QueenUp, -32000, 32000);
    EXPECT_EQ(context_->lazyLow, -32767);
    EXPECT_EQ(context_->lazyHigh, 32767);

    // The start position's lazy score is 0: exactly on a bound the full
    // evaluation runs (with tempo), one beyond it the lazy value is returned.
    EXPECT_EQ(Eval(StartFen, 1200, 1201), 5);
    EXPECT_EQ(Eval(StartFen, 1201, 1202), 0);
    EXPECT_EQ(Eval(StartFen, -1201, -1200), 5);
    EXPECT_EQ(Eval(StartFen, -1202, -1201), 0);

    // A lazy exit neither reads nor writes the shared cache.
    EvalCache cache;
    cache.Resize(1024);
    const Board& board = Set(QueenUp);
    AttachBoard(*context_, board, &cache);
    const int full = Evaluate(*context_, FullAlpha, FullBeta);
    EvalCache::Store(cache.Slot(board.key), board.key, int16_t(full + 1));
    EXPECT_NE(Evaluate(*context_, full + 3000, full + 3001), full + 1);
    int16_t stored = 0;
    ASSERT_TRUE(EvalCache::Probe(cache.Slot(board.key), board.key, stored));
    EXPECT_EQ(stored, full + 1);
}

TEST_F(EvalTest, ScalingAndTempo) {
    EXPECT_EQ(AddTempo(ScaleScore(101, ScaleFactorOf(ThreeQuarters))), 80);
    EXPECT_EQ(AddTempo(ScaleScore(-101, ScaleFactorOf(ThreeQuarters))), -71);  // -303 >> 2 = -76
    EXPECT_EQ(AddTempo(ScaleScore(1000, ScaleFactorOf(DivideBy32))), 36);
    EXPECT_EQ(AddTempo(ScaleScore(-1000, ScaleFactorOf(DivideBy32))), -27);
    EXPECT_EQ(ScaleScore(1000, ScaleFactorOf(DivideBy8)), 125);
    EXPECT_EQ(ScaleScore(1000, ScaleFactorOf(DivideBy4)), 250);
    EXPECT_EQ(ScaleScore(1001, ScaleFactorOf(DivideBy2)), 500);
    EXPECT_EQ(ScaleScore(1001, ScaleFactorOf(NoRule)), 1001);

    // The hook inside Evaluate: a substitute table with rules for this
    // material. The unscaled score is the full one without its tempo.
    const Board& board = Set(QueenUp);
    const int x = Evaluate(*context_, FullAlpha, FullBeta) - Tempo;
    ASSERT_GT(x, 900);
    SpecialCaseTable rules;
    SpecialCaseResult verdict = NoRule;
    rules[board.materialKey] = [&verdict](const Board&) { return SpecialCaseOutcome{verdict, 0}; };
    context_->specialCases = &rules;
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
    rules.clear();
    rules[board.materialKey] = [](const Board&) { return SpecialCaseOutcome{ExactScore, 420}; };
    EXPECT_EQ(Evaluate(*context_, FullAlpha, FullBeta), 420);
    Set(QueenUpBlackToMove);
    EXPECT_EQ(Evaluate(*context_, FullAlpha, FullBeta), -420);
}

TEST_F(EvalTest, SixteenBitWrapAround) {
    EXPECT_EQ(Wrap16(32768), -32768);
    EXPECT_EQ(Wrap16(-32769), 32767);
    EXPECT_EQ(Wrap16(65536 + 7), 7);
    EXPECT_EQ(Negate16(-32768), -32768);
    EXPECT_EQ(Negate16(32767), -32767);
    EXPECT_EQ(ToSideToMove(-32768, Black), -32768);
    EXPECT_EQ(AddTempo(32765), -32766);
    // The multiplier applies in 16 bits before the shift.
    EXPECT_EQ(ScaleScore(20000, ScaleFactorOf(ThreeQuarters)), -1384);  // 60000 -> -5536
    EXPECT_EQ(ScaleScore(-32768, ScaleFactorOf(DivideBy32)), -1024);

    // Packed halves borrow from each other and still read back exactly.
    EXPECT_EQ(S(-5, 10) + S(3, -20), S(-2, -10));
    EXPECT_EQ(MgOf(S(-5, 10) + S(3, -20)), -2);
    EXPECT_EQ(EgOf(S(-5, 10) + S(3, -20)), -10);
    EXPECT_EQ(EgOf(S(32767, -32768)), -32768);
    EXPECT_EQ(TaperScore(S(32767, 32767), PhaseOf(4000)), 32767);
    EXPECT_EQ(TaperScore(S(-32768, -32767), PhaseOf(4000)), -32767);  // -32767.46
    EXPECT_EQ(TaperScore(S(-32768, 32767), PhaseOf(1801)), 32753);
}

TEST_F(EvalTest, CacheHitReturnsTheFullEvaluation) {
    EvalCache cache;
    cache.Resize(4096);
    auto second = std::make_unique<EvalContext>();
    for (const char* fen : {StartFen.c_str(), QueenUp, QueenUpBlackToMove,
                            "r2q1rk1/pp2bppp/4pn2/3p4/3P4/3BPN2/PP3PPP/R2Q1RK1 b - - 0 12"}) {
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

    // A hit is returned as stored, before any term is computed.
    const Board& board = Set(QueenUp);
    AttachBoard(*context_, board, &cache);
    EvalCache::Store(cache.Slot(board.key), board.key, -1234);
    EXPECT_EQ(Evaluate(*context_, FullAlpha, FullBeta), -1234);
    // A different check in the slot is a miss and is overwritten.
    EvalCache::Store(cache.Slot(board.key), board.key ^ (uint64_t(1) << 40), -1234);
    const int fresh = Evaluate(*context_, FullAlpha, FullBeta);
    EXPECT_GT(fresh, 900);
    int16_t stored = 0;
    ASSERT_TRUE(EvalCache::Probe(cache.Slot(board.key), board.key, stored));
    EXPECT_EQ(stored, fresh);

    // Without entries the cache is neither probed nor written.
    EvalCache empty;
    AttachBoard(*context_, board, &empty);
    EXPECT_EQ(Evaluate(*context_, FullAlpha, FullBeta), fresh);
}

TEST_F(EvalTest, PerThreadTablesAreFilledAndCopiedDeeply) {
    auto fresh = std::make_unique<EvalContext>();
    const Board& board = Set(QueenUp);
    AttachBoard(*fresh, board, nullptr);
    const MaterialHashEntry& material = fresh->materialTable[board.materialKey & fresh->materialMask];
    const PawnHashEntry& pawns = fresh->pawnTable[board.pawnKey & fresh->pawnMask];

    // A lazy exit needs the material entry but not the pawn entry.
    Evaluate(*fresh, 5000, 5001);
    EXPECT_TRUE(MaterialHashTable::Matches(material, board.materialKey));
    EXPECT_FALSE(PawnHashTable::Matches(pawns, board.pawnKey));
    const int full = Evaluate(*fresh, FullAlpha, FullBeta);
    EXPECT_TRUE(PawnHashTable::Matches(pawns, board.pawnKey));

    // The copy owns its own tables with the same contents.
    EvalContext copy = *fresh;
    MaterialHashEntry& copied = copy.materialTable[board.materialKey & copy.materialMask];
    EXPECT_EQ(copied.check, material.check);
    EXPECT_NE(&copied, &material);
    copied.check ^= 1;
    EXPECT_TRUE(MaterialHashTable::Matches(material, board.materialKey));
    AttachBoard(copy, board, nullptr);
    EXPECT_EQ(Evaluate(copy, FullAlpha, FullBeta), full);
    EXPECT_TRUE(MaterialHashTable::Matches(copied, board.materialKey));  // recomputed
}

TEST_F(EvalTest, EvalToolOutputFormat) {
    const std::string tool = std::string(TARNOCK_BIN_DIR) + "/tarnock-eval";
    const auto run = [](const std::string& command) {
        std::string out;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[512];
            while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
            pclose(pipe);
        }
        return out;
    };
    EXPECT_EQ(run(tool + " '" + StartFen + "'"), "5\n");

    const std::string path = ::testing::TempDir() + "tarnock_eval_tool.epd";
    {
        std::ofstream epd(path);
        epd << "# comment\n" << QueenUp << "\n\nnot a position\n"
            << "r2q1rk1/pp2bppp/4pn2/3p4/3P4/3BPN2/PP3PPP/R2Q1RK1 b - - bm Nd7; id \"x\";\n";
    }
    // The unreadable line is reported on the error stream and skipped.
    std::istringstream lines(run(tool + " --epd '" + path + "' 2>/dev/null"));
    std::remove(path.c_str());
    // Each line: a signed integer, one space, a six-field FEN.
    std::vector<std::pair<int, std::string>> rows;
    for (std::string line; std::getline(lines, line);) {
        const size_t space = line.find(' ');
        ASSERT_NE(space, std::string::npos) << line;
        const std::string score = line.substr(0, space), fen = line.substr(space + 1);
        ASSERT_EQ(score.find_first_not_of("0123456789", score[0] == '-' ? 1 : 0), std::string::npos) << line;
        std::istringstream fields(fen);
        std::vector<std::string> parts;
        for (std::string part; fields >> part;) parts.push_back(part);
        ASSERT_EQ(parts.size(), 6u) << line;
        EXPECT_TRUE(parts[1] == "w" || parts[1] == "b") << line;
        rows.emplace_back(std::stoi(score), fen);
    }
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& [score, fen] : rows) EXPECT_EQ(score, Eval(fen)) << fen;
    EXPECT_EQ(rows[0].second, QueenUp);
}
