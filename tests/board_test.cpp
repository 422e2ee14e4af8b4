// Board record, keys and make/unmake.
#include <algorithm>
#include <cstring>

#include "board/primitives.h"
#include "board_support.h"

namespace NEngine::BoardTests {
namespace {

void ExpectSumsMatch(const Board& board, const std::string& where) {
    const BoardSums sums = ComputeBoardSums(board);
    EXPECT_EQ(board.key, sums.key) << where;
    EXPECT_EQ(board.pawnKey, sums.pawnKey) << where;
    EXPECT_EQ(board.materialKey, sums.materialKey) << where;
    EXPECT_EQ(board.psqSum, sums.psqSum) << where;
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(board.colour[c].material, sums.material[c]) << where;
        EXPECT_EQ(board.colour[c].nonPawnMaterial, sums.nonPawnMaterial[c]) << where;
        BitMask all = 0;
        for (int t = Pawn; t <= King; ++t) {
            EXPECT_EQ(board.colour[c].count[t], __builtin_popcountll(board.colour[c].pieces[t])) << where;
            all |= board.colour[c].pieces[t];
            for (BitMask b = board.colour[c].pieces[t]; b;) { EXPECT_EQ(board.mailbox[PopLowest(b)], MakeCode(Colour(c), PieceType(t))) << where; }
        }
        EXPECT_EQ(board.colour[c].all, all) << where;
        EXPECT_EQ(board.mailbox[board.kingSquare[c]], MakeCode(Colour(c), King)) << where;
    }
    EXPECT_EQ(board.colour[0].all & board.colour[1].all, 0u) << where;
}

bool SameBytes(const Board& a, const Board& b) { return std::memcmp(&a, &b, sizeof(Board)) == 0; }

TEST(BoardTest, StartPositionFields) {
    auto record = NewBoard("");
    const Board& b = record->board;
    EXPECT_EQ(b.sideToMove, White);
    EXPECT_EQ(b.castling, AllCastling);
    EXPECT_LE(b.epSquare, 0);
    EXPECT_EQ(b.halfmoveClock, 0);
    EXPECT_EQ(b.fullmoveNumber, 1u);
    EXPECT_EQ(b.ply, 0);
    EXPECT_EQ(b.flags, FlagBase);
    const int expected[7] = {0, 8, 2, 2, 2, 1, 1};
    for (int c = 0; c < 2; ++c) {
        for (int t = Pawn; t <= King; ++t) { EXPECT_EQ(b.colour[c].count[t], expected[t]); }
        EXPECT_EQ(b.colour[c].nonPawnMaterial, 3600);
    }
    EXPECT_EQ(b.kingSquare[White], 4);
    EXPECT_EQ(b.kingSquare[Black], 60);
    ExpectSumsMatch(b, "start");
}

TEST(BoardTest, ResetCopyAndAddPiece) {
    InitEngineTables();
    auto one = std::make_unique<BoardWithHistory>();
    auto two = std::make_unique<BoardWithHistory>();
    ASSERT_TRUE(SetFromFen(StartFen, one->board));
    // Reset clears every byte but the history pointer.
    Board scratch;
    std::memset(static_cast<void*>(&scratch), 0xAB, sizeof(scratch));
    scratch.history = one->history;
    ResetBoard(scratch);
    Board zero;
    std::memset(static_cast<void*>(&zero), 0, sizeof(zero));
    zero.history = one->history;
    EXPECT_TRUE(SameBytes(scratch, zero));
    EXPECT_EQ(scratch.sideToMove, Black);

    // A copy keeps its own history; the record copy carries the entries.
    Play(one->board, {"e2e4", "e7e5"});
    CopyBoard(two->board, one->board);
    EXPECT_EQ(two->board.history, two->history);
    EXPECT_EQ(two->board.key, one->board.key);
    BoardWithHistory three(*one);
    EXPECT_EQ(three.board.history, three.history);
    EXPECT_EQ(three.history[1].key, one->history[1].key);
    UnmakeMove(three.board, Coord("e7e5"));
    UnmakeMove(three.board, Coord("e2e4"));
    EXPECT_EQ(ToFen(three.board), StartFen);
    *two = *one;
    EXPECT_EQ(two->board.history, two->history);

    // Invalid requests do nothing.
    ResetBoard(scratch);
    AddPiece(scratch, White, King, 4);
    const Board before = scratch;
    AddPiece(scratch, White, NoPiece, 5);
    AddPiece(scratch, White, Queen, 64);
    AddPiece(scratch, Black, Queen, 4);
    AddPiece(scratch, White, PieceType(7), 6);
    EXPECT_TRUE(SameBytes(before, scratch));
}

TEST(BoardTest, KeyTables) {
    EXPECT_EQ(PieceKeyOf(0, Black, 0), 0x21c31356ab938c26u);
    EXPECT_EQ(PieceKeyOf(0, Black, 1), 0x4d52c6acefbaf9ecu);
    EXPECT_EQ(PieceKeyOf(0, White, Rook), 0xea73fe137a062e50u);
    EXPECT_EQ(PieceKeyOf(4, White, King), 0x2ef7fad093217c80u);
    EXPECT_EQ(PieceKeyOf(20, White, 0), 0x98830483093da716u);
    std::vector<uint64_t> all(PieceKey, PieceKey + 1024);
    all.insert(all.end(), CastlingKey, CastlingKey + 4);
    all.push_back(SideKey);
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    EXPECT_NE(all.front(), 0u);
    // Well mixed: every bit position is set in roughly half the keys.
    for (int bit = 0; bit < 64; ++bit) {
        int ones = 0;
        for (const uint64_t k : all) ones += int((k >> bit) & 1);
        EXPECT_GT(ones, 400) << bit;
        EXPECT_LT(ones, 630) << bit;
    }
}

TEST(BoardTest, KeysFollowPositionNotPath) {
    auto a = NewBoard();
    auto b = NewBoard();
    // Transposition.
    Play(a->board, {"g1f3", "g8f6", "b1c3", "b8c6"});
    Play(b->board, {"b1c3", "b8c6", "g1f3", "g8f6"});
    EXPECT_EQ(a->board.key, b->board.key);
    EXPECT_EQ(a->board.pawnKey, b->board.pawnKey);
    EXPECT_EQ(a->board.materialKey, b->board.materialKey);
    // Out and back.
    auto start = NewBoard();
    auto c = NewBoard();
    Play(c->board, {"g1f3", "g8f6", "f3g1", "f6g8"});
    EXPECT_EQ(c->board.key, start->board.key);
    EXPECT_EQ(ToFen(c->board), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 4 3");
    // A double push leaves an en-passant key even with no pawn to take.
    auto d = NewBoard("4k3/8/8/8/8/8/P7/4K3 w - - 0 1");
    auto e = NewBoard("4k3/8/8/8/8/8/P7/4K3 w - - 0 1");
    Play(d->board, {"a2a4"});
    Play(e->board, {"a2a3", "e8d8", "e1e2", "d8d7", "e2e1", "d7e8", "a3a4"});
    EXPECT_EQ(d->board.materialKey, e->board.materialKey);
    EXPECT_EQ(d->board.key ^ e->board.key, PieceKeyOf(16, White, 0));
    EXPECT_EQ(d->board.pawnKey, e->board.pawnKey);
    // Promotion: one pawn fewer, one queen more.
    auto f = NewBoard("4k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
    const uint64_t before = f->board.materialKey;
    Play(f->board, {"b7b8q"});
    EXPECT_EQ(before ^ f->board.materialKey,
              PieceKeyOf(1, White, Pawn) ^ PieceKeyOf(1, White, Queen));
}

TEST(BoardTest, MakeMoveDetails) {
    auto r = NewBoard();
    Board& b = r->board;
    Play(b, {"e2e4"});
    EXPECT_EQ(b.epSquare, 20);
    EXPECT_EQ(b.key, ComputeBoardSums(b).key);
    EXPECT_EQ(b.fullmoveNumber, 1u);
    EXPECT_EQ(b.halfmoveClock, 0);
    Play(b, {"e7e5"});
    EXPECT_EQ(b.epSquare, 44);
    EXPECT_EQ(b.fullmoveNumber, 2u);

    // Castling moves the rook, drops both rights, and comes back whole.
    auto c = NewBoard("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    const Board saved = c->board;
    Play(c->board, {"e1g1"});
    EXPECT_EQ(c->board.mailbox[5], MakeCode(White, Rook));
    EXPECT_EQ(c->board.mailbox[7], 0);
    EXPECT_EQ(c->board.castling, BlackKingSide | BlackQueenSide);
    EXPECT_EQ(c->history[0].moveFlags & 0x07, MoveCastling | MoveIrreversible);
    ExpectSumsMatch(c->board, "after castling");
    UnmakeMove(c->board, Coord("e1g1"));
    EXPECT_TRUE(SameBytes(saved, c->board));
    // Rook moves and rook captures drop exactly one right.
    Play(c->board, {"a1a2"});
    EXPECT_EQ(c->board.castling, BlackKingSide | BlackQueenSide | WhiteKingSide);
    Play(c->board, {"h8h1"});
    EXPECT_EQ(c->board.castling, BlackQueenSide);
    ExpectSumsMatch(c->board, "after rook capture");

    // En passant: the pawn behind the target goes and comes back.
    auto e = NewBoard("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 2");
    const Board beforeEp = e->board;
    Play(e->board, {"e5d6"});
    EXPECT_EQ(e->board.mailbox[35], 0);
    EXPECT_EQ(e->history[e->board.ply - 1].capturedType, 0);
    EXPECT_EQ(e->history[e->board.ply - 1].moveFlags, MoveEnPassant | MoveCapture | MoveIrreversible);
    ExpectSumsMatch(e->board, "after en passant");
    UnmakeMove(e->board, Coord("e5d6"));
    EXPECT_TRUE(SameBytes(beforeEp, e->board));

    // A promotion onto a1 right after set-up, where the en-passant field reads 0.
    auto a1 = NewBoard("4k3/8/8/8/8/8/p7/4K3 b - - 0 1");
    Play(a1->board, {"a2a1q"});
    EXPECT_EQ(a1->board.mailbox[0], MakeCode(Black, Queen));
    ExpectSumsMatch(a1->board, "after promotion on a1");

    // Promotion with capture.
    auto p = NewBoard("1n2k3/P7/8/8/8/8/8/4K3 w - - 0 1");
    const Board beforePromotion = p->board;
    Play(p->board, {"a7b8n"});
    EXPECT_EQ(p->board.mailbox[57], MakeCode(White, Knight));
    EXPECT_EQ(p->board.colour[White].count[Pawn], 0);
    ExpectSumsMatch(p->board, "after promotion");
    UnmakeMove(p->board, Coord("a7b8n"));
    EXPECT_TRUE(SameBytes(beforePromotion, p->board));
}

// Long random games from many positions: after every move the incremental
// fields equal a fresh computation, null moves come back exactly, and
// unmaking the whole game restores every byte of every earlier position.
TEST(BoardTest, RandomGamesRestoreEveryByte) {
#ifdef TARNOCK_SANITIZED
    const int games = 12, maxPlies = 120;
#else
    const int games = 60, maxPlies = 300;
#endif
    const std::vector<SuiteLine> suite = ReadSuite();
    ASSERT_FALSE(suite.empty());
    Random random(20240611);
    auto record = std::make_unique<BoardWithHistory>();
    Board& b = record->board;
    int totalPlies = 0;
    for (int game = 0; game < games; ++game) {
        ASSERT_TRUE(SetFromFen(suite[random.Below(suite.size())].fen, b));
        std::vector<Board> snapshots;
        std::vector<Move> played;
        // Draw flags do not stop the game: search plays on through them.
        for (int ply = 0; ply < maxPlies; ++ply) {
            const std::vector<Move> moves = LegalMoves(b);
            if (moves.empty()) break;
            snapshots.push_back(b);
            if (!b.InCheck() && random.Below(4) == 0) {
                MakeNullMove(b);
                EXPECT_EQ(b.key, ComputeBoardSums(b).key);
                UnmakeNullMove(b);
                ASSERT_TRUE(SameBytes(snapshots.back(), b)) << "null move at " << ToFen(b);
            }
            const Move m = moves[random.Below(moves.size())];
            const uint64_t forecast = KeyAfterMove(b, m);
            const PieceType mover = TypeOf(b.mailbox[FromSquare(m)]);
            const bool ordinary = !(mover == King && (ToSquare(m) == FromSquare(m) + 2 || FromSquare(m) == ToSquare(m) + 2)) &&
                                  !(mover == Pawn && b.epSquare > 0 && ToSquare(m) == b.epSquare) &&
                                  !(mover == Pawn && (ToSquare(m) ^ FromSquare(m)) == 16);
            const uint8_t rights = b.castling;
            MakeMove(b, m);
            played.push_back(m);
            if (ordinary && rights == b.castling) { EXPECT_EQ(forecast, b.key); }
            ExpectSumsMatch(b, ToFen(b));
            if (HasFailure()) return;
        }
        totalPlies += int(played.size());
        while (!played.empty()) {
            UnmakeMove(b, played.back());
            played.pop_back();
            ASSERT_TRUE(SameBytes(snapshots[played.size()], b)) << "unmake to ply " << played.size();
        }
    }
    EXPECT_GT(totalPlies, games * maxPlies / 2);
}

TEST(BoardTest, HistoryBound) {
    InitEngineTables();
    auto record = std::make_unique<BoardWithHistory>();
    Board& b = record->board;
    // Black to move at 2048 takes the last entry: no room for a move.
    ASSERT_TRUE(SetFromFen("4k3/8/8/8/8/8/8/4K3 b - - 0 2048", b));
    EXPECT_EQ(b.ply, HistorySize - 1);
    EXPECT_TRUE(HistoryFull(b));
    ASSERT_TRUE(SetFromFen("4k3/4p3/8/8/8/8/4P3/4K3 w - - 0 2048", b));
    EXPECT_FALSE(HistoryFull(b));
    MakeMove(b, Coord("e1d1"));
    EXPECT_TRUE(HistoryFull(b));
    // Mate detection at the bound reads and writes nothing beyond the array.
    UpdateMateFlags(b);
    EXPECT_FALSE(b.flags & GameOverFlags);
    EXPECT_FALSE(SetFromFen("4k3/8/8/8/8/8/8/4K3 w - - 0 2049", b));
}

}  // namespace
}  // namespace NEngine::BoardTests
