// The engine object without a process around it: time budgets, extra time,
// options, analysis limits, long games, and the text of the search reports.
#include <algorithm>

#include "board/notation.h"
#include "engine/report.h"
#include "search/tt.h"
#include "session.h"

namespace NEngine {
namespace {

using EngineTest = Tests::EngineFixture;

constexpr double Overhead = DefaultMoveOverheadMs / 1000.0;

TEST_F(EngineTest, TimeBudgetFollowsTheTimeControls) {
    EXPECT_EQ(Budget(), 0.0);  // nothing set: no limit

    // Sudden death: a fortieth of the clock. Moves to go: the clock shared
    // among them. The increment is spent on top, but a move never takes
    // more than half of what is left after the overhead. The clock has a
    // 0.1 s floor, but the budget follows the real clock: with almost
    // nothing left, the least there is (never 0, which means no limit).
    const struct {
        double clock, increment;
        int movesToGo;
        double budget;
    } clocks[] = {{60, 0, 0, 1.5},
                  {60, 0.5, 0, 2.0},
                  {0.05, 0, 0, MinimumBudgetSeconds},
                  {60, 0, 20, 3.0},
                  {60, 1, 20, 4.0},
                  {60, 0, 1, (60 - Overhead) / 2},
                  {1, 5, 0, (1 - Overhead) / 2},
                  {0.04, 0, 1, MinimumBudgetSeconds}};
    for (const auto& c : clocks) {
        engine->SetClock(c.clock);
        engine->SetIncrement(c.increment);
        engine->SetMovesToGo(c.movesToGo);
        EXPECT_DOUBLE_EQ(Budget(), c.budget) << c.clock << " s + " << c.increment << ", " << c.movesToGo << " to go";
    }
    // A larger overhead lowers the cap.
    engine->moveOverheadMs = 1000;
    engine->SetClock(3);
    engine->SetIncrement(0);
    engine->SetMovesToGo(1);
    EXPECT_DOUBLE_EQ(Budget(), 1.0);
    engine->moveOverheadMs = DefaultMoveOverheadMs;

    // Sessions of 40 moves with 300 s: 7.5 s at move 1 (and at the odd move
    // number 0), half the clock at the session's last move.
    engine->SetClock(300);
    engine->SetSession(40);
    const std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 ";
    for (const auto& [move, budget] : {std::pair{1, 7.5}, {0, 7.5}, {38, 100.0}, {40, (300 - Overhead) / 2}}) {
        ASSERT_TRUE(engine->SetPosition(start + std::to_string(move)));
        EXPECT_DOUBLE_EQ(Budget(), budget) << "move " << move;
    }

    // Fixed time per move wins over the clock (with a 0.1 s floor, less the
    // overhead); a fixed depth has no budget, and one beyond the deepest
    // iteration is the deepest (the UCI tests see that one).
    engine->SetMoveTime(0.02);
    EXPECT_DOUBLE_EQ(Budget(), 0.1 - Overhead);
    engine->SetMoveTime(2);
    EXPECT_DOUBLE_EQ(Budget(), 2 - Overhead);
    engine->SetFixedDepth(3);
    EXPECT_EQ(Budget(), 0.0);
    EXPECT_EQ(engine->searcher.DepthLimit(), 3);
}

TEST_F(EngineTest, ExtraTimeGrantsShrinkWithFewerMovesToGo) {
    // Fixed move time and short clocks get nothing.
    engine->SetMoveTime(5);
    EXPECT_EQ(engine->ExtraTimeCallback(), 0.0);
    engine->SetClock(0.5);
    EXPECT_EQ(engine->ExtraTimeCallback(), 0.0);

    // Sudden death (40 moves assumed): a full share, three times per search.
    engine->SetClock(40);
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(engine->ExtraTimeCallback(), 1.0);
    EXPECT_EQ(engine->ExtraTimeCallback(), 0.0);

    // With moves to go: the whole share above 20, then half, a third, a
    // sixth; one move to go grants nothing.
    const struct {
        int movesToGo;
        double grant;
    } cases[] = {{21, 30.0 / 21}, {20, 0.75}, {14, 30.0 / 14 * 0.5}, {13, 30.0 / 13 / 3},
                 {8, 30.0 / 8 / 3}, {7, 30.0 / 7 / 6}, {2, 15.0 / 6}, {1, 0.0}};
    for (const auto& c : cases) {
        engine->extensionCount = 0;
        engine->SetClock(30);
        engine->SetMovesToGo(c.movesToGo);
        EXPECT_DOUBLE_EQ(engine->ExtraTimeCallback(), c.grant) << c.movesToGo;
    }

    // A grant never takes the move past half of the usable clock.
    engine->extensionCount = 0;
    engine->SetClock(30);
    engine->SetMovesToGo(2);
    EXPECT_DOUBLE_EQ(Budget(), (30 - Overhead) / 2);
    EXPECT_EQ(engine->ExtraTimeCallback(), 0.0);
    engine->SetMovesToGo(3);
    engine->searcher.SetTimeBudget(14);
    EXPECT_DOUBLE_EQ(engine->ExtraTimeCallback(), (30 - Overhead) / 2 - 14);
}

TEST_F(EngineTest, OptionsSetThreadsAndHash) {
    {
        // As the program starts: one thread, 256 MB.
        std::ostringstream silent;
        Engine fresh(silent, fds[0]);
        EXPECT_EQ(fresh.searcher.Threads(), 1);
        EXPECT_EQ(fresh.searcher.TableEntries(), ComputeHashSizes(256).tableEntries);
    }
    Handle("uci");
    Handle("setoption name Threads value 9");
    EXPECT_EQ(engine->searcher.Threads(), 4);
    Handle("setoption name Threads value 0");
    EXPECT_EQ(engine->searcher.Threads(), 4);
    Handle("setoption name Threads value 2 name Hash value 4");
    EXPECT_EQ(engine->searcher.Threads(), 2);

    // One megabyte is refused, two are taken, above 1024 is clamped.
    for (const auto& [asked, got] : {std::pair{1, 4}, {2, 2}, {5000, 1024}, {2, 2}}) {
        Handle("setoption name Hash value " + std::to_string(asked));
        EXPECT_EQ(engine->searcher.TableEntries(), ComputeHashSizes(got).tableEntries) << asked;
    }
}

// The engine's own moves and the position commands (illegal moves skipped,
// an illegal FEN refused) are seen through the protocol tests; an analysis
// must leave the game's limits as they were.
TEST_F(EngineTest, AnalysisKeepsTheGameLimits) {
    engine->SetMoveTime(0.5);
    engine->SetFixedDepth(7);
    engine->moveSeconds = 0.25;
    ASSERT_TRUE(engine->SetPosition("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"));  // stalemate: over at once
    engine->Analyze();
    EXPECT_EQ(engine->searcher.DepthLimit(), 7);
    EXPECT_FALSE(engine->searcher.Infinite());
    EXPECT_DOUBLE_EQ(engine->searcher.TimeBudget(), 0.25);
}

// However long the game, and whatever move number a FEN gives, every move
// is taken and the search finds a move: the history keeps only what the
// rules still read once the game has grown long.
TEST_F(EngineTest, LongGamesLeaveTheSearchItsRoom) {
    engine->SetFixedDepth(3);
    const auto knightDance = [](int cycles) {
        std::string line = "position startpos moves";
        for (int i = 0; i < cycles; ++i) line += " g1f3 g8f6 f3g1 f6g8";
        return line;
    };
    // Past the history's end: every move is played.
    const int cycles = HistorySize / 4 + 10;
    Handle(knightDance(cycles) + " e2e4 e7e5 e1e2");
    EXPECT_EQ(Fen(), "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPPKPPP/RNBQ1BNR b kq - 1 " + std::to_string(2 * cycles + 2));
    EXPECT_LE(engine->MainBoard().ply, MaxGamePly);
    EXPECT_NE(engine->Think(false).move, 0);
    // The history is cut short in the middle of the second knight dance
    // after the pawn moves: the third occurrence of the position after e7e6
    // counts the two from before the cut.
    const std::string dance = " g1f3 g8f6 f3g1 f6g8";
    Handle(knightDance((MaxGamePly - 8) / 4) + " e2e3 e7e6" + dance + dance);
    EXPECT_LT(engine->MainBoard().ply, 20);
    EXPECT_TRUE(engine->MainBoard().flags & FlagRepetition);

    for (const char* fen : {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 2 1985",
                            "4k3/8/8/8/8/8/4P3/4K3 b - - 0 2048"}) {
        Handle(std::string("position fen ") + fen);
        const ThinkOutcome outcome = engine->Think(false);
        EXPECT_NE(outcome.move, 0) << fen;
        EXPECT_EQ(outcome.status & (FlagCheckmate | FlagStalemate), 0) << fen;
    }
}

// ---------------------------------------------------------------- reports

TEST(SearchReport, IterationResultAndProgressLines) {
    InitEngineTables();
    SearchResult result;
    BoardWithHistory start;
    ASSERT_TRUE(SetFromFen(StartFen, start.board));
    CopyBoard(result.root, start.board);
    const Move e2e4 = MakeMoveCode(12, 28), e7e5 = MakeMoveCode(52, 36), g1f3 = MakeMoveCode(6, 21);
    result.depth = 3;
    result.pvLength = 5;
    result.score = 31997;
    result.totalNodes = 1234;
    result.rootSearched = 19;
    result.hashfull = 17;
    result.bestMove = Move(e2e4 | SafeMark);
    result.pv[0] = e2e4;
    result.pv[1] = Move(e7e5 | SafeMark);
    result.pv[2] = g1f3;
    // Mate scores count moves (the pipe tests have the rest) up to the bound.
    EXPECT_EQ(UciScoreText(MateBound), "mate 32");
    EXPECT_EQ(UciScoreText(-MateBound), "mate -32");
    EXPECT_EQ(UciScoreText(MateBound - 1), "cp 31935");
    // Zero time: the nps has a millisecond floor.
    EXPECT_EQ(IterationReport(result, true),
              "info depth 3 seldepth 5 score mate 2 time 0 nodes 1234 nps 1234000 hashfull 17 currmove e2e4 "
              "currmovenumber 20 pv e2e4 e7e5 g1f3");
    // xboard: raw score, centiseconds, SAN limited to the depth.
    result.elapsed = 1.239;
    result.depth = 2;
    EXPECT_EQ(IterationReport(result, false), "2 31997 123 1234 e4 e5");
    // A move that does not fit cuts the line.
    result.pv[1] = e2e4;
    EXPECT_EQ(IterationReport(result, false), "2 31997 123 1234 e4");
    EXPECT_EQ(ResultReport(result), "bestmove e2e4");
    // A best move that is not the line's first move writes nothing.
    result.bestMove = g1f3;
    EXPECT_EQ(IterationReport(result, true), "");

    // Long lines are cut at the ply limit: knights out and back.
    const Move cycle[4] = {g1f3, MakeMoveCode(62, 45), MakeMoveCode(21, 6), MakeMoveCode(45, 62)};
    for (int i = 0; i < MaxPly; ++i) result.pv[i] = cycle[i % 4];
    const std::string uci = IterationReport(result, true);
    const std::string pv = uci.substr(uci.find(" pv ") + 4);
    EXPECT_EQ(std::count(pv.begin(), pv.end(), ' ') + 1, MaxPly);

    SearchData data;
    data.root = result.root;
    data.rootIndex = 4;
    data.rootCount = 20;
    data.depth = 7;
    data.totalNodes = 99;
    data.startTime = 1000;
    data.bestMove = Move(g1f3 | SafeMark);
    EXPECT_EQ(ProgressReport(data, true, 0), "info currmove g1f3 currmovenumber 5 nodes 99 depth 7");
    EXPECT_EQ(ProgressReport(data, false, 1000 + 2'349'999'999), "stat01: 234 99 6 16 20 Nf3");
    // A best move that is not legal there is left out of the status line.
    data.bestMove = MakeMoveCode(12, 36);
    EXPECT_EQ(ProgressReport(data, false, 1000), "stat01: 0 99 6 16 20");
}

}  // namespace
}  // namespace NEngine
