// The exchange test on positions whose outcome is worked out by hand: the
// largest threshold each move passes is checked from both sides.
#include <gtest/gtest.h>

#include "board_support.h"
#include "search/see.h"

using namespace NEngine;
using namespace NEngine::BoardTests;

namespace {

struct SeeCase {
    const char* fen;
    const char* move;
    int passes;  // largest threshold that passes; passes + 1 must fail
    const char* why;
};

const SeeCase Cases[] = {
    // Plain gains and losses.
    {"4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1", "e4d5", 85, "free pawn"},
    {"4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1", "d1d5", 85 - 1090, "queen takes a guarded pawn"},
    {"4k3/8/2p5/3n4/8/4N3/8/4K3 w - - 0 1", "e3d5", 0, "knight for knight"},
    {"3rk3/8/3q4/8/8/8/8/3QK3 w - - 0 1", "d1d6", 0, "queen for queen"},
    // Sliders lined up behind the first attacker join the exchange.
    {"3rk3/8/8/3p4/8/8/3R4/3RK3 w - - 0 1", "d2d5", 85, "rook battery wins the pawn"},
    {"3rk3/3r4/8/3p4/8/8/3R4/3RK3 w - - 0 1", "d2d5", 85 - 545, "defending battery holds"},
    {"4k3/4p3/8/8/1B6/8/8/4K3 w - - 0 1", "b4e7", 85 - 355, "king takes the bishop back"},
    {"4k3/4p3/8/8/1B6/Q7/8/4K3 w - - 0 1", "b4e7", 85, "queen behind guards e7: king cannot take"},
    // A pinned piece does not recapture.
    {"4k3/8/2p5/3p4/5N2/8/8/4K3 w - - 0 1", "f4d5", 85 - 355, "pawn takes the knight back"},
    {"4k3/8/2p5/3p4/B4N2/8/8/4K3 w - - 0 1", "f4d5", 85, "the recapturing pawn is pinned"},
    {"4r2k/8/8/2p5/1P2n3/8/5B2/4K3 w - - 0 1", "f2c5", 85 - 355, "recapture uncovers check: no pawn retake"},
    // A pawn takes a queen: at once up to 1090 - 85.
    {"3rk3/8/8/3q4/4P3/8/8/4K3 w - - 0 1", "e4d5", 1005, "pawn takes a guarded queen"},
    // Promotions count the queen gained.
    {"r7/1P3k2/8/8/8/8/8/4K3 w - - 0 1", "b7b8q", -85, "promotes, queen lost to the rook"},
    {"r7/1P3k2/8/8/8/8/8/4K3 w - - 0 1", "b7a8q", 545 + 1005, "takes the rook and promotes"},
    // Quiet moves.
    {"4k3/8/8/2p5/8/8/8/3NK3 w - - 0 1", "d1b2", 0, "safe square"},
    {"4k3/8/8/2p5/8/8/8/3NK3 w - - 0 1", "d1e3", 0, "e3 is not attacked"},
    {"4k3/8/8/8/2p5/8/8/3NK3 w - - 0 1", "d1b2", 0, "b3 attacked, b2 is not"},
    {"4k3/8/8/8/2p5/8/3N4/4K3 w - - 0 1", "d2b3", -355, "knight steps into a pawn"},
};

Move Parse(const char* text) { return Coord(text); }

}  // namespace

TEST(See, ThresholdsOnKnownExchanges) {
    for (const SeeCase& c : Cases) {
        auto r = NewBoard(c.fen);
        const Move m = Parse(c.move);
        ASSERT_TRUE(IsPseudoLegal(r->board, m)) << c.fen << " " << c.move;
        EXPECT_TRUE(SeeAtLeast(r->board, m, c.passes)) << c.why << ": " << c.fen;
        EXPECT_FALSE(SeeAtLeast(r->board, m, c.passes + 1)) << c.why << ": " << c.fen;
        EXPECT_TRUE(SeeAtLeast(r->board, m | SafeMark, c.passes)) << "the mark is ignored";
    }
}

TEST(See, EnPassantAndChecks) {
    // En passant passes below 86 and fails from 86 on...
    auto plain = NewBoard("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    EXPECT_TRUE(SeeAtLeast(plain->board, Coord("e5d6"), 0));
    EXPECT_TRUE(SeeAtLeast(plain->board, Coord("e5d6"), 85));
    EXPECT_FALSE(SeeAtLeast(plain->board, Coord("e5d6"), 86));
    // ...unless it checks: then any threshold is tested against 0.
    auto checking = NewBoard("8/4k3/8/3pP3/8/8/8/4K3 w - d6 0 1");
    EXPECT_TRUE(SeeAtLeast(checking->board, Coord("e5d6"), 86));
    // Both pawns leave the fifth rank and uncover the rook on the king.
    auto uncovering = NewBoard("8/8/8/k2pP2R/8/8/8/4K3 w - d6 0 1");
    EXPECT_TRUE(SeeAtLeast(uncovering->board, Coord("e5d6"), 5000));

    // A quiet move that uncovers a check passes whatever it hangs.
    auto discovered = NewBoard("4k3/8/1p6/8/4N3/8/8/4R1K1 w - - 0 1");
    EXPECT_TRUE(SeeAtLeast(discovered->board, Coord("e4c5"), 0));
    EXPECT_TRUE(SeeAtLeast(discovered->board, Coord("e4c5"), 2000));
    auto covered = NewBoard("4k3/8/1p6/8/4N3/8/8/5RK1 w - - 0 1");
    EXPECT_FALSE(SeeAtLeast(covered->board, Coord("e4c5"), 0));

    // A direct check lowers a positive threshold to 0, but a check that
    // loses the piece still fails it.
    auto check = NewBoard("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_TRUE(SeeAtLeast(check->board, Coord("a1a8"), 300));
    auto hanging = NewBoard("4k3/8/8/8/8/8/8/R3K2b w - - 0 1");
    EXPECT_FALSE(SeeAtLeast(hanging->board, Coord("a1a8"), 300));
    EXPECT_FALSE(SeeAtLeast(hanging->board, Coord("a1a8"), 0));
    EXPECT_TRUE(SeeAtLeast(hanging->board, Coord("a1a8"), -545));
}
