// PGN game records: the writer's exact text, reading back, set-up games and
// input the reader must survive.
#include <cstring>
#include <random>
#include <sstream>

#include "board/notation.h"
#include "support.h"

namespace NEngine::Tests {
namespace {

// Plays SAN moves the way the protocols play game moves.
void PlaySan(Board& board, const std::vector<std::string>& moves) {
    for (const std::string& san : moves) {
        const Move move = SanToMove(board, san);
        ASSERT_TRUE(move != NullMove && IsLegalMove(board, move)) << san;
        MakeMove(board, move);
        UpdateMateFlags(board);
    }
}

std::string Written(const Board& board) {
    std::ostringstream out;
    WritePgn(board, out);
    return out.str();
}

std::unique_ptr<BoardWithHistory> Read(const std::string& text) {
    auto record = NewBoard();
    std::istringstream in(text);
    ReadPgn(record->board, in);
    return record;
}

void ExpectSamePosition(const Board& a, const Board& b) {
    EXPECT_EQ(ToFen(a), ToFen(b));
    EXPECT_EQ(a.key, b.key);
    EXPECT_EQ(a.ply, b.ply);
    EXPECT_EQ(a.flags, b.flags);
}

TEST(PgnWriting, ExactTextThatReadsBackToTheSamePosition) {
    const struct {
        const char* fen;  // nullptr: the start position, no set-up tags
        std::vector<std::string> moves;
        const char* body;
    } games[] = {
        {nullptr, {"e4", "Nf6", "e5", "d5", "exd6", "cxd6", "Nf3", "g6", "Bc4", "Bg7", "O-O", "O-O", "c3"},
         "[Result \"*\"]\n1. e4 Nf6\n2. e5 d5\n3. exd6 cxd6\n4. Nf3 g6\n5. Bc4 Bg7\n6. O-O O-O\n7. c3 *\n\n"},
        {nullptr, {"f3", "e5", "g4", "Qh4#"}, "[Result \"0-1\"]\n1. f3 e5\n2. g4 Qh4#\n0-1\n\n"},
        {nullptr, {}, "[Result \"*\"]\n*\n\n"},
        {"6k1/5ppp/8/8/8/8/8/R3K3 w - - 0 1", {"Ra8#"}, "[Result \"1-0\"]\n1. Ra8# 1-0\n\n"},
        {"7k/8/6K1/8/8/8/8/5Q2 w - - 0 1", {"Qf7"}, "[Result \"1/2-1/2\"]\n1. Qf7 1/2-1/2\n\n"},
        {"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 3 12", {"Nf6", "Nc3", "Bc5", "Bc4"},
         "[Result \"*\"]\n12.  ... Nf6\n13. Nc3 Bc5\n14. Bc4 *\n\n"},
        {"8/P6k/8/8/8/8/6K1/8 w - - 0 40", {"a8=Q", "Kg6", "Qb8"}, "[Result \"*\"]\n40. a8=Q Kg6\n41. Qb8 *\n\n"},
    };
    for (const auto& game : games) {
        const std::string fen = game.fen ? game.fen : StartFen;
        auto record = NewBoard();
        Board& b = record->board;
        // A long game first: its stale entries must not count as moves of
        // the game set up over it.
        for (int round = 0; round < 30; ++round) PlaySan(b, {"Nf3", "Nf6", "Ng1", "Ng8"});
        ASSERT_TRUE(SetFromFen(fen, b));
        const int start = b.ply;
        PlaySan(b, game.moves);
        // The final status copied into the first saved state word (flags at
        // bytes 6..7) must not make the starting position look finished.
        if (b.ply > start) std::memcpy(&record->history[start].state.bytes[6], &b.flags, sizeof(StatusFlags));
        const std::string text = Written(b);
        EXPECT_EQ(text, (game.fen ? "[SetUp \"1\"] \n[FEN \"" + fen + "\"]\n" : std::string()) + game.body);
        ExpectSamePosition(Read(text)->board, b);
        EXPECT_EQ(Written(b), text);  // writing leaves the game alone
    }
}

TEST(PgnReading, TagsDecideTheStartingPosition) {
    auto fromStart = NewBoard();
    PlaySan(fromStart->board, {"e4", "e5"});
    const std::string fen = "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1";
    // A FEN tag counts only with SetUp "1", before or after it (front ends
    // write both orders).
    ExpectSamePosition(Read("[FEN \"" + fen + "\"]\n1. e4 e5 *\n")->board, fromStart->board);
    ExpectSamePosition(Read("[FEN \"" + fen + "\"]\n[SetUp \"0\"]\n1. e4 e5 *\n")->board, fromStart->board);
    auto expected = NewBoard(fen);
    PlaySan(expected->board, {"e4", "Kd7"});
    ExpectSamePosition(Read("[SetUp \"1\"]\n[FEN \"" + fen + "\"]\n1. e4 Kd7 *\n")->board, expected->board);
    ExpectSamePosition(Read("[FEN \"" + fen + "\"]\n[SetUp \"1\"]\n1. e4 Kd7 *\n")->board, expected->board);

    // A FEN that cannot be set up leaves the board as it was, moves unread.
    auto kept = NewBoard("4k3/8/8/8/8/8/8/R3K3 w Q - 0 7");
    const Board before = kept->board;
    std::istringstream in("[SetUp \"1\"]\n[FEN \"4k3/4r3/8/8/8/8/8/4K3 b - - 0 1\"]\n1. e4 *\n");
    ReadPgn(kept->board, in);
    ExpectSamePosition(kept->board, before);
}

TEST(PgnReading, SkipsCommentsAnnotationsAndLineEndsOfARealFile) {
    std::ifstream file(std::string(TARNOCK_TEST_DATA) + "/sample.pgn", std::ios::binary);
    ASSERT_TRUE(file.good());
    auto record = NewBoard();
    ReadPgn(record->board, file);
    auto expected = NewBoard();
    PlaySan(expected->board, {"e4", "e5", "Nf3", "Nc6", "Bb5", "a6", "Ba4", "Nf6", "O-O", "Be7", "Re1", "b5",
                              "Bb3", "d6", "c3", "O-O", "h3", "Nb8", "d4", "Nbd7", "Nbd2", "Bb7", "Bc2", "Re8",
                              "a4", "Bf8", "Bd3", "c6", "b4", "Rc8"});
    ExpectSamePosition(record->board, expected->board);
}

TEST(PgnReading, KeepsTheMovesBeforeWhatItCannotRead) {
    const std::pair<const char*, int> cases[] = {
        {"\n\r\n \t \n", 0},
        {"1. e4 e5 2. Ke3 Nc6 *", 2},                 // illegal king move
        {"1. e4 {a { nested } comment} e5 *", 1},     // the comment ends at the first }
        {"1. e4 e5 { never closed\n2. Nf3 Nc6\n", 2},
        {"[Event]\n[Site\n[White \"no close\n1. d4 d5 2. c4 *", 3},
        {"1. e4 e5 1/2-1/2 2. Nf3", 2},
        {"1.e4 1... e5 2.Nf3 2... Nc6 *", 4},
        {"1. e2e4 e7e5 2. g1f3 *", 3},                // coordinate tokens too
        {"1. f3 e5 2. g4 Qh4# 3. Kf2 *", 4},
    };
    for (const auto& [text, plies] : cases) { EXPECT_EQ(Read(text)->board.ply, plies) << text; }
}

TEST(PgnReading, SurvivesTruncatedRandomAndHugeInput) {
    auto game = NewBoard();
    PlaySan(game->board, {"e4", "f5", "exf5", "g5", "fxg6", "Nf6", "gxh7", "Rg8", "hxg8=Q", "Nxg8", "Qh5#"});
    const std::string text = "{ a comment } " + Written(game->board);
    for (size_t n = 0; n <= text.size(); ++n) {
        auto record = Read(text.substr(0, n));
        EXPECT_EQ(ComputeBoardSums(record->board).key, record->board.key);
        EXPECT_LE(record->board.ply, game->board.ply);
    }

    // Random texts drawn mostly from PGN's own characters, some raw bytes:
    // whatever was read is consistent and writes and reads back.
    const std::string alphabet = "{}[]()\"%.*-/=+#!?$;0123456789abcdefghNBRQKOxP \t\r\n";
    std::mt19937 random(20240611);
    for (int round = 0; round < 1500 && !HasFailure(); ++round) {
        std::string input(random() % 400, ' ');
        for (char& c : input) c = random() % 8 == 0 ? char(random() % 256) : alphabet[random() % alphabet.size()];
        auto record = Read(input);
        EXPECT_EQ(ComputeBoardSums(record->board).key, record->board.key) << input;
        ExpectSamePosition(Read(Written(record->board))->board, record->board);
    }

    // Megabytes in one comment and one token; far more moves than the history holds.
    std::string huge = "{";
    for (int line = 0; line < 8; ++line) huge += std::string(1 << 20, line % 2 ? 'x' : '[') + "\n";
    EXPECT_EQ(Read(huge + "} 1. e4 e5 *")->board.ply, 2);
    EXPECT_EQ(Read("1. e4 " + std::string(4 << 20, 'e') + " e5 *")->board.ply, 1);
    std::string shuffle;
    for (int i = 0; i < 40000; ++i) shuffle += "Nf3 Nf6 Ng1 Ng8 ";
    auto record = Read(shuffle);
    EXPECT_EQ(record->board.ply, HistorySize - 1);
    ExpectSamePosition(Read(Written(record->board))->board, record->board);
}

}  // namespace
}  // namespace NEngine::Tests
