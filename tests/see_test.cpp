// The exchange test on positions whose outcome is worked out by hand: the
// largest threshold each move passes, and the one above it that fails.
#include <gtest/gtest.h>

#include "support.h"
#include "search/see.h"

using namespace NEngine;
using namespace NEngine::Tests;

TEST(See, ThresholdsOnKnownExchanges) {
    const struct {
        const char* fen;
        const char* move;
        int passes;  // largest threshold that passes; passes + 1 must fail
        const char* why;
    } cases[] = {
        {"4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1", "e4d5", 85, "free pawn"},
        {"4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1", "d1d5", 85 - 1090, "queen takes a guarded pawn"},
        {"4k3/8/2p5/3n4/8/4N3/8/4K3 w - - 0 1", "e3d5", 0, "knight for knight"},
        {"3rk3/8/8/3p4/8/8/3R4/3RK3 w - - 0 1", "d2d5", 85, "rook battery wins the pawn"},
        {"3rk3/3r4/8/3p4/8/8/3R4/3RK3 w - - 0 1", "d2d5", 85 - 545, "defending battery holds"},
        {"4k3/4p3/8/8/1B6/Q7/8/4K3 w - - 0 1", "b4e7", 85, "queen behind guards e7: king cannot take"},
        {"4k3/8/2p5/3p4/5N2/8/8/4K3 w - - 0 1", "f4d5", 85 - 355, "pawn takes the knight back"},
        {"4k3/8/2p5/3p4/B4N2/8/8/4K3 w - - 0 1", "f4d5", 85, "the recapturing pawn is pinned"},
        {"4r2k/8/8/2p5/1P2n3/8/5B2/4K3 w - - 0 1", "f2c5", 85 - 355, "recapture uncovers check: no retake"},
        {"r7/1P3k2/8/8/8/8/8/4K3 w - - 0 1", "b7b8q", -85, "promotes, queen lost to the rook"},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6", 85, "en passant"},
        {"4k3/8/8/8/2p5/8/3N4/4K3 w - - 0 1", "d2b3", -355, "knight steps into a pawn"},
    };
    for (const auto& c : cases) {
        auto r = NewBoard(c.fen);
        const Move m = Coord(c.move);
        ASSERT_TRUE(IsPseudoLegal(r->board, m)) << c.fen << " " << c.move;
        EXPECT_TRUE(SeeAtLeast(r->board, m, c.passes)) << c.why;
        EXPECT_FALSE(SeeAtLeast(r->board, m, c.passes + 1)) << c.why;
        EXPECT_TRUE(SeeAtLeast(r->board, m | SafeMark, c.passes)) << c.why << ": the mark is ignored";
    }
    // En passant at the two thresholds the search uses.
    auto ep = NewBoard("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    EXPECT_TRUE(SeeAtLeast(ep->board, Coord("e5d6"), 0));
    EXPECT_FALSE(SeeAtLeast(ep->board, Coord("e5d6"), 86));
}

TEST(See, ChecksLowerTheThreshold) {
    // A checking en passant is tested against 0 whatever the threshold.
    EXPECT_TRUE(SeeAtLeast(NewBoard("8/4k3/8/3pP3/8/8/8/4K3 w - d6 0 1")->board, Coord("e5d6"), 86));
    // A quiet move that uncovers a check passes whatever it hangs...
    EXPECT_TRUE(SeeAtLeast(NewBoard("4k3/8/1p6/8/4N3/8/8/4R1K1 w - - 0 1")->board, Coord("e4c5"), 2000));
    // ...but the same move without the rook behind loses the knight.
    EXPECT_FALSE(SeeAtLeast(NewBoard("4k3/8/1p6/8/4N3/8/8/5RK1 w - - 0 1")->board, Coord("e4c5"), 0));
    // A direct check that loses the piece still fails.
    auto hanging = NewBoard("4k3/8/8/8/8/8/8/R3K2b w - - 0 1");
    EXPECT_FALSE(SeeAtLeast(hanging->board, Coord("a1a8"), 0));
    EXPECT_TRUE(SeeAtLeast(hanging->board, Coord("a1a8"), -545));
}
