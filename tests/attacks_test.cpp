// Attack, geometric and positional tables against slow references and
// hand-checked positions.
#include <gtest/gtest.h>

#include <random>

#include "board/attacks.h"
#include "eval/psq.h"

using namespace NEngine;

namespace {

// Square from its name, e.g. Sq("e4").
constexpr int Sq(const char* name) { return MakeSquare(name[0] - 'a', name[1] - '1'); }

BitMask Squares(std::initializer_list<const char*> names) {
    BitMask b = 0;
    for (const char* n : names) b |= Bit(Sq(n));
    return b;
}

// Independent of the builders: rays walked on square numbers, with the file
// distance of each single step telling when the walk wrapped around.
BitMask WalkRays(int sq, BitMask occ, std::initializer_list<int> deltas) {
    BitMask result = 0;
    for (int delta : deltas) {
        int from = sq;
        for (;;) {
            const int to = from + delta;
            if (to < 0 || to > 63 || std::abs(FileOf(to) - FileOf(from)) > 1) break;
            result |= Bit(to);
            if (occ & Bit(to)) break;
            from = to;
        }
    }
    return result;
}
BitMask SlowRook(int sq, BitMask occ) { return WalkRays(sq, occ, {1, -1, 8, -8}); }
BitMask SlowBishop(int sq, BitMask occ) { return WalkRays(sq, occ, {7, 9, -7, -9}); }

class TablesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitEngineTables(); }
};

}  // namespace

TEST(PopCountTest, SoftwareMatchesInstructionOnTrickyWords) {
    std::vector<BitMask> words = {0,
                                  ~BitMask(0),
                                  0x5555555555555555ULL,
                                  0xAAAAAAAAAAAAAAAAULL,
                                  0x8000000000000001ULL,
                                  0x00000000FFFFFFFFULL,
                                  0xFFFFFFFF00000000ULL,
                                  0x0101010101010101ULL,
                                  0x7FFFFFFFFFFFFFFFULL,
                                  0x8000000000000000ULL};
    for (int i = 0; i < 64; ++i) {
        words.push_back(Bit(i));
        words.push_back(~Bit(i));
        words.push_back(Bit(i) - 1);
    }
    std::mt19937_64 rng(12345);
    for (int i = 0; i < 2000; ++i) words.push_back(rng() & (i % 3 ? rng() : ~BitMask(0)));

    InitEngineTables();
    for (BitMask w : words) {
        const int expected = __builtin_popcountll(w);
        EXPECT_EQ(SoftwarePopCount(w), expected) << std::hex << w;
        EXPECT_EQ(PopCount(w), expected) << std::hex << w;
        if (__builtin_cpu_supports("popcnt")) {
            EXPECT_EQ(HardwarePopCount(w), expected) << std::hex << w;
        }
    }
    EXPECT_TRUE(PopCount == SoftwarePopCount || PopCount == HardwarePopCount);
}

TEST_F(TablesTest, MagicsGiveRayWalkAttacksForAllSubsetsAndRandomBoards) {
    // Every subset of every relevance mask must land on its own attack set:
    // a harmful index collision would show up here as a mismatch.
    for (int s = 0; s < 64; ++s) {
        for (int slider = 0; slider < 2; ++slider) {
            const MagicEntry& e = slider ? BishopMagics[s] : RookMagics[s];
            EXPECT_EQ(e.mask, SliderRelevanceMask(slider ? Bishop : Rook, s));
            BitMask sub = 0;
            do {
                const BitMask expected = slider ? SlowBishop(s, sub) : SlowRook(s, sub);
                const BitMask got = slider ? BishopAttacks(s, sub) : RookAttacks(s, sub);
                ASSERT_EQ(got, expected) << "square " << s << (slider ? " bishop" : " rook") << " subset " << sub;
                sub = (sub - e.mask) & e.mask;
            } while (sub != 0);
        }
    }
    // Full boards: bits outside the masks must not matter.
    std::mt19937_64 rng(2024);
    for (int s = 0; s < 64; ++s)
        for (int i = 0; i < 200; ++i) {
            BitMask occ = rng();
            if (i % 3 == 1) occ &= rng();
            if (i % 3 == 2) occ &= rng() & rng();
            ASSERT_EQ(RookAttacks(s, occ), SlowRook(s, occ)) << s;
            ASSERT_EQ(BishopAttacks(s, occ), SlowBishop(s, occ)) << s;
            ASSERT_EQ(QueenAttacks(s, occ), SlowRook(s, occ) | SlowBishop(s, occ)) << s;
        }

    // The stored constants keep the eight prescribed magics.
    EXPECT_EQ(StoredRookMagics[Sq("a1")], 0x0280021040028020ULL);
    EXPECT_EQ(StoredRookMagics[Sq("b1")], 0x10402400C0001180ULL);
    EXPECT_EQ(StoredRookMagics[Sq("d4")], 0x9006100080042840ULL);
    EXPECT_EQ(StoredRookMagics[Sq("h8")], 0x0402450C002084C2ULL);
    EXPECT_EQ(StoredBishopMagics[Sq("a1")], 0x4900810011010603ULL);
    EXPECT_EQ(StoredBishopMagics[Sq("b1")], 0x00002200109A7010ULL);
    EXPECT_EQ(StoredBishopMagics[Sq("d4")], 0xE009080001004101ULL);
    EXPECT_EQ(StoredBishopMagics[Sq("h8")], 0x4002042488001820ULL);

    // Hand-checked cases.
    EXPECT_EQ(PopCount(RookAttacks(Sq("a1"), 0)), 14);
    const BitMask d4 = RookAttacks(Sq("d4"), Bit(Sq("d6")));
    EXPECT_TRUE(d4 & Bit(Sq("d5")));
    EXPECT_TRUE(d4 & Bit(Sq("d6")));
    EXPECT_FALSE(d4 & Bit(Sq("d7")));
    EXPECT_EQ(PopCount(RookMagics[Sq("a1")].mask), 12);
    EXPECT_EQ(PopCount(BishopMagics[Sq("d4")].mask), 9);
    // Each square owns a full block, 16-byte aligned.
    EXPECT_EQ(RookMagics[1].attacks - RookMagics[0].attacks, RookBlockSize);
    EXPECT_EQ(BishopMagics[63].attacks - BishopMagics[62].attacks, BishopBlockSize);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(RookMagics[0].attacks) % 16, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(BishopMagics[0].attacks) % 16, 0u);
}

TEST_F(TablesTest, LinesRaysAndSteps) {
    // A second start-up changes nothing: same tables, same contents.
    const LineTables* lines = Lines;
    const MagicEntry* rooks = RookMagics;
    const PackedScore knightE4 = PsqTable[White][Knight][Sq("e4")];
    InitEngineTables();
    BuildGlobalTables();
    BuildMagicTables();
    EXPECT_EQ(Lines, lines);
    EXPECT_EQ(RookMagics, rooks);
    EXPECT_EQ(PsqTable[White][Knight][Sq("e4")], knightE4);

    EXPECT_EQ(Between(Sq("a1"), Sq("h8")), Squares({"b2", "c3", "d4", "e5", "f6", "g7"}));
    EXPECT_EQ(Between(Sq("a1"), Sq("b3")), 0u);
    EXPECT_EQ(LineThrough(Sq("b2"), Sq("c3")), Squares({"a1", "b2", "c3", "d4", "e5", "f6", "g7", "h8"}));
    EXPECT_EQ(RayFrom(Sq("c3"), Sq("e5")), Squares({"d4", "e5", "f6", "g7", "h8"}));
    EXPECT_EQ(Beyond(Sq("c3"), Sq("e5")), Squares({"f6", "g7", "h8"}));
    EXPECT_EQ(Lines->directionRay[0 * 64 + Sq("e4")], Squares({"d5", "c6", "b7", "a8"}));
    EXPECT_EQ(Lines->directionRay[7 * 64 + Sq("c1")], Squares({"b1", "a1"}));
    EXPECT_EQ(Lines->directionRay[3 * 64 + Sq("h5")], 0u);

    // Step from b towards a: (rank step << 8) | (file step & 0xFF).
    EXPECT_EQ(StepTable[Sq("e4") * 64 + Sq("e1")], 0x0100);
    EXPECT_EQ(StepTable[Sq("a1") * 64 + Sq("h8")], 0xFFFF);
    EXPECT_EQ(StepTable[Sq("h1") * 64 + Sq("a8")], 0xFF01);
    EXPECT_EQ(StepTable[Sq("a1") * 64 + Sq("b3")], 0);
    EXPECT_EQ(Distance(Sq("a1"), Sq("h8")), 7);
    EXPECT_EQ(Distance(Sq("b1"), Sq("c3")), 2);

    // Whole-table consistency between the sections.
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b) {
            const bool aligned = a != b && (RookAttacks(a, 0) | BishopAttacks(a, 0)) & Bit(b);
            ASSERT_EQ(LineThrough(a, b) != 0, aligned) << a << " " << b;
            ASSERT_EQ(Between(a, b), Between(b, a));
            ASSERT_EQ(LineThrough(a, b), LineThrough(b, a));
            ASSERT_EQ(LineType(a, b), LineType(b, a));
            ASSERT_EQ(LineType(a, b) != 0, aligned);
            ASSERT_EQ(StepTable[a * 64 + b] != 0, aligned);
            if (!aligned) continue;
            ASSERT_EQ(RayFrom(a, b), Between(a, b) | Bit(b) | Beyond(a, b));
            // Squares between are seen from both ends along the shared line.
            const bool straight = LineType(a, b) == 1;
            const BitMask seen = straight ? RookAttacks(a, Bit(b)) & RookAttacks(b, Bit(a))
                                          : BishopAttacks(a, Bit(b)) & BishopAttacks(b, Bit(a));
            ASSERT_EQ(Between(a, b), seen & LineThrough(a, b)) << a << " " << b;
            ASSERT_EQ(LineThrough(a, b) & Bit(a), Bit(a));
            ASSERT_EQ(LineType(a, b), (FileOf(a) == FileOf(b) || RankOf(a) == RankOf(b)) ? 1 : 2);
        }
}

TEST_F(TablesTest, MoveKindsAndDirections) {
    const auto kind = [](Colour c, PieceType t, const char* from, const char* to) {
        return MoveKind(MakeCode(c, t), MakeMoveCode(Sq(from), Sq(to)));
    };
    EXPECT_EQ(kind(White, Pawn, "e2", "e4"), 3);
    EXPECT_EQ(kind(White, Pawn, "e4", "e6"), -1);
    EXPECT_EQ(kind(White, Pawn, "e4", "e5"), 2);
    EXPECT_EQ(kind(White, Pawn, "e4", "d5"), 0);
    EXPECT_EQ(kind(White, Pawn, "e4", "f5"), 1);
    EXPECT_EQ(kind(White, Pawn, "e4", "e3"), -1);
    EXPECT_EQ(kind(Black, Pawn, "e7", "e5"), 3);
    EXPECT_EQ(kind(Black, Pawn, "e4", "d3"), 0);
    EXPECT_EQ(kind(Black, Pawn, "e2", "e1"), 2);
    EXPECT_EQ(kind(White, King, "e1", "g1"), 8);
    EXPECT_EQ(kind(White, King, "e1", "c1"), 9);
    EXPECT_EQ(kind(White, King, "e1", "d2"), 1);
    EXPECT_EQ(kind(White, King, "e2", "d1"), 7);
    EXPECT_EQ(kind(Black, King, "e8", "e7"), 6);
    EXPECT_EQ(kind(White, King, "e1", "e3"), -1);
    EXPECT_EQ(kind(White, Knight, "g1", "f3"), 1);
    EXPECT_EQ(kind(White, Knight, "g1", "e2"), 0);
    EXPECT_EQ(kind(Black, Knight, "b8", "a6"), 6);
    EXPECT_EQ(kind(White, Bishop, "c1", "h6"), 2);
    EXPECT_EQ(kind(White, Bishop, "c1", "c3"), -1);
    EXPECT_EQ(kind(White, Rook, "a1", "a8"), 1);
    EXPECT_EQ(kind(White, Rook, "h1", "a1"), 0);
    EXPECT_EQ(kind(Black, Queen, "d8", "a5"), 7);
    EXPECT_EQ(kind(Black, Queen, "d8", "h4"), 5);
    EXPECT_EQ(kind(Black, Queen, "d8", "e6"), -1);

    // The kind table agrees with empty-board reach for every piece and pair.
    for (int code = 0; code < 16; ++code)
        for (int from = 0; from < 64; ++from)
            for (int to = 0; to < 64; ++to) {
                const Colour c = ColourOf(code);
                const PieceType t = TypeOf(code);
                const int k = MoveKinds->kind[(code << 12) | (to << 6) | from];
                if (t == NoPiece || t == 7) {
                    ASSERT_EQ(k, -1);
                    continue;
                }
                BitMask reach = Attacks->pseudoAttacks[c][t][from];
                if (t == King)  // castling kinds exist from any square
                    reach |= (FileOf(from) < 6 ? Bit(from + 2) : 0) | (FileOf(from) > 1 ? Bit(from - 2) : 0);
                if (t == Pawn && (RankOf(from) == 0 || RankOf(from) == 7)) continue;
                ASSERT_EQ(k >= 0, (reach & Bit(to)) != 0) << int(code) << " " << from << " " << to;
            }

    EXPECT_EQ(MoveKinds->direction[Sq("d5") * 64 + Sq("e4")], 1);  // up-left
    EXPECT_EQ(MoveKinds->direction[Sq("e8") * 64 + Sq("e4")], 2);
    EXPECT_EQ(MoveKinds->direction[Sq("a4") * 64 + Sq("e4")], 8);
    EXPECT_EQ(MoveKinds->direction[Sq("f2") * 64 + Sq("e4")], 0);
    EXPECT_EQ(LineType(Sq("e4"), Sq("e4")), 0);
}

TEST_F(TablesTest, LeaperListsAndPatterns) {
    const AttackTables& at = *Attacks;
    // Pawn target lists keep fixed slots; -1 where a step leaves the board.
    const int8_t a2[6] = {-1, int8_t(Sq("b3")), int8_t(Sq("a3")), int8_t(Sq("a4")), -1, -1};
    const int8_t h7b[6] = {int8_t(Sq("g6")), -1, int8_t(Sq("h6")), int8_t(Sq("h5")), -1, -1};
    const int8_t e5[6] = {int8_t(Sq("d6")), int8_t(Sq("f6")), int8_t(Sq("e6")), -1, -1, -1};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(at.pawnTargets[White][Sq("a2")][i], a2[i]) << i;
        EXPECT_EQ(at.pawnTargets[Black][Sq("h7")][i], h7b[i]) << i;
        EXPECT_EQ(at.pawnTargets[White][Sq("e5")][i], e5[i]) << i;
    }
    EXPECT_EQ(at.knightTargets[Sq("a1")][0], Sq("b3"));
    EXPECT_EQ(at.knightTargets[Sq("a1")][1], Sq("c2"));
    EXPECT_EQ(at.knightTargets[Sq("a1")][2], -1);
    EXPECT_EQ(at.kingTargets[Sq("e1")][0], Sq("d1"));
    EXPECT_EQ(at.kingTargets[Sq("e1")][5], -1);

    // Ray descriptors: (square step << 8) | length, in step-table order.
    EXPECT_EQ(at.rookRayList[Sq("a1")][0], 0x0807);
    EXPECT_EQ(at.rookRayList[Sq("a1")][1], 0x0107);
    EXPECT_EQ(at.rookRayList[Sq("a1")][2], 0);
    EXPECT_EQ(at.bishopRayList[Sq("h8")][0], uint16_t((-9 * 256) | 7));
    EXPECT_EQ(at.bishopRayList[Sq("h8")][1], 0);
    // Walking the lists reproduces the empty-board sets.
    for (int s = 0; s < 64; ++s) {
        const uint16_t* lists[3] = {at.bishopRayList[s], at.rookRayList[s], at.queenRayList[s]};
        const BitMask sets[3] = {at.bishopRays[s], at.rookRays[s], at.queenRays[s]};
        for (int k = 0; k < 3; ++k) {
            BitMask walked = 0;
            for (const uint16_t* w = lists[k]; *w; ++w) {
                const int step = int8_t(*w >> 8), n = *w & 0xFF;
                for (int i = 1; i <= n; ++i) walked |= Bit(s + i * step);
            }
            ASSERT_EQ(walked, sets[k]) << s << " " << k;
        }
        ASSERT_EQ(at.queenRays[s], QueenAttacks(s, 0));
        ASSERT_EQ(PopCount(at.distanceTwoRing[White][s] & at.kingAttacks[s]), 0);
    }

    EXPECT_EQ(at.pawnPushSources[White][Sq("e4")], Squares({"e3", "e2"}));
    EXPECT_EQ(at.pawnPushSources[White][Sq("e3")], Squares({"e2"}));
    EXPECT_EQ(at.pawnPushSources[White][Sq("e2")], 0u);
    EXPECT_EQ(at.pawnPushSources[Black][Sq("e5")], Squares({"e6", "e7"}));
    EXPECT_EQ(at.pawnPushSources[Black][Sq("e7")], 0u);
    EXPECT_EQ(at.pawnPushes[White][Sq("e2")], Squares({"e3", "e4"}));
    EXPECT_EQ(at.pawnAttacks[Black][Sq("a5")], Squares({"b4"}));
    EXPECT_EQ(at.prePromotionRank[White], 0x00FF000000000000ULL);
    EXPECT_EQ(at.prePromotionRank[Black], 0x000000000000FF00ULL);

    // The king's reach holds the castling targets only from its home square.
    EXPECT_EQ(at.pseudoAttacks[White][King][Sq("e1")] & Squares({"c1", "g1"}), Squares({"c1", "g1"}));
    EXPECT_EQ(at.pseudoAttacks[White][King][Sq("d1")] & Squares({"b1", "f1"}), 0u);
    EXPECT_EQ(at.pseudoAttacks[Black][King][Sq("e8")] & Squares({"c8", "g8"}), Squares({"c8", "g8"}));
    EXPECT_EQ(at.pseudoAttacks[Black][King][Sq("e1")] & Squares({"c1", "g1"}), 0u);
    EXPECT_EQ(at.pseudoAttacks[White][Pawn][Sq("e2")], Squares({"d3", "f3", "e3", "e4"}));

    EXPECT_EQ(at.adjacentOrthogonal[Sq("a1")], Squares({"a2", "b1"}));
    EXPECT_EQ(PopCount(at.distanceTwoRing[Black][Sq("e4")]), 16);
    EXPECT_EQ(at.distanceTwoRing[Black][Sq("a1")], Squares({"a3", "b3", "c3", "c2", "c1"}));
    EXPECT_EQ(at.castlingPath[0], Squares({"f8", "g8"}));
    EXPECT_EQ(at.castlingPath[1], Squares({"b8", "c8", "d8"}));
    EXPECT_EQ(at.castlingPath[2], Squares({"f1", "g1"}));
    EXPECT_EQ(at.castlingPath[3], Squares({"b1", "c1", "d1"}));
}

TEST_F(TablesTest, PawnStructureMasks) {
    const PawnMaskTables& pm = *PawnMasks;
    const int e4 = Sq("e4");
    EXPECT_EQ(pm.adjacentFiles[0], pm.fileMask[1]);
    EXPECT_EQ(pm.adjacentFiles[4], pm.fileMask[3] | pm.fileMask[5]);
    EXPECT_EQ(pm.frontSpan[White][e4], Squares({"e5", "e6", "e7", "e8"}));
    EXPECT_EQ(pm.frontSpan[Black][e4], Squares({"e3", "e2", "e1"}));
    EXPECT_EQ(pm.fileFromHere[White][e4], pm.frontSpan[White][e4] | Bit(e4));
    EXPECT_EQ(pm.attackSpan[Black][e4], Squares({"d3", "d2", "d1", "f3", "f2", "f1"}));
    EXPECT_EQ(pm.passedSpan[White][Sq("a6")], Squares({"a7", "a8", "b7", "b8"}));
    EXPECT_EQ(pm.neighbours[White][e4], Squares({"d4", "f4"}));
    EXPECT_EQ(pm.supportArea[Black][e4], Squares({"d3", "d4", "d5", "f3", "f4", "f5"}));
    EXPECT_EQ(pm.rearSpan[White][e4], Squares({"d2", "d3", "d4", "f2", "f3", "f4"}));
    EXPECT_EQ(pm.rearSpan[Black][e4], Squares({"d4", "d5", "d6", "d7", "f4", "f5", "f6", "f7"}));
    EXPECT_EQ(pm.rankMask[Black][Sq("h8")], 0xFF00000000000000ULL);
    // A pawn's attack span is exactly what its capture squares sweep ahead.
    for (int s = 8; s < 56; ++s)
        for (Colour c : {Black, White}) {
            BitMask swept = 0;
            for (BitMask b = Attacks->pawnAttacks[c][s]; b;) {
                const int t = PopLowest(b);
                swept |= Bit(t) | pm.frontSpan[c][t];
            }
            ASSERT_EQ(pm.attackSpan[c][s], swept) << s;
        }
}

TEST_F(TablesTest, PositionalTablesMirrorAndCancel) {
    EXPECT_EQ(PsqTable[Black][Pawn][Sq("d7")], S(-8, -4));
    EXPECT_EQ(PsqTable[Black][Pawn][Sq("e7")], S(-8, -4));
    EXPECT_EQ(PsqTable[Black][King][Sq("g8")], S(33, -25));
    EXPECT_EQ(PsqTable[Black][Knight][Sq("h1")], S(-60, -50));
    // The one entry that breaks the left-right symmetry.
    EXPECT_EQ(PsqTable[Black][Pawn][Sq("c3")], S(5, 4));
    EXPECT_EQ(PsqTable[Black][Pawn][Sq("f3")], S(5, 5));
    EXPECT_EQ(PsqTable[White][Pawn][Sq("f6")], S(-5, -5));
    EXPECT_EQ(PsqTable[White][King][Sq("g1")], S(-33, 25));

    for (int t = 0; t < 8; ++t)
        for (int s = 0; s < 64; ++s) {
            const PackedScore w = PsqTable[White][t][s], b = PsqTable[Black][t][s ^ 56];
            ASSERT_EQ(MgOf(w), -MgOf(b));
            ASSERT_EQ(EgOf(w), -EgOf(b));
            if (t == 0 || t == 7) {
                ASSERT_EQ(PsqTable[Black][t][s], 0);
            }
            // Left-right symmetry everywhere but the f3 pawn.
            if (!(t == Pawn && (s == Sq("f3") || s == Sq("c3")))) {
                ASSERT_EQ(PsqTable[Black][t][s], PsqTable[Black][t][s ^ 7]) << t << " " << s;
            }
        }

    // Start position: putting a piece subtracts its entry, and the sum cancels.
    const PieceType backRank[8] = {Rook, Knight, Bishop, Queen, King, Bishop, Knight, Rook};
    int mg = 0, eg = 0;
    for (int f = 0; f < 8; ++f) {
        const std::pair<Colour, int> placed[4] = {
            {White, MakeSquare(f, 0)}, {White, MakeSquare(f, 1)}, {Black, MakeSquare(f, 6)}, {Black, MakeSquare(f, 7)}};
        for (const auto& [c, s] : placed) {
            const PieceType t = (RankOf(s) == 1 || RankOf(s) == 6) ? Pawn : backRank[f];
            mg -= MgOf(PsqTable[c][t][s]);
            eg -= EgOf(PsqTable[c][t][s]);
        }
    }
    EXPECT_EQ(mg, 0);
    EXPECT_EQ(eg, 0);
    // An advanced White pawn counts for White: psqSum rises.
    EXPECT_GT(-MgOf(PsqTable[White][Pawn][Sq("d4")]), -MgOf(PsqTable[White][Pawn][Sq("d2")]));
}
