// Check detection, legality tests, move generation and draw rules.
#include <algorithm>

#include "board_support.h"

namespace NEngine::BoardTests {
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

// IsLegal's precondition in check: a generator evasion (king move, or a
// capture or block of the single checker, en passant of a checking pawn).
bool IsEvasion(const Board& b, Move m) {
    const int from = FromSquare(m), to = ToSquare(m);
    if (TypeOf(b.mailbox[from]) == King) return true;
    if (b.flags & FlagDoubleCheck) return false;
    const int checker = b.checkerSquare;
    if (to == checker || (Between(b.kingSquare[b.sideToMove], checker) & Bit(to))) return true;
    const bool enPassant = TypeOf(b.mailbox[from]) == Pawn && b.epSquare > 0 && to == b.epSquare;
    return enPassant && (b.sideToMove == White ? to - 8 : to + 8) == checker;
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
    if (b.flags & FlagDoubleCheck) {
        for (const Move m : generated) EXPECT_EQ(TypeOf(b.mailbox[FromSquare(m)]), King) << fen;
    }
    for (const Move m : generated) {
        const bool legal = LegalByMaking(b, m);
        EXPECT_EQ(IsLegalMove(b, m), legal) << fen << " move " << m;
        if (!b.InCheck() || IsEvasion(b, m)) { EXPECT_EQ(IsLegal(b, m), legal) << fen << " move " << m; }
    }
    // The check flags kept by MakeMove equal a fresh count.
    const BitMask checkers = Checkers(b);
    EXPECT_EQ(b.InCheck(), checkers != 0) << fen;
    EXPECT_EQ((b.flags & FlagDoubleCheck) != 0, MoreThanOne(checkers)) << fen;
    if (checkers) { EXPECT_TRUE(checkers & Bit(b.checkerSquare)) << fen; }
    return int(generated.size());
}

TEST(RulesTest, LegalityTestsAgreeOverRandomGames) {
#ifdef TARNOCK_SANITIZED
    const int games = 6, plies = 40;
#else
    const int games = 40, plies = 120;
#endif
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
    // En passant that would open the rank to the own king.
    auto ep = NewBoard("8/8/8/K2pP2r/8/8/8/4k3 w - d6 0 2");
    EXPECT_TRUE(IsPseudoLegal(ep->board, Coord("e5d6")));
    EXPECT_FALSE(IsLegal(ep->board, Coord("e5d6")));
    EXPECT_FALSE(IsLegalMove(ep->board, Coord("e5d6")));
    EXPECT_TRUE(IsLegalMove(ep->board, Coord("e5e6")));

    // Castling through an attacked square; the other wing is fine.
    auto through = NewBoard("4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1");
    EXPECT_TRUE(IsPseudoLegal(through->board, Coord("e1g1")));
    EXPECT_FALSE(IsLegal(through->board, Coord("e1g1")));
    EXPECT_FALSE(IsLegalMove(through->board, Coord("e1g1")));
    EXPECT_TRUE(IsLegal(through->board, Coord("e1c1")));
    EXPECT_TRUE(IsLegalMove(through->board, Coord("e1c1")));

    // Castling out of check is neither pseudo-legal nor generated nor legal.
    auto out = NewBoard("4r1k1/8/8/8/8/8/8/R3K2R w KQ - 0 1");
    EXPECT_TRUE(out->board.InCheck());
    EXPECT_FALSE(IsPseudoLegal(out->board, Coord("e1g1")));
    EXPECT_FALSE(IsLegalMove(out->board, Coord("e1g1")));
    EXPECT_FALSE(Contains(Generated(out->board), Coord("e1g1")));

    // Double check: king steps only, and only real steps.
    auto twice = NewBoard("4k3/8/8/8/8/5n2/4B3/r3K2R w K - 0 1");
    EXPECT_EQ(twice->board.flags & (FlagCheck | FlagDoubleCheck), FlagCheck | FlagDoubleCheck);
    EXPECT_FALSE(IsPseudoLegal(twice->board, Coord("e2f3")));
    EXPECT_FALSE(IsPseudoLegal(twice->board, Coord("h1h2")));
    EXPECT_FALSE(IsPseudoLegal(twice->board, Coord("e1g1")));
    EXPECT_TRUE(IsPseudoLegal(twice->board, Coord("e1f2")));
    for (const Move m : Generated(twice->board)) { EXPECT_EQ(FromSquare(m), 4); }
    EXPECT_EQ(LegalMoves(twice->board), std::vector<Move>{Coord("e1f2")});

    // Promotion shape.
    auto promo = NewBoard("4k3/P7/8/8/8/8/4P3/4K3 w - - 0 1");
    EXPECT_FALSE(IsPseudoLegal(promo->board, Coord("a7a8")));
    EXPECT_TRUE(IsPseudoLegal(promo->board, Coord("a7a8q")));
    EXPECT_TRUE(IsPseudoLegal(promo->board, Coord("a7a8n")));
    EXPECT_FALSE(IsPseudoLegal(promo->board, MakeMoveCode(48, 56, King)));
    EXPECT_FALSE(IsPseudoLegal(promo->board, MakeMoveCode(48, 56, Pawn)));
    EXPECT_FALSE(IsPseudoLegal(promo->board, Coord("e2e3q")));
    EXPECT_TRUE(IsPseudoLegal(promo->board, Coord("e2e3")));
    // A king jump is no king move, in check or not.
    EXPECT_FALSE(IsLegalMove(promo->board, Coord("e1e3")));
}

TEST(RulesTest, CheckAfterMoveKinds) {
    struct Case {
        const char* fen;
        const char* move;
        StatusFlags flags;  // check bits expected after the move
        int checker;        // -1: any real checker
    };
    const Case cases[] = {
        {"4k3/8/8/8/8/8/8/4K2R w K - 0 1", "e1g1", 0, -1},
        {"5k2/8/8/8/8/8/8/4K2R w K - 0 1", "e1g1", FlagCheck, 5},
        {"4k3/8/8/8/8/8/3P4/4K3 w - - 0 1", "d2d4", 0, -1},
        {"4k3/8/4p3/3P4/8/8/8/4K3 w - - 0 1", "d5d6", 0, -1},
        {"4k3/8/3P4/8/8/8/8/4K3 w - - 0 1", "d6d7", FlagCheck, 51},
        {"3k4/8/8/6N1/8/8/8/4K3 w - - 0 1", "g5e6", FlagCheck, 44},
        {"4k3/8/8/8/8/8/4B3/4K3 w - - 0 1", "e2b5", FlagCheck, 33},
        {"4k3/8/8/8/8/8/8/R3K3 w - - 0 1", "a1a8", FlagCheck, 56},
        {"4k3/4p3/8/8/8/8/8/3QK3 w - - 0 1", "d1h5", FlagCheck, 39},
        {"4k3/5p2/8/8/8/8/8/3QK3 w - - 0 1", "d1h5", 0, -1},
        // Discovered checks, alone and with a direct one.
        {"4k3/8/8/8/8/8/4N3/4R1K1 w - - 0 1", "e2d4", FlagCheck, 4},
        {"3k4/8/8/8/8/8/3N4/3R2K1 w - - 0 1", "d2b3", FlagCheck, 3},
        {"3k4/8/8/8/8/1N6/3N4/3R2K1 w - - 0 1", "d2c4", FlagCheck, 3},
        {"3k4/8/8/8/3N4/8/8/3R2K1 w - - 0 1", "d4c6", FlagCheck | FlagDoubleCheck, -1},
        {"7k/8/8/8/8/8/1K6/B7 w - - 0 1", "b2c2", FlagCheck, 0},
        {"7k/8/8/8/8/8/1K6/B7 w - - 0 1", "b2c3", 0, -1},
        // En passant: through the captured pawn's square and through from.
        {"8/8/8/k2pP2R/8/8/8/4K3 w - d6 0 2", "e5d6", FlagCheck, 39},
        {"8/8/8/2kpP3/8/8/8/K6R w - d6 0 2", "e5d6", 0, -1},
        {"7k/8/8/3pP3/8/8/8/B3K3 w - d6 0 2", "e5d6", FlagCheck, 0},
        {"7k/8/8/3pP3/2B5/8/8/4K3 w - d6 0 2", "e5d6", 0, -1},
        {"6k1/8/8/3pP3/2B5/8/8/4K3 w - d6 0 2", "e5d6", FlagCheck, 26},
        {"8/8/8/8/3Pp3/8/8/k2K3R b - d3 0 1", "e4d3", 0, -1},
        {"8/5k2/8/3pP3/8/1B6/8/4K3 w - d6 0 2", "e5d6", FlagCheck, 17},
        {"8/8/8/8/3Pp3/8/8/3K3k b - d3 0 1", "e4d3", 0, -1},
        {"8/8/8/8/3Pp3/8/4K3/7k b - d3 0 1", "e4d3", FlagCheck, 19},
        // Promotion checks come from the new piece.
        {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8q", FlagCheck, 60},
        {"8/1k2P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8n", 0, -1},
        {"8/4P3/3k4/8/8/8/8/4K3 w - - 0 1", "e7e8n", FlagCheck, 60},
    };
    for (const Case& c : cases) {
        auto r = NewBoard(c.fen);
        Board& b = r->board;
        const Move m = Coord(c.move);
        ASSERT_TRUE(IsPseudoLegal(b, m) && IsLegalMove(b, m)) << c.fen << " " << c.move;
        MakeMove(b, m);
        const BitMask checkers = Checkers(b);
        EXPECT_EQ(b.flags & (FlagCheck | FlagDoubleCheck), c.flags) << c.fen << " " << c.move;
        EXPECT_EQ(b.InCheck(), checkers != 0) << c.fen << " " << c.move;
        EXPECT_EQ((b.flags & FlagDoubleCheck) != 0, MoreThanOne(checkers)) << c.fen << " " << c.move;
        if (c.checker >= 0) { EXPECT_EQ(b.checkerSquare, c.checker) << c.fen << " " << c.move; }
        if (checkers) { EXPECT_TRUE(checkers & Bit(b.checkerSquare)) << c.fen << " " << c.move; }
        EXPECT_EQ((r->history[b.ply - 1].moveFlags & MoveGaveCheck) != 0, b.InCheck());
    }
}

TEST(RulesTest, DrawRules) {
    // Mate at clock 100 is mate; at 101 the fifty-move rule comes first.
    auto mate = NewBoard("7k/6Q1/6K1/8/8/8/8/8 b - - 100 80");
    EXPECT_TRUE(mate->board.flags & FlagCheckmate);
    EXPECT_FALSE(mate->board.flags & FlagFiftyMoves);
    auto late = NewBoard("7k/6Q1/6K1/8/8/8/8/8 b - - 101 80");
    EXPECT_TRUE(late->board.flags & FlagFiftyMoves);
    EXPECT_FALSE(late->board.flags & FlagCheckmate);
    auto quiet = NewBoard("7k/8/6K1/8/8/8/8/6Q1 b - - 100 80");
    EXPECT_TRUE(quiet->board.flags & FlagFiftyMoves);
    auto stale = NewBoard("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(stale->board.flags & GameOverFlags, FlagStalemate);

    // The program's insufficient-material cases.
    const std::pair<const char*, bool> material[] = {
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", true},        {"4k1n1/8/8/8/8/8/8/2B1K3 w - - 0 1", true},
        {"4k3/8/8/8/8/8/8/2B1KB2 w - - 0 1", false},    {"4k3/8/8/8/8/8/8/1N2K1N1 w - - 0 1", true},
        {"1n2k1n1/8/8/8/8/8/8/4K3 w - - 0 1", true},    {"4k1n1/8/8/8/8/8/8/1N2K1N1 w - - 0 1", false},
        {"4k3/8/8/8/8/8/8/1N2KB2 w - - 0 1", false},    {"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", false},
        {"4k3/8/8/8/8/8/8/3RK3 w - - 0 1", false},
    };
    for (const auto& [fen, drawn] : material) {
        auto r = NewBoard(fen);
        EXPECT_EQ((r->board.flags & FlagInsufficient) != 0, drawn) << fen;
    }

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
    Play(b, cycle);
    EXPECT_EQ(b.repetitionCount, 2);
    Play(b, cycle);
    EXPECT_TRUE(b.flags & FlagRepetition);
}

TEST(RulesTest, MateFlagsStayWithTheirPosition) {
    auto r = NewBoard("6k1/5ppp/8/8/8/8/8/R3K3 w - - 0 1");
    Board& b = r->board;
    Play(b, {"a1a8"});
    UpdateMateFlags(b);
    EXPECT_TRUE(b.flags & FlagCheckmate);
    EXPECT_FALSE(IsLegalMove(b, Coord("g8h8")));
    EXPECT_TRUE(LegalMoves(b).empty());
    // Taking the mate back leaves a position with moves, not a mated one.
    UnmakeMove(b, Coord("a1a8"));
    EXPECT_FALSE(b.flags & GameOverFlags);
    EXPECT_TRUE(IsLegalMove(b, Coord("a1a8")));
    EXPECT_GT(LegalMoves(b).size(), 10u);
}

}  // namespace
}  // namespace NEngine::BoardTests
