// FEN reading and writing, including the inputs that must be refused.
#include "board_support.h"

namespace NEngine::BoardTests {
namespace {

TEST(FenTest, RoundTrips) {
    for (const SuiteLine& line : ReadSuite()) {
        auto r = NewBoard(line.fen);
        std::string expected = line.fen;
        expected.erase(expected.find_last_not_of(' ') + 1);
        EXPECT_EQ(ToFen(r->board), expected);
    }
    EXPECT_EQ(ToFen(NewBoard("")->board), StartFen);
    const char* const others[] = {
        "r3k2r/8/8/8/8/8/8/R3K2R b Kq - 17 33",
        "4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 40",
        "rnbqkbnr/pp1ppppp/8/2pP4/8/8/PPP1PPPP/RNBQKBNR w KQkq c6 0 2",
    };
    for (const char* fen : others) { EXPECT_EQ(ToFen(NewBoard(fen)->board), fen); }
}

TEST(FenTest, TolerantReading) {
    // Missing clocks.
    auto r = NewBoard("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    EXPECT_EQ(r->board.halfmoveClock, 0);
    EXPECT_EQ(r->board.fullmoveNumber, 0u);
    EXPECT_EQ(r->board.ply, 0);
    // Repeated blanks and tabs, surrounding white space, trailing text.
    auto spaced = NewBoard("  \trnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR \t w  KQkq\t-  0   1 bm e4;\r\n");
    EXPECT_EQ(ToFen(spaced->board), StartFen);
    // A right without its rook is dropped, not refused; named twice counts once.
    auto rights = NewBoard("r3k2r/8/8/8/8/8/8/R3K3 w KQkqKK - 0 1");
    EXPECT_EQ(rights->board.castling, WhiteQueenSide | BlackKingSide | BlackQueenSide);
    EXPECT_EQ(ToFen(rights->board), "r3k2r/8/8/8/8/8/8/R3K3 w Qkq - 0 1");
    EXPECT_EQ(rights->board.key, ComputeBoardSums(rights->board).key);
    // Move number to ply, and the clock bounded by it.
    auto late = NewBoard("4k3/8/8/8/8/8/8/4K2R b - - 3 40");
    EXPECT_EQ(late->board.ply, 79);
    EXPECT_EQ(late->board.halfmoveClock, 3);
    auto clock = NewBoard("4k3/8/8/8/8/8/8/4K2R w - - 100 10");
    EXPECT_EQ(clock->board.halfmoveClock, 18);
    // Full-move number 0 reads like a missing one.
    auto zero = NewBoard("4k3/8/8/8/8/8/8/4K2R w - - 7 0");
    EXPECT_EQ(zero->board.ply, 0);
    EXPECT_EQ(zero->board.fullmoveNumber, 0u);
    EXPECT_EQ(zero->board.halfmoveClock, 7);
    // A clock beyond a byte saturates instead of wrapping.
    auto big = NewBoard("4k3/8/8/8/8/8/8/4K2R w - - 300");
    EXPECT_EQ(big->board.halfmoveClock, 255);
    EXPECT_TRUE(big->board.flags & FlagFiftyMoves);
}

TEST(FenTest, RefusedInputs) {
    InitEngineTables();
    auto r = std::make_unique<BoardWithHistory>();
    const char* const refused[] = {
        // Black to move while White's king is attacked.
        "4k3/8/8/8/8/8/4r3/4K3 b - - 0 1",
        // Not a piece letter; no match at all.
        "rnbqkbnr/ppppxppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",
        "",  // replaced below by a text of blanks only
        // Fewer than eight ranks.
        "4k3/8/8/8/8/8/4K3 w - - 0 1",
        "k7 w - - 0 1",
        // Kings: none, two, missing one side.
        "8/8/8/8/8/8/8/8 w - - 0 1",
        "4k3/8/8/8/8/8/8/3KK3 w - - 0 1",
        "4k3/8/8/8/8/8/8/8 w - - 0 1",
        // Pawns on the first or last rank.
        "P3k3/8/8/8/8/8/8/4K3 w - - 0 1",
        "4k3/8/8/8/8/8/8/p3K3 w - - 0 1",
        // Material no game can reach.
        "4k3/8/8/8/8/PPPPPPPP/P7/4K3 w - - 0 1",
        "QQQQk3/QQQQ4/8/8/8/8/8/QQK5 w - - 0 1",
        "qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqqqqqq w - - 0 1",
        // En passant: wrong rank, bad characters, no pawn, occupied target.
        "4k3/8/8/3pP3/8/8/8/4K3 w - d3 0 2",
        "4k3/8/8/3pP3/8/8/8/4K3 w - d9 0 2",
        "4k3/8/8/3pP3/8/8/8/4K3 w - dd 0 2",
        "4k3/8/8/3pP3/8/8/8/4K3 w - 6d 0 2",
        "4k3/8/8/4P3/8/8/8/4K3 w - d6 0 2",
        "4k3/8/3n4/3pP3/8/8/8/4K3 w - d6 0 2",
        "4k3/8/8/8/3Pp3/8/8/4K3 b - d6 0 2",
        // Move numbers beyond the history, numbers beyond 32 bits.
        "4k3/8/8/8/8/8/8/4K2R w - - 0 2049",
        "4k3/8/8/8/8/8/8/4K2R b - - 0 4294967295",
        "4k3/8/8/8/8/8/8/4K2R w - - 0 4294967296",
        "4k3/8/8/8/8/8/8/4K2R w - - 99999999999999999999 1",
    };
    for (const char* fen : refused) {
        const std::string text = *fen ? fen : " \t ";
        EXPECT_FALSE(SetFromFen(text, r->board)) << text;
    }
    EXPECT_TRUE(SetFromFen("4k3/8/8/8/8/8/8/4K2R b - - 0 2048", r->board));
    EXPECT_TRUE(SetFromFen("4k3/8/8/8/8/8/8/4K2R w - - 0000000000001", r->board));
    EXPECT_EQ(r->board.ply, 0);

    // Very long texts are cut, never a crash; the position part still reads.
    EXPECT_FALSE(SetFromFen(std::string(200000, 'p') + " w", r->board));
    EXPECT_TRUE(SetFromFen(StartFen + std::string(200000, ' ') + "x", r->board));
    EXPECT_TRUE(SetFromFen(StartFen + " " + std::string(200000, 'x'), r->board));
    EXPECT_FALSE(SetFromFen(StartFen + std::string(200000, '1'), r->board));
}

TEST(FenTest, WritingRefusesInconsistentBoards) {
    auto r = NewBoard("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    Board b = r->board;
    b.mailbox[7] = 0;  // the h1 rook gone while the right stays
    EXPECT_EQ(ToFen(b), "");
    Board e = r->board;
    e.epSquare = 44;  // no Black pawn in front of e6
    EXPECT_EQ(ToFen(e), "");
}

// Mutated and random texts: refused, or set up consistently. Under the
// sanitizers this is what shows that no input reads or writes out of bounds.
TEST(FenTest, MutatedTextsNeverBreakTheBoard) {
#ifdef TARNOCK_SANITIZED
    const int rounds = 3000;
#else
    const int rounds = 20000;
#endif
    const std::vector<SuiteLine> suite = ReadSuite();
    const std::string alphabet = "pnbrqkPNBRQK12345678/ wb-KQkqacdefgh09\t";
    Random random(5);
    auto r = std::make_unique<BoardWithHistory>();
    Board& b = r->board;
    int accepted = 0;
    for (int round = 0; round < rounds; ++round) {
        std::string text = suite[random.Below(suite.size())].fen;
        for (int edits = 1 + int(random.Below(3)); edits > 0; --edits) {
            const size_t at = random.Below(text.size() + 1);
            const char ch = alphabet[random.Below(alphabet.size())];
            switch (random.Below(3)) {
            case 0: text.insert(at, 1, ch); break;
            case 1: if (at < text.size()) text[at] = ch; break;
            default: if (at < text.size()) text.erase(at, 1); break;
            }
        }
        if (round % 10 == 0) {
            text.clear();
            for (size_t n = random.Below(90); n > 0; --n) text += alphabet[random.Below(alphabet.size())];
        }
        if (!SetFromFen(text, b)) continue;
        accepted += 1;
        const BoardSums sums = ComputeBoardSums(b);
        ASSERT_EQ(b.key, sums.key) << text;
        ASSERT_EQ(b.materialKey, sums.materialKey) << text;
        const std::string fen = ToFen(b);
        ASSERT_FALSE(fen.empty()) << text;
        const uint64_t key = b.key;
        ASSERT_TRUE(SetFromFen(fen, b)) << text;
        ASSERT_EQ(b.key, key) << text;
        for (int ply = 0; ply < 4 && !HistoryFull(b); ++ply) {
            const std::vector<Move> moves = LegalMoves(b);
            if (moves.empty()) break;
            MakeMove(b, moves[random.Below(moves.size())]);
            ASSERT_EQ(b.key, ComputeBoardSums(b).key) << text;
        }
    }
    EXPECT_GT(accepted, rounds / 20);
}

// The plies before a set-up carry no stale entries from an earlier game.
TEST(FenTest, SetUpClearsEarlierHistory) {
    auto r = NewBoard();
    Board& b = r->board;
    const std::vector<std::string> cycle = {"g1f3", "g8f6", "f3g1", "f6g8"};
    Play(b, cycle);
    Play(b, cycle);
    ASSERT_TRUE(SetFromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 8 5", b));
    EXPECT_EQ(b.repetitionCount, 1);
    EXPECT_FALSE(b.flags & FlagRepetition);
    for (int i = 0; i < b.ply; ++i) { EXPECT_EQ(r->history[i].move | r->history[i].moveFlags, 0); }
}

}  // namespace
}  // namespace NEngine::BoardTests
