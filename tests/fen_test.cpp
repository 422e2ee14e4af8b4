// FEN reading and writing, including the inputs that must be refused.
#include "support.h"

namespace NEngine::Tests {
namespace {

TEST(FenTest, RoundTrips) {
    for (const SuiteLine& line : ReadSuite()) {
        auto r = NewBoard(line.fen);
        std::string expected = line.fen;
        expected.erase(expected.find_last_not_of(' ') + 1);
        EXPECT_EQ(ToFen(r->board), expected);
    }
    for (const char* fen : {"r3k2r/8/8/8/8/8/8/R3K2R b Kq - 17 33", "4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 40"})
        EXPECT_EQ(ToFen(NewBoard(fen)->board), fen);
}

TEST(FenTest, TolerantReading) {
    // Missing clocks, and a full-move number of 0, read as absent.
    auto r = NewBoard("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    EXPECT_EQ(r->board.ply, 0);
    auto zero = NewBoard("4k3/8/8/8/8/8/8/4K2R w - - 7 0");
    EXPECT_EQ(zero->board.ply, 0);
    EXPECT_EQ(zero->board.fullmoveNumber, 0u);
    EXPECT_EQ(zero->board.halfmoveClock, 7);
    // Blanks, tabs and trailing text.
    auto spaced = NewBoard("  \trnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR \t w  KQkq\t-  0   1 bm e4;\r\n");
    EXPECT_EQ(ToFen(spaced->board), StartFen);
    // A right without its rook is dropped, not refused.
    auto rights = NewBoard("r3k2r/8/8/8/8/8/8/R3K3 w KQkq - 0 1");
    EXPECT_EQ(ToFen(rights->board), "r3k2r/8/8/8/8/8/8/R3K3 w Qkq - 0 1");
    // Move number to ply, and the clock bounded by it.
    auto late = NewBoard("4k3/8/8/8/8/8/8/4K2R b - - 100 10");
    EXPECT_EQ(late->board.ply, 19);
    EXPECT_EQ(late->board.halfmoveClock, 19);
    // A clock beyond a byte saturates instead of wrapping.
    auto big = NewBoard("4k3/8/8/8/8/8/8/4K2R w - - 300");
    EXPECT_EQ(big->board.halfmoveClock, 255);
}

TEST(FenTest, RefusedInputs) {
    auto r = NewBoard();
    const char* const refused[] = {
        "4k3/8/8/8/8/8/4r3/4K3 b - - 0 1",  // the side not to move is in check
        "rnbqkbnr/ppppxppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",
        " \t ", "4k3/8/8/8/8/8/4K3 w - - 0 1",  // blank, seven ranks
        "8/8/8/8/8/8/8/8 w - - 0 1", "4k3/8/8/8/8/8/8/3KK3 w - - 0 1",  // not one king per side
        // Pawns on the back rank, more pawns than a side has, more men than
        // a side can have (the sums would overflow).
        "P3k3/8/8/8/8/8/8/4K3 w - - 0 1", "4k3/8/8/8/8/PPPPPPPP/P7/4K3 w - - 0 1",
        "qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqqqqqq/qqqqqqqq w - - 0 1",
        // En passant: wrong rank, no pawn, occupied target.
        "4k3/8/8/3pP3/8/8/8/4K3 w - d3 0 2", "4k3/8/8/4P3/8/8/8/4K3 w - d6 0 2", "4k3/8/3n4/3pP3/8/8/8/4K3 w - d6 0 2",
        // Ply 4096 and beyond, numbers beyond 32 bits.
        "4k3/8/8/8/8/8/8/4K2R w - - 0 2049", "4k3/8/8/8/8/8/8/4K2R w - - 0 4294967296",
        "4k3/8/8/8/8/8/8/4K2R w - - 99999999999999999999 1",
    };
    for (const char* fen : refused) { EXPECT_FALSE(SetFromFen(fen, r->board)) << fen; }
    EXPECT_TRUE(SetFromFen("4k3/8/8/8/8/8/8/4K2R b - - 0 2048", r->board));
    EXPECT_TRUE(SetFromFen("4k3/8/8/8/8/8/8/4K2R w - - 0 0000000000001", r->board));
    // Very long texts are cut, never a crash.
    EXPECT_FALSE(SetFromFen(std::string(200000, 'p') + " w", r->board));
    EXPECT_TRUE(SetFromFen(StartFen + " " + std::string(200000, 'x'), r->board));
}

// Mutated texts: refused, or set up consistently. Under the
// sanitizers this is what shows that no input reads or writes out of bounds.
TEST(FenTest, MutatedTextsNeverBreakTheBoard) {
    const int rounds = Sanitized ? 3000 : 20000;
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
        if (!SetFromFen(text, b)) continue;
        accepted += 1;
        const BoardSums sums = ComputeBoardSums(b);
        ASSERT_TRUE(b.key == sums.key && b.materialKey == sums.materialKey) << text;
        // What was accepted writes out and reads back as the same position.
        const uint64_t key = b.key;
        ASSERT_TRUE(SetFromFen(ToFen(b), b) && b.key == key) << text;
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
}  // namespace NEngine::Tests
