// Attack maps and the knight, bishop, rook and queen terms, read through the
// trace and the attack blocks on positions built for each term.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "board/attacks.h"
#include "eval_support.h"

using namespace NEngine;
using Tests::At;
using Tests::Squares;

namespace {

class PiecesTest : public Tests::EvalFixture {};

}  // namespace

TEST_F(PiecesTest, RookFilesTrappedRooksOutpostsAndTropism) {
    CheckTerms({
        // c-file without pawns: open; e-file with only an enemy pawn: half
        // open; a rook behind its own pawn: nothing.
        {"open and half-open files", "r5k1/p4ppp/4p3/8/8/8/PP3PPP/2R1R1K1 w - - 0 1", TermRookFiles, S(30, 12), 0},
        // Only the squares ahead count: an own pawn behind the rook does not.
        {"own pawn behind the rook", "6k1/5ppp/8/8/3R4/8/3P1PPP/6K1 w - - 0 1", TermRookFiles, S(20, 8), 0},
        // h1 rook shut in by its own king, one square (g1) to go to: trapped
        // once the king-side right is gone.
        {"shut in, right kept", "4k3/pp6/8/8/8/8/6PP/4KBNR w K - 0 1", TermTrappedRooks, 0, 0},
        {"shut in, right lost", "4k3/pp6/8/8/8/8/6PP/4KBNR w - - 0 1", TermTrappedRooks, S(-60, 0), 0},
        // a8 rook in the enemy corner: a7 and c8 are held by the enemy, only
        // b8 is left, inside the box.
        {"lost in the enemy corner", "R1nk4/pp4pp/8/8/8/8/6PP/4K3 w - - 0 1", TermTrappedRooks, S(-60, -60), 0},
        {"free along the last rank", "R7/pp2k1pp/8/8/8/8/6PP/4K3 w - - 0 1", TermTrappedRooks, 0, 0},
        // d5 cannot be chased by a pawn: 6/2 alone, 10/3 with the e4 pawn.
        {"knight outpost", "4k3/p6p/8/3N4/8/8/P6P/4K3 w - - 0 1", TermOutposts, S(6, 2), 0},
        {"supported knight outpost", "4k3/p6p/8/3N4/4P3/8/P6P/4K3 w - - 0 1", TermOutposts, S(10, 3), 0},
        // The c6 pawn covers d5, but f6 and f4 (attacked, empty) still lie in
        // the zone; the e4 pawn covers neither.
        {"outpost squares attacked", "4k3/p6p/2p5/3N4/4P3/8/P6P/4K3 w - - 0 1", TermOutposts, S(6, 2), 0},
        {"bishop outpost", "4k3/p6p/8/3B4/4P3/8/P6P/4K3 w - - 0 1", TermOutposts, S(10, 3), 0},
        {"knight far from any outpost", "4k3/p6p/8/8/8/8/P6P/N3K3 w - - 0 1", TermOutposts, 0, 0},
        // Knight d5, king e1: distance 4.
        {"knight tropism", "4k3/p6p/8/3N4/8/8/P6P/4K3 w - - 0 1", TermTropism, S(1, 0), 0},
        // Queen d4, king b1: distance 3.
        {"queen tropism", "5k2/8/7P/8/3Q4/8/6p1/1K6 w - - 0 1", TermTropism, S(3, 0), 0},
    });
}

TEST_F(PiecesTest, MobilityExtremes) {
    CheckTerms({
        // h1 knight: g3 is hit by the h4 pawn, f2 holds an own pawn.
        {"knight without squares", "4k3/8/8/8/7p/8/5P2/4K2N w - - 0 1", TermKnightMobility, S(-45, -45), 0},
        // Queen d4 on all 27 squares; g7, which the king holds, the h6 pawn
        // holds too.
        {"queen on 27 squares", "5k2/8/7P/8/3Q4/8/6p1/1K6 w - - 0 1", TermQueenMobility, S(54, 64), 0},
    });
    // The squareless knight is restricted.
    Trace("4k3/8/8/8/7p/8/5P2/4K2N w - - 0 1");
    EXPECT_TRUE(Side(White).restricted & Bit(At("h1")));
}

TEST_F(PiecesTest, RelativePinsAndDiscoveredAttacks) {
    CheckTerms({
        // Each piece shields an own queen or rook from an enemy slider.
        {"knight before the queen", "4r1k1/5ppp/8/8/4N3/8/5PPP/4Q1K1 w - - 0 1", TermRelativePins, S(-15, -15), 0},
        {"bishop before an undefended rook", "4r1k1/5ppp/8/8/4B3/8/5PPP/4R1K1 w - - 0 1", TermRelativePins,
         S(-10, -10), 0},
        {"bishop before a defended rook", "4r1k1/5ppp/8/8/4B3/8/5PPP/4RK2 w - - 0 1", TermRelativePins, 0, 0},
        {"rook before the queen on a diagonal", "6k1/5ppp/8/8/5b2/8/3R1PPP/2Q3K1 w - - 0 1", TermRelativePins,
         S(-15, -15), 0},
        {"queen before a rook, bishop defended", "6k1/5p1p/8/6p1/5b2/8/3Q1PPP/2R3K1 w - - 0 1", TermRelativePins,
         S(-20, -20), 0},
        {"queen before a rook, bishop loose", "6k1/5p1p/6p1/8/5b2/8/3Q1PPP/2R3K1 w - - 0 1", TermRelativePins, 0,
         0},
        // A piece between its own slider and the enemy king: once per side,
        // the knight first.
        {"knight uncovers the rook", "4k3/pp6/8/8/4N3/8/PP6/4R1K1 w - - 0 1", TermDiscoveredAttacks, S(20, 20), 0},
        {"bishop uncovers the rook", "R1B1k3/pp6/8/8/8/8/PP6/6K1 w - - 0 1", TermDiscoveredAttacks, S(20, 20), 0},
        {"knight and bishop, counted once", "R1B1k3/pp6/8/8/4N3/8/PP6/4R1K1 w - - 0 1", TermDiscoveredAttacks,
         S(20, 20), 0},
    });
    Trace("4r1k1/5ppp/8/8/4N3/8/5PPP/4Q1K1 w - - 0 1");
    EXPECT_TRUE(Side(White).restricted & Bit(At("e4")));
    Trace("4k3/pp6/8/8/4N3/8/PP6/4R1K1 w - - 0 1");
    EXPECT_TRUE(Side(White).discoveredCheck);
    EXPECT_EQ(Side(White).discoveredSquares, Squares("d6 f6 c5 g5 c3 g3 d2 f2"));
    EXPECT_FALSE(Side(Black).discoveredCheck);
}

TEST_F(PiecesTest, PinnedPiecesAndKingPressure) {
    // The d2 bishop is pinned by b4: it keeps c3, b4 and its king's square.
    Trace("4k3/7p/8/8/1b6/8/3B3P/4K3 w - - 0 1");
    EXPECT_EQ(Side(White).pinned, Bit(At("d2")));
    EXPECT_EQ(Side(White).snipers, Bit(At("b4")));
    EXPECT_EQ(Side(White).kingBlockers, Bit(At("d2")));
    EXPECT_EQ(context_->pieceAttacks[At("d2")], Squares("c3 b4 e1"));
    EXPECT_EQ(Side(White).bishopAttacks, Squares("c3 b4 e1"));
    // A pinned knight attacks nothing and has no mobility.
    const EvalTrace knight = Trace("4k3/7p/8/8/1b6/8/3N3P/4K3 w - - 0 1");
    EXPECT_EQ(context_->pieceAttacks[At("d2")], 0u);
    EXPECT_EQ(Side(White).knightAttacks, 0u);
    EXPECT_EQ(knight.term[TermKnightMobility][White], S(-45, -45));
    EXPECT_FALSE(Side(White).hasPieceAttacks);
    // A blocking pawn is no king blocker, though its sniper is a sniper.
    Trace("4k3/7p/8/8/1b6/8/3P3P/4K3 w - - 0 1");
    EXPECT_EQ(Side(White).snipers, Bit(At("b4")));
    EXPECT_EQ(Side(White).kingBlockers, 0u);
    EXPECT_EQ(Side(White).pinned, 0u);

    // Knight, bishop, rook and queen all reach the zone around g8.
    Trace("6k1/R7/8/5N1Q/8/8/1B6/6K1 w - - 0 1");
    EXPECT_EQ(Side(White).kingAttackers, 4u);
    EXPECT_EQ(Side(White).kingAttackWeight, 20u + 20u + 18u + 21u);
    EXPECT_TRUE(Side(White).queenHitsZone);
    EXPECT_EQ(Side(Black).kingZone, Squares("f8 h8 f7 g7 h7 f6 g6 h6"));
}

TEST_F(PiecesTest, AttackMapFields) {
    // Doubled rooks on the d-file, a pawn that may push once, a king on g1.
    Trace("r3k3/8/8/5p2/8/8/3RP3/3R2K1 w - - 0 1");
    const AttackBlock& w = Side(White);
    EXPECT_EQ(w.kingZone, Squares("f1 h1 f2 g2 h2 f3 g3 h3"));
    EXPECT_EQ(w.safePushes, Squares("e3"));  // e4 is hit by the f5 pawn
    // The rear rook sees d3-d8 through the front one.
    EXPECT_EQ(w.doubleAttacks & Squares("d3 d4 d5 d6 d7 d8"), Squares("d3 d4 d5 d6 d7 d8"));
    EXPECT_EQ(w.fileSupport, Squares("d2 d3 d4 d5 d6 d7 d8"));
    EXPECT_EQ(w.fileRear, Squares("d1"));
    EXPECT_EQ(w.forkTargets, KnightAttacks(At("d1")) | KnightAttacks(At("d2")));
    EXPECT_EQ(w.heavies, Squares("d1 d2"));
    EXPECT_EQ(w.noQR, Squares("a8 e8 f5 e2 g1"));
    EXPECT_EQ(w.pawnAttackSpan, Squares("d3 d4 d5 d6 d7 d8 f3 f4 f5 f6 f7 f8"));
    // Mobility area: not the own king or pawns, not where the f5 pawn
    // strikes; the squares Black's king and rook hit only where White
    // attacks twice.
    EXPECT_FALSE(w.mobilityArea & Squares("g1 e2 e4 g4 a1 b8 c8 f8 f7 e7"));
    EXPECT_EQ(w.mobilityArea & Squares("d3 d7 d8 b1 c1"), Squares("d3 d7 d8 b1 c1"));
    // Strong squares: everything but what only the king holds.
    EXPECT_EQ(w.strongSquares & Squares("f2 g2 h2 h1 f1"), Squares("f1"));

    // Every set of attacks against the rules' attack test, on many
    // positions: equal where no piece is pinned, a subset otherwise.
    for (const std::string& fen : Tests::VariedFens()) {
        const Board& board = Set(fen);
        if (board.flags & (FlagCheckmate | DrawFlags)) continue;
        // An exact endgame score ends the evaluation before the maps.
        if (FindSpecialCase(GlobalSpecialCaseTable(), board).result == ExactScore) continue;
        Evaluate(*context_, MinusInfinity, PlusInfinity);
        for (Colour c : {Black, White}) {
            BitMask reference = 0;
            for (int sq = 0; sq < 64; ++sq)
                if (IsAttacked(board, sq, board.Occupied(), c)) reference |= Bit(sq);
            const AttackBlock& block = Side(c);
            if (block.pinned)
                EXPECT_EQ(block.allAttacks & ~reference, 0u) << fen;
            else
                EXPECT_EQ(block.allAttacks, reference) << fen;
            for (BitMask p = block.pinned; p;) {
                const int sq = PopLowest(p);
                EXPECT_EQ(context_->pieceAttacks[sq] & ~LineThrough(board.kingSquare[c], sq), 0u) << fen;
            }
            // The file sets, one rook lookup per rook or queen: ahead through
            // our own pawns, behind through theirs.
            BitMask support = 0, rear = 0;
            const BitMask ownPawns = board.Pieces(c, Pawn), theirPawns = board.Pieces(Opponent(c), Pawn);
            for (BitMask h = board.Pieces(c, Rook) | board.Pieces(c, Queen); h;) {
                const int sq = PopLowest(h);
                support |= RookAttacks(sq, board.Occupied() & ~ownPawns) & PawnMasks->frontSpan[c][sq];
                rear |= RookAttacks(sq, board.Occupied() & ~theirPawns) & PawnMasks->frontSpan[Opponent(c)][sq];
            }
            EXPECT_EQ(block.fileSupport, support) << fen;
            EXPECT_EQ(block.fileRear, rear) << fen;
        }
    }
}

TEST_F(PiecesTest, AttackBlocksDependOnlyOnThePosition) {
    // The blocks are rebuilt, not wiped, by every evaluation: whatever the
    // position evaluated before, the same position must leave the same
    // blocks and the same per-piece attacks.
    const std::vector<std::string>& fens = Tests::VariedFens();
    for (size_t i = 0; i + 1 < fens.size(); ++i) {
        const Board& board = Set(fens[i]);
        if (board.flags & (FlagCheckmate | DrawFlags)) continue;
        if (FindSpecialCase(GlobalSpecialCaseTable(), board).result == ExactScore) continue;
        Evaluate(*context_, MinusInfinity, PlusInfinity);
        const AttackBlock first[2] = {Side(Black), Side(White)};
        BitMask pieces = 0;
        for (Colour c : {Black, White})
            for (PieceType t : {Knight, Bishop, Rook, Queen}) pieces |= board.Pieces(c, t);
        BitMask firstAttacks[64];
        std::copy(std::begin(context_->pieceAttacks), std::end(context_->pieceAttacks), firstAttacks);

        Eval(fens[i + 1]);
        Set(fens[i]);
        Evaluate(*context_, MinusInfinity, PlusInfinity);
        EXPECT_EQ(std::memcmp(first, context_->side, sizeof first), 0) << fens[i] << " after " << fens[i + 1];
        for (BitMask b = pieces; b;) {
            const int sq = PopLowest(b);
            EXPECT_EQ(firstAttacks[sq], context_->pieceAttacks[sq]) << fens[i] << " square " << sq;
        }
    }
}
