// The node search: exact mate scores against an independent brute-force
// solver, draws, mates and stalemates at a node, and the extension rule.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"
#include "board/notation.h"
#include "eval/evaluate.h"
#include "search/searcher.h"

namespace NEngine {
namespace {

std::vector<Move> LegalMovesOf(const Board& board) {
    NotationMoveList list;
    GenerateAllMoves(board, list);
    std::vector<Move> moves;
    for (uint16_t i = list.head; i != 65535; i = list.nodes[i].next)
        if (IsLegalMove(board, list.nodes[i].move)) moves.push_back(list.nodes[i].move);
    return moves;
}

// Plain minimax over legal moves: can the side to move mate within n moves?
bool ForcesMateIn(Board& board, int n) {
    for (const Move m : LegalMovesOf(board)) {
        MakeMove(board, m);
        const std::vector<Move> replies = LegalMovesOf(board);
        bool mates;
        if (replies.empty()) {
            mates = board.InCheck();
        } else if (n <= 1) {
            mates = false;
        } else {
            mates = true;
            for (const Move r : replies) {
                MakeMove(board, r);
                const bool still = ForcesMateIn(board, n - 1);
                UnmakeMove(board, r);
                if (!still) {
                    mates = false;
                    break;
                }
            }
        }
        UnmakeMove(board, m);
        if (mates) return true;
    }
    return false;
}

// After the move, does every reply still allow mate in n - 1 (n = 1: is it mate)?
bool MoveForcesMateIn(Board& board, Move move, int n) {
    MakeMove(board, move);
    const std::vector<Move> replies = LegalMovesOf(board);
    bool mates = replies.empty() ? board.InCheck() : n > 1;
    for (const Move r : replies) {
        if (!mates) break;
        MakeMove(board, r);
        mates = ForcesMateIn(board, n - 1);
        UnmakeMove(board, r);
    }
    UnmakeMove(board, move);
    return mates;
}

struct SearchFixture : ::testing::Test {
    void SetUp() override {
        InitEngineTables();
        searcher = std::make_unique<Searcher>(16);
    }
    SearchRecord& Main() { return searcher->Record(0); }
    Board& MainBoard() { return searcher->MainBoard(); }
    void Play(const std::vector<std::string>& moves) {
        for (const auto& text : moves) {
            const Move m = TextToMove(MainBoard(), text);
            ASSERT_TRUE(m && IsLegalMove(MainBoard(), m)) << text;
            MakeMove(MainBoard(), m);
        }
    }
    std::unique_ptr<Searcher> searcher;
};

struct MateCase {
    const char* fen;
    int moves;  // mate in this many moves
    const char* what;
};

TEST_F(SearchFixture, FindsShortestMatesWithExactScores) {
    const MateCase cases[] = {
        {"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", 1, "back rank"},
        {"6nr/5Ppk/6pp/8/8/8/8/K7 w - - 0 1", 1, "knight promotion"},
        {"5r1k/6pp/4Q3/6N1/2B5/8/5PPP/6K1 w - - 0 1", 2, "queen sacrifice, smothered"},
        {"k7/8/2K5/8/8/8/8/7R w - - 0 1", 2, "quiet king move first"},
        {"r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 10", 2, "knight check, bishop mate"},
        {"2k5/8/8/3K4/8/8/8/7R w - - 0 1", 3, "rook and king"},
    };
    for (const MateCase& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(searcher->SetPosition(c.fen));
        // The solver settles the distance independently of the engine.
        int n = 0;
        auto scratch = std::make_unique<BoardWithHistory>();
        ASSERT_TRUE(SetFromFen(c.fen, scratch->board));
        for (int k = 1; k <= c.moves && !n; ++k)
            if (ForcesMateIn(scratch->board, k)) n = k;
        ASSERT_EQ(n, c.moves);
        searcher->SetDepthLimit(0);  // no limit: a found mate ends the search by itself
        ASSERT_TRUE(searcher->StartSearch());
        const SearchResult& r = searcher->Result();
        EXPECT_EQ(r.score, MateScore - (2 * n - 1));
        EXPECT_TRUE(MoveForcesMateIn(scratch->board, r.bestMove, n)) << MoveToText(r.bestMove);
        EXPECT_EQ(r.depth, 5u) << "a mate ends the search after depth 5";
        EXPECT_TRUE(SameMove(r.pv[0], r.bestMove));
    }
}

TEST_F(SearchFixture, MateAndStalemateAtANodeAndInQuiescence) {
    searcher->NewSearchReset();
    // Checkmated side to move (search marks it; the score counts the distance).
    ASSERT_TRUE(searcher->SetPosition("k5rr/8/8/8/8/8/8/7K w - - 0 1"));
    Board& b = MainBoard();
    b.flags &= uint16_t(~(FlagCheckmate | FlagStalemate));  // as search sees it after a move
    EXPECT_EQ(Search(Main(), 2 * OnePly, 3, MinusInfinity, PlusInfinity, true, true, 0), -MateScore + 3);
    EXPECT_TRUE(b.flags & FlagCheckmate);
    b.flags &= uint16_t(~FlagCheckmate);
    EXPECT_EQ(Quiescence(Main(), 0, 5, MinusInfinity, PlusInfinity, false, MinusInfinity), -MateScore + 5);

    // Stalemate scores 0, from any window.
    ASSERT_TRUE(searcher->SetPosition("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"));
    MainBoard().flags &= uint16_t(~FlagStalemate);
    EXPECT_EQ(Search(Main(), OnePly, 2, -500, 500, true, true, 0), 0);
    EXPECT_TRUE(MainBoard().flags & FlagStalemate);
    MainBoard().flags &= uint16_t(~FlagStalemate);
    EXPECT_EQ(Search(Main(), 3 * OnePly, 2, 100, 101, false, true, 0), 0);

    // Quiescence without captures returns the static score.
    ASSERT_TRUE(searcher->SetPosition("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1"));
    const int stand = Evaluate(*Main().eval, MinusInfinity, PlusInfinity);
    EXPECT_EQ(Quiescence(Main(), -OnePly, 1, MinusInfinity, PlusInfinity, false, MinusInfinity), stand);
}

TEST_F(SearchFixture, RepeatedPositionScoresZero) {
    searcher->NewSearchReset();
    ASSERT_TRUE(searcher->SetPosition(StartFen));
    Play({"g1f3", "g8f6", "f3g1"});
    // Black's knight return makes the start position occur a second time.
    const Move back = TextToMove(MainBoard(), "f6g8");
    MakeMove(MainBoard(), back);
    EXPECT_EQ(MainBoard().repetitionCount, 2);
    EXPECT_EQ(Search(Main(), 4 * OnePly, 1, -300, 300, true, true, 0), 0);
    EXPECT_EQ(Search(Main(), 4 * OnePly, 1, 50, 51, false, true, 0), 0);
    UnmakeMove(MainBoard(), back);
    // The same repetition found inside the tree: a queen down, Black takes
    // the draw that the knight's return offers.
    ASSERT_TRUE(searcher->SetPosition("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
    Play({"g1f3", "g8f6", "f3g1"});
    EXPECT_EQ(Search(Main(), 2 * OnePly, 1, MinusInfinity, PlusInfinity, true, true, 0), 0);
    EXPECT_TRUE(SameMove(Main().plies[1].pv[1], TextToMove(MainBoard(), "f6g8")));
}

TEST(ExtensionRule, ChecksPromotionsRecapturesAndPermission) {
    InitEngineTables();
    auto rec = std::make_unique<BoardWithHistory>();
    Board& b = rec->board;
    // A safe check extends anywhere; an unsafe one only in a PV node.
    ASSERT_TRUE(SetFromFen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1", b));
    const Move check = TextToMove(b, "a1a8");
    MakeMove(b, check);
    EXPECT_EQ(ExtensionFor(b, Move(check | SafeMark), false, false), OnePly);
    EXPECT_EQ(ExtensionFor(b, check, false, false), 0);
    EXPECT_EQ(ExtensionFor(b, check, true, false), OnePly);
    UnmakeMove(b, check);
    // Quiet safe move: only the permission extends it, and only in a PV node.
    const Move quiet = TextToMove(b, "a1a2");
    MakeMove(b, quiet);
    EXPECT_EQ(ExtensionFor(b, Move(quiet | SafeMark), true, false), 0);
    EXPECT_EQ(ExtensionFor(b, Move(quiet | SafeMark), true, true), OnePly);
    EXPECT_EQ(ExtensionFor(b, Move(quiet | SafeMark), false, true), 0);
    UnmakeMove(b, quiet);
    // Promotion.
    ASSERT_TRUE(SetFromFen("4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", b));
    const Move promote = TextToMove(b, "b7b8n");
    MakeMove(b, promote);
    EXPECT_EQ(ExtensionFor(b, Move(promote | SafeMark), true, false), OnePly);
    UnmakeMove(b, promote);
    // Recapture on the square of the last capture.
    ASSERT_TRUE(SetFromFen("4k3/8/2p5/3p4/4P3/8/8/4K3 w - - 0 1", b));
    MakeMove(b, TextToMove(b, "e4d5"));
    const Move recapture = TextToMove(b, "c6d5");
    MakeMove(b, recapture);
    EXPECT_EQ(ExtensionFor(b, Move(recapture | SafeMark), true, false), OnePly);
    EXPECT_EQ(ExtensionFor(b, recapture, true, false), 0);
}

}  // namespace
}  // namespace NEngine
