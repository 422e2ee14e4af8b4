// PGN game records: the writer's exact text, reading back, set-up games and
// input the reader must survive.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"
#include "board/notation.h"

using namespace NEngine;

namespace {

using Record = std::unique_ptr<BoardWithHistory>;

Record Position(const std::string& fen) {
    InitEngineTables();
    auto record = std::make_unique<BoardWithHistory>();
    EXPECT_TRUE(SetFromFen(fen, record->board)) << fen;
    return record;
}

// Plays SAN moves the way the protocols play game moves.
void Play(Board& board, const std::vector<std::string>& moves) {
    for (const std::string& san : moves) {
        const Move move = SanToMove(board, san);
        ASSERT_NE(move, NullMove) << san;
        ASSERT_TRUE(IsLegalMove(board, move)) << san;
        MakeMove(board, move);
        UpdateMateFlags(board);
    }
}

std::string Written(const Board& board) {
    std::ostringstream out;
    WritePgn(board, out);
    return out.str();
}

Record Read(const std::string& text) {
    auto record = Position(StartFen);
    std::istringstream in(text);
    ReadPgn(record->board, in);
    return record;
}

// The board's incremental state still agrees with its pieces.
void ExpectConsistent(const Board& b) {
    EXPECT_EQ(ComputeBoardSums(b).key, b.key);
    EXPECT_EQ(PopCount(b.Pieces(White, King)), 1);
    EXPECT_EQ(PopCount(b.Pieces(Black, King)), 1);
}

void ExpectSamePosition(const Board& a, const Board& b) {
    EXPECT_EQ(ToFen(a), ToFen(b));
    EXPECT_EQ(a.key, b.key);
    EXPECT_EQ(a.ply, b.ply);
    EXPECT_EQ(a.flags, b.flags);
}

}  // namespace

TEST(PgnWriting, GameFromTheStartReadsBackToTheSamePosition) {
    auto game = Position(StartFen);
    Play(game->board, {"e4", "Nf6", "e5", "d5", "exd6", "cxd6", "Nf3", "g6", "Bc4", "Bg7", "O-O", "O-O",
                       "d4", "Nc6", "Re1", "Bg4", "c3"});
    const std::string text = Written(game->board);
    EXPECT_EQ(text,
              "[Result \"*\"]\n"
              "1. e4 Nf6\n2. e5 d5\n3. exd6 cxd6\n4. Nf3 g6\n5. Bc4 Bg7\n6. O-O O-O\n"
              "7. d4 Nc6\n8. Re1 Bg4\n9. c3 *\n\n");
    auto back = Read(text);
    ExpectSamePosition(back->board, game->board);
    for (int i = 0; i < game->board.ply; ++i) EXPECT_EQ(back->history[i].move, game->history[i].move);
    // Writing does not disturb the game it writes.
    EXPECT_EQ(Written(game->board), text);
}

TEST(PgnWriting, ResultsFollowTheFinalStatus) {
    auto fools = Position(StartFen);
    Play(fools->board, {"f3", "e5", "g4", "Qh4#"});
    ASSERT_TRUE(fools->board.flags & FlagCheckmate);
    const std::string text = Written(fools->board);
    EXPECT_EQ(text, "[Result \"0-1\"]\n1. f3 e5\n2. g4 Qh4#\n0-1\n\n");
    auto back = Read(text);
    ExpectSamePosition(back->board, fools->board);
    EXPECT_TRUE(back->board.flags & FlagCheckmate);

    // A one-move game: the mate found after the move must not make the
    // starting position look mated too.
    const std::string mateFen = "6k1/5ppp/8/8/8/8/8/R3K3 w - - 0 1";
    auto mate = Position(mateFen);
    Play(mate->board, {"Ra8#"});
    // The rules may also copy the final status into the saved state word
    // (flags at bytes 6..7); the writer must cope with either choice.
    std::memcpy(&mate->history[0].state.bytes[6], &mate->board.flags, sizeof(StatusFlags));
    EXPECT_EQ(Written(mate->board),
              "[SetUp \"1\"] \n[FEN \"" + mateFen + "\"]\n[Result \"1-0\"]\n1. Ra8# 1-0\n\n");

    const std::string staleFen = "7k/8/6K1/8/8/8/8/5Q2 w - - 0 1";
    auto stale = Position(staleFen);
    Play(stale->board, {"Qf7"});
    ASSERT_TRUE(stale->board.flags & FlagStalemate);
    const std::string staleText = Written(stale->board);
    EXPECT_EQ(staleText, "[SetUp \"1\"] \n[FEN \"" + staleFen + "\"]\n[Result \"1/2-1/2\"]\n1. Qf7 1/2-1/2\n\n");
    auto staleBack = Read(staleText);
    EXPECT_TRUE(staleBack->board.flags & FlagStalemate);

    auto empty = Position(StartFen);
    EXPECT_EQ(Written(empty->board), "[Result \"*\"]\n*\n\n");
}

TEST(PgnWriting, SetUpGamesStartingWithBlackOrWithAnOldHistory) {
    const std::string fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 3 12";
    auto game = Position(fen);
    Play(game->board, {"Nf6", "Nc3", "Bc5", "Bc4"});
    const std::string text = Written(game->board);
    EXPECT_EQ(text,
              "[SetUp \"1\"] \n[FEN \"" + fen + "\"]\n[Result \"*\"]\n"
              "12.  ... Nf6\n13. Nc3 Bc5\n14. Bc4 *\n\n");
    auto back = Read(text);
    ExpectSamePosition(back->board, game->board);

    // The record played a long game before this set-up: its stale entries
    // below the set-up ply belong to no move of this game.
    auto reused = Position(StartFen);
    Board& b = reused->board;
    for (int round = 0; round < 30; ++round) Play(b, {"Nf3", "Nf6", "Ng1", "Ng8"});
    const std::string promotionFen = "8/P6k/8/8/8/8/6K1/8 w - - 0 40";
    ASSERT_TRUE(SetFromFen(promotionFen, b));
    Play(b, {"a8=Q", "Kg6", "Qb8"});
    const std::string promotionText = Written(b);
    EXPECT_EQ(promotionText,
              "[SetUp \"1\"] \n[FEN \"" + promotionFen + "\"]\n[Result \"*\"]\n"
              "40. a8=Q Kg6\n41. Qb8 *\n\n");
    ExpectSamePosition(Read(promotionText)->board, b);
}

TEST(PgnReading, TagsDecideTheStartingPosition) {
    auto fromStart = Position(StartFen);
    Play(fromStart->board, {"e4", "e5"});
    const std::string fen = "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1";
    // A FEN tag counts only after SetUp "1".
    ExpectSamePosition(Read("[FEN \"" + fen + "\"]\n1. e4 e5 *\n")->board, fromStart->board);
    ExpectSamePosition(Read("[FEN \"" + fen + "\"]\n[SetUp \"1\"]\n1. e4 e5 *\n")->board, fromStart->board);
    ExpectSamePosition(Read("[SetUp \"0\"]\n[FEN \"" + fen + "\"]\n1. e4 e5 *\n")->board, fromStart->board);

    auto setUp = Read("[SetUp \"1\"]\n[FEN \"" + fen + "\"]\n1. e4 Kd7 *\n");
    auto expected = Position(fen);
    Play(expected->board, {"e4", "Kd7"});
    ExpectSamePosition(setUp->board, expected->board);

    // A FEN that cannot be set up leaves the board as it was, moves unread.
    auto kept = Position("4k3/8/8/8/8/8/8/R3K3 w Q - 0 7");
    const Board before = kept->board;
    for (const char* bad : {"4k3/4r3/8/8/8/8/8/4K3 b - - 0 1", "4k3/8/8/8/8/8/8/4K2X w - - 0 1", "4k3/8/8/8/8/8/8/4K3 w - e6 0 1"}) {
        std::istringstream in(std::string("[SetUp \"1\"]\n[FEN \"") + bad + "\"]\n1. e4 *\n");
        ReadPgn(kept->board, in);
        ExpectSamePosition(kept->board, before);
    }
}

TEST(PgnReading, SkipsCommentsAnnotationsAndLineEndsOfARealFile) {
    std::ifstream file(std::string(TARNOCK_TEST_DATA) + "/sample.pgn", std::ios::binary);
    ASSERT_TRUE(file.good());
    auto record = Position(StartFen);
    ReadPgn(record->board, file);
    auto expected = Position(StartFen);
    Play(expected->board, {"e4", "e5", "Nf3", "Nc6", "Bb5", "a6", "Ba4", "Nf6", "O-O", "Be7", "Re1", "b5",
                           "Bb3", "d6", "c3", "O-O", "h3", "Nb8", "d4", "Nbd7", "Nbd2", "Bb7", "Bc2", "Re8",
                           "a4", "Bf8", "Bd3", "c6", "b4", "Rc8"});
    ExpectSamePosition(record->board, expected->board);
}

TEST(PgnReading, KeepsTheMovesBeforeWhatItCannotRead) {
    auto plies = [](const std::string& text) { return Read(text)->board.ply; };
    EXPECT_EQ(plies(""), 0);
    EXPECT_EQ(plies("\n\r\n \t \n"), 0);
    EXPECT_EQ(plies("1. e4 e5 2. Ke3 Nc6 *"), 2);                    // illegal king move
    EXPECT_EQ(plies("1. e4 e5 2. Nf3 (2. f4 exf4) Nc6 *"), 3);       // variation read as moves
    EXPECT_EQ(plies("1. e4 {a { nested } comment} e5 *"), 1);        // the comment ends at the first }
    EXPECT_EQ(plies("1. e4 e5 { never closed\n2. Nf3 Nc6\n"), 2);
    EXPECT_EQ(plies("[Event]\n[Site\n[White \"no close\n1. d4 d5 2. c4 *"), 3);
    EXPECT_EQ(plies("1. e4 e5 1-0 2. Nf3 Nc6"), 2);
    EXPECT_EQ(plies("1. e4 e5 0-1 2. Nf3"), 2);
    EXPECT_EQ(plies("1. e4 e5 1/2-1/2 2. Nf3"), 2);
    EXPECT_EQ(plies("1. e4 e5 * 2. Nf3"), 2);
    EXPECT_EQ(plies("1.e4 e5 2.Nf3 Nc6 3.Bb5 a6 *"), 6);
    EXPECT_EQ(plies("1. e2e4 e7e5 2. g1f3 *"), 3);                   // coordinate tokens too
    EXPECT_EQ(plies("1. e4 1... e5 2. Nf3 2... Nc6 *"), 4);
    EXPECT_EQ(plies("1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Bxc6 dxc6 5. O-O f6 *"), 10);
    EXPECT_EQ(plies("1. e4 e5\n[Event \"next\"]\n2. Nf3 *"), 3);
    EXPECT_EQ(plies("1. f3 e5 2. g4 Qh4# 3. Kf2 *"), 4);
    // Stopping early still leaves the mate visible.
    EXPECT_TRUE(Read("1. f3 e5 2. g4 Qh4# 3. Kf2 *")->board.flags & FlagCheckmate);
}

TEST(PgnReading, SurvivesRandomAndTruncatedInput) {
    auto game = Position(StartFen);
    Play(game->board, {"e4", "f5", "exf5", "g5", "fxg6", "Nf6", "gxh7", "Rg8", "hxg8=Q", "Nxg8", "Qh5#"});
    std::string text = Written(game->board);
    text.insert(text.find("1. "), "{ a comment } ");
    for (size_t n = 0; n <= text.size(); ++n) {
        auto record = Read(text.substr(0, n));
        ExpectConsistent(record->board);
        EXPECT_LE(record->board.ply, game->board.ply);
    }
    ExpectSamePosition(Read(text)->board, game->board);

    // Random texts drawn mostly from PGN's own characters, some raw bytes.
    const std::string alphabet = "{}[]()\"%.*-/=+#!?$;0123456789abcdefghNBRQKOxP \t\r\n";
    std::mt19937 random(20240611);
    for (int round = 0; round < 1500; ++round) {
        std::string input(random() % 400, ' ');
        for (char& c : input)
            c = random() % 8 == 0 ? char(random() % 256) : alphabet[random() % alphabet.size()];
        auto record = Read(input);
        ExpectConsistent(record->board);
        // Whatever was read can be written and read again.
        ExpectSamePosition(Read(Written(record->board))->board, record->board);
        if (HasFailure()) {
            ADD_FAILURE() << "input: " << input;
            break;
        }
    }
}

TEST(PgnReading, HandlesInputOfManyMegabytes) {
    // One comment of several megabytes, split into long lines.
    std::string huge = "[Event \"" + std::string(1 << 20, 'v') + "\"]\n{";
    for (int line = 0; line < 8; ++line) huge += std::string(1 << 20, line % 2 ? 'x' : '[') + "\n";
    huge += "} 1. e4 e5 *";
    EXPECT_EQ(Read(huge)->board.ply, 2);
    // A single token of megabytes names no move.
    EXPECT_EQ(Read("1. e4 " + std::string(4 << 20, 'e') + " e5 *")->board.ply, 1);

    // Far more moves than the history holds: applying stops at its bound.
    std::string shuffle;
    for (int i = 0; i < 40000; ++i) shuffle += "Nf3 Nf6 Ng1 Ng8 ";
    auto record = Read(shuffle);
    const Board& b = record->board;
    EXPECT_TRUE(HistoryFull(b));
    EXPECT_EQ(b.ply, HistorySize - 1);
    ExpectConsistent(b);
    // The full game writes and reads back.
    ExpectSamePosition(Read(Written(b))->board, b);
}
