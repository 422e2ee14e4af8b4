// Endgame knowledge: the king-and-pawn bitbase against textbook positions and
// a brute-force solution through the board's own move rules, the table of
// special cases, each rule on positions that reach it and on their colour
// mirrors, and the rules inside the evaluation.
#include <cctype>

#include "board/psq.h"
#include "eval/endgame.h"
#include "eval/kpk.h"
#include "eval_support.h"

using namespace NEngine;

namespace {

using Tests::FlipFen;

std::string Name(SpecialCaseResult result) {
    static const char* const names[] = {"exact", "1/32", "1/8", "1/4", "1/2", "3/4", "no rule"};
    return names[result];
}

// A position, the verdict the rule must give it and, for an exact score,
// the value (White's view); the colour mirror must give the same verdict and
// the negated value.
struct Case {
    const char* fen;
    SpecialCaseResult result;
    int value;
    const char* why;
    bool readsKingTable = false;  // the mirror's value is off by the king table's skew
};

// Rules that read the defending king's end-game centralisation read it at
// its own square for either colour, and that table is not symmetric between
// the ranks: a colour mirror's value differs from the negated value by the
// difference of the two entries.
int KingTableSkew(const Board& board) {
    const Colour weak = EgOf(board.colour[White].material) < EgOf(board.colour[Black].material) ? White : Black;
    const int k = board.kingSquare[weak];
    const int skew = EgOf(PsqTable[Black][King][k ^ 56]) - EgOf(PsqTable[Black][King][k]);
    return weak == White ? -skew : skew;
}

class EndgameTest : public Tests::EvalFixture {
protected:
    SpecialCaseOutcome Verdict(const std::string& fen) { return FindSpecialCase(GlobalSpecialCaseTable(), Set(fen)); }

    void Expect(const Case& c) {
        const int skew = c.readsKingTable ? KingTableSkew(Set(c.fen)) : 0;
        for (const bool mirrored : {false, true}) {
            const std::string fen = mirrored ? FlipFen(c.fen) : c.fen;
            const SpecialCaseOutcome got = Verdict(fen);
            EXPECT_EQ(Name(got.result), Name(c.result)) << fen << ": " << c.why;
            if (c.result == ExactScore && got.result == ExactScore) {
                EXPECT_EQ(got.value, mirrored ? skew - c.value : c.value) << fen << ": " << c.why;
            }
        }
    }
    void ExpectAll(const std::vector<Case>& cases) {
        for (const Case& c : cases) Expect(c);
    }
    int ExactValue(const std::string& fen) {
        const SpecialCaseOutcome got = Verdict(fen);
        EXPECT_EQ(got.result, ExactScore) << fen;
        return got.value;
    }
};

// ---------------------------------------------------------------- brute force
// Every placement of the three men with the pawn on one file and either side
// to move, solved by plain value iteration over the legal moves the board
// itself generates. A promotion ends the walk: to a queen or rook it wins
// unless Black takes the new piece at once or has no move and is not in
// check; to a minor piece it does not win.
int PlacementIndex(int wk, int bk, int pawn, bool whiteToMove) {
    return ((wk * 64 + bk) * 6 + RankOf(pawn) - 1) * 2 + (whiteToMove ? 1 : 0);
}

bool PromotionWins(Board& board, int square) {
    const PieceType piece = TypeOf(board.mailbox[square]);
    bool any = false, takes = false;
    ForEachLegalMove(board, [&](Move m) {
        any = true;
        takes = takes || ToSquare(m) == square;
        return false;
    });
    if (!any) return board.InCheck();
    return !takes && (piece == Queen || piece == Rook);
}

// By PlacementIndex: -1 no legal position, 0 not won, 1 won.
std::vector<int8_t> SolveFile(int file) {
    struct Node {
        int8_t atOnce = -1;  // decided by the moves themselves: 1 won, 0 not won
        std::vector<int> next;
    };
    std::vector<Node> nodes(64 * 64 * 6 * 2);
    std::vector<int8_t> won(nodes.size(), -1);
    auto record = std::make_unique<BoardWithHistory>();
    Board& board = record->board;
    for (int wk = 0; wk < 64; ++wk)
        for (int bk = 0; bk < 64; ++bk)
            for (int rank = 1; rank <= 6; ++rank)
                for (const bool whiteToMove : {false, true}) {
                    const int pawn = MakeSquare(file, rank);
                    if (wk == bk || wk == pawn || bk == pawn) continue;
                    ResetBoard(board);
                    AddPiece(board, White, King, wk);
                    AddPiece(board, Black, King, bk);
                    AddPiece(board, White, Pawn, pawn);
                    board.sideToMove = whiteToMove ? White : Black;
                    if (!whiteToMove) board.key ^= SideKey;
                    if (!ComputeStatus(board)) continue;
                    const int index = PlacementIndex(wk, bk, pawn, whiteToMove);
                    Node& node = nodes[index];
                    won[index] = 0;
                    ForEachLegalMove(board, [&](Move m) {
                        MakeMove(board, m);
                        if (board.colour[White].count[Pawn] == 1)
                            node.next.push_back(PlacementIndex(board.kingSquare[White], board.kingSquare[Black],
                                                               LowestSquare(board.Pieces(White, Pawn)), !whiteToMove));
                        else if (!PromotionOf(m))
                            node.atOnce = 0;  // Black took the pawn
                        else if (PromotionWins(board, ToSquare(m)))
                            node.atOnce = 1;
                        UnmakeMove(board, m);
                        return false;
                    });
                    if (node.next.empty() && node.atOnce < 0) node.atOnce = board.InCheck();  // Black mated or not
                }
    const auto isWon = [&](int j) { return won[j] == 1; };
    for (bool changed = true; changed;) {
        changed = false;
        for (size_t i = 0; i < nodes.size(); ++i) {
            const Node& node = nodes[i];
            if (won[i] != 0) continue;
            const bool white = i & 1;
            if (node.atOnce == 1 || (node.atOnce < 0 && (white ? std::ranges::any_of(node.next, isWon)
                                                             : std::ranges::all_of(node.next, isWon)))) {
                won[i] = 1;
                changed = true;
            }
        }
    }
    return won;
}

}  // namespace

// ---------------------------------------------------------------- bitbase
TEST_F(EndgameTest, KpkAgreesWithABruteForceSolution) {
    // The files a to d; the other four follow by the symmetry checked below.
    for (const int file : {0, 1, 2, 3}) {
        const std::vector<int8_t> solution = SolveFile(file);
        int disagreements = 0, wins = 0, legal = 0;
        for (int wk = 0; wk < 64; ++wk)
            for (int bk = 0; bk < 64; ++bk)
                for (int rank = 1; rank <= 6; ++rank)
                    for (const bool whiteToMove : {false, true}) {
                        const int pawn = MakeSquare(file, rank);
                        const int expected = solution[PlacementIndex(wk, bk, pawn, whiteToMove)];
                        const bool bit = KpkWins(KpkBitbase, wk, bk, pawn, whiteToMove);
                        legal += expected >= 0;
                        wins += expected == 1;
                        if (bit != (expected == 1) && ++disagreements <= 5)
                            ADD_FAILURE() << "file " << file << " wk " << wk << " bk " << bk << " pawn " << pawn
                                          << (whiteToMove ? " white" : " black") << " to move: table " << bit
                                          << ", brute force " << int(expected);
                    }
        EXPECT_EQ(disagreements, 0) << "file " << file;
        // Neither solution may be trivially empty or full.
        EXPECT_GT(wins, legal / 8) << "file " << file;
        EXPECT_LT(wins, legal) << "file " << file;
    }
}

// Pawns on the first and last ranks are outside the brute force's walk.
TEST_F(EndgameTest, KpkIsSymmetricAndEmptyOutsideLegalPositions) {
    for (int wk = 0; wk < 64; ++wk)
        for (int index = 0; index < 128; ++index) {
            const uint64_t word = KpkBitbase[wk][index];
            EXPECT_EQ(word & 0xFF000000000000FFull, 0u) << wk << " " << index;
            // The a-side and the h-side are the same ending.
            uint64_t mirrored = 0;
            for (uint64_t rest = KpkBitbase[wk ^ 7][((index / 2) ^ 7) * 2 + (index & 1)]; rest;)
                mirrored |= Bit(PopLowest(rest) ^ 7);
            EXPECT_EQ(word, mirrored) << wk << " " << index;
        }
}

TEST_F(EndgameTest, KpkTextbookPositionsWithEitherSideToMove) {
    struct Textbook {
        const char* placement;
        bool whiteToMoveWins, blackToMoveWins;
        const char* why;
    };
    const Textbook positions[] = {
        {"3k4/8/3K4/3P4/8/8/8/8", true, true, "king in front of its pawn on the sixth rank"},
        {"8/3k4/8/3K4/3P4/8/8/8", false, true, "opposition: whoever must give way loses the key squares"},
        {"k7/8/8/PK6/8/8/8/8", false, false, "rook pawn, defending king in the corner"},
        {"8/8/8/5k2/P7/8/8/7K", true, false, "a pawn that runs alone: the king is in its square only with the move"},
        {"8/3k4/1K6/P7/8/8/8/8", true, false, "rook pawn: with the move Black's king reaches c8 in time"},
        {"1k6/8/1PK5/8/8/8/8/8", true, false, "knight pawn: with the move the king takes the opposition in front"},
    };
    for (const Textbook& t : positions) {
        for (const bool whiteToMove : {true, false}) {
            const std::string fen = std::string(t.placement) + (whiteToMove ? " w - - 0 1" : " b - - 0 1");
            const bool expected = whiteToMove ? t.whiteToMoveWins : t.blackToMoveWins;
            EXPECT_EQ(ProbeKpk(Set(fen), White), expected) << fen << ": " << t.why;
            EXPECT_EQ(ProbeKpk(Set(FlipFen(fen)), Black), expected) << FlipFen(fen) << ": " << t.why;
        }
    }
}

// ---------------------------------------------------------------- the table
TEST_F(EndgameTest, TableNamesEveryKeyOnceFromItsSignature) {
    std::vector<std::string> signatures;
    SpecialCaseTable table;
    BuildSpecialCaseTable(table, &signatures);
    EXPECT_EQ(table.size(), 293u);
    EXPECT_EQ(signatures.size(), table.size());
    EXPECT_EQ(GlobalSpecialCaseTable().size(), table.size());

    // A signature's key is the material key of a board holding those men.
    const std::pair<const char*, const char*> boards[] = {
        {"K v K", "4k3/8/8/8/8/8/8/4K3 w - - 0 1"},
        {"KRP v KR", "r3k3/8/8/8/8/8/4P3/R3K3 w - - 0 1"},
        {"K v KP", "4k3/8/8/8/8/8/4p3/4K3 w - - 0 1"},
        {"KBB v KBPP", "4kb2/6pp/8/8/8/8/8/2BBK3 w - - 0 1"},
        {"KRPPPP v KRBP", "r2bk3/4p3/8/8/8/8/PPPP4/R3K3 w - - 0 1"},
    };
    for (const auto& [signature, fen] : boards) EXPECT_EQ(SignatureKey(signature), Set(fen).materialKey) << signature;
    for (const char* bad : {"", "KRP", "KRP vs KR", "RK v K", "KX v K", "KP v "}) EXPECT_EQ(SignatureKey(bad), 0u) << bad;

    // Each signature names its own key, found by the look-up.
    for (const std::string& signature : signatures)
        EXPECT_NE(FindSpecialCaseEntry(table, SignatureKey(signature)), nullptr) << signature;

    // A key named twice stops the program with both names.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(BuildSpecialCaseTable(table), "already in the table");
}

// Every rule on random placements of its material: the colour mirror of a
// position gets the same verdict and the negated value, and no rule reads
// outside the board (sanitizer builds).
TEST_F(EndgameTest, RulesAgreeWithTheirColourMirrors) {
    std::vector<std::string> signatures;
    SpecialCaseTable table;
    BuildSpecialCaseTable(table, &signatures);
    // Rook and bishop against rook is judged for White's rook and bishop
    // only; the mirrored material has a fixed verdict, and its geometry rule
    // serves bishop pair against bishop instead.
    const std::vector<std::string> oneSided = {"KRB v KR", "KR v KRB", "KB v KBB", "KBB v KB"};
    const std::vector<std::string> kingTableReaders = {"KR v KN", "KN v KR", "KR v KB", "KB v KR", "KR v K", "K v KR",
                                                       "KQ v K",  "K v KQ",  "KBB v K", "K v KBB", "KQ v KR", "KR v KQ"};
    Tests::Random random(13);
    for (const std::string& signature : signatures) {
        if (std::ranges::count(oneSided, signature)) continue;
        const size_t cut = signature.find(" v ");
        const std::string men[2] = {signature.substr(cut + 3), signature.substr(0, cut)};
        for (int trial = 0; trial < 12;) {
            Board& board = position_->board;
            ResetBoard(board);
            for (Colour c : {White, Black})
                for (char man : men[c]) {
                    const PieceType type = PieceType(std::string(" PNBRQK").find(man));
                    int sq;
                    do sq = int(random.Below(64));
                    while (board.mailbox[sq] || (type == Pawn && (RankOf(sq) == 0 || RankOf(sq) == 7)));
                    AddPiece(board, c, type, sq);
                }
            const std::string placement = ToFen(board);
            const std::string fen =
                placement.substr(0, placement.find(' ')) + (random.Below(2) ? " w - - 7 40" : " b - - 7 40");
            if (!SetFromFen(fen, position_->board)) continue;  // the side not to move in check
            ++trial;
            const SpecialCaseOutcome here = FindSpecialCase(table, position_->board);
            const int skew = std::ranges::count(kingTableReaders, signature) ? KingTableSkew(position_->board) : 0;
            const SpecialCaseOutcome there = Verdict(FlipFen(fen));
            EXPECT_EQ(Name(there.result), Name(here.result)) << signature << ": " << fen;
            if (here.result == ExactScore && there.result == ExactScore) {
                EXPECT_EQ(here.value + there.value, skew) << signature << ": " << fen;
            }
        }
    }
}

// ---------------------------------------------------------------- rule families
TEST_F(EndgameTest, FixedVerdictsAndMaterialFamilies) {
    // One signature for each fixed verdict (the lists themselves are data),
    // then the rook-and-minor families, which judge the pawns and bishops.
    ExpectAll({
        {"4k3/8/8/8/8/8/8/1NB1K1b1 w - - 0 1", DivideBy8, 0, "KBN v KB"},
        {"4k3/8/8/8/8/8/4P3/1B2K1n1 w - - 0 1", DivideBy4, 0, "KBP v KN"},
        {"4k3/8/8/8/8/8/8/1BB1K1n1 w - - 0 1", DivideBy2, 0, "KBB v KN"},
        {"4k1r1/5p2/8/8/8/8/4P3/1N2K3 w - - 0 1", ThreeQuarters, 0, "KNP v KRP"},
        {"r3k3/p7/8/8/8/8/8/R1B3K1 w - - 0 1", DivideBy8, 0, "KRB v KRP: the minor side has no pawn"},
        {"r3k3/p6p/8/8/8/8/4P3/R1B3K1 w - - 0 1", ThreeQuarters, 0, "KRBP v KRPP"},
        {"r3kb2/8/8/8/8/8/4P3/R1B3K1 w - - 0 1", ThreeQuarters, 0, "KRBP v KRB, bishops of one colour"},
        {"r1b1k3/8/8/8/8/8/4P3/R1B3K1 w - - 0 1", DivideBy4, 0, "KRBP v KRB, opposite bishops"},
        {"r3kn2/8/8/8/8/8/4P3/R1B3K1 w - - 0 1", DivideBy4, 0, "KRBP v KRN"},
    });
}

TEST_F(EndgameTest, BishopEndings) {
    ExpectAll({
        {"4kb2/8/8/8/8/8/8/2B1K3 w - - 0 1", DivideBy2, 0, "KB v KB without pawns"},
        {"4kb2/8/8/8/8/8/4P3/2B1K3 w - - 0 1", DivideBy4, 0, "KBP v KB"},
        {"2b1k3/4p3/8/8/8/8/3PP3/2B1K3 w - - 0 1", ThreeQuarters, 0, "KBPP v KBP, opposite bishops"},
        {"4kb2/4p3/8/8/8/8/3PP3/2B1K3 w - - 0 1", NoRule, 0, "KBPP v KBP, bishops of one colour"},
        {"4kb2/8/8/8/8/8/3PP3/2B1K3 w - - 0 1", NoRule, 0, "KBPP v KB, bishops of one colour"},
        {"2b1k3/8/8/8/8/8/3PP3/2B1K3 w - - 0 1", ThreeQuarters, 0, "KBPP v KB, opposite bishops"},
    });
    // The wrong rook pawn: the bishop does not cover the queening square.
    ExpectAll({
        {"1k6/8/8/P7/8/2K5/8/2B5 w - - 0 1", DivideBy32, 0, "defending king next to the corner"},
        {"1k6/8/8/P7/8/2K5/8/3B4 w - - 0 1", NoRule, 0, "the bishop of the queening square's colour"},
        {"1k6/7P/8/P7/8/2K5/8/2B5 w - - 0 1", NoRule, 0, "pawns on both rook files"},
        {"8/8/8/3k4/8/P7/8/2B4K w - - 0 1", DivideBy32, 0, "defending king nearer the corner than the pawn"},
        {"8/6pp/8/3k4/8/P7/P7/2B4K w - - 0 1", DivideBy32, 0, "two pawns on the file, enemy pawns elsewhere"},
    });
}

TEST_F(EndgameTest, PawnEndingsAndPawnAgainstMinors) {
    ExpectAll({
        {"3k4/8/3K4/3P4/8/8/8/8 w - - 0 1", ExactScore, 420, "won KP v K, White to move"},
        {"k7/8/8/8/8/8/P7/K7 w - - 0 1", DivideBy32, 0, "rook pawn draw"},
        {"7K/8/8/8/8/3k4/4p3/8 w - - 0 1", ExactScore, -460, "a Black pawn one step from queening"},
    });
    // Pawn against minor: the race score, with 50 more when the minor cannot
    // reach the pawn's path and the pawn ending underneath is won.
    ExpectAll({
        {"7k/8/1P6/8/8/8/4K3/7n w - - 0 1", ExactScore, 8 + 7 - 6 + 6 + 7 + 50, "knight too far"},
        {"7k/3n4/1P6/8/8/8/4K3/8 w - - 0 1", ExactScore, (8 + 7 - 6 + 6 + 2) / 2 + 5, "knight covers b8"},
        {"7k/8/1P6/8/8/8/4K2b/8 w - - 0 1", ExactScore, (8 + 7 - 6 + 6) / 2 + 5, "bishop reaches b8"},
        {"7k/1P6/8/8/8/7b/4K3/8 w - - 0 1", ExactScore, 12 + 7 - 6 + 6 + 50, "light bishop, dark queening square"},
        {"7k/8/8/4P3/4K3/8/8/n6n w - - 0 1", ExactScore, 10 + 3 * (3 - 4 + 7) + 6, "pawn against two knights"},
    });
}

TEST_F(EndgameTest, MinorStopsPawnWalksThePieceAgainstThePawn) {
    struct Walk {
        const char* fen;
        bool stops;
        const char* why;
    };
    const Walk walks[] = {
        {"7k/8/1P6/8/8/8/4K3/7n w - - 0 1", false, "knight three moves away"},
        {"7k/8/1P6/4n3/8/8/4K3/8 w - - 0 1", true, "one knight move to c6 or d7, guarding b8"},
        {"7k/8/1P6/1K6/1n6/8/8/8 w - - 0 1", false, "the king guards a6 and c6"},
        {"7k/8/8/8/8/1P6/4K3/7n w - - 0 1", true, "a slow pawn gives the knight time"},
        {"7k/1P6/8/8/8/7b/4K3/8 w - - 0 1", false, "a light bishop never covers b8"},
        {"7k/8/1P6/8/8/8/4K2b/8 w - - 0 1", true, "the bishop's diagonal already crosses the path"},
        {"7k/8/1P1K4/8/8/8/7b/8 w - - 0 1", false, "the king blocks the diagonal and guards e5"},
        {"7k/2P5/8/8/8/5K2/8/b7 b - - 0 1", false, "a dark bishop never covers c8"},
        {"7k/2P5/8/4b3/8/5K2/8/8 b - - 0 1", true, "the bishop takes the pawn"},
        {"7k/2P5/8/4b3/8/5K2/8/8 w - - 0 1", false, "the pawn queens first"},
    };
    for (const Walk& w : walks) {
        EXPECT_EQ(MinorStopsPawn(Set(w.fen), White), w.stops) << w.fen << ": " << w.why;
        EXPECT_EQ(MinorStopsPawn(Set(FlipFen(w.fen)), Black), w.stops) << FlipFen(w.fen) << ": " << w.why;
    }
}

TEST_F(EndgameTest, MatingMaterialDrivesTheKingHome) {
    // Queen, rook or two bishops: the kings close in and the defender goes
    // to the edge (the fade with the halfmove clock is checked below).
    const int far = ExactValue("7k/8/8/8/8/8/8/R6K w - - 0 1");
    EXPECT_EQ(far, 3 * (57 - 7) + 560 + 40);
    EXPECT_GT(ExactValue("7k/5K2/8/8/8/8/8/R7 w - - 0 1"), far);
    EXPECT_LT(ExactValue("8/8/8/3k4/8/8/8/R6K w - - 0 1"), ExactValue("8/8/8/7k/8/8/8/R6K w - - 0 1"));
    EXPECT_EQ(ExactValue("7k/8/8/8/8/8/8/1Q5K w - - 0 1"), far + 560);
    EXPECT_EQ(ExactValue("7k/8/8/8/8/8/8/1BB4K w - - 0 1"), far - 560 + 720);

    // Bishop and knight: the corner of the bishop's colour.
    const int dark = ExactValue("k7/8/3K4/4N3/8/2B5/8/8 w - - 0 1");
    EXPECT_EQ(dark, 710 - 3 + 2 * (-30 + 75) - 5 / 2 - 4);
    EXPECT_GT(ExactValue("8/8/8/8/8/2B5/1N6/k1K5 w - - 0 1"), dark);   // a1, a dark corner
    EXPECT_GT(ExactValue("k7/8/3K4/4N3/8/8/8/5B2 w - - 0 1"), dark);   // light bishop: a8 is its corner

    // Rook against minor piece.
    ExpectAll({
        {"k7/8/1K6/8/8/8/7R/7n w - - 0 1", ExactScore, 3 * 15 + 40 + 3 * 7, "knight far from its king", true},
        {"k7/8/1K6/8/8/8/7R/7b w - - 0 1", ExactScore, 3 * 15 + 40 + 3 * 7, "bishop far from its king", true},
        {"k7/1n6/1K6/8/8/8/7R/8 w - - 0 1", ExactScore, 3 * 15 + 40 + 3 * 1, "knight next to its king", true},
    });
    // And every mating rule in the other colours.
    ExpectAll({
        {"7k/8/8/8/8/8/8/R6K w - - 0 1", ExactScore, far, "KR v K", true},
        {"k7/8/3K4/4N3/8/2B5/8/8 b - - 0 1", ExactScore, dark, "KBN v K, Black to move"},
    });
}

TEST_F(EndgameTest, RookAndQueenEndingsWithPawns) {
    ExpectAll({
        {"3k4/8/1K6/3P4/8/8/7r/R7 w - - 0 1", DivideBy2, 0, "defending king in front, attacking king ahead too"},
        {"3k4/8/8/3P4/8/3K4/7r/R7 w - - 0 1", DivideBy4, 0, "defending king in front, attacking king behind"},
        {"8/7r/3K4/3P4/8/R7/8/7k w - - 0 1", NoRule, 0, "the pawn ending underneath is won"},
        {"7K/8/8/8/2k5/6r1/P6R/8 w - - 0 1", DivideBy2, 0, "lost pawn ending, rook pawn"},
        {"7K/8/8/8/3k4/6r1/1P5R/8 w - - 0 1", ThreeQuarters, 0, "lost pawn ending, knight pawn"},
        {"3k4/8/1K6/3P4/8/8/7q/Q7 w - - 0 1", DivideBy2, 0, "queens: defending king in front"},
        {"7r/8/5k2/5P2/4P3/8/2K5/R7 w - - 0 1", ThreeQuarters, 0, "two pawns held by the king"},
        {"7r/8/5k2/5P2/P7/8/2K5/R7 w - - 0 1", NoRule, 0, "a pawn far from the defending king"},
        {"7r/4P3/5k2/8/4P3/8/2K5/R7 w - - 0 1", NoRule, 0, "a pawn past the defending king"},
        {"7q/8/5k2/5P2/4P3/8/2K5/1Q6 w - - 0 1", ThreeQuarters, 0, "queens and two pawns"},
    });
    // Queen against rook: exact only with the queen beside its king on a
    // rank the rook does not hold.
    ExpectAll({
        {"7k/r7/8/8/8/2K1Q3/8/8 w - - 0 1", ExactScore, 2 * (7 - 5 - 5) + 40 + 545, "queen on its king's rank", true},
        {"7k/r7/8/2Q5/8/2K5/8/8 w - - 0 1", ThreeQuarters, 0, "queen on its king's file"},
        {"7k/4r3/8/8/8/2K1Q3/8/8 w - - 0 1", ThreeQuarters, 0, "queen on the rook's file"},
    });
}

TEST_F(EndgameTest, QueenAgainstRookAndPawnsFortress) {
    ExpectAll({
        {"6k1/5p2/4r3/8/Q7/2K5/8/8 w - - 0 1", DivideBy8, 0, "rook on the third rank guarded, king behind"},
        {"8/7k/6p1/5r2/Q7/2K5/8/8 w - - 0 1", DivideBy8, 0, "g-pawn guards the rook, queen's king on the far wing"},
        {"1k6/1p6/2r5/8/8/8/5K2/6Q1 w - - 0 1", DivideBy8, 0, "b-pawn guards the rook, queen's king on the far wing"},
        {"8/7k/6p1/5r2/Q7/8/8/6K1 w - - 0 1", DivideBy2, 0, "the queen's king on the pawn's side: only a pawn next to the king"},
        {"8/7k/8/p4r2/Q7/8/8/6K1 w - - 0 1", NoRule, 0, "no pawn near the rook's king"},
    });
}

TEST_F(EndgameTest, RookAgainstPawnAndRookBishopGeometry) {
    ExpectAll({
        {"R6K/8/8/8/8/2pk4/8/8 w - - 0 1", DivideBy8, 0, "escorted pawn, rook's king far away"},
        {"R7/8/8/4K3/8/2pk4/8/8 b - - 0 1", DivideBy2, 0, "the rook's king one step short"},
        {"R7/8/8/4K3/8/2pk4/8/8 w - - 0 1", NoRule, 0, "the rook's king in time"},
        {"R6K/8/8/8/8/2p5/8/7k w - - 0 1", NoRule, 0, "pawn without its king"},
    });
    // Rook and bishop against rook, White's material only.
    const Case geometry[] = {
        {"7r/8/8/3k4/8/8/2K5/B6R w - - 0 1", DivideBy8, 0, "defending king off the edge"},
        {"7r/8/8/k1KB4/8/8/8/7R w - - 0 1", DivideBy2, 0, "a-file, kings in opposition, bishop beside"},
        {"7R/r7/8/8/8/3K1B2/8/3k4 b - - 0 1", DivideBy4, 0, "first rank, king and bishop on the third"},
        {"7r/k7/8/8/2K5/8/8/2B4R w - - 0 1", DivideBy8, 0, "a-file, nothing holds the king"},
        {"3k4/8/3KB3/8/8/8/r7/7R b - - 0 1", DivideBy4, 0, "eighth rank, king opposite, bishop on its rank"},
        {"3k4/8/3K4/4B3/8/8/r7/7R b - - 0 1", DivideBy8, 0, "eighth rank, bishop off the king's rank"},
    };
    for (const Case& c : geometry) {
        const SpecialCaseOutcome got = Verdict(c.fen);
        EXPECT_EQ(Name(got.result), Name(c.result)) << c.fen << ": " << c.why;
    }
    // Mirrored, rook and bishop meet the fixed verdict of its material; the
    // geometry serves Black's bishop pair against a bishop.
    EXPECT_EQ(Verdict(FlipFen("7r/8/8/k1KB4/8/8/8/7R w - - 0 1")).result, DivideBy8);
    EXPECT_EQ(Verdict("8/7b/8/K1kb4/8/8/8/B7 w - - 0 1").result, DivideBy2);
}

// ---------------------------------------------------------------- inside Evaluate
TEST_F(EndgameTest, EvaluateTakesExactScoresAndScalesTheRest) {
    // An exact score is the whole evaluation: no tempo, side to move's view.
    EXPECT_EQ(Eval("3k4/8/3K4/3P4/8/8/8/8 b - - 0 1"), -420);
    EXPECT_EQ(Eval("7K/8/8/8/8/3k4/4p3/8 b - - 0 1"), 460);

    // A scaled ending is the general evaluation scaled, then the tempo.
    const SpecialCaseTable none;
    const std::pair<const char*, SpecialCaseResult> scaled[] = {
        {"k7/8/8/8/3K4/8/8/1BB3n1 w - - 0 1", DivideBy2},
        {"2b1k3/4p3/8/8/8/8/3PP3/2B1K3 w - - 0 1", ThreeQuarters},
        {"4kb2/4p3/8/8/8/8/3PP3/2B1K3 w - - 0 1", NoRule},
    };
    for (const auto& [fen, result] : scaled) {
        UseSpecialCases(*context_, none);
        const int general = Eval(fen) - Tempo;
        ASSERT_EQ(position_->board.flags & DrawFlags, 0) << fen;
        ASSERT_NE(general, 0) << fen;
        UseSpecialCases(*context_, GlobalSpecialCaseTable());
        EXPECT_EQ(Eval(fen), AddTempo(ScaleScore(general, ScaleFactorOf(result)))) << fen;
        // The rule is kept with the material: a second look gives the same.
        EXPECT_EQ(Eval(fen), AddTempo(ScaleScore(general, ScaleFactorOf(result)))) << fen;
    }
}

TEST_F(EndgameTest, ClockCountingSideNamesEveryRuleThatCountsTheClock) {
    // The transposition table keeps these scores relative to the halfmove
    // clock: it must name exactly the materials whose exact value falls by one
    // per ply for the stronger side, and that side.
    const struct {
        const char* fen;  // without the clock and move number
        int side;
    } cases[] = {
        {"8/8/3k4/8/8/8/8/4KBN1 w - -", White}, {"4kbn1/8/8/8/3K4/8/8/8 b - -", Black},
        {"7k/8/8/8/8/8/8/R6K b - -", White},    {"r6k/8/8/8/8/8/8/7K w - -", Black},
        {"7k/8/8/8/8/8/8/1Q5K w - -", White},   {"1b1b3k/8/8/8/8/8/8/7K b - -", Black},
        // Exact rules without the clock, and materials without a rule.
        {"8/8/3k4/8/8/8/4P3/4K3 w - -", -1},    {"7k/8/8/8/8/8/8/NN5K w - -", -1},
        {"7k/8/8/8/8/8/8/1QQ4K w - -", -1},      {"7k/8/8/8/8/8/8/RN5K w - -", -1},
        {"7k/7p/8/8/8/8/8/1BN4K w - -", -1},    {"k7/1n6/1K6/8/8/8/7R/8 w - -", -1},
    };
    for (const auto& c : cases) {
        const std::string fen = c.fen;
        EXPECT_EQ(ClockCountingSide(Set(fen + " 0 1")), c.side) << fen;
        const SpecialCaseOutcome early = Verdict(fen + " 0 1"), late = Verdict(fen + " 10 40");
        const int fall = early.result == ExactScore ? early.value - late.value : 0;  // White's view
        EXPECT_EQ(fall, c.side == White ? 10 : c.side == Black ? -10 : 0) << fen;
    }
}
