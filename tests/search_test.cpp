// The node search (exact mate scores against an independent brute-force
// solver, draws at a node) and the searcher around it: iteration control,
// stop requests, limits, threads and the bench. The thread tests are named
// SearcherThreads so that the ThreadSanitizer build can run just them.
#include <sstream>

#include "board/notation.h"
#include "eval/evaluate.h"
#include "search/bench.h"
#include "search/searcher.h"
#include "support.h"

namespace NEngine::Tests {
namespace {

// Plain minimax over legal moves: does the move mate within n moves? Each
// reply is an escape unless some answer to it mates within n - 1.
bool MatesWithin(Board& board, Move move, int n) {
    MakeMove(board, move);
    bool replies = false;
    const bool escapes = ForEachLegalMove(board, [&](Move reply) {
        replies = true;
        if (n == 1) return true;
        MakeMove(board, reply);
        const bool mated = ForEachLegalMove(board, [&](Move next) { return MatesWithin(board, next, n - 1); });
        UnmakeMove(board, reply);
        return !mated;
    });
    const bool mates = replies ? !escapes : board.InCheck();
    UnmakeMove(board, move);
    return mates;
}

bool ForcesMateIn(Board& board, int n) {
    return ForEachLegalMove(board, [&](Move m) { return MatesWithin(board, m, n); });
}

std::unique_ptr<Searcher> NewSearcher(const std::string& fen) {
    InitEngineTables();
    auto s = std::make_unique<Searcher>(16);
    EXPECT_TRUE(s->SetPosition(fen)) << fen;
    return s;
}

TEST(Search, FindsShortestMatesWithExactScores) {
    auto searcher = NewSearcher(StartFen);
    const struct {
        const char* fen;
        int moves;  // the shortest mate, confirmed by the solver
        const char* what;
    } cases[] = {
        {"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", 1, "back rank"},
        {"6nr/5Ppk/6pp/8/8/8/8/K7 w - - 0 1", 1, "knight promotion"},
        {"5r1k/6pp/4Q3/6N1/2B5/8/5PPP/6K1 w - - 0 1", 2, "queen sacrifice, smothered"},
        {"k7/8/2K5/8/8/8/8/7R w - - 0 1", 2, "quiet king move first"},
        {"2k5/8/8/3K4/8/8/8/7R w - - 0 1", 3, "rook and king"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(searcher->SetPosition(c.fen));
        auto scratch = NewBoard(c.fen);
        ASSERT_TRUE(ForcesMateIn(scratch->board, c.moves));
        ASSERT_TRUE(c.moves == 1 || !ForcesMateIn(scratch->board, c.moves - 1));
        searcher->SetDepthLimit(0);  // no limit: a found mate ends the search by itself
        ASSERT_TRUE(searcher->StartSearch());
        const SearchResult& r = searcher->Result();
        EXPECT_EQ(r.score, MateScore - (2 * c.moves - 1));
        EXPECT_TRUE(MatesWithin(scratch->board, r.bestMove, c.moves)) << MoveToText(r.bestMove);
        EXPECT_EQ(r.depth, 5u) << "a mate ends the search after depth 5";
    }
}

TEST(Search, MateStalemateAndRepetitionAtANode) {
    auto searcher = NewSearcher(StartFen);
    searcher->NewSearchReset();
    SearchRecord& main = searcher->Record(0);
    Board& board = searcher->MainBoard();
    // Checkmated side to move: the score counts the distance.
    ASSERT_TRUE(searcher->SetPosition("k5rr/8/8/8/8/8/8/7K w - - 0 1"));
    board.flags &= uint16_t(~(FlagCheckmate | FlagStalemate));  // as search sees it after a move
    EXPECT_EQ(Search(main, 2 * OnePly, 3, MinusInfinity, PlusInfinity, true, true, 0), -MateScore + 3);
    board.flags &= uint16_t(~FlagCheckmate);
    EXPECT_EQ(Quiescence(main, 0, 5, MinusInfinity, PlusInfinity, false, MinusInfinity), -MateScore + 5);

    // Stalemate scores 0, even from a window above it.
    ASSERT_TRUE(searcher->SetPosition("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"));
    board.flags &= uint16_t(~FlagStalemate);
    EXPECT_EQ(Search(main, 3 * OnePly, 2, 100, 101, false, true, 0), 0);

    // The start position a second time scores 0.
    ASSERT_TRUE(searcher->SetPosition(StartFen));
    Play(board, {"g1f3", "g8f6", "f3g1", "f6g8"});
    EXPECT_EQ(board.repetitionCount, 2);
    EXPECT_EQ(Search(main, 4 * OnePly, 1, -300, 300, true, true, 0), 0);
    EXPECT_EQ(Search(main, 4 * OnePly, 1, 50, 51, false, true, 0), 0);
    // Found inside the tree: a queen down, Black takes the draw that the
    // knight's return offers.
    ASSERT_TRUE(searcher->SetPosition("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
    Play(board, {"g1f3", "g8f6", "f3g1"});
    EXPECT_EQ(Search(main, 2 * OnePly, 1, MinusInfinity, PlusInfinity, true, true, 0), 0);
    EXPECT_TRUE(SameMove(main.plies[1].pv[1], TextToMove(board, "f6g8")));
}

// ---------------------------------------------------------------- searcher

constexpr int ThreadTestDepth = Sanitized ? 5 : 8;

const char* const MiddleGame = "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10";

TEST(Searcher, SingleLegalMoveNeedsDepthOne) {
    // White's king must step out of the rook's check to g1.
    auto s = NewSearcher("k5rr/8/8/8/8/8/6P1/7K w - - 0 1");
    ASSERT_TRUE(s->StartSearch());
    EXPECT_EQ(s->Result().depth, 1u);
    EXPECT_EQ(MoveToText(s->Result().bestMove), "h1g1");
}

TEST(Searcher, BareKingMatesUseTheTable) {
    // Bishop and knight against the bare king: every score is the rule's, so
    // only the table's cut-offs keep the tree narrow enough to see far. Ten
    // plies take some 320 thousand nodes with them and 1.5 million without.
    auto s = NewSearcher("8/8/3k4/8/8/8/8/4KBN1 w - - 0 1");
    s->SetDepthLimit(10);
    ASSERT_TRUE(s->StartSearch());
    EXPECT_EQ(s->Result().depth, 10u);
    EXPECT_LT(s->Record(0).totalNodes.Get(), 700000u);
}

TEST(Searcher, StopsAtThePollOnRequestOrSpentBudget) {
    auto s = NewSearcher(MiddleGame);
    s->SetDepthLimit(0);  // no limit: only a stop or the clock can end it
    // A stop asked for in the input poll: not one move more is made.
    uint64_t nodesAtStop = 0;
    s->SetPollCallback([&] {
        if (!nodesAtStop && s->Record(0).totalNodes.Get() >= 20000) {
            nodesAtStop = s->Record(0).totalNodes.Get();
            s->Stop();
        }
        return true;
    });
    ASSERT_TRUE(s->StartSearch());
    EXPECT_NE(s->Result().bestMove, 0);
    EXPECT_EQ(s->Record(0).totalNodes.Get(), nodesAtStop);
    EXPECT_TRUE(s->StopRequested());

    // A budget spent before the search began: it still searches a first
    // root move, then a refused extension stops it at the next time check,
    // a few hundred nodes later at most, however slow the nodes.
    s->SetPollCallback([] { return true; });
    s->SetDepthLimit(1);
    ASSERT_TRUE(s->StartSearch());
    const uint64_t depthOne = s->Record(0).totalNodes.Get();
    s->SetDepthLimit(0);
    s->SetTimeBudget(1e-9);
    int asked = 0;
    s->SetExtraTimeCallback([&] { return ++asked, 0.0; });
    ASSERT_TRUE(s->StartSearch());
    EXPECT_LE(asked, 1);
    EXPECT_NE(s->Result().bestMove, 0);
    EXPECT_LE(s->Record(0).totalNodes.Get(), depthOne + PollIntervalNodes);
    EXPECT_FALSE(s->TimeExtended());

    // A granted extension: the search still ends, by the next accepted
    // iteration or by a second, refused request.
    s->SetTimeBudget(1e-9);
    asked = 0;
    s->SetExtraTimeCallback([&] { return ++asked == 1 ? 0.05 : 0.0; });
    ASSERT_TRUE(s->StartSearch());
    EXPECT_LE(asked, 2);
    EXPECT_EQ(s->TimeExtended(), asked >= 1);
    EXPECT_NE(s->Result().bestMove, 0);
}

TEST(Searcher, NodeMateAndRootMoveLimits) {
    // A node limit is exact on one thread and the search it gives is the
    // same every time from the same table; even a limit of one node gives a
    // legal move.
    auto s = NewSearcher(MiddleGame);
    s->SetDepthLimit(0);
    for (const uint64_t limit : {1, 300, 7000, 40000}) {
        s->SetNodeLimit(limit);
        SearchResult first;
        for (int run = 0; run < 2; ++run) {
            s->ClearTT();  // the same search needs the same table to start with
            ASSERT_TRUE(s->StartSearch()) << limit;
            EXPECT_EQ(s->Record(0).totalNodes.Get(), limit);
            const SearchResult& r = s->Result();
            auto board = std::make_unique<BoardWithHistory>();
            CopyBoard(board->board, s->MainBoard());
            EXPECT_TRUE(IsPseudoLegal(board->board, r.bestMove) && IsLegalMove(board->board, r.bestMove)) << limit;
            if (run == 0) {
                first = r;
                continue;
            }
            EXPECT_EQ(r.bestMove, first.bestMove) << limit;
            EXPECT_EQ(r.depth, first.depth) << limit;
            EXPECT_EQ(r.score, first.score) << limit;
        }
    }
    s->SetNodeLimit(0);

    // A mate as short as asked for ends the search as soon as it is proven;
    // a longer one only by the usual rule (depth 5).
    const struct {
        const char* fen;
        int limit;  // moves
        bool early;
    } mates[] = {
        {"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", 1, true},
        {"k7/8/2K5/8/8/8/8/7R w - - 0 1", 1, false},
        {"k7/8/2K5/8/8/8/8/7R w - - 0 1", 2, true},
        {"k7/8/2K5/8/8/8/8/7R w - - 0 1", INT32_MAX, true},
    };
    for (const auto& m : mates) {
        ASSERT_TRUE(s->SetPosition(m.fen));
        s->SetMateLimit(m.limit);
        ASSERT_TRUE(s->StartSearch());
        EXPECT_GE(s->Result().score, MateBound) << m.fen;
        if (m.early) {
            EXPECT_GE(s->Result().score, MateScore - (2 * std::min(m.limit, 2) - 1)) << m.fen;
            EXPECT_LT(s->Result().depth, 5u) << m.fen << " mate in " << m.limit;
        } else {
            EXPECT_EQ(s->Result().depth, 5u) << m.fen << " mate in " << m.limit;
        }
    }
    s->ResetMateValue();

    // Only the listed moves are searched (the legal ones among them); a list
    // with no legal move leaves them all.
    ASSERT_TRUE(s->SetPosition(StartFen));
    s->SetDepthLimit(4);
    const Move h2h4 = Coord("h2h4"), a2a3 = Coord("a2a3"), e2e5 = Coord("e2e5");
    const struct {
        std::vector<Move> filter;
        uint32_t rootMoves;
    } filters[] = {{{h2h4}, 1}, {{e2e5, a2a3, h2h4}, 2}, {{e2e5}, 20}};
    for (const auto& f : filters) {
        s->SetRootFilter(f.filter);
        ASSERT_TRUE(s->StartSearch());
        EXPECT_EQ(s->Result().rootCount, f.rootMoves);
        if (f.rootMoves < 20) {
            EXPECT_TRUE(SameMove(s->Result().bestMove, a2a3) || SameMove(s->Result().bestMove, h2h4));
        }
    }
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

    // A node limit counts the nodes of all threads.
    s->SetInfinite(false);
    s->SetPollCallback([] { return true; });
    s->SetNodeLimit(30000);
    ASSERT_TRUE(s->StartSearch());
    uint64_t all = 0;
    for (int i = 0; i < 4; ++i) all += s->Record(i).totalNodes.Get();
    EXPECT_GE(all, 30000u);
    EXPECT_LT(s->Record(0).totalNodes.Get(), 30000u);
}

TEST(Bench, NodeCountIsDeterministic) {
    InitEngineTables();
    std::ostringstream first, second;
    const BenchTotals a = RunBench(first, 3, 8);
    const BenchTotals b = RunBench(second, 3, 8);
    EXPECT_EQ(a.positions, 8);
    EXPECT_GT(a.nodes, 0u);
    EXPECT_EQ(a.nodes, b.nodes);
    // The per-position lines agree too (only the timing summary may differ).
    const size_t summary = first.str().rfind("position 8");
    EXPECT_EQ(first.str().substr(0, summary), second.str().substr(0, summary));
}

}  // namespace
}  // namespace NEngine::Tests
