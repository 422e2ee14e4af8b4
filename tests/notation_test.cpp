// Move text: coordinate form, classification and standard algebraic notation.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"
#include "board/notation.h"

using namespace NEngine;

namespace {

constexpr int Sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }
constexpr Move M(const char* from, const char* to, int promotion = 0) {
    return MakeMoveCode(Sq(from), Sq(to), promotion);
}

// A board with its own history, set up from FEN.
std::unique_ptr<BoardWithHistory> Position(const std::string& fen) {
    InitEngineTables();
    auto record = std::make_unique<BoardWithHistory>();
    EXPECT_TRUE(SetFromFen(fen, record->board)) << fen;
    return record;
}

std::vector<Move> LegalMoves(const Board& board) {
    NotationMoveList list;
    GenerateAllMoves(board, list);
    std::vector<Move> moves;
    for (uint16_t i = list.head; i != 65535; i = list.nodes[i].next)
        if (IsLegalMove(board, list.nodes[i].move)) moves.push_back(list.nodes[i].move & MoveMask);
    return moves;
}

}  // namespace

TEST(CoordinateText, WritesAndClassifiesMoves) {
    EXPECT_EQ(MoveToText(M("e2", "e4")), "e2e4");
    EXPECT_EQ(MoveToText(M("h7", "h8", Queen)), "h7h8q");
    EXPECT_EQ(MoveToText(M("a2", "b1", Knight)), "a2b1n");
    EXPECT_EQ(MoveToText(M("g7", "g8", Bishop)), "g7g8b");
    EXPECT_EQ(MoveToText(M("b7", "c8", Rook)), "b7c8r");
    EXPECT_EQ(MoveToText(M("e1", "g1"), true), "move e1g1");
    EXPECT_EQ(MoveToText(NullMove), "0000");
    EXPECT_EQ(MoveToText(M("d4", "d4")), "0000");  // from equal to to
    EXPECT_EQ(MoveToText(NullMove, true), "move 0000");
    EXPECT_EQ(MoveToText(M("a1", "h8") | SafeMark), "a1h8");
    EXPECT_EQ(NullMoveText, "0000");

    for (const char* text : {"e2e4", "e7e8q", "a1h8", "e7e8Q", "e2e4junk", "a9a0"})
        EXPECT_EQ(ClassifyMoveText(text), 1) << text;
    for (const char* text : {"e4", "ed", "exd5", "Nf3", "Nbd2", "N1d2", "Nxe5", "Ng1f3", "Kxe2",
                             "O-O", "O-O-O", "O-O+", "e8=Q+", "0000", "Pe4"})
        EXPECT_EQ(ClassifyMoveText(text), 2) << text;
    for (const char* text : {"", "e", "Nf", "xx", "K", "bx", "1.e4", "Bb", "quit", "new", "go",
                             "Nzz", "9999", "-", "draw"})
        EXPECT_EQ(ClassifyMoveText(text), 0) << text;
}

TEST(CoordinateText, ReadsOnlyPseudoLegalMovesOfTheSideToMove) {
    auto start = Position(StartFen);
    const Board& b = start->board;
    EXPECT_EQ(TextToMove(b, "e2e4"), M("e2", "e4"));
    EXPECT_EQ(TextToMove(b, "g1f3"), M("g1", "f3"));
    EXPECT_EQ(TextToMove(b, "Nf3"), M("g1", "f3"));  // SAN goes through the same entry
    EXPECT_EQ(TextToMove(b, "e2e5"), NullMove);
    EXPECT_EQ(TextToMove(b, "e7e5"), NullMove);  // Black's pawn, White to move
    EXPECT_EQ(TextToMove(b, "e3e4"), NullMove);  // empty from square
    EXPECT_EQ(TextToMove(b, ""), NullMove);
    EXPECT_EQ(TextToMove(b, "0000"), NullMove);
    EXPECT_EQ(TextToMove(b, "hello"), NullMove);
    // Rank digits outside 1..8 name no square.
    EXPECT_EQ(TextToMove(b, "e0e4"), NullMove);
    EXPECT_EQ(TextToMove(b, "e2e9"), NullMove);
    EXPECT_EQ(TextToMove(b, "h9h9"), NullMove);

    auto promo = Position("8/4P1k1/8/8/8/8/6K1/8 w - - 0 1");
    const Board& p = promo->board;
    EXPECT_EQ(TextToMove(p, "e7e8q"), M("e7", "e8", Queen));
    EXPECT_EQ(TextToMove(p, "e7e8n"), M("e7", "e8", Knight));
    EXPECT_EQ(TextToMove(p, "e7e8b"), M("e7", "e8", Bishop));
    EXPECT_EQ(TextToMove(p, "e7e8r"), M("e7", "e8", Rook));
    // Upper case is no promotion letter: the bare pawn move is refused.
    EXPECT_EQ(TextToMove(p, "e7e8Q"), NullMove);
    EXPECT_EQ(TextToMove(p, "e7e8"), NullMove);
    EXPECT_EQ(TextToMove(p, "e7e8k"), NullMove);
    // Every legal move survives the trip through its text.
    for (const Board* board : {&b, &p})
        for (const Move m : LegalMoves(*board)) EXPECT_EQ(TextToMove(*board, MoveToText(m)), m);
}

TEST(SanWriting, DisambiguatesByFileRankOrBothIgnoringPinnedPieces) {
    auto knights = Position("4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(knights->board, M("b1", "d2")), "Nbd2");
    EXPECT_EQ(MoveToSan(knights->board, M("f3", "d2")), "Nfd2");
    EXPECT_EQ(MoveToSan(knights->board, M("b1", "c3")), "Nc3");
    // The f3 knight is pinned by the h5 bishop, so it is no rival for d2.
    auto pinned = Position("4k3/8/8/7b/8/5N2/4K3/1N6 w - - 0 1");
    EXPECT_EQ(MoveToSan(pinned->board, M("b1", "d2")), "Nd2");
    EXPECT_EQ(MoveToSan(pinned->board, M("f3", "d2")), "");

    auto rooks = Position("4k3/8/8/R7/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(rooks->board, M("a1", "a3")), "R1a3");
    EXPECT_EQ(MoveToSan(rooks->board, M("a5", "a3")), "R5a3");
    EXPECT_EQ(MoveToSan(rooks->board, M("a5", "a8")), "Ra8+");

    auto queens = Position("4k3/8/8/8/8/Q7/8/Q1Q1K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(queens->board, M("a1", "b2")), "Qa1b2");
    EXPECT_EQ(MoveToSan(queens->board, M("a3", "b2")), "Q3b2");
    EXPECT_EQ(MoveToSan(queens->board, M("c1", "b2")), "Qcb2");
}

TEST(SanWriting, PawnsCastlingPromotionsAndSuffixes) {
    auto capture = Position("4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(capture->board, M("e4", "d5")), "exd5");
    EXPECT_EQ(MoveToSan(capture->board, M("e4", "e5")), "e5");
    EXPECT_EQ(MoveToSan(capture->board, M("e4", "e6")), "");  // not legal

    // En passant carries the file and 'x'; the knight onto the empty
    // en-passant square captures nothing.
    auto passant = Position("4k3/8/8/3pP3/2N5/8/8/4K3 w - d6 0 1");
    EXPECT_EQ(MoveToSan(passant->board, M("e5", "d6")), "exd6");
    EXPECT_EQ(MoveToSan(passant->board, M("c4", "d6")), "Nd6+");

    auto promotion = Position("7k/4P3/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(promotion->board, M("e7", "e8", Queen)), "e8=Q+");
    EXPECT_EQ(MoveToSan(promotion->board, M("e7", "e8", Rook)), "e8=R+");
    EXPECT_EQ(MoveToSan(promotion->board, M("e7", "e8", Knight)), "e8=N");
    EXPECT_EQ(MoveToSan(promotion->board, M("e7", "e8")), "");
    auto mating = Position("7k/4P1pp/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(mating->board, M("e7", "e8", Queen)), "e8=Q#");
    EXPECT_EQ(MoveToSan(mating->board, M("e7", "e8", Bishop)), "e8=B");
    auto backRank = Position("6k1/5ppp/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(backRank->board, M("a1", "a8")), "Ra8#");

    auto castle = Position("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    EXPECT_EQ(MoveToSan(castle->board, M("e1", "g1")), "O-O");
    EXPECT_EQ(MoveToSan(castle->board, M("e1", "c1")), "O-O-O");
    auto blackCastle = Position("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
    EXPECT_EQ(MoveToSan(blackCastle->board, M("e8", "g8")), "O-O");
    EXPECT_EQ(MoveToSan(blackCastle->board, M("e8", "c8")), "O-O-O");
    // Castling into a check on the king: "O-O-O+" (rook lands on d1).
    auto castleCheck = Position("3k4/8/8/8/8/8/8/R3K3 w Q - 0 1");
    EXPECT_EQ(MoveToSan(castleCheck->board, M("e1", "c1")), "O-O-O+");

    auto start = Position(StartFen);
    EXPECT_EQ(MoveToSan(start->board, NullMove), "0000");
    EXPECT_EQ(MoveToSan(start->board, M("g1", "f3") | SafeMark), "Nf3");
}

TEST(SanWriting, LeavesTheCallersHistoryAlone) {
    auto game = Position(StartFen);
    Board& b = game->board;
    MakeMove(b, M("e2", "e4"));
    const HistoryEntry above = b.history[b.ply];
    const Board before = b;
    EXPECT_EQ(MoveToSan(b, M("e7", "e5")), "e5");
    EXPECT_EQ(b.history[b.ply].move, above.move);
    EXPECT_EQ(b.history[b.ply].key, above.key);
    EXPECT_EQ(b.key, before.key);
    EXPECT_EQ(b.ply, before.ply);
    EXPECT_EQ(b.flags, before.flags);
    EXPECT_EQ(b.sideToMove, before.sideToMove);
}

TEST(SanReading, EveryLegalMoveReadsBackFromItsSan) {
    const char* fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N w - - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "rnbqkb1r/pp1p1ppp/5n2/2pPp3/8/8/PPP1PPPP/RNBQKBNR w KQkq e6 0 4",
        "4k3/8/8/8/8/Q7/8/Q1Q1K3 w - - 0 1",
        "1k6/8/8/3N1N2/8/3N1N2/8/4K3 w - - 0 1",
        "R6R/8/8/3k4/8/8/8/R3K2R w - - 0 1",
        "4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1",
        "6k1/5ppp/8/8/8/8/8/R3K3 w - - 0 1",
    };
    for (const char* fen : fens) {
        auto position = Position(fen);
        const Board& b = position->board;
        std::set<std::string> seen;
        for (const Move m : LegalMoves(b)) {
            const std::string san = MoveToSan(b, m);
            ASSERT_FALSE(san.empty()) << fen << " " << MoveToText(m);
            EXPECT_TRUE(seen.insert(san).second) << "ambiguous " << san << " in " << fen;
            EXPECT_EQ(ClassifyMoveText(san), 2) << san;
            EXPECT_EQ(SanToMove(b, san), m) << san << " in " << fen;
            EXPECT_EQ(TextToMove(b, san), m) << san << " in " << fen;
        }
    }
}

TEST(SanReading, AcceptsRedundantFormsAndRefusesWrongOnes) {
    auto start = Position(StartFen);
    const Board& b = start->board;
    const Move nf3 = M("g1", "f3");
    for (const char* text : {"Nf3", "Ngf3", "N1f3", "Ng1f3", "Nf3+", "Nf3!?", "Nf3#"})
        EXPECT_EQ(SanToMove(b, text), nf3) << text;
    EXPECT_EQ(SanToMove(b, "e4"), M("e2", "e4"));
    EXPECT_EQ(SanToMove(b, "Pe4"), M("e2", "e4"));
    EXPECT_EQ(SanToMove(b, "e2e4"), M("e2", "e4"));  // file and rank as disambiguation
    for (const char* text : {"", "0000", "Nxf3", "Nhf3", "N2f3", "Nf", "N", "e5", "Ke2", "O-O", "O-O-O",
                             "Qd4", "exd3", "Nf9", "e4=Q", "Bb5", "Z", "nf3"})
        EXPECT_EQ(SanToMove(b, text), NullMove) << text;

    // A capture must be written as one, and only a capture may be.
    auto capture = Position("4k3/8/8/8/8/5p2/8/4K1N1 w - - 0 1");
    EXPECT_EQ(SanToMove(capture->board, "Nf3"), NullMove);
    EXPECT_EQ(SanToMove(capture->board, "Nxf3"), M("g1", "f3"));
    EXPECT_EQ(SanToMove(capture->board, "Nxe2"), NullMove);
    EXPECT_EQ(SanToMove(capture->board, "Ne2"), M("g1", "e2"));

    auto promotion = Position("1n5k/P7/8/8/8/8/8/4K3 w - - 0 1");
    const Board& p = promotion->board;
    EXPECT_EQ(SanToMove(p, "a8=Q"), M("a7", "a8", Queen));
    EXPECT_EQ(SanToMove(p, "a8N"), M("a7", "a8", Knight));
    EXPECT_EQ(SanToMove(p, "axb8=R+"), M("a7", "b8", Rook));
    EXPECT_EQ(SanToMove(p, "a8"), NullMove);     // promotion missing
    EXPECT_EQ(SanToMove(p, "a8=K"), NullMove);   // no promotion to a king
    EXPECT_EQ(SanToMove(p, "a8=P"), NullMove);
    EXPECT_EQ(SanToMove(p, "a8=X"), NullMove);
    EXPECT_EQ(SanToMove(p, "b8=Q"), NullMove);   // a capture written without 'x'

    // En passant is a capture for SAN; castling needs the right and a free path.
    auto passant = Position("4k3/8/8/3pP3/2N5/8/8/4K3 w - d6 0 1");
    EXPECT_EQ(SanToMove(passant->board, "exd6"), M("e5", "d6"));
    EXPECT_EQ(SanToMove(passant->board, "ed6"), NullMove);
    EXPECT_EQ(SanToMove(passant->board, "Nd6"), M("c4", "d6"));
    EXPECT_EQ(SanToMove(passant->board, "Nxd6"), NullMove);
    auto castle = Position("r3k2r/8/8/8/8/8/8/R3K2R b Kq - 0 1");
    EXPECT_EQ(SanToMove(castle->board, "O-O-O"), M("e8", "c8"));
    EXPECT_EQ(SanToMove(castle->board, "O-O"), NullMove);
}
