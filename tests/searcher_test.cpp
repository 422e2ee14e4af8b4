// The searcher: iteration control, stop requests, reports, limits, threads
// and the bench. The thread tests are named SearcherThreads so that the
// ThreadSanitizer build can run just them.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"
#include "board/notation.h"
#include "search/bench.h"
#include "search/searcher.h"

namespace NEngine {
namespace {

#ifdef TARNOCK_SANITIZED
constexpr int ThreadTestDepth = 5;
#else
constexpr int ThreadTestDepth = 8;
#endif

const char* const MiddleGame = "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10";

std::unique_ptr<Searcher> NewSearcher(const std::string& fen) {
    InitEngineTables();
    auto s = std::make_unique<Searcher>(16);
    EXPECT_TRUE(s->SetPosition(fen)) << fen;
    return s;
}

TEST(Searcher, SingleLegalMoveEndsAfterDepthOneUnlessAnalysing) {
    // White's king must step out of the rook's check to g1.
    const char* fen = "k5rr/8/8/8/8/8/6P1/7K w - - 0 1";
    auto s = NewSearcher(fen);
    ASSERT_TRUE(s->StartSearch());
    EXPECT_EQ(s->Result().depth, 1u);
    EXPECT_EQ(MoveToText(s->Result().bestMove), "h1g1");
    EXPECT_EQ(s->Result().rootCount, 1u);

    // Analysis goes on to the depth limit and reports the result at the end.
    int results = 0;
    s->SetResultCallback([&](const SearchResult& r) {
        ++results;
        EXPECT_EQ(r.depth, 4u);
    });
    s->SetInfinite(true);
    s->SetDepthLimit(4);
    ASSERT_TRUE(s->StartSearch());
    EXPECT_EQ(s->Result().depth, 4u);
    EXPECT_EQ(results, 1);
}

TEST(Searcher, NoLegalMoveGivesNoResult) {
    auto s = NewSearcher("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");  // stalemate
    int reports = 0;
    s->SetIterationCallback([&](const SearchResult&) { ++reports; });
    EXPECT_FALSE(s->StartSearch());
    EXPECT_EQ(s->Result().bestMove, 0);
    EXPECT_EQ(reports, 0);
}

TEST(Searcher, StopFromPollCallbackEndsSearchAtOnce) {
    auto s = NewSearcher(MiddleGame);
    s->SetInfinite(true);  // only the stop can end it
    int polls = 0;
    s->SetPollCallback([&] {
        ++polls;
        s->Stop();
        return true;
    });
    int results = 0;
    s->SetResultCallback([&](const SearchResult& r) {
        ++results;
        EXPECT_NE(r.bestMove, 0);
    });
    ASSERT_TRUE(s->StartSearch());
    EXPECT_EQ(polls, 1);
    EXPECT_EQ(results, 1);
    // The poll comes at 16384 nodes; a stopped search makes no further moves.
    EXPECT_EQ(s->Record(0).totalNodes.Get(), 16384u);
    EXPECT_GE(s->Result().depth, 1u);
    EXPECT_TRUE(s->StopRequested());
}

TEST(Searcher, ReportRequestAnsweredAtThePoll) {
    auto s = NewSearcher(MiddleGame);
    s->SetDepthLimit(0);
    int polls = 0;
    std::vector<SearchData> reports;
    s->SetPollCallback([&] {
        if (++polls == 1) s->RequestReport();
        if (polls == 3) s->Stop();
        return true;
    });
    s->SetProgressCallback([&](const SearchData& d) { reports.push_back(d); });
    s->StartSearch();
    ASSERT_EQ(reports.size(), 1u);  // one request, one report
    // Asked during the first poll, answered by the same poll.
    EXPECT_EQ(reports[0].totalNodes, 16384u);
    EXPECT_EQ(reports[0].root.key, s->MainBoard().key);
    EXPECT_GE(reports[0].depth, 1u);
    EXPECT_EQ(reports[0].rootCount, s->Result().rootCount);
}

TEST(Searcher, CutShortWorseIterationKeepsAcceptedMove) {
    // Positions whose scores swing from one depth to the next, so that some
    // iteration's partial best falls below the accepted score; the bench
    // positions back them up should the evaluation change.
    std::vector<std::string> positions = {
        "r3k2r/ppp1pp1p/2nqb1pn/3p4/4P3/2PP4/PP1NBPPP/R2QK1NR w KQkq - 1 5",
        "rnbqkb1r/ppp2ppp/4pn2/3p4/2PP4/2N5/PP2PPPP/R1BQKBNR w KQkq - 2 4",
    };
    positions.insert(positions.end(), BenchPositions().begin(), BenchPositions().end());
    bool exercised = false;
    for (const std::string& fen : positions) {
        if (exercised) break;
        auto s = NewSearcher(fen);
        s->SetInfinite(true);
        s->SetDepthLimit(8);
        SearchResult accepted;
        bool cut = false;
        s->SetIterationCallback([&](const SearchResult& r) { accepted = r; });
        s->SetProgressCallback([&](const SearchData& d) {
            if (!cut && d.depth >= 2 && d.rootIndex + 1 < d.rootCount && d.bestMove &&
                d.bestScore < accepted.score && !SameMove(d.bestMove, accepted.bestMove)) {
                cut = true;
                s->Stop();
            }
        });
        s->StartSearch();
        if (!cut) continue;
        exercised = true;
        EXPECT_TRUE(SameMove(s->Result().bestMove, accepted.bestMove)) << fen;
        EXPECT_EQ(s->Result().depth, accepted.depth) << fen;
        EXPECT_EQ(s->Result().score, accepted.score) << fen;
    }
    EXPECT_TRUE(exercised) << "no position produced a worse partial iteration";
}

TEST(Searcher, LimitsAndSettings) {
    auto s = NewSearcher(MiddleGame);
    // Depth limit: exactly that many iterations; 33 and above are refused.
    s->SetDepthLimit(3);
    s->SetDepthLimit(40);
    EXPECT_EQ(s->DepthLimit(), 3);
    int iterations = 0;
    s->SetIterationCallback([&](const SearchResult& r) {
        ++iterations;
        EXPECT_EQ(r.depth, uint32_t(iterations));
        EXPECT_TRUE(SameMove(r.pv[0], r.bestMove));
        EXPECT_GE(r.pvLength, 1u);
    });
    ASSERT_TRUE(s->StartSearch());
    EXPECT_EQ(iterations, 3);
    EXPECT_EQ(s->Result().depth, 3u);

    // A time budget with no depth limit ends the search (bounds are generous).
    s->SetIterationCallback(nullptr);
    s->SetDepthLimit(0);
    s->SetTimeBudget(0.2);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(s->StartSearch());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 20.0);
    EXPECT_LT(s->Result().depth, 32u);

    // Threads: 1 to 3 as asked, 4 for more, nothing below 1; the main position survives.
    const uint64_t key = s->MainBoard().key;
    s->SetThreads(10);
    EXPECT_EQ(s->Threads(), 4);
    s->SetThreads(0);
    EXPECT_EQ(s->Threads(), 4);
    s->SetThreads(2);
    EXPECT_EQ(s->Threads(), 2);
    EXPECT_EQ(s->MainBoard().key, key);

    // Bad FEN changes nothing.
    EXPECT_FALSE(s->SetPosition("not a position"));
    EXPECT_EQ(s->MainBoard().key, key);
}

TEST(Searcher, ExhaustedBudgetStopsOrAsksForMore) {
    auto s = NewSearcher(MiddleGame);
    s->SetDepthLimit(0);
    // Spent by the first time check; a refused extension stops right there.
    s->SetTimeBudget(1e-9);
    int asked = 0;
    s->SetExtraTimeCallback([&] {
        ++asked;
        return 0.0;
    });
    ASSERT_TRUE(s->StartSearch());
    EXPECT_LE(asked, 1);
    EXPECT_EQ(s->Record(0).totalNodes.Get(), 16384u);
    EXPECT_FALSE(s->TimeExtended());

    // A granted extension: the search still ends, by the next accepted
    // iteration or by a second, refused request.
    s->SetTimeBudget(1e-9);
    asked = 0;
    s->SetExtraTimeCallback([&] { return ++asked == 1 ? 0.05 : 0.0; });
    int iterations = 0;
    s->SetIterationCallback([&](const SearchResult&) { ++iterations; });
    ASSERT_TRUE(s->StartSearch());
    EXPECT_LE(asked, 2);
    if (asked >= 1) {
        EXPECT_TRUE(s->TimeExtended());
        EXPECT_GE(s->TimeBudget(), 0.05);
    }
    EXPECT_NE(s->Result().bestMove, 0);
}

TEST(SearcherThreads, SameBestMoveOnOneTwoAndFourThreads) {
    // The knight takes the queen that strayed to h4.
    const char* fen = "rnb1kbnr/pppp1ppp/8/4p3/4P2q/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3";
    for (int threads : {1, 2, 4}) {
        auto s = NewSearcher(fen);
        s->SetThreads(threads);
        s->SetDepthLimit(ThreadTestDepth - 1);
        ASSERT_TRUE(s->StartSearch());
        EXPECT_EQ(MoveToText(s->Result().bestMove), "f3h4") << threads << " threads";
        EXPECT_GT(s->Result().score, 500);
    }
}

TEST(SearcherThreads, FourThreadsShareTablesRaceFree) {
    auto s = NewSearcher(MiddleGame);
    s->SetThreads(4);
    s->SetDepthLimit(ThreadTestDepth);
    uint64_t lastTotal = 0;
    s->SetIterationCallback([&](const SearchResult& r) { lastTotal = r.totalNodes; });
    int polls = 0;
    s->SetPollCallback([&] { return ++polls > 0; });
    ASSERT_TRUE(s->StartSearch());
    EXPECT_NE(s->Result().bestMove, 0);
    // Iteration reports sum every thread's nodes; the workers searched too.
    uint64_t workers = 0;
    for (int i = 1; i < 4; ++i) workers += s->Record(i).totalNodes.Get();
    EXPECT_GT(workers, 0u);
    EXPECT_GE(lastTotal, s->Result().iterationNodes);
    // All flags are set once the search is over; the next search clears them.
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(s->Record(i).Stopped());
    s->SetDepthLimit(2);
    ASSERT_TRUE(s->StartSearch());
    EXPECT_EQ(s->Result().depth, 2u);

    // An analysis stopped from the main thread's poll ends every worker.
    s->SetInfinite(true);
    s->SetDepthLimit(0);
    polls = 0;
    s->SetPollCallback([&] {
        if (++polls == 3) s->Stop();
        return true;
    });
    int results = 0;
    s->SetResultCallback([&](const SearchResult&) { ++results; });
    ASSERT_TRUE(s->StartSearch());
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(results, 1);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(s->Record(i).Stopped());
}

TEST(Bench, NodeCountIsDeterministic) {
    InitEngineTables();
    std::ostringstream first, second;
    const BenchTotals a = RunBench(first, 3, 8);
    const BenchTotals b = RunBench(second, 3, 8);
    EXPECT_EQ(a.positions, 8);
    EXPECT_GT(a.nodes, 0u);
    EXPECT_EQ(a.nodes, b.nodes);
    // Per-position lines are identical too, and the summary line comes last.
    const std::string text = first.str();
    EXPECT_EQ(text.substr(0, text.rfind("position 8")), second.str().substr(0, text.rfind("position 8")));
    const std::string summary = std::to_string(a.nodes) + " nodes ";
    EXPECT_NE(text.find(summary), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 5), " nps\n");
    EXPECT_GE(BenchPositions().size(), 40u);
}

}  // namespace
}  // namespace NEngine
