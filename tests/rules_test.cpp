// Check detection, legality tests, move generation and draw rules.
#include <algorithm>

#include "support.h"

namespace NEngine::Tests {
namespace {

bool Contains(const std::vector<Move>& moves, Move m) { return std::find(moves.begin(), moves.end(), m) != moves.end(); }

// Enemy pieces attacking the king of the side to move, from scratch.
BitMask Checkers(const Board& b) {
    const Colour us = b.sideToMove;
    const ColourBlock& e = b.colour[Opponent(us)];
    const int k = b.kingSquare[us];
    const BitMask occ = b.Occupied();
    return (PawnAttacks(us, k) & e.pieces[Pawn]) | (KnightAttacks(k) & e.pieces[Knight]) |
           (BishopAttacks(k, occ) & (e.pieces[Bishop] | e.pieces[Queen])) |
           (RookAttacks(k, occ) & (e.pieces[Rook] | e.pieces[Queen]));
}

// Legal by the definition: after the move the mover's king is not attacked;
// castling also neither starts in nor passes through an attacked square.
bool LegalByMaking(Board& b, Move m) {
    const Colour mover = b.sideToMove;
    const int from = FromSquare(m), to = ToSquare(m);
    if (TypeOf(b.mailbox[from]) == King && (to == from + 2 || from == to + 2)) {
        const BitMask empty = ~b.Occupied();
        if (IsAttackedThrough(b, Opponent(mover), from, empty)) return false;
        if (IsAttackedThrough(b, Opponent(mover), (from + to) / 2, empty)) return false;
    }
    MakeMove(b, m);
    const bool legal = !IsAttackedThrough(b, b.sideToMove, b.kingSquare[mover], ~b.Occupied());
    UnmakeMove(b, m);
    return legal;
}

// Every test judged on one position; returns the number of moves checked.
int CheckPosition(Board& b) {
    const std::vector<Move> generated = Generated(b);
    const std::string fen = ToFen(b);
    // Pseudo-legality agrees with the generator on every 15-bit code.
    for (int code = 0; code < 0x8000; ++code) {
        const Move m = Move(code);
        if (IsPseudoLegal(b, m) != Contains(generated, m)) {
            ADD_FAILURE() << fen << " move " << code << " pseudo-legal " << IsPseudoLegal(b, m);
            return 0;
        }
    }
    for (const Move m : generated) {
        const bool legal = LegalByMaking(b, m);
        EXPECT_EQ(IsLegalMove(b, m), legal) << fen << " move " << m;
        // In check, IsLegal expects a generator evasion: the pickers' tests judge it there.
        if (!b.InCheck()) { EXPECT_EQ(IsLegal(b, m), legal) << fen << " move " << m; }
    }
    // The check flags kept by MakeMove equal a fresh count.
    const BitMask checkers = Checkers(b);
    EXPECT_EQ(b.InCheck(), checkers != 0) << fen;
    EXPECT_EQ((b.flags & FlagDoubleCheck) != 0, MoreThanOne(checkers)) << fen;
    if (checkers) { EXPECT_TRUE(checkers & Bit(b.checkerSquare)) << fen; }
    return int(generated.size());
}

TEST(RulesTest, LegalityTestsAgreeOverRandomGames) {
    const int games = Sanitized ? 6 : 40, plies = Sanitized ? 40 : 120;
    const std::vector<SuiteLine> suite = ReadSuite();
    Random random(77);
    auto record = std::make_unique<BoardWithHistory>();
    Board& b = record->board;
    int checks = 0, inCheck = 0;
    for (int game = 0; game < games && !HasFailure(); ++game) {
        ASSERT_TRUE(SetFromFen(suite[(game * 7) % suite.size()].fen, b));
        for (int ply = 0; ply < plies && !HasFailure(); ++ply) {
            checks += CheckPosition(b);
            inCheck += b.InCheck();
            const std::vector<Move> moves = LegalMoves(b);
            if (moves.empty()) break;
            MakeMove(b, moves[random.Below(moves.size())]);
        }
    }
    EXPECT_GT(checks, 1000);
    EXPECT_GT(inCheck, 10);
}

TEST(RulesTest, SpecialMoves) {
    const struct {
        const char* fen;
        Move move;
        bool pseudoLegal, legal;
        const char* why;
    } cases[] = {
        {"8/8/8/K2pP2r/8/8/8/4k3 w - d6 0 2", Coord("e5d6"), true, false, "en passant opens the rank to the king"},
        {"4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1", Coord("e1g1"), true, false, "castling through an attacked square"},
        {"4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1", Coord("e1c1"), true, true, "the other wing is fine"},
        {"4r1k1/8/8/8/8/8/8/R3K2R w KQ - 0 1", Coord("e1g1"), false, false, "castling out of check"},
        {"4k3/8/8/8/8/5n2/4B3/r3K2R w K - 0 1", Coord("e2f3"), false, false, "double check: only king steps"},
        // Stray promotion codes must never put a second king or a pawn on the back rank.
        {"4k3/P7/8/8/8/8/8/4K3 w - - 0 1", MakeMoveCode(48, 56, King), false, false, "promotion to a king"},
        {"4k3/P7/8/8/8/8/8/4K3 w - - 0 1", MakeMoveCode(48, 56, Pawn), false, false, "promotion to a pawn"},
    };
    for (const auto& c : cases) {
        auto r = NewBoard(c.fen);
        EXPECT_EQ(IsPseudoLegal(r->board, c.move), c.pseudoLegal) << c.why;
        if (c.pseudoLegal) { EXPECT_EQ(IsLegalMove(r->board, c.move), c.legal) << c.why; }
        if (c.pseudoLegal && !r->board.InCheck()) { EXPECT_EQ(IsLegal(r->board, c.move), c.legal) << c.why; }
    }
    EXPECT_EQ(LegalMoves(NewBoard("4k3/8/8/8/8/5n2/4B3/r3K2R w K - 0 1")->board), std::vector<Move>{Coord("e1f2")});
}

// The check test after a move judges the moved piece and what it uncovers;
// these are the rare shapes random games seldom reach.
TEST(RulesTest, CheckAfterMoveKinds) {
    struct Case {
        const char* fen;
        const char* move;
        StatusFlags flags;  // check bits expected after the move
    };
    const Case cases[] = {
        {"5k2/8/8/8/8/8/8/4K2R w K - 0 1", "e1g1", FlagCheck},
        {"3k4/8/8/8/3N4/8/8/3R2K1 w - - 0 1", "d4c6", FlagCheck | FlagDoubleCheck},
        {"7k/8/8/8/8/8/1K6/B7 w - - 0 1", "b2c2", FlagCheck},
        // En passant: through the captured pawn's square and through from.
        {"8/8/8/k2pP2R/8/8/8/4K3 w - d6 0 2", "e5d6", FlagCheck},
        {"8/8/8/2kpP3/8/8/8/K6R w - d6 0 2", "e5d6", 0},
        {"7k/8/8/3pP3/8/8/8/B3K3 w - d6 0 2", "e5d6", FlagCheck},
        {"6k1/8/8/3pP3/2B5/8/8/4K3 w - d6 0 2", "e5d6", FlagCheck},
        {"8/8/8/8/3Pp3/8/4K3/7k b - d3 0 1", "e4d3", FlagCheck},
        // Promotion checks come from the new piece.
        {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8q", FlagCheck},
        {"8/1k2P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8n", 0},
        {"8/4P3/3k4/8/8/8/8/4K3 w - - 0 1", "e7e8n", FlagCheck},
    };
    for (const Case& c : cases) {
        auto r = NewBoard(c.fen);
        Board& b = r->board;
        Play(b, {c.move});
        const BitMask checkers = Checkers(b);
        EXPECT_EQ(b.flags & (FlagCheck | FlagDoubleCheck), c.flags) << c.fen << " " << c.move;
        EXPECT_EQ((b.flags & FlagDoubleCheck) != 0, MoreThanOne(checkers)) << c.fen << " " << c.move;
        if (checkers) { EXPECT_TRUE(checkers & Bit(b.checkerSquare)) << c.fen << " " << c.move; }
    }
}

TEST(RulesTest, DrawRules) {
    // Mate at clock 100 is mate; at 101 the fifty-move rule comes first.
    // Then the program's insufficient-material cases.
    const StatusFlags Drawn = FlagInsufficient;
    const std::pair<const char*, StatusFlags> endings[] = {
        {"7k/6Q1/6K1/8/8/8/8/8 b - - 100 80", FlagCheckmate}, {"7k/6Q1/6K1/8/8/8/8/8 b - - 101 80", FlagFiftyMoves},
        {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", FlagStalemate},    {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", Drawn},
        {"4k1n1/8/8/8/8/8/8/2B1K3 w - - 0 1", Drawn},         {"4k3/8/8/8/8/8/8/2B1KB2 w - - 0 1", 0},
        {"4k3/8/8/8/8/8/8/1N2K1N1 w - - 0 1", Drawn},         {"4k1n1/8/8/8/8/8/8/1N2K1N1 w - - 0 1", 0},
        {"4k3/8/8/8/8/8/8/1N2KB2 w - - 0 1", 0},              {"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", 0},
    };
    for (const auto& [fen, flags] : endings) EXPECT_EQ(NewBoard(fen)->board.flags & GameOverFlags, flags) << fen;

    // Third occurrence within the reversible stretch.
    auto rep = NewBoard("r3k3/8/8/8/8/8/8/R3K1N1 w - - 0 1");
    Board& b = rep->board;
    const std::vector<std::string> cycle = {"g1f3", "e8d8", "f3g1", "d8e8"};
    Play(b, cycle);
    EXPECT_EQ(b.repetitionCount, 2);
    EXPECT_FALSE(b.flags & FlagRepetition);
    Play(b, cycle);
    EXPECT_EQ(b.repetitionCount, 3);
    EXPECT_TRUE(b.flags & FlagRepetition);
    UnmakeMove(b, Coord("d8e8"));
    EXPECT_FALSE(b.flags & FlagRepetition);
    // A capture starts the count afresh.
    Play(b, {"d8e8", "a1a8", "e8e7", "a8a1", "e7e8"});
    EXPECT_EQ(b.repetitionCount, 1);
}

// Taking a mate back must leave a position with moves, not a mated one.
TEST(RulesTest, MateFlagsStayWithTheirPosition) {
    auto r = NewBoard("6k1/5ppp/8/8/8/8/8/R3K3 w - - 0 1");
    Play(r->board, {"a1a8"});
    UpdateMateFlags(r->board);
    EXPECT_TRUE(r->board.flags & FlagCheckmate);
    UnmakeMove(r->board, Coord("a1a8"));
    EXPECT_FALSE(r->board.flags & GameOverFlags);
    EXPECT_TRUE(IsLegalMove(r->board, Coord("a1a8")));
}

}  // namespace
}  // namespace NEngine::Tests
