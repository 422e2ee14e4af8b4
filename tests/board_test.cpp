// Board record, keys and make/unmake.
#include <algorithm>
#include <cstring>

#include "board/primitives.h"
#include "support.h"

namespace NEngine::Tests {
namespace {

// Every incremental field against a fresh computation from the mailbox.
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

TEST(BoardTest, CopiesKeepTheirOwnHistoryAndBadPiecesAreIgnored) {
    auto one = NewBoard();
    Play(one->board, {"e2e4", "e7e5"});
    // A copy that pointed at the original's history would corrupt it on unmake.
    BoardWithHistory copy(*one);
    EXPECT_EQ(copy.board.history, copy.history);
    UnmakeMove(copy.board, Coord("e7e5"));
    UnmakeMove(copy.board, Coord("e2e4"));
    EXPECT_EQ(ToFen(copy.board), StartFen);
    auto two = NewBoard();
    CopyBoard(two->board, one->board);
    EXPECT_EQ(two->board.history, two->history);

    Board scratch = two->board;
    ResetBoard(scratch);
    AddPiece(scratch, White, King, 4);
    const Board before = scratch;
    AddPiece(scratch, White, NoPiece, 5);
    AddPiece(scratch, White, Queen, 64);
    AddPiece(scratch, Black, Queen, 4);
    AddPiece(scratch, White, PieceType(7), 6);
    EXPECT_TRUE(SameBytes(before, scratch));
}

TEST(BoardTest, KeysAreDistinctAndMarkEnPassant) {
    // Distinct non-zero keys (the added 0 shows up as a duplicate), or
    // repetitions would be seen where there are none.
    std::vector<uint64_t> all(PieceKey, PieceKey + 1024);
    all.insert(all.end(), {CastlingKey[0], CastlingKey[1], CastlingKey[2], CastlingKey[3], SideKey, 0});
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());

    // A double push leaves an en-passant key even with no pawn to take.
    auto d = NewBoard("4k3/8/8/8/8/8/P7/4K3 w - - 0 1");
    auto e = NewBoard("4k3/8/8/8/8/8/P7/4K3 w - - 0 1");
    Play(d->board, {"a2a4"});
    Play(e->board, {"a2a3", "e8d8", "e1e2", "d8d7", "e2e1", "d7e8", "a3a4"});
    EXPECT_EQ(d->board.key ^ e->board.key, PieceKeyOf(16, White, 0));
    EXPECT_EQ(d->board.pawnKey, e->board.pawnKey);
}

// A promotion onto a1 right after set-up, where the en-passant field reads 0.
TEST(BoardTest, PromotionOntoA1AfterSetUp) {
    auto a1 = NewBoard("4k3/8/8/8/8/8/p7/4K3 b - - 0 1");
    const Board before = a1->board;
    Play(a1->board, {"a2a1q"});
    EXPECT_EQ(a1->board.mailbox[0], MakeCode(Black, Queen));
    ExpectSumsMatch(a1->board, "after promotion on a1");
    UnmakeMove(a1->board, Coord("a2a1q"));
    EXPECT_TRUE(SameBytes(before, a1->board));
}

// Long random games from many positions: after every move the incremental
// fields equal a fresh computation, null moves come back exactly, and
// unmaking the whole game restores every byte of every earlier position.
TEST(BoardTest, RandomGamesRestoreEveryByte) {
    const int games = Sanitized ? 12 : 60, maxPlies = Sanitized ? 120 : 300;
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
            MakeMove(b, m);
            played.push_back(m);
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

}  // namespace
}  // namespace NEngine::Tests
