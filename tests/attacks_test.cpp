// Attack and geometric tables against slow references built independently.
#include <gtest/gtest.h>

#include <random>

#include "board/attacks.h"
#include "eval/psq.h"

using namespace NEngine;

namespace {

// Rays walked on square numbers; the file distance of each single step tells
// when the walk wrapped around the board edge.
BitMask WalkRays(int sq, BitMask occ, std::initializer_list<int> deltas) {
    BitMask result = 0;
    for (int delta : deltas)
        for (int from = sq, to = sq + delta; to >= 0 && to < 64 && std::abs(FileOf(to) - FileOf(from)) <= 1;
             from = to, to += delta) {
            result |= Bit(to);
            if (occ & Bit(to)) break;
        }
    return result;
}
BitMask SlowRook(int sq, BitMask occ) { return WalkRays(sq, occ, {1, -1, 8, -8}); }
BitMask SlowBishop(int sq, BitMask occ) { return WalkRays(sq, occ, {7, 9, -7, -9}); }

}  // namespace

TEST(PopCountTest, SoftwareAndHardwareAgreeOnTrickyWords) {
    std::vector<BitMask> words = {0, ~BitMask(0), 0x5555555555555555ULL, 0x8000000000000001ULL, 0x7FFFFFFFFFFFFFFFULL};
    for (int i = 0; i < 64; ++i) words.insert(words.end(), {Bit(i), ~Bit(i), Bit(i) - 1});
    std::mt19937_64 rng(12345);
    for (int i = 0; i < 2000; ++i) words.push_back(rng() & (i % 3 ? rng() : ~BitMask(0)));
    InitEngineTables();
    for (BitMask w : words) {
        const int expected = __builtin_popcountll(w);
        EXPECT_EQ(SoftwarePopCount(w), expected) << std::hex << w;
        EXPECT_EQ(PopCount(w), expected) << std::hex << w;
        if (__builtin_cpu_supports("popcnt")) { EXPECT_EQ(HardwarePopCount(w), expected) << std::hex << w; }
    }
}

TEST(TablesTest, MagicsGiveRayWalkAttacks) {
    InitEngineTables();
    // Every subset of every relevance mask: a harmful index collision would
    // show up here as a mismatch.
    for (int s = 0; s < 64; ++s)
        for (int slider = 0; slider < 2; ++slider) {
            const BitMask mask = (slider ? BishopMagics : RookMagics)[s].mask;
            BitMask sub = 0;
            do {
                const BitMask expected = slider ? SlowBishop(s, sub) : SlowRook(s, sub);
                ASSERT_EQ(slider ? BishopAttacks(s, sub) : RookAttacks(s, sub), expected) << s << " " << sub;
                sub = (sub - mask) & mask;
            } while (sub != 0);
        }
    // Full boards: bits outside the masks must not matter.
    std::mt19937_64 rng(2024);
    for (int s = 0; s < 64; ++s)
        for (int i = 0; i < 200; ++i) {
            const BitMask occ = i % 2 ? rng() : rng() & rng();
            ASSERT_EQ(QueenAttacks(s, occ), SlowRook(s, occ) | SlowBishop(s, occ)) << s;
        }
}

TEST(TablesTest, LinesAgreeWithAttacksAndSurviveRepeatedStartUp) {
    InitEngineTables();
    const LineTables* lines = Lines;
    InitEngineTables();  // a second start-up keeps the same tables
    EXPECT_EQ(Lines, lines);
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b) {
            const bool straight = a != b && (SlowRook(a, 0) & Bit(b));
            const bool aligned = straight || (a != b && (SlowBishop(a, 0) & Bit(b)));
            ASSERT_EQ(LineThrough(a, b) != 0, aligned) << a << " " << b;
            ASSERT_EQ(LineType(a, b), aligned ? (straight ? 1 : 2) : 0) << a << " " << b;
            if (!aligned) {
                ASSERT_EQ(Between(a, b), 0u);
                continue;
            }
            // Squares between are seen from both ends along the shared line.
            const BitMask seen = straight ? SlowRook(a, Bit(b)) & SlowRook(b, Bit(a))
                                          : SlowBishop(a, Bit(b)) & SlowBishop(b, Bit(a));
            ASSERT_EQ(Between(a, b), seen & LineThrough(a, b)) << a << " " << b;
            ASSERT_EQ(RayFrom(a, b), Between(a, b) | Bit(b) | Beyond(a, b));
            ASSERT_EQ(LineThrough(a, b) & (Bit(a) | Bit(b)), Bit(a) | Bit(b));
        }
}

TEST(TablesTest, PawnSpansAndPositionalMirror) {
    InitEngineTables();
    const PawnMaskTables& pm = *PawnMasks;
    EXPECT_EQ(pm.passedSpan[White][MakeSquare(0, 5)], Bit(48) | Bit(49) | Bit(56) | Bit(57));
    // A pawn's attack span is what its capture squares sweep ahead.
    for (int s = 8; s < 56; ++s)
        for (Colour c : {Black, White}) {
            BitMask swept = 0;
            for (BitMask b = Attacks->pawnAttacks[c][s]; b;) {
                const int t = PopLowest(b);
                swept |= Bit(t) | pm.frontSpan[c][t];
            }
            ASSERT_EQ(pm.attackSpan[c][s], swept) << s;
        }
    // White's table is Black's mirrored with the sign turned.
    for (int t = Pawn; t <= King; ++t)
        for (int s = 0; s < 64; ++s) {
            ASSERT_EQ(MgOf(PsqTable[White][t][s]), -MgOf(PsqTable[Black][t][s ^ 56]));
            ASSERT_EQ(EgOf(PsqTable[White][t][s]), -EgOf(PsqTable[Black][t][s ^ 56]));
        }
}
