// Move text: coordinate form, classification and standard algebraic notation.
#include <cstring>
#include <set>

#include "board/notation.h"
#include "support.h"

namespace NEngine::Tests {
namespace {

TEST(CoordinateText, BothDirections) {
    EXPECT_EQ(MoveToText(Coord("e2e4")), "e2e4");
    EXPECT_EQ(MoveToText(Coord("a2b1n")), "a2b1n");
    EXPECT_EQ(MoveToText(Coord("e1g1"), true), "move e1g1");
    EXPECT_EQ(MoveToText(NullMove), "0000");
    EXPECT_EQ(MoveToText(Coord("a1h8") | SafeMark), "a1h8");  // the search's mark is not text

    for (const char* text : {"e2e4", "e7e8q", "e2e4junk"}) EXPECT_EQ(ClassifyMoveText(text), 1) << text;
    for (const char* text : {"exd5", "Nbd2", "Ng1f3", "O-O-O", "e8=Q+", "0000"})
        EXPECT_EQ(ClassifyMoveText(text), 2) << text;
    for (const char* text : {"", "Nf", "1.e4", "quit", "new", "9999", "draw"})
        EXPECT_EQ(ClassifyMoveText(text), 0) << text;

    auto start = NewBoard();
    const Board& b = start->board;
    EXPECT_EQ(TextToMove(b, "Nf3"), Coord("g1f3"));  // SAN goes through the same entry
    for (const char* text : {"e2e5", "e7e5", "e3e4", "", "0000", "e0e4", "e2e9"})
        EXPECT_EQ(TextToMove(b, text), NullMove) << text;
    auto promo = NewBoard("8/4P1k1/8/8/8/8/6K1/8 w - - 0 1");
    const Board& p = promo->board;
    EXPECT_EQ(TextToMove(p, "e7e8n"), Coord("e7e8n"));
    for (const char* text : {"e7e8Q", "e7e8", "e7e8k"}) EXPECT_EQ(TextToMove(p, text), NullMove) << text;
    // Every legal move survives the trip through its text.
    for (const Board* board : {&b, &p})
        for (const Move m : LegalMoves(*board)) EXPECT_EQ(TextToMove(*board, MoveToText(m)), m);
}

TEST(SanWriting, ExpectedText) {
    struct Case {
        const char* fen;
        Move move;
        const char* san;
    };
    const Case cases[] = {
        // Disambiguation by file, by rank, by both.
        {"4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1", Coord("b1d2"), "Nbd2"},
        {"4k3/8/8/R7/8/8/8/R3K3 w - - 0 1", Coord("a1a3"), "R1a3"},
        {"4k3/8/8/8/8/Q7/8/Q1Q1K3 w - - 0 1", Coord("a1b2"), "Qa1b2"},
        // The f3 knight is pinned by the h5 bishop, so it is no rival for d2.
        {"4k3/8/8/7b/8/5N2/4K3/1N6 w - - 0 1", Coord("b1d2"), "Nd2"},
        {"4k3/8/8/7b/8/5N2/4K3/1N6 w - - 0 1", Coord("f3d2"), ""},
        // Pawn captures and en passant; a knight onto the en-passant square takes nothing.
        {"4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1", Coord("e4d5"), "exd5"},
        {"4k3/8/8/3pP3/2N5/8/8/4K3 w - d6 0 1", Coord("e5d6"), "exd6"},
        {"4k3/8/8/3pP3/2N5/8/8/4K3 w - d6 0 1", Coord("c4d6"), "Nd6+"},
        // Promotions with check and mate, or without.
        {"7k/4P3/8/8/8/8/8/4K3 w - - 0 1", Coord("e7e8r"), "e8=R+"},
        {"7k/4P3/8/8/8/8/8/4K3 w - - 0 1", Coord("e7e8n"), "e8=N"},
        {"7k/4P3/8/8/8/8/8/4K3 w - - 0 1", Coord("e7e8"), ""},
        {"7k/4P1pp/8/8/8/8/8/4K3 w - - 0 1", Coord("e7e8q"), "e8=Q#"},
        // Castling, also giving check with the rook.
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", Coord("e8g8"), "O-O"},
        {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", Coord("e1c1"), "O-O-O+"},
        {"6k1/5ppp/8/8/8/8/8/R3K3 w - - 0 1", Coord("a1a8"), "Ra8#"},
        {StartFen.c_str(), NullMove, "0000"},
    };
    for (const Case& c : cases) {
        auto r = NewBoard(c.fen);
        EXPECT_EQ(MoveToSan(r->board, c.move), c.san) << c.fen;
    }

    // Writing tries the move out but leaves the caller's board and history as they were.
    auto game = NewBoard();
    Board& b = game->board;
    MakeMove(b, Coord("e2e4"));
    const HistoryEntry above = b.history[b.ply];
    const Board before = b;
    EXPECT_EQ(MoveToSan(b, Coord("e7e5")), "e5");
    EXPECT_EQ(std::memcmp(&b.history[b.ply], &above, sizeof(HistoryEntry)), 0);
    EXPECT_EQ(std::memcmp(&b, &before, sizeof(Board)), 0);
}

TEST(SanReading, EveryLegalMoveReadsBackFromItsSan) {
    const char* fens[] = {
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
        "rnbqkb1r/pp1p1ppp/5n2/2pPp3/8/8/PPP1PPPP/RNBQKBNR w KQkq e6 0 4",
        "4k3/8/8/8/8/Q7/8/Q1Q1K3 w - - 0 1",
        "1k6/8/8/3N1N2/8/3N1N2/8/4K3 w - - 0 1",
        "R6R/8/8/3k4/8/8/8/R3K2R w - - 0 1",
        "6k1/5ppp/8/8/8/8/8/R3K3 w - - 0 1",
    };
    for (const char* fen : fens) {
        auto position = NewBoard(fen);
        const Board& b = position->board;
        std::set<std::string> seen;
        for (const Move m : LegalMoves(b)) {
            const std::string san = MoveToSan(b, m);
            ASSERT_FALSE(san.empty()) << fen << " " << MoveToText(m);
            EXPECT_TRUE(seen.insert(san).second) << "ambiguous " << san << " in " << fen;
            EXPECT_EQ(SanToMove(b, san), m) << san << " in " << fen;
        }
    }
}

TEST(SanReading, AcceptsRedundantFormsAndRefusesWrongOnes) {
    auto start = NewBoard();
    const Board& b = start->board;
    for (const char* text : {"Ngf3", "N1f3", "Ng1f3", "Nf3+", "Nf3!?"}) EXPECT_EQ(SanToMove(b, text), Coord("g1f3")) << text;
    EXPECT_EQ(SanToMove(b, "Pe4"), Coord("e2e4"));
    for (const char* text : {"", "0000", "Nxf3", "Nhf3", "N2f3", "Nf", "e5", "Ke2", "O-O", "exd3", "Nf9", "e4=Q", "nf3"})
        EXPECT_EQ(SanToMove(b, text), NullMove) << text;

    // A capture must be written as one, and only a capture may be.
    auto capture = NewBoard("4k3/8/8/8/8/5p2/8/4K1N1 w - - 0 1");
    EXPECT_EQ(SanToMove(capture->board, "Nf3"), NullMove);
    EXPECT_EQ(SanToMove(capture->board, "Nxe2"), NullMove);
    auto promotion = NewBoard("1n5k/P7/8/8/8/8/8/4K3 w - - 0 1");
    const Board& p = promotion->board;
    EXPECT_EQ(SanToMove(p, "a8N"), Coord("a7a8n"));
    for (const char* text : {"a8", "a8=K", "a8=P", "b8=Q"}) EXPECT_EQ(SanToMove(p, text), NullMove) << text;
    auto passant = NewBoard("4k3/8/8/3pP3/2N5/8/8/4K3 w - d6 0 1");
    EXPECT_EQ(SanToMove(passant->board, "ed6"), NullMove);
    EXPECT_EQ(SanToMove(passant->board, "Nxd6"), NullMove);
    // Castling needs the right.
    auto castle = NewBoard("r3k2r/8/8/8/8/8/8/R3K2R b Kq - 0 1");
    EXPECT_EQ(SanToMove(castle->board, "O-O-O"), Coord("e8c8"));
    EXPECT_EQ(SanToMove(castle->board, "O-O"), NullMove);
}

}  // namespace
}  // namespace NEngine::Tests
